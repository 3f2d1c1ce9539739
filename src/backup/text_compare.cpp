#include "backup/text_compare.h"

#include <dtl.hpp>

#include <algorithm>
#include <array>
#include <cstring>
#include <unordered_map>
#include <utility>

namespace mabrel::backup {

namespace {

// Bytes classed once: 1 a control character no text holds, 2 not ASCII.
constexpr std::array<std::uint8_t, 256> kByteClass = [] {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 0x20; ++c) table[static_cast<std::size_t>(c)] = 1;
    for (const int allowed : {0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x1B}) table[static_cast<std::size_t>(allowed)] = 0;
    table[0x7F] = 1;
    for (int c = 0x80; c < 0x100; ++c) table[static_cast<std::size_t>(c)] = 2;
    return table;
}();

std::vector<TextLine> splitIntoLines(const std::string& text) {
    std::vector<TextLine> lines;
    const char* data = text.data();
    const std::size_t size = text.size();
    std::size_t start = 0;
    while (start < size) {
        const auto* lf = static_cast<const char*>(std::memchr(data + start, '\n', size - start));
        const std::size_t nl = lf ? static_cast<std::size_t>(lf - data) : size;
        // A CR ends a line too, alone (old Mac files) or before the LF.
        const auto* cr = static_cast<const char*>(std::memchr(data + start, '\r', nl - start));
        TextLine line{static_cast<std::uint32_t>(start), 0, LineEnd::None};
        std::size_t stop = size;
        if (cr != nullptr) {
            stop = static_cast<std::size_t>(cr - data);
            line.end = stop + 1 < size && data[stop + 1] == '\n' ? LineEnd::CrLf : LineEnd::Cr;
        } else if (nl < size) {
            stop = nl;
            line.end = LineEnd::Lf;
        }
        line.length = static_cast<std::uint32_t>(stop - start);
        lines.push_back(line);
        start = stop + (line.end == LineEnd::CrLf ? 2 : line.end == LineEnd::None ? 0 : 1);
        if (line.end == LineEnd::None) break;
    }
    return lines;
}

std::size_t endLength(LineEnd end) { return end == LineEnd::CrLf ? 2 : end == LineEnd::None ? 0 : 1; }

// The line with its line end, without its label: what two lines must share
// to be the same.
std::string_view wholeLine(const TextFile& f, std::size_t i) {
    const TextLine& l = f.lines[i];
    return std::string_view(f.text).substr(l.offset + l.label, l.length - l.label + endLength(l.end));
}

std::string_view unlabelled(const TextFile& f, std::size_t i) { return f.line(i).substr(f.lines[i].label); }

// A line as diff -b sees it: each run of blanks one space, none at the end.
std::string withoutBlankChanges(std::string_view line) {
    std::string out;
    out.reserve(line.size());
    bool blank = false;
    for (const char c : line) {
        if (c == ' ' || c == '\t' || c == '\v' || c == '\f') {
            blank = true;
            continue;
        }
        if (blank) out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

// What the options let two lines share to be the same. `store` holds the
// keys that are not pieces of the text; it is filled whole before any key
// is taken, so that none moves.
std::vector<std::string_view> lineKeys(const TextFile& f, const CompareOptions& options, std::vector<std::string>& store) {
    const std::size_t n = f.lines.size();
    std::vector<std::string_view> keys(n);
    if (options.ignoreWhitespace) {
        store.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            store[i] = withoutBlankChanges(unlabelled(f, i));
            if (!options.ignoreLineEnds) store[i] += wholeLine(f, i).substr(unlabelled(f, i).size());
        }
        for (std::size_t i = 0; i < n; ++i) keys[i] = store[i];
    } else {
        for (std::size_t i = 0; i < n; ++i) keys[i] = options.ignoreLineEnds ? unlabelled(f, i) : wholeLine(f, i);
    }
    return keys;
}

// The same lines but for their ends.
bool sameButLineEnds(const TextFile& a, const TextFile& b) {
    if (a.lines.size() != b.lines.size()) return false;
    for (std::size_t i = 0; i < a.lines.size(); ++i) {
        if (unlabelled(a, i) != unlabelled(b, i)) return false;
    }
    return true;
}

// dtl's comparison, counting: it tells the progress callback now and then
// (which may stop the comparison by throwing) and gives up past a budget.
struct Effort {
    std::uint64_t comparisons = 0;
    std::uint64_t limit = 0;
    const CompareProgress* progress = nullptr;
};
struct OverBudget {};

class CountingCompare {
public:
    CountingCompare() = default;
    explicit CountingCompare(Effort* effort) : effort_(effort) {}
    bool impl(const std::int32_t& a, const std::int32_t& b) const {
        if ((++effort_->comparisons & 0xFFFF) == 0) {
            if (effort_->progress && *effort_->progress) (*effort_->progress)(-1);
            if (effort_->comparisons > effort_->limit) throw OverBudget{};
        }
        return a == b;
    }

private:
    Effort* effort_ = nullptr;
};

// A few seconds of comparing at most: beyond, two large files that share
// lines in a very different order show their middles as replaced.
constexpr std::uint64_t kLineComparisonBudget = 600'000'000;

// The pairs of line numbers (older, newer) that stay, in order: a longest
// common subsequence of the lines.
std::vector<std::pair<std::int32_t, std::int32_t>> commonLines(const TextFile& older, const TextFile& newer,
                                                               const CompareOptions& options,
                                                               const CompareProgress& progress) {
    const std::size_t n = older.lines.size(), m = newer.lines.size();
    // Each distinct line (as the options see it) gets a number.
    std::vector<std::string> olderStore, newerStore;
    const auto olderKeys = lineKeys(older, options, olderStore);
    const auto newerKeys = lineKeys(newer, options, newerStore);
    std::unordered_map<std::string_view, std::int32_t> numbers;
    numbers.reserve(n + m);
    std::vector<std::int32_t> a(n), b(m);
    for (std::size_t i = 0; i < n; ++i) a[i] = numbers.try_emplace(olderKeys[i], static_cast<std::int32_t>(numbers.size())).first->second;
    for (std::size_t i = 0; i < m; ++i) b[i] = numbers.try_emplace(newerKeys[i], static_cast<std::int32_t>(numbers.size())).first->second;

    std::vector<std::pair<std::int32_t, std::int32_t>> common;
    std::size_t prefix = 0;
    while (prefix < n && prefix < m && a[prefix] == b[prefix]) ++prefix;
    std::size_t suffix = 0;
    while (suffix < n - prefix && suffix < m - prefix && a[n - 1 - suffix] == b[m - 1 - suffix]) ++suffix;
    for (std::size_t i = 0; i < prefix; ++i) common.emplace_back(i, i);

    // Lines only one side has can be in no common subsequence: dtl sees the
    // others only, which for versions of one file are few.
    std::vector<std::uint8_t> in(numbers.size(), 0);  // 1 in the older middle, 2 in the newer
    for (std::size_t i = prefix; i < n - suffix; ++i) in[static_cast<std::size_t>(a[i])] |= 1;
    for (std::size_t i = prefix; i < m - suffix; ++i) in[static_cast<std::size_t>(b[i])] |= 2;
    std::vector<std::int32_t> ra, rb, rax, rbx;  // the lines and their numbers in the files
    for (std::size_t i = prefix; i < n - suffix; ++i) {
        if (in[static_cast<std::size_t>(a[i])] == 3) {
            ra.push_back(a[i]);
            rax.push_back(static_cast<std::int32_t>(i));
        }
    }
    for (std::size_t i = prefix; i < m - suffix; ++i) {
        if (in[static_cast<std::size_t>(b[i])] == 3) {
            rb.push_back(b[i]);
            rbx.push_back(static_cast<std::int32_t>(i));
        }
    }
    if (!ra.empty() && !rb.empty()) {
        Effort effort;
        effort.limit = kLineComparisonBudget;
        effort.progress = &progress;
        try {
            dtl::Diff<std::int32_t, std::vector<std::int32_t>, CountingCompare> diff(ra, rb, CountingCompare(&effort));
            diff.compose();
            for (const auto& [line, info] : diff.getSes().getSequence()) {
                if (info.type != dtl::SES_COMMON) continue;
                common.emplace_back(rax[static_cast<std::size_t>(info.beforeIdx - 1)],
                                    rbx[static_cast<std::size_t>(info.afterIdx - 1)]);
            }
        } catch (const OverBudget&) {
            // The middles stand as replaced: no line of them is matched.
        }
    }
    for (std::size_t i = suffix; i > 0; --i) common.emplace_back(n - i, m - i);
    return common;
}

bool isContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Code points of UTF-8 text, each with the byte offset where it starts.
void decode(std::string_view s, std::vector<char32_t>& chars, std::vector<std::uint32_t>& offsets) {
    chars.clear();
    offsets.clear();
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = length == 1 ? c : length == 2 ? (c & 0x1F) : length == 3 ? (c & 0x0F) : (c & 0x07);
        for (std::size_t k = 1; k < length && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
        chars.push_back(cp);
        offsets.push_back(static_cast<std::uint32_t>(i));
        i += length;
    }
    offsets.push_back(static_cast<std::uint32_t>(s.size()));
}

// Common start and end of two lines, in whole characters.
std::pair<std::size_t, std::size_t> sharedEnds(std::string_view a, std::string_view b) {
    std::size_t prefix = 0;
    const std::size_t shorter = std::min(a.size(), b.size());
    while (prefix < shorter && a[prefix] == b[prefix]) ++prefix;
    while (prefix > 0 && prefix < shorter && (isContinuation(a[prefix]) || isContinuation(b[prefix]))) --prefix;
    std::size_t suffix = 0;
    while (suffix < shorter - prefix && a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) ++suffix;
    while (suffix > 0 && isContinuation(a[a.size() - suffix])) --suffix;
    return {prefix, suffix};
}

// Two lines are shown as one changed line when at least a third of the
// longer one is shared at their starts and ends; otherwise as a line
// removed and another added.
bool similar(std::string_view a, std::string_view b) {
    const auto [prefix, suffix] = sharedEnds(a, b);
    return (prefix + suffix) * 3 >= std::max(a.size(), b.size());
}

// How far among the added lines a removed line looks for one alike to it.
constexpr std::int32_t kPairingLookAhead = 16;

// Middles longer than this are marked whole: a character comparison of two
// long lines costs their lengths multiplied.
constexpr std::size_t kCharacterMiddleLimit = 4000;

void appendSpan(std::vector<TextComparison::Span>& spans, std::uint32_t from, std::uint32_t to) {
    if (from >= to) return;
    if (!spans.empty() && spans.back().to == from) {
        spans.back().to = to;
    } else {
        spans.push_back({from, to});
    }
}

TextComparison::LineMarks markCharacters(std::string_view a, std::string_view b) {
    TextComparison::LineMarks marks;
    const auto [prefix, suffix] = sharedEnds(a, b);
    const std::string_view ma = a.substr(prefix, a.size() - prefix - suffix);
    const std::string_view mb = b.substr(prefix, b.size() - prefix - suffix);
    const auto base = static_cast<std::uint32_t>(prefix);
    if (ma.empty() || mb.empty() || ma.size() + mb.size() > kCharacterMiddleLimit) {
        appendSpan(marks.older, base, base + static_cast<std::uint32_t>(ma.size()));
        appendSpan(marks.newer, base, base + static_cast<std::uint32_t>(mb.size()));
        return marks;
    }
    std::vector<char32_t> ca, cb;
    std::vector<std::uint32_t> oa, ob;
    decode(ma, ca, oa);
    decode(mb, cb, ob);
    dtl::Diff<char32_t> diff(ca, cb);
    diff.compose();
    for (const auto& [c, info] : diff.getSes().getSequence()) {
        if (info.type == dtl::SES_DELETE) {
            const auto i = static_cast<std::size_t>(info.beforeIdx - 1);
            appendSpan(marks.older, base + oa[i], base + oa[i + 1]);
        } else if (info.type == dtl::SES_ADD) {
            const auto i = static_cast<std::size_t>(info.afterIdx - 1);
            appendSpan(marks.newer, base + ob[i], base + ob[i + 1]);
        }
    }
    return marks;
}

const char* endText(LineEnd end) {
    switch (end) {
    case LineEnd::Lf: return "LF";
    case LineEnd::CrLf: return "CRLF";
    case LineEnd::Cr: return "CR";
    case LineEnd::None: break;
    }
    return "改行なし";
}

// The runs of a line: tabs to the next multiple of four columns (a wide
// character takes two), control characters as their pictures.
void appendShown(std::vector<Run>& runs, std::string_view text, bool changed, int& column) {
    if (text.empty()) return;
    if (runs.empty() || runs.back().changed != changed) runs.push_back({std::string(), changed});
    std::string& out = runs.back().text;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\t') {
            const int spaces = 4 - column % 4;
            out.append(static_cast<std::size_t>(spaces), ' ');
            column += spaces;
            ++i;
        } else if (c < 0x20) {
            // U+2400 and on: the control pictures.
            out += "\xE2\x90";
            out += static_cast<char>(0x80 + c);
            ++column;
            ++i;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            ++column;
            ++i;
        } else {
            const std::size_t length = c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
            // Half-width katakana (EF BD A1 to EF BE 9F) take one column.
            const bool halfWidth = c == 0xEF && i + 1 < text.size() &&
                                   (static_cast<unsigned char>(text[i + 1]) == 0xBD ||
                                    static_cast<unsigned char>(text[i + 1]) == 0xBE);
            column += length >= 3 && !halfWidth ? 2 : 1;
            out.append(text.substr(i, length));
            i += length;
        }
    }
}

}  // namespace

std::string_view TextFile::longestLine() const {
    const auto at = std::max_element(lines.begin(), lines.end(),
                                     [](const TextLine& a, const TextLine& b) { return a.length < b.length; });
    return at == lines.end() ? std::string_view() : line(static_cast<std::size_t>(at - lines.begin()));
}

namespace {

bool holdsControl(std::string_view text) {
    std::uint8_t seen = 0;
    for (const char c : text) seen |= kByteClass[static_cast<unsigned char>(c)];
    return (seen & 1) != 0;
}

std::size_t countMarks(std::string_view text) {
    std::size_t n = 0;
    for (std::size_t at = text.find("\xEF\xBF\xBD"); at != std::string_view::npos; at = text.find("\xEF\xBF\xBD", at + 3)) ++n;
    return n;
}

}  // namespace

std::optional<TextFile> readAsText(const platform::Codec& codec, std::string bytes) {
    const std::size_t size = bytes.size();
    TextFile file;
    if (auto utf16 = platform::decodeUtf16WithMark(bytes, file.invalid)) {
        file.encoding = bytes[0] == '\xFF' ? TextEncoding::Utf16Le : TextEncoding::Utf16Be;
        file.text = std::move(*utf16);
        if (holdsControl(file.text)) return std::nullopt;
    } else if (holdsControl(bytes)) {
        return std::nullopt;
    } else {
        switch (platform::textEncoding(bytes)) {
        case platform::TextEncoding::Utf8WithMark:
            file.encoding = TextEncoding::Utf8Bom;
            file.text = platform::utf8Lossy(bytes.substr(3), &file.invalid);
            break;
        case platform::TextEncoding::Utf8:
            file.encoding = TextEncoding::Utf8;
            file.text = platform::isValidUtf8(bytes) ? std::move(bytes) : platform::utf8Lossy(bytes, &file.invalid);
            break;
        case platform::TextEncoding::Ansi:
            // ASCII alone reads alike in both; it is called UTF-8.
            if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
                file.encoding = TextEncoding::Utf8;
                file.text = std::move(bytes);
            } else {
                // The code page holds no U+FFFD: each one is a byte that did not convert.
                file.encoding = TextEncoding::Cp932;
                file.text = codec.fromAnsi(bytes);
                file.invalid = countMarks(file.text);
            }
            break;
        }
    }
    if (file.invalid > 4 + size / 1000) return std::nullopt;
    file.lines = splitIntoLines(file.text);
    return file;
}

TextFile textFromUtf8(std::string utf8, TextEncoding encoding) {
    TextFile file;
    file.encoding = encoding;
    file.text = std::move(utf8);
    file.lines = splitIntoLines(file.text);
    return file;
}

TextComparison compareTexts(TextFile older, TextFile newer, const CompareOptions& options,
                            const CompareProgress& progress) {
    TextComparison result;
    result.older = std::move(older);
    result.newer = std::move(newer);
    result.options = options;
    const TextFile& a = result.older;
    const TextFile& b = result.newer;
    const bool sameEncoding = a.encoding == b.encoding;
    if (a.text == b.text) {
        result.likeness = sameEncoding ? Likeness::Same : Likeness::EncodingOnly;
    } else if (sameButLineEnds(a, b)) {
        // Not every line marked for its end: the sentence says what differs.
        result.likeness = sameEncoding ? Likeness::LineEndsOnly : Likeness::EncodingAndLineEndsOnly;
        result.options.ignoreLineEnds = true;
    }
    auto common = commonLines(a, b, result.options, progress);
    common.emplace_back(static_cast<std::int32_t>(a.lines.size()), static_cast<std::int32_t>(b.lines.size()));

    auto& rows = result.rows;
    rows.reserve(std::max(a.lines.size(), b.lines.size()));
    std::vector<std::int32_t> removed, added;
    const auto flush = [&] {
        for (const std::int32_t i : removed) rows.push_back({i, -1, RowKind::Removed});
        for (const std::int32_t j : added) rows.push_back({-1, j, RowKind::Added});
        removed.clear();
        added.clear();
    };
    std::int32_t i = 0, j = 0;
    for (const auto& [ci, cj] : common) {
        if (i < ci || j < cj) {
            result.changes.push_back(static_cast<std::int32_t>(rows.size()));
            // A removed line and the next added line alike to it (looked for
            // a few lines ahead) are one changed line.
            for (; i < ci && j < cj; ++i) {
                std::int32_t match = -1;
                for (std::int32_t k = j; k < cj && k < j + kPairingLookAhead; ++k) {
                    if (similar(unlabelled(a, static_cast<std::size_t>(i)), unlabelled(b, static_cast<std::size_t>(k)))) {
                        match = k;
                        break;
                    }
                }
                if (match < 0) {
                    removed.push_back(i);
                    continue;
                }
                for (; j < match; ++j) added.push_back(j);
                flush();
                rows.push_back({i, j, RowKind::Changed});
                ++j;
            }
            for (; i < ci; ++i) removed.push_back(i);
            for (; j < cj; ++j) added.push_back(j);
            flush();
        }
        if (ci == static_cast<std::int32_t>(a.lines.size())) break;
        rows.push_back({ci, cj, RowKind::Same});
        i = ci + 1;
        j = cj + 1;
    }

    // The characters of changed lines.
    result.marksOfRow.assign(rows.size(), -1);
    std::size_t changed = 0, done = 0;
    for (const CompareRow& row : rows) changed += row.kind == RowKind::Changed ? 1 : 0;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        if (rows[r].kind != RowKind::Changed) continue;
        if (progress && (++done & 0x3FF) == 0) progress(static_cast<int>(done * 1000 / changed));
        result.marksOfRow[r] = static_cast<std::int32_t>(result.marks.size());
        result.marks.push_back(markCharacters(a.line(static_cast<std::size_t>(rows[r].left)),
                                              b.line(static_cast<std::size_t>(rows[r].right))));
    }
    return result;
}

std::vector<Run> TextComparison::runs(std::size_t row, bool newerSide) const {
    std::vector<Run> out;
    const CompareRow& r = rows.at(row);
    const std::int32_t index = newerSide ? r.right : r.left;
    if (index < 0) return out;
    const TextFile& file = newerSide ? newer : older;
    const std::string_view line = file.line(static_cast<std::size_t>(index));
    int column = 0;
    if (r.kind != RowKind::Changed) {
        appendShown(out, line, r.kind != RowKind::Same, column);
        return out;
    }
    const LineMarks& m = marks[static_cast<std::size_t>(marksOfRow[row])];
    std::uint32_t at = 0;
    for (const Span& s : newerSide ? m.newer : m.older) {
        appendShown(out, line.substr(at, s.from - at), false, column);
        appendShown(out, line.substr(s.from, s.to - s.from), true, column);
        at = s.to;
    }
    appendShown(out, line.substr(at), false, column);
    if (options.ignoreLineEnds) return out;
    const LineEnd end = file.lines[static_cast<std::size_t>(index)].end;
    const LineEnd other = (newerSide ? older : newer).lines[static_cast<std::size_t>(newerSide ? r.left : r.right)].end;
    if (end != other) out.push_back({std::string(" [") + endText(end) + "]", true});
    return out;
}

namespace {

std::string encodingText(const TextFile& file) {
    switch (file.encoding) {
    case TextEncoding::Utf8Bom: return "UTF-8 (BOM)";
    case TextEncoding::Utf8: return "UTF-8";
    case TextEncoding::Cp932: return "Shift_JIS";
    case TextEncoding::Utf16Le: return "UTF-16LE (BOM)";
    case TextEncoding::Utf16Be: return "UTF-16BE (BOM)";
    }
    return {};
}

std::string endsText(const TextFile& file) {
    std::array<std::size_t, 4> counts{};
    for (const TextLine& line : file.lines) ++counts[static_cast<std::size_t>(line.end)];
    std::string ends;
    for (const LineEnd e : {LineEnd::CrLf, LineEnd::Lf, LineEnd::Cr}) {
        if (counts[static_cast<std::size_t>(e)] == 0) continue;
        ends += ends.empty() ? "" : "+";
        ends += endText(e);
    }
    return ends.empty() ? std::string("改行なし") : ends;
}

}  // namespace

std::string describeText(const TextFile& file) {
    std::string text = encodingText(file) + "・" + endsText(file);
    if (file.invalid > 0) text += "・読めないバイト " + std::to_string(file.invalid) + " 個（\xEF\xBF\xBD で表示）";
    return text;
}

std::string sameSentence(const TextComparison& c) {
    const auto both = [](const std::string& a, const std::string& b) { return "（左 " + a + "、右 " + b + "）。"; };
    switch (c.likeness) {
    case Likeness::EncodingOnly:
        return "文字コードだけが違います" + both(encodingText(c.older), encodingText(c.newer));
    case Likeness::LineEndsOnly:
        return "改行だけが違います" + both(endsText(c.older), endsText(c.newer));
    case Likeness::EncodingAndLineEndsOnly:
        return "文字コードと改行だけが違います" + both(encodingText(c.older) + "・" + endsText(c.older),
                                                        encodingText(c.newer) + "・" + endsText(c.newer));
    case Likeness::Same:
        return "相違はありません。";
    case Likeness::Differ:
        break;
    }
    const bool blanks = c.options.ignoreWhitespace, ends = c.options.ignoreLineEnds;
    return std::string(blanks && ends ? "空白と改行" : blanks ? "空白" : "改行") + "の違いのほかに相違はありません。";
}

}  // namespace mabrel::backup
