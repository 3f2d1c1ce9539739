// Two versions of a text file side by side: which lines were removed, added
// or changed, and within a changed line which characters. The lines are
// compared with dtl (an O(NP) sequence comparison); what is ours is how a
// file becomes lines and how the result becomes rows.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/text.h"

namespace mabrel::backup {

// Files larger than this are not read as text: they go to a compare tool.
inline constexpr std::int64_t kTextCompareLimit = std::int64_t{64} << 20;

enum class TextEncoding { Utf8Bom, Utf8, Cp932, Utf16Le, Utf16Be };
enum class LineEnd : std::uint8_t { None, Lf, CrLf, Cr };

struct TextLine {
    std::uint32_t offset = 0;  // into TextFile::text
    std::uint32_t length = 0;  // without the line end
    LineEnd end = LineEnd::None;
    // Leading bytes shown but not compared: a cell's address, so that a
    // row inserted in a sheet leaves the cells below it unchanged.
    std::uint16_t label = 0;
};

struct TextFile {
    TextEncoding encoding = TextEncoding::Utf8;
    std::string text;  // UTF-8, without a byte order mark
    std::vector<TextLine> lines;
    // Bytes that were no character of the encoding, each shown as U+FFFD.
    std::size_t invalid = 0;

    std::string_view line(std::size_t i) const { return std::string_view(text).substr(lines[i].offset, lines[i].length); }
    // The line of most bytes (what a view measures to size its columns);
    // empty for a file without lines.
    std::string_view longestLine() const;
};

// A file's bytes as text, its encoding decided per file: UTF-16 behind its
// byte order mark; otherwise as the program's own text files are read
// (platform::textEncoding), so that both read the same bytes alike. Nothing
// when they are no text: a NUL or another control character but tab, line
// and page breaks, backspace, bell and escape, or more bytes that are no
// character than a few (four, and one in a thousand).
std::optional<TextFile> readAsText(const platform::Codec& codec, std::string bytes);

// Text already in UTF-8 (from any source: a file read above, or lines taken
// out of a document), split into its lines.
TextFile textFromUtf8(std::string utf8, TextEncoding encoding = TextEncoding::Utf8);

// What two lines must share to count as the same, as `diff` has it.
struct CompareOptions {
    bool ignoreWhitespace = false;  // runs of spaces and tabs alike, none at the end (diff -b)
    bool ignoreLineEnds = false;    // CR LF, LF, CR and none alike
};

// How two texts that show no change differ none the less.
enum class Likeness : std::uint8_t { Differ, Same, EncodingOnly, LineEndsOnly, EncodingAndLineEndsOnly };

enum class RowKind : std::uint8_t { Same, Removed, Added, Changed };

// One row of the side-by-side view: a line of the older file, of the newer
// one, or of both (-1 where a side has none).
struct CompareRow {
    std::int32_t left = -1;
    std::int32_t right = -1;
    RowKind kind = RowKind::Same;
};

// A piece of a line as shown: tabs laid out, control characters made
// visible, and whether it differs from the other side.
struct Run {
    std::string text;
    bool changed = false;
};

// Told of the comparison's progress (0 to 1000, -1 while it cannot tell);
// throwing stops it.
using CompareProgress = std::function<void(int permille)>;

class TextComparison {
public:
    TextFile older;
    TextFile newer;
    CompareOptions options;
    Likeness likeness = Likeness::Differ;
    std::vector<CompareRow> rows;
    // The first row of each change: a run of rows that are not Same.
    std::vector<std::int32_t> changes;

    // The row's line of one side in pieces; empty for a side without a line.
    // A line end that differs from the other side's shows as a piece of its own.
    std::vector<Run> runs(std::size_t row, bool newerSide) const;

    // Changed characters of Changed rows, by row: byte ranges into the line.
    struct Span {
        std::uint32_t from = 0;
        std::uint32_t to = 0;
    };
    struct LineMarks {
        std::vector<Span> older;
        std::vector<Span> newer;
    };
    std::vector<std::int32_t> marksOfRow;  // index into marks, -1 for none
    std::vector<LineMarks> marks;
};

// Compares two texts line by line, then the characters of changed lines.
// Unless told otherwise, line ends count: a line that lost its line break
// has changed; but two texts whose lines differ in their ends alone show no
// change, their likeness saying so.
TextComparison compareTexts(TextFile older, TextFile newer, const CompareOptions& options = {},
                            const CompareProgress& progress = {});

// The text shown for a file's encoding and line ends ("UTF-8・CRLF"), and
// bytes that were no character ("・読めないバイト 2 個").
std::string describeText(const TextFile& file);

// The sentence for a comparison without changes: 「相違はありません。」 or
// what alone differs.
std::string sameSentence(const TextComparison& comparison);

}  // namespace mabrel::backup
