// The comment file: any content read onto a list and changed by a save, and
// the save format read back. The fuzz bytes serve twice: as a file's content
// (with changes to its records), then as the rows, keys and comments of a
// folder whose comments are saved and read again.
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
    const auto unmatched = folderview::applyStoredComments(lines, list, index, folder);
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
    FUZZ_CHECK(lines.empty() ? unmatched.empty() : unmatched.size() < lines.size(), "unmatched",
               std::to_string(unmatched.size()));
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

// Any bytes as a stored comment file, changed by a save of changes to the
// keys it holds and to new ones: each change reads back on its record, no
// other record is lost, a line that cannot be read stays byte for byte, and
// nothing changed writes nothing.
void mergeIntoAnyFile(const std::string& bytes, FuzzedDataProvider& p) {
    const auto stored = platform::splitLines(platform::decodeText(codec(), bytes));
    const auto none = folderview::mergeComments(codec(), bytes, {}, [](const std::string&) { return true; });
    FUZZ_CHECK(!none, "written without a change", *none);

    folderview::CommentChanges changes;
    std::map<std::pair<std::string, std::size_t>, std::string> last;
    while (p.remaining_bytes() > 0 && changes.records.size() < 8) {
        std::string key;
        if (!stored.empty() && p.ConsumeBool()) {
            const auto line = p.ConsumeIntegralInRange<std::size_t>(0, stored.size() - 1);
            // A record's key, when it has the form of a row key and no
            // other reading of its line gives another key.
            const auto r = folderview::parseCommentRecord(stored[line]);
            const bool plain = r && !folderview::nameOfKey(r->key).empty() &&
                               r->key.find_first_of(" \t\"") != 0;
            key = plain ? r->key : "x_" + timestamp(p);
        } else {
            // Blanks before a name would give its record the key of another
            // name by the field rules.
            key = withoutLeadingBlanks(fuzz::text(p, 16, ",\"\r\n")) + "_" + timestamp(p);
        }
        const std::size_t ordinal = p.ConsumeIntegralInRange<std::size_t>(0, 1);
        const std::string comment = fuzz::text(p, 24, ",\"\r\n");
        changes.records.push_back({key, ordinal, comment});
        last[{key, ordinal}] = comment;
    }
    if (p.ConsumeBool()) changes.folder = fuzz::text(p, 24, "\r\n");
    const auto merged = folderview::mergeComments(codec(), bytes, changes, [](const std::string&) { return true; });
    const std::string out = merged ? *merged : bytes;
    std::set<std::string> unreadableKeys;
    if (platform::textEncoding(bytes) == platform::TextEncoding::Ansi) {
        for (const auto& line : platform::splitLines(bytes)) {
            if (codec().fromAnsiStrict(line)) continue;
            const std::string text = codec().fromAnsi(line);
            for (const auto& r : {folderview::parseCommentRecord(text), folderview::parseCommentFields(text)}) {
                if (r) unreadableKeys.insert(r->key);
            }
        }
    }
    const auto lines = platform::splitLines(platform::decodeText(codec(), out));
    if (changes.folder) {
        FUZZ_CHECK(!lines.empty() && lines.front() == *changes.folder, "folder", *changes.folder, "file", out);
    }
    for (const auto& [at, comment] : last) {
        // The ordinal-th record of the key, as the reader finds it.
        std::size_t seen = 0;
        std::string found;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            auto r = folderview::parseCommentRecord(lines[i]);
            if (!r || r->key != at.first) r = folderview::parseCommentFields(lines[i]);
            if (!r || r->key != at.first) continue;
            if (seen++ == at.second) found = r->comment;
        }
        // A key that holds a comma reads back differently: its record is the
        // save's own, by the last comma.
        if (at.first.find(',') != std::string::npos) continue;
        // A record of code page 932 that cannot be read stays as its bytes
        // where what the code page cannot hold turns the file into UTF-8:
        // there its key no longer reads, and it is no record of the key.
        if (unreadableKeys.contains(at.first) && platform::textEncoding(out) != platform::textEncoding(bytes)) continue;
        FUZZ_CHECK(found == withoutLeadingBlanks(comment), "key", at.first, "ordinal", std::to_string(at.second),
                   "comment", comment, "read", found, "file", out);
    }
    // Records of the stored file that cannot be read and were not changed
    // stay as they are.
    std::set<std::string> changedKeys;
    for (const auto& c : changes.records) changedKeys.insert(c.key);
    const std::string body = bytes.rfind(platform::kByteOrderMark, 0) == 0 ? bytes.substr(3) : bytes;
    if (platform::textEncoding(bytes) != platform::TextEncoding::Ansi) {
        const auto storedLines = platform::splitLines(body);
        for (std::size_t i = 1; i < storedLines.size(); ++i) {
            const std::string& line = storedLines[i];
            if (platform::isValidUtf8(line)) continue;
            const std::string text = platform::utf8Lossy(line);
            bool changed = false;
            for (const auto& r : {folderview::parseCommentRecord(text), folderview::parseCommentFields(text)}) {
                changed |= r && changedKeys.contains(r->key);
            }
            if (!changed) FUZZ_CHECK(out.find(line) != std::string::npos, "lost", line, "file", out);
        }
    }
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
    const auto unmatched = folderview::applyStoredComments(read, list, index, folder);
    FUZZ_CHECK(folder.text == folderComment, "saved", folderComment, "read", folder.text, "file", fs.files[path]);
    FUZZ_CHECK(unmatched.empty(), "first unmatched record", unmatched.front(), "file", fs.files[path]);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        FUZZ_CHECK(list.rows[i].cells[kCommentColumn] == withoutLeadingBlanks(rows[i].second), "key", rows[i].first,
                   "saved", rows[i].second, "read", list.rows[i].cells[kCommentColumn], "file", fs.files[path]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    readAnyFile(bytes);
    FuzzedDataProvider p(data, size);
    mergeIntoAnyFile(bytes.substr(0, p.ConsumeIntegralInRange<std::size_t>(0, size)), p);
    FuzzedDataProvider again(data, size);
    saveAndReadBack(again);
    return 0;
}
