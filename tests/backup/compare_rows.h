// A row of a comparison as the tests read it: "<kind> <older side> | <newer
// side>", kind one of = - + ~, changed pieces of a changed row in [ ].
#pragma once

#include <string>

#include "backup/text_compare.h"

namespace mabrel::test {

inline std::string shownRow(const backup::TextComparison& c, std::size_t row) {
    std::string out(1, "=-+~"[static_cast<int>(c.rows[row].kind)]);
    for (const bool newer : {false, true}) {
        out += newer ? " |" : "";
        if ((newer ? c.rows[row].right : c.rows[row].left) < 0) continue;
        out += " ";
        for (const backup::Run& run : c.runs(row, newer)) {
            out += run.changed && c.rows[row].kind == backup::RowKind::Changed ? "[" + run.text + "]" : run.text;
        }
    }
    return out;
}

}  // namespace mabrel::test
