// The comment file: any content read onto a list, and the save format read
// back. The fuzz bytes serve twice: as a file's content, then as the rows,
// keys and comments of a folder whose comments are saved and read again.
#include <cstdint>
#include <map>
#include <set>

#include "app/controls.h"
#include "folderview/comment_file.h"
#include "fuzz_support.h"
#include "platform/native.h"
#include "util/text.h"

namespace {

using namespace mabrel;
using folderview::RowIndex;

constexpr std::size_t kCommentColumn = 4;
constexpr std::size_t kKeyColumn = 5;

const platform::Codec& codec() {
    static const auto c = platform::makeNativeCodec();
    return *c;
}

void addRow(ListView& list, RowIndex& index, const std::string& key) {
    if (index.first(key)) return;
    ListItem row;
    row.cells[kKeyColumn] = key;
    list.rows.push_back(row);
    index.add(list.rows.size() - 1);
}

const auto keepAll = [](const std::string&) { return true; };

// Any bytes as a comment file, read onto rows that carry every other key found in it.
void readAnyFile(const std::string& bytes) {
    const auto lines = platform::splitLines(platform::decodeText(codec(), bytes));
    ListView list;
    RowIndex index(list);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const auto record = folderview::parseCommentRecord(lines[i]);
        if (!record) {
            FUZZ_CHECK(lines[i].find(',') == std::string::npos, "line", lines[i]);
            continue;
        }
        // As written: the key is the text before the last comma.
        FUZZ_CHECK(lines[i].compare(0, record->key.size() + 1, record->key + ",") == 0, "line", lines[i]);
        FUZZ_CHECK(lines[i].find(',', record->key.size() + 1) == std::string::npos, "line", lines[i]);
        if (i % 2) addRow(list, index, record->key);
        if (const auto fields = folderview::parseCommentFields(lines[i]); fields && i % 3 == 0) {
            addRow(list, index, fields->key);
        }
    }

    TextBox folder;
    const auto kept = folderview::applyStoredComments(lines, list, index, folder, false, keepAll);
    FUZZ_CHECK(lines.empty() ? folder.text.empty() : folder.text == lines.front(), "folder", folder.text);
    // Every comment shown comes from a record of its key, read one way or the other.
    for (const auto& row : list.rows) {
        if (row.cells[kCommentColumn].empty()) continue;
        bool found = false;
        for (std::size_t i = 1; i < lines.size() && !found; ++i) {
            for (const auto& r : {folderview::parseCommentRecord(lines[i]), folderview::parseCommentFields(lines[i])}) {
                found |= r && r->key == row.cells[kKeyColumn] && r->comment == row.cells[kCommentColumn];
            }
        }
        FUZZ_CHECK(found, "key", row.cells[kKeyColumn], "comment", row.cells[kCommentColumn]);
    }
    const std::multiset<std::string> all(lines.begin(), lines.end());
    for (const auto& line : kept) FUZZ_CHECK(all.count(line), "kept", line);
}

std::string timestamp(FuzzedDataProvider& p) {
    return util::formatTimestamp({p.ConsumeIntegralInRange(1601, 9999), p.ConsumeIntegralInRange(1, 12),
                                  p.ConsumeIntegralInRange(1, 31), p.ConsumeIntegralInRange(0, 23),
                                  p.ConsumeIntegralInRange(0, 59), p.ConsumeIntegralInRange(0, 59)});
}

std::string withoutLeadingBlanks(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    return first == std::string::npos ? std::string() : s.substr(first);
}

// A folder's comments as the save writes them (keys: a file name, which may
// hold commas, "_" and a timestamp; comments without commas, double quotes
// and line breaks), read back onto the same rows.
void saveAndReadBack(FuzzedDataProvider& p) {
    fuzz::MemoryDirectory fs;
    const std::string path = "_mabre.l94";
    const std::string folderComment = fuzz::text(p, 64, "\r\n");
    std::vector<std::pair<std::string, std::string>> rows;  // key, comment
    std::set<std::string> keys;
    std::vector<std::string> lines{folderComment};
    while (p.remaining_bytes() > 0 && rows.size() < 40) {
        std::string name = fuzz::text(p, 24, std::string("\r\n/\\\0", 5));
        if (name.empty()) name = "x";
        const std::string key = name + "_" + timestamp(p);
        const std::string comment = fuzz::text(p, 48, ",\"\r\n");
        if (!keys.insert(key).second) continue;
        rows.emplace_back(key, comment);
        if (!comment.empty()) lines.push_back(folderview::formatCommentRecord(key, comment));
    }
    platform::writeTextLines(fs, codec(), path, lines);
    const auto read = platform::readTextLines(fs, codec(), path);

    ListView list;
    RowIndex index(list);
    for (const auto& [key, comment] : rows) addRow(list, index, key);
    TextBox folder;
    const auto kept = folderview::applyStoredComments(read, list, index, folder, false, keepAll);
    FUZZ_CHECK(folder.text == folderComment, "saved", folderComment, "read", folder.text, "file", fs.files[path]);
    FUZZ_CHECK(kept.empty(), "first unmatched record", kept.front(), "file", fs.files[path]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        FUZZ_CHECK(list.rows[i].cells[kCommentColumn] == withoutLeadingBlanks(rows[i].second), "key", rows[i].first,
                   "saved", rows[i].second, "read", list.rows[i].cells[kCommentColumn], "file", fs.files[path]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    readAnyFile(std::string(reinterpret_cast<const char*>(data), size));
    FuzzedDataProvider p(data, size);
    saveAndReadBack(p);
    return 0;
}
