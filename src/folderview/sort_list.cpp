// Sorting the file list: the hidden key column receives a sort key built from
// the clicked column and the file name, and the list sorts by that column.
#include <string>

#include "app/frm_mabrel94.h"
#include "util/text.h"

namespace mabrel {

namespace {

constexpr int kKeyColumn = 5;
constexpr std::size_t kSizeField = 12;

}  // namespace

void frm_mabrel94::fun_SortList(int column, bool forceAscending) {
    if (column >= 0 && column < kKeyColumn) {
        for (auto& row : lvwFiles.rows) {
            auto& c = row.cells;
            const std::string& name = c[0];
            std::string key;
            switch (column) {
            case 0:
                key = name + "_" + c[1];
                break;
            case 2:
                // Right-aligned in a fixed field, so that sizes order by value as text.
                key = util::rightChars(std::string(kSizeField, ' ') + c[2], kSizeField) + "_" + name;
                break;
            default:
                key = c[static_cast<std::size_t>(column)] + "_" + name;
                break;
            }
            c[kKeyColumn] = std::move(key);
        }
    }

    const int order = (column != lastSortColumn || forceAscending) ? 0 : 1 - lvwFiles.sortOrder;
    lvwFiles.sortKey = kKeyColumn;
    lvwFiles.sortOrder = order;
    lvwFiles.sortNow();
    lastSortColumn = column;
}

void frm_mabrel94::lvwFiles_ColumnClick(int columnPosition) { fun_SortList(columnPosition - 1, false); }

}  // namespace mabrel
