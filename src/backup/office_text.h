// Excel workbooks (.xlsx, .xlsm) and Word documents (.docx) as lines of text,
// for the compare window.
//
// A workbook: each sheet in workbook order under a heading line with its
// name; each cell that holds something one line, its address (a label: shown
// but not compared, so that an inserted row or column leaves the cells it
// moves unchanged) and its content as Excel shows it, a formula followed by
// its last value; the sheet's merged ranges after its cells.
// A document: each paragraph a line; a table one line a row, its cells
// between "│"; headers, footers, footnotes and endnotes after the body, each
// under a heading line.
//
// What is read is bounded: the parts unpacked together, and the lines.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "backup/text_compare.h"

namespace mabrel::backup {

enum class OfficeKind { None, Workbook, Document, OldWorkbook, OldDocument };

// By the file name's extension, letter case aside.
OfficeKind officeKindOf(std::string_view fileName);

struct OfficeLimits {
    std::uint64_t unpacked = std::uint64_t{256} << 20;  // bytes of XML unpacked, all parts together
    std::size_t lines = 1'000'000;                      // cells and paragraphs
};

struct OfficeText {
    std::optional<TextFile> file;
    // Why there is no file, as the end of a sentence: "パスワードで保護されているため".
    std::string problem;
};

// `bytes` are the whole file; kind Workbook or Document.
OfficeText readOfficeText(OfficeKind kind, std::string_view bytes, const OfficeLimits& limits = {});

// What the compare window says of such a file ("Excel ブック").
std::string describeOffice(OfficeKind kind);

}  // namespace mabrel::backup
