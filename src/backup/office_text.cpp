#include "backup/office_text.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <unordered_map>
#include <vector>

#include "backup/excel_format.h"
#include "platform/xml.h"
#include "util/zip_archive.h"

namespace mabrel::backup {

namespace {

using platform::XmlAttribute;

struct Unreadable {
    std::string why;
};

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string_view attribute(const std::vector<XmlAttribute>& attributes, std::string_view name) {
    for (const XmlAttribute& a : attributes) {
        if (a.name == name) return a.value;
    }
    return {};
}

std::string megabytes(std::uint64_t bytes) { return std::to_string(bytes >> 20) + " MB"; }

// The text being built, one line at a time.
class Lines {
public:
    explicit Lines(const OfficeLimits& limits) : limits_(limits) {}

    // A line: `label` shown but not compared, then `content` with its line
    // breaks shown as "↵" and other control characters left out.
    void add(std::string_view label, std::string_view content) {
        if (file_.lines.size() >= limits_.lines) {
            throw Unreadable{"セルや段落が " + std::to_string(limits_.lines) + " を超えるため"};
        }
        if (file_.text.size() + label.size() + content.size() * 3 + 8 > limits_.unpacked) {
            throw Unreadable{"取り出した文字が " + megabytes(limits_.unpacked) + " を超えるため"};
        }
        TextLine line;
        line.offset = static_cast<std::uint32_t>(file_.text.size());
        line.label = static_cast<std::uint16_t>(std::min<std::size_t>(label.size(), 0xFFFF));
        file_.text.append(label.substr(0, line.label));
        std::size_t from = 0;
        for (std::size_t i = 0; i < content.size(); ++i) {
            const char c = content[i];
            if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') continue;
            file_.text.append(content.substr(from, i - from));
            if (c == '\r' || c == '\n') {
                file_.text += "↵";
                if (c == '\r' && i + 1 < content.size() && content[i + 1] == '\n') ++i;
            }
            from = i + 1;
        }
        file_.text.append(content.substr(std::min(from, content.size())));
        line.length = static_cast<std::uint32_t>(file_.text.size() - line.offset);
        line.end = LineEnd::Lf;
        file_.text += '\n';
        file_.lines.push_back(line);
    }

    TextFile take() { return std::move(file_); }

private:
    const OfficeLimits& limits_;
    TextFile file_;
};

struct Relationship {
    std::string id, type, target;  // target: the part's name in the zip
};

// The zip and its parts, unpacked within one budget.
class Package {
public:
    Package(std::string_view bytes, const OfficeLimits& limits) : zip_(bytes), budget_(limits.unpacked), limit_(limits.unpacked) {}

    bool has(std::string_view part) const { return zip_.find(part) != nullptr; }

    // Reads the part through `handler`; false when there is none.
    bool parse(std::string_view part, platform::XmlHandler& handler) {
        const util::ZipArchive::Entry* entry = zip_.find(part);
        if (entry == nullptr) return false;
        std::string xml;
        try {
            xml = zip_.read(*entry, budget_);
        } catch (const util::ZipError& e) {
            if (e.kind == util::ZipError::TooLarge) throw Unreadable{"展開すると " + megabytes(limit_) + " を超えるため"};
            throw;
        }
        budget_ -= xml.size();
        const platform::XmlResult result = platform::parseXml(xml, handler);
        if (!result.ok && !result.stopped) throw Unreadable{"中の " + std::string(part) + " が壊れているため（" + result.error + "）"};
        return true;
    }

    std::vector<Relationship> relationships(std::string_view part);

private:
    util::ZipArchive zip_;
    std::uint64_t budget_;
    std::uint64_t limit_;
};

// "xl/" and "worksheets/sheet1.xml" give "xl/worksheets/sheet1.xml"; ".."
// goes up, a leading "/" starts from the package's root.
std::string resolve(std::string_view folder, std::string_view target) {
    std::vector<std::string> parts;
    std::string path = target.substr(0, 1) == "/" ? std::string(target.substr(1)) : std::string(folder) + std::string(target);
    std::size_t start = 0;
    while (start <= path.size()) {
        const auto slash = std::min(path.find('/', start), path.size());
        const std::string piece = path.substr(start, slash - start);
        if (piece == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!piece.empty() && piece != ".") {
            parts.push_back(piece);
        }
        start = slash + 1;
    }
    std::string out;
    for (const std::string& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

std::vector<Relationship> Package::relationships(std::string_view part) {
    struct Handler : platform::XmlHandler {
        std::vector<Relationship> found;
        bool startElement(std::string_view name, const std::vector<XmlAttribute>& a) override {
            if (name == "Relationship" && attribute(a, "TargetMode") != "External") {
                found.push_back({std::string(attribute(a, "Id")), std::string(attribute(a, "Type")), std::string(attribute(a, "Target"))});
            }
            return true;
        }
        bool endElement(std::string_view) override { return true; }
        bool text(std::string_view) override { return true; }
    } handler;
    const auto slash = part.rfind('/');
    const std::string folder = slash == std::string_view::npos ? "" : std::string(part.substr(0, slash + 1));
    const std::string name = slash == std::string_view::npos ? std::string(part) : std::string(part.substr(slash + 1));
    parse(folder + "_rels/" + name + ".rels", handler);
    for (Relationship& r : handler.found) r.target = resolve(folder, r.target);
    return handler.found;
}

bool endsWith(std::string_view s, std::string_view end) {
    return s.size() >= end.size() && s.substr(s.size() - end.size()) == end;
}

// ---- Workbooks ----

// "_x000D_" and the like: characters XML cannot carry, as Excel writes them.
std::string unescapeExcel(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned code = 0;
        if (s[i] == '_' && i + 6 < s.size() && s[i + 1] == 'x' && s[i + 6] == '_' &&
            std::from_chars(s.data() + i + 2, s.data() + i + 6, code, 16).ptr == s.data() + i + 6) {
            if (code < 0x80) {
                out += static_cast<char>(code);
            } else if (code < 0x800) {
                out += static_cast<char>(0xC0 | (code >> 6));
                out += static_cast<char>(0x80 | (code & 0x3F));
            } else if (code < 0xD800 || code > 0xDFFF) {
                out += static_cast<char>(0xE0 | (code >> 12));
                out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
                out += static_cast<char>(0x80 | (code & 0x3F));
            }
            i += 6;
        } else {
            out += s[i];
        }
    }
    return out;
}

// "B3" as column 2, row 3 (both from 1); false when it is no cell.
bool parseAddress(std::string_view a, int& column, int& row) {
    std::size_t i = 0;
    column = 0;
    while (i < a.size() && i < 3 && ((a[i] >= 'A' && a[i] <= 'Z') || (a[i] >= 'a' && a[i] <= 'z'))) {
        column = column * 26 + (lower(a[i]) - 'a' + 1);
        ++i;
    }
    if (i == 0 || i == a.size()) return false;
    row = 0;
    const auto r = std::from_chars(a.data() + i, a.data() + a.size(), row);
    return r.ptr == a.data() + a.size() && r.ec == std::errc() && row > 0 && column <= 16384 && row <= 1048576;
}

std::string columnName(int column) {
    std::string name;
    for (; column > 0; column = (column - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (column - 1) % 26));
    return name;
}

// A shared formula as written for its first cell, moved to another cell:
// its relative references follow, as Excel's fill does.
std::string shiftFormula(std::string_view f, int rows, int columns) {
    std::string out;
    const auto isName = [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '.' ||
               static_cast<unsigned char>(c) >= 0x80;
    };
    for (std::size_t i = 0; i < f.size();) {
        const char c = f[i];
        if (c == '"' || c == '\'') {
            std::size_t j = i + 1;
            while (j < f.size() && f[j] != c) ++j;
            out.append(f.substr(i, j + 1 - i));
            i = j + 1;
            continue;
        }
        if (!isName(c) && c != '$') {
            out += c;
            ++i;
            continue;
        }
        std::size_t j = i;
        while (j < f.size() && (isName(f[j]) || f[j] == '$')) ++j;
        const std::string_view word = f.substr(i, j - i);
        i = j;
        // A reference: [$]letters[$]digits, not a function's or a sheet's name.
        std::size_t k = 0;
        const bool absColumn = k < word.size() && word[k] == '$';
        k += absColumn;
        const std::size_t letters = k;
        while (k < word.size() && ((word[k] >= 'A' && word[k] <= 'Z') || (word[k] >= 'a' && word[k] <= 'z'))) ++k;
        const std::size_t letterCount = k - letters;
        const bool absRow = k < word.size() && word[k] == '$';
        k += absRow;
        const std::size_t digits = k;
        while (k < word.size() && word[k] >= '0' && word[k] <= '9') ++k;
        int column = 0, row = 0;
        const bool reference = letterCount >= 1 && letterCount <= 3 && k == word.size() && k > digits &&
                               (j >= f.size() || (f[j] != '(' && f[j] != '!')) &&
                               parseAddress(std::string(word.substr(letters, letterCount)) + std::string(word.substr(digits)), column, row);
        if (!reference) {
            out.append(word);
            continue;
        }
        if (!absColumn) column += columns;
        if (!absRow) row += rows;
        if (column < 1 || row < 1 || column > 16384 || row > 1048576) {
            out += "#REF!";
            continue;
        }
        out += (absColumn ? "$" : "") + columnName(column) + (absRow ? "$" : "") + std::to_string(row);
    }
    return out;
}

struct SharedStrings : platform::XmlHandler {
    std::vector<std::string> strings;
    std::string current;
    int phonetic = 0;  // inside <rPh>, the reading of Japanese text: not shown
    bool inText = false;
    bool startElement(std::string_view name, const std::vector<XmlAttribute>&) override {
        if (name == "si") current.clear();
        else if (name == "rPh") ++phonetic;
        else if (name == "t") inText = phonetic == 0;
        return true;
    }
    bool endElement(std::string_view name) override {
        if (name == "si") strings.push_back(unescapeExcel(current));
        else if (name == "rPh") --phonetic;
        else if (name == "t") inText = false;
        return true;
    }
    bool text(std::string_view t) override {
        if (inText) current.append(t);
        return true;
    }
};

struct Styles : platform::XmlHandler {
    std::map<int, std::string> formats;  // custom number formats by number
    std::vector<int> cellFormats;        // number format of each cell style
    bool inCellXfs = false;
    bool startElement(std::string_view name, const std::vector<XmlAttribute>& a) override {
        int id = 0;
        const std::string_view v = attribute(a, "numFmtId");
        std::from_chars(v.data(), v.data() + v.size(), id);
        if (name == "numFmt") formats[id] = std::string(attribute(a, "formatCode"));
        else if (name == "cellXfs") inCellXfs = true;
        else if (name == "xf" && inCellXfs) cellFormats.push_back(id);
        return true;
    }
    bool endElement(std::string_view name) override {
        if (name == "cellXfs") inCellXfs = false;
        return true;
    }
    bool text(std::string_view) override { return true; }

    std::string_view formatOf(std::string_view style) const {
        std::size_t index = 0;
        std::from_chars(style.data(), style.data() + style.size(), index);
        if (index >= cellFormats.size()) return {};
        const int id = cellFormats[index];
        const auto custom = formats.find(id);
        return custom != formats.end() ? std::string_view(custom->second) : builtinNumberFormat(id);
    }
};

struct Workbook : platform::XmlHandler {
    struct Sheet {
        std::string name, id;
    };
    std::vector<Sheet> sheets;
    bool date1904 = false;
    bool startElement(std::string_view name, const std::vector<XmlAttribute>& a) override {
        if (name == "sheet") sheets.push_back({std::string(attribute(a, "name")), std::string(attribute(a, "id"))});
        else if (name == "workbookPr") date1904 = attribute(a, "date1904") == "1" || attribute(a, "date1904") == "true";
        return true;
    }
    bool endElement(std::string_view) override { return true; }
    bool text(std::string_view) override { return true; }
};

class Worksheet : public platform::XmlHandler {
public:
    Worksheet(Lines& lines, const std::vector<std::string>& strings, const Styles& styles, bool date1904)
        : lines_(lines), strings_(strings), styles_(styles), date1904_(date1904) {}

    bool startElement(std::string_view name, const std::vector<XmlAttribute>& a) override {
        capture_ = nullptr;
        if (name == "row") {
            int r = 0;
            const std::string_view v = attribute(a, "r");
            row_ = std::from_chars(v.data(), v.data() + v.size(), r).ec == std::errc() && r > 0 ? r : row_ + 1;
            column_ = 0;
        } else if (name == "c") {
            int column = 0, row = 0;
            if (parseAddress(attribute(a, "r"), column, row)) {
                column_ = column;
                row_ = row;
            } else {
                ++column_;
            }
            type_ = attribute(a, "t");
            style_ = attribute(a, "s");
            value_.clear();
            formula_.clear();
            inline_.clear();
            sharedIndex_.clear();
            sharedFirst_ = false;
        } else if (name == "v") {
            capture_ = &value_;
        } else if (name == "f") {
            capture_ = &formula_;
            if (attribute(a, "t") == "shared") {
                sharedIndex_ = attribute(a, "si");
                sharedFirst_ = !attribute(a, "ref").empty();
            }
        } else if (name == "rPh") {
            ++phonetic_;
        } else if (name == "t" && phonetic_ == 0) {
            capture_ = &inline_;
        } else if (name == "mergeCell") {
            merged_.emplace_back(attribute(a, "ref"));
        }
        return true;
    }

    bool endElement(std::string_view name) override {
        capture_ = nullptr;
        if (name == "rPh") --phonetic_;
        if (name == "c") cell();
        return true;
    }

    bool text(std::string_view t) override {
        if (capture_ != nullptr) capture_->append(t);
        return true;
    }

    void finish() {
        for (const std::string& range : merged_) lines_.add({}, "結合セル " + range);
    }

private:
    void cell() {
        if (!sharedIndex_.empty()) {
            if (sharedFirst_) {
                shared_[sharedIndex_] = {formula_, row_, column_};
            } else if (const auto first = shared_.find(sharedIndex_); first != shared_.end() && formula_.empty()) {
                formula_ = shiftFormula(first->second.formula, row_ - first->second.row, column_ - first->second.column);
            }
        }
        std::string shown;
        if (type_ == "s") {
            std::size_t index = 0;
            const auto r = std::from_chars(value_.data(), value_.data() + value_.size(), index);
            shown = r.ec == std::errc() && index < strings_.size() ? strings_[index] : "#REF!";
        } else if (type_ == "inlineStr") {
            shown = unescapeExcel(inline_);
        } else if (type_ == "b") {
            shown = value_.empty() ? "" : value_ == "0" ? "FALSE" : "TRUE";
        } else if (type_ == "str" || type_ == "e" || type_ == "d") {
            shown = unescapeExcel(value_);
        } else if (!value_.empty()) {
            double number = 0;
            const auto r = std::from_chars(value_.data(), value_.data() + value_.size(), number);
            shown = r.ec == std::errc() ? formatCellNumber(number, styles_.formatOf(style_), date1904_) : value_;
        }
        if (shown.empty() && formula_.empty()) return;
        std::string content = formula_.empty() ? shown : "=" + formula_ + (shown.empty() ? "" : " → " + shown);
        lines_.add(columnName(column_) + std::to_string(row_) + ": ", content);
    }

    struct SharedFormula {
        std::string formula;
        int row = 0, column = 0;
    };

    Lines& lines_;
    const std::vector<std::string>& strings_;
    const Styles& styles_;
    bool date1904_;
    int row_ = 0, column_ = 0, phonetic_ = 0;
    std::string type_, style_, value_, formula_, inline_, sharedIndex_;
    bool sharedFirst_ = false;
    std::string* capture_ = nullptr;
    std::unordered_map<std::string, SharedFormula> shared_;
    std::vector<std::string> merged_;
};

void readWorkbook(Package& package, Lines& lines) {
    const std::string workbookPart = "xl/workbook.xml";
    Workbook workbook;
    if (!package.parse(workbookPart, workbook)) throw Unreadable{"Excel ブックの中身（xl/workbook.xml）がないため"};
    std::string stringsPart = "xl/sharedStrings.xml", stylesPart = "xl/styles.xml";
    std::map<std::string, std::string> targets;
    for (const Relationship& r : package.relationships(workbookPart)) {
        targets[r.id] = r.target;
        if (endsWith(r.type, "/sharedStrings")) stringsPart = r.target;
        if (endsWith(r.type, "/styles")) stylesPart = r.target;
    }
    SharedStrings strings;
    package.parse(stringsPart, strings);
    Styles styles;
    package.parse(stylesPart, styles);
    for (const Workbook::Sheet& sheet : workbook.sheets) {
        lines.add({}, "■ シート「" + sheet.name + "」");
        const auto target = targets.find(sheet.id);
        if (target == targets.end()) continue;  // a chart sheet's part is no worksheet either
        Worksheet handler(lines, strings.strings, styles, workbook.date1904);
        if (package.parse(target->second, handler)) handler.finish();
    }
}

// ---- Documents ----

class Paragraphs : public platform::XmlHandler {
public:
    explicit Paragraphs(Lines& lines) : lines_(lines) {}

    // Header and footer parts the body's sections name, in their order.
    std::vector<std::string> headers, footers;

    bool startElement(std::string_view name, const std::vector<XmlAttribute>& a) override {
        if (skip_ > 0 || name == "Fallback") {
            ++skip_;  // the same content again, for older programs
            return true;
        }
        if (name == "p") {
            open_.emplace_back();
        } else if (name == "r") {
            ++run_;
        } else if (name == "t" && run_ > 0) {
            inText_ = true;
        } else if (run_ > 0 && !open_.empty() && (name == "tab" || name == "ptab")) {
            open_.back() += '\t';
        } else if (run_ > 0 && !open_.empty() && (name == "br" || name == "cr")) {
            open_.back() += '\n';
        } else if (run_ > 0 && !open_.empty() && name == "noBreakHyphen") {
            open_.back() += '-';
        } else if (name == "tbl") {
            tables_.emplace_back();
        } else if (name == "tc" && !tables_.empty()) {
            tables_.back().emplace_back();
        } else if (name == "footnote" || name == "endnote") {
            const std::string_view type = attribute(a, "type");
            note_ = type.empty() || type == "normal" ? "[" + std::string(attribute(a, "id")) + "] " : std::string();
            skipNote_ = !type.empty() && type != "normal";
        } else if (name == "headerReference" || name == "footerReference") {
            auto& list = name == "headerReference" ? headers : footers;
            const std::string id(attribute(a, "id"));
            if (std::find(list.begin(), list.end(), id) == list.end()) list.push_back(id);
        }
        return true;
    }

    bool endElement(std::string_view name) override {
        if (skip_ > 0) {
            --skip_;
            return true;
        }
        if (name == "t") {
            inText_ = false;
        } else if (name == "r") {
            --run_;
        } else if (name == "p" && !open_.empty()) {
            std::string text = std::move(open_.back());
            open_.pop_back();
            if (skipNote_) return true;
            if (!tables_.empty() && !tables_.back().empty()) {
                std::string& cell = tables_.back().back();
                cell += (cell.empty() ? "" : "\n") + text;
            } else {
                lines_.add({}, note_ + text);
                note_.clear();
            }
        } else if (name == "tr" && !tables_.empty()) {
            std::string row = "│";
            for (const std::string& cell : tables_.back()) row += " " + cell + " │";
            tables_.back().clear();
            if (tables_.size() == 1) {
                lines_.add({}, note_ + row);
                note_.clear();
            } else {
                // A table in a table's cell: its rows go into that cell.
                std::string& outer = tables_[tables_.size() - 2].back();
                outer += (outer.empty() ? "" : "\n") + row;
            }
        } else if (name == "tbl" && !tables_.empty()) {
            tables_.pop_back();
        }
        return true;
    }

    bool text(std::string_view t) override {
        if (inText_ && skip_ == 0 && !open_.empty()) open_.back().append(t);
        return true;
    }

private:
    Lines& lines_;
    std::vector<std::string> open_;                     // paragraphs begun, the innermost last (text boxes nest)
    std::vector<std::vector<std::string>> tables_;      // the cells of each open table's row
    std::string note_;                                   // "[1] " before a note's first paragraph
    bool skipNote_ = false;                              // separators between text and notes
    int skip_ = 0, run_ = 0;
    bool inText_ = false;
};

void readDocument(Package& package, Lines& lines) {
    const std::string documentPart = "word/document.xml";
    Paragraphs body(lines);
    if (!package.parse(documentPart, body)) throw Unreadable{"Word 文書の中身（word/document.xml）がないため"};
    std::map<std::string, std::string> targets;
    std::string footnotes, endnotes;
    for (const Relationship& r : package.relationships(documentPart)) {
        targets[r.id] = r.target;
        if (endsWith(r.type, "/footnotes")) footnotes = r.target;
        if (endsWith(r.type, "/endnotes")) endnotes = r.target;
    }
    const auto parts = [&](const std::vector<std::string>& ids, const char* heading) {
        int n = 0;
        for (const std::string& id : ids) {
            const auto target = targets.find(id);
            if (target == targets.end()) continue;
            lines.add({}, std::string("■ ") + heading + (ids.size() > 1 ? " " + std::to_string(++n) : ""));
            Paragraphs part(lines);
            package.parse(target->second, part);
        }
    };
    parts(body.headers, "ヘッダー");
    parts(body.footers, "フッター");
    for (const auto& [part, heading] : {std::pair{footnotes, "■ 脚注"}, std::pair{endnotes, "■ 文末脚注"}}) {
        if (part.empty() || !package.has(part)) continue;
        lines.add({}, heading);
        Paragraphs notes(lines);
        package.parse(part, notes);
    }
}

// An OLE compound file: the old binary formats, and the wrapping in which
// Office keeps a password-protected .xlsx or .docx.
bool isCompoundFile(std::string_view bytes) { return bytes.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8); }

bool holdsEncryptedPackage(std::string_view bytes) {
    static const std::string name = [] {
        std::string s;
        for (const char c : std::string_view("EncryptedPackage")) s += {c, '\0'};
        return s;
    }();
    return bytes.find(name) != std::string_view::npos;
}

}  // namespace

OfficeKind officeKindOf(std::string_view fileName) {
    const auto dot = fileName.rfind('.');
    if (dot == std::string_view::npos) return OfficeKind::None;
    std::string ext;
    for (const char c : fileName.substr(dot + 1)) ext += lower(c);
    if (ext == "xlsx" || ext == "xlsm") return OfficeKind::Workbook;
    if (ext == "docx" || ext == "docm") return OfficeKind::Document;
    if (ext == "xls") return OfficeKind::OldWorkbook;
    if (ext == "doc") return OfficeKind::OldDocument;
    return OfficeKind::None;
}

std::string describeOffice(OfficeKind kind) {
    return kind == OfficeKind::Workbook ? "Excel ブック（セルごとに一行）" : "Word 文書（段落ごとに一行）";
}

OfficeText readOfficeText(OfficeKind kind, std::string_view bytes, const OfficeLimits& limits) {
    OfficeText result;
    try {
        if (isCompoundFile(bytes)) {
            throw Unreadable{holdsEncryptedPackage(bytes) ? "パスワードで保護されているため" : "中身が古い形式（.xls や .doc）のため"};
        }
        Package package(bytes, limits);
        Lines lines(limits);
        if (kind == OfficeKind::Workbook) readWorkbook(package, lines);
        else readDocument(package, lines);
        result.file = lines.take();
    } catch (const Unreadable& u) {
        result.problem = u.why;
    } catch (const util::ZipError& e) {
        switch (e.kind) {
        case util::ZipError::Encrypted: result.problem = "パスワードで保護されているため"; break;
        case util::ZipError::TooLarge: result.problem = "展開すると " + megabytes(limits.unpacked) + " を超えるため"; break;
        case util::ZipError::NotZip: result.problem = "ファイルが壊れているため（" + e.detail + "）"; break;
        case util::ZipError::Damaged: result.problem = "ファイルが壊れているため（" + e.detail + "）"; break;
        case util::ZipError::Unsupported: result.problem = "読めない形式のため（" + e.detail + "）"; break;
        }
    }
    return result;
}

}  // namespace mabrel::backup
