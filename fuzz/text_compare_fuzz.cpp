// Comparing two texts: whatever the bytes, a file read as text is valid
// UTF-8 split into lines that make it up again, and a comparison's rows take
// each line of both sides once and in order, pair only equal lines as
// unchanged, start a change where one starts, and show as valid UTF-8.
#include <cstdint>

#include "backup/text_compare.h"
#include "fuzz_support.h"
#include "platform/native.h"

namespace {

using namespace mabrel;

const platform::Codec& codec() {
    static const auto c = platform::makeNativeCodec();
    return *c;
}

std::string wholeText(const backup::TextFile& f) {
    std::string out;
    static const char* ends[] = {"", "\n", "\r\n", "\r"};
    for (std::size_t i = 0; i < f.lines.size(); ++i) {
        out += f.line(i);
        out += ends[static_cast<int>(f.lines[i].end)];
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider provider(data, size);
    const std::string olderBytes = provider.ConsumeRandomLengthString(4096);
    const std::string newerBytes = provider.ConsumeRemainingBytesAsString();
    auto older = backup::readAsText(codec(), olderBytes);
    auto newer = backup::readAsText(codec(), newerBytes);
    for (const auto* f : {&older, &newer}) {
        if (!*f) continue;
        FUZZ_CHECK(platform::isValidUtf8((*f)->text), "text", (*f)->text);
        FUZZ_CHECK(wholeText(**f) == (*f)->text, "text", (*f)->text, "lines put together", wholeText(**f));
    }
    if (!older || !newer) return 0;

    const backup::TextComparison c = backup::compareTexts(*older, *newer);
    std::int32_t left = 0, right = 0;
    std::size_t change = 0;
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        const backup::CompareRow& row = c.rows[r];
        if (row.left >= 0) FUZZ_CHECK(row.left == left++, "older", olderBytes, "newer", newerBytes);
        if (row.right >= 0) FUZZ_CHECK(row.right == right++, "older", olderBytes, "newer", newerBytes);
        if (row.kind == backup::RowKind::Same) {
            FUZZ_CHECK(row.left >= 0 && row.right >= 0 &&
                           c.older.line(static_cast<std::size_t>(row.left)) == c.newer.line(static_cast<std::size_t>(row.right)) &&
                           c.older.lines[static_cast<std::size_t>(row.left)].end ==
                               c.newer.lines[static_cast<std::size_t>(row.right)].end,
                       "older", olderBytes, "newer", newerBytes);
        }
        const bool starts = row.kind != backup::RowKind::Same && (r == 0 || c.rows[r - 1].kind == backup::RowKind::Same);
        if (starts) {
            FUZZ_CHECK(change < c.changes.size() && c.changes[change] == static_cast<std::int32_t>(r), "older", olderBytes,
                       "newer", newerBytes);
            ++change;
        }
        for (const bool side : {false, true}) {
            for (const backup::Run& run : c.runs(r, side)) FUZZ_CHECK(platform::isValidUtf8(run.text), "piece", run.text);
        }
    }
    FUZZ_CHECK(change == c.changes.size() && left == static_cast<std::int32_t>(c.older.lines.size()) &&
                   right == static_cast<std::int32_t>(c.newer.lines.size()),
               "older", olderBytes, "newer", newerBytes);
    return 0;
}
