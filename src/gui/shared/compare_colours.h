// The compare window's colours, 0xRRGGBB, alike in both front ends: the
// older side's removed lines red, the newer side's added lines green, their
// changed characters deeper, and grey where a side has no line.
#pragma once

#include <cstdint>

#include "backup/text_compare.h"

namespace mabrel::gui {

inline constexpr std::uint32_t kRemovedLine = 0xFFE4E4;
inline constexpr std::uint32_t kRemovedCharacters = 0xFFB0B0;
inline constexpr std::uint32_t kAddedLine = 0xE2F6E2;
inline constexpr std::uint32_t kAddedCharacters = 0xA6E3A6;
inline constexpr std::uint32_t kNoLine = 0xEDEDED;
inline constexpr std::uint32_t kSameLine = 0xFFFFFF;
inline constexpr std::uint32_t kLineNumber = 0x808080;
// A change in the strip beside the text: lines changed, or removed and added.
inline constexpr std::uint32_t kChangedStrip = 0xE8B040;

// The background of one side of a row.
inline std::uint32_t lineColour(backup::RowKind kind, bool newerSide, bool hasLine) {
    if (!hasLine) return kNoLine;
    if (kind == backup::RowKind::Same) return kSameLine;
    return newerSide ? kAddedLine : kRemovedLine;
}

// The background of a changed piece on one side.
inline std::uint32_t characterColour(bool newerSide) { return newerSide ? kAddedCharacters : kRemovedCharacters; }

}  // namespace mabrel::gui
