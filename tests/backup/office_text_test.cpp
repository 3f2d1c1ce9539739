// Excel and Word files as lines, on files made by openpyxl and python-docx
// (tests/backup/office/make_samples.py): what each cell and paragraph shows,
// how two versions of a workbook compare, and why a file is not read.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "backup/compare_rows.h"
#include "backup/excel_format.h"
#include "backup/office_text.h"

namespace mabrel::test {
namespace {

using backup::OfficeKind;

std::string sample(const std::string& name) {
    std::ifstream in(std::string(MABREL_OFFICE_SAMPLES) + "/" + name, std::ios::binary);
    EXPECT_TRUE(in) << name;
    return std::string(std::istreambuf_iterator<char>(in), {});
}

backup::OfficeText read(const std::string& name, const backup::OfficeLimits& limits = {}) {
    return backup::readOfficeText(backup::officeKindOf(name), sample(name), limits);
}

std::vector<std::string> linesOf(const backup::TextFile& f) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < f.lines.size(); ++i) out.emplace_back(f.line(i));
    return out;
}

TEST(OfficeText, CellsAndParagraphsShowAsExcelAndWordShowThem) {
    const std::pair<const char*, std::vector<std::string>> cases[] = {
        {"quote_v1.xlsx",
         {"■ シート「見積書」", "A1: 御見積書　株式会社山田商店 様", "A2: 品名", "B2: 数量", "C2: 単価",
          "A3: りんご", "B3: 3", "C3: 120.5", "A4: みかん", "B4: 10", "C4: 80", "A5: ぶどう", "B5: 1", "C5: 1000",
          "A6: 合計", "B6: =SUM(B3:B5)", "A7: 2024/3/1", "B7: 2024年3月1日 14:05:09", "A8: 0.3", "B8: TRUE",
          "C8: 25.6%", "A9: 1,234,567.89", "B9: ▲¥1,235", "結合セル A1:C1", "■ シート「メモ」", "A1: 納期は三月末",
          "B2: 1"}},
        // Inline and rich strings without their phonetic reading, formulas
        // with their last values (a shared one filled to each cell), errors,
        // booleans, dates counted from 1904, cells without an address.
        {"stored.xlsm",
         {"■ シート「集計」", "A1: 東京都", "B1: 赤い 字↵次", "C1: インライン", "A2: 3", "B2: =A2*2.1 → 6.3",
          "C2: =$A2*B$2+SUM(A2:B2) → 25.20", "A3: 4", "C3: =$A3*B$2+SUM(A3:B3) → 30.45", "A4: TRUE",
          "C4: =$A4*B$2+SUM(A4:B4) → 7.00", "A5: =1/0 → #DIV/0!", "B5: =\"令和\"&\"6年\" → 令和6年", "C5: FALSE",
          "A6: 2024/3/1", "B6: 令和6年3月1日", "A7: 番地なし", "B7: -0.5"}},
        {"minutes.docx",
         {"第3回 定例会議 議事録", "日時：2024年3月1日（金）10:00〜11:00", "出席者：山田、佐藤、鈴木",
          "│ 議題 │ 担当 │ 期限 │", "│ 予算の見直し │ 山田 │ 3/15 │", "│ 新製品の発表 │ 佐藤 │ 4/1↵延期の可能性あり │",
          "次回は四月に開く。", "", "以上", "■ ヘッダー", "社外秘", "■ フッター", "株式会社山田商店", "■ 脚注",
          "[1]  会場は本社三階の会議室。"}},
    };
    for (const auto& [name, lines] : cases) {
        SCOPED_TRACE(name);
        const backup::OfficeText text = read(name);
        ASSERT_TRUE(text.file) << text.problem;
        EXPECT_EQ(linesOf(*text.file), lines);
    }
}

TEST(OfficeText, AnInsertedRowShowsAsAddedLinesAndTheCellsItMovesAsUnchanged) {
    const backup::TextComparison c = backup::compareTexts(*read("quote_v1.xlsx").file, *read("quote_v2.xlsx").file);
    std::vector<std::string> changed;
    for (std::size_t r = 0; r < c.rows.size(); ++r) {
        if (c.rows[r].kind != backup::RowKind::Same) changed.push_back(shownRow(c, r));
    }
    const std::vector<std::string> expected = {
        "+ | A4: バナナ", "+ | B4: 5", "+ | C4: 60", "~ B[4]: 1[0] | B[5]: 1[2]",
        "~ B[6]: =SUM(B3:B[5]) | B[7]: =SUM(B3:B[6])"};
    EXPECT_EQ(changed, expected);
    // A moved cell pairs with itself, each side showing its own address.
    bool moved = false;
    for (std::size_t r = 0; r < c.rows.size(); ++r) moved = moved || shownRow(c, r) == "= A5: ぶどう | A6: ぶどう";
    EXPECT_TRUE(moved);
}

TEST(OfficeText, AFileThatCannotBeReadSaysWhy) {
    backup::OfficeLimits small;
    small.unpacked = 16 << 20;
    backup::OfficeLimits fewLines;
    fewLines.lines = 10;
    const struct {
        const char* name;
        backup::OfficeLimits limits;
        const char* problem;
    } cases[] = {
        {"protected.xlsx", {}, "パスワードで保護されているため"},
        {"truncated.xlsx", {}, "ファイルが壊れているため（ZIP の目次が見つかりません）"},
        {"flipped.xlsx", {}, "ファイルが壊れているため（xl/worksheets/sheet1.xml の"},
        {"broken_xml.xlsx", {}, "中の xl/worksheets/sheet1.xml が壊れているため（XML の誤り"},
        {"doctype.xlsx", {}, "中の xl/worksheets/sheet1.xml が壊れているため（XML に DTD があります）"},
        {"old.xls", {}, "中身が古い形式"},
        // Its directory claims a thousand bytes; it unpacks to 64 MB.
        {"bomb.xlsx", small, "展開すると 16 MB を超えるため"},
        {"quote_v1.xlsx", fewLines, "セルや段落が 10 を超えるため"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const backup::OfficeText text = backup::readOfficeText(OfficeKind::Workbook, sample(c.name), c.limits);
        EXPECT_FALSE(text.file);
        EXPECT_EQ(text.problem.rfind(c.problem, 0), 0u) << text.problem;
    }
}

TEST(OfficeText, KindsFollowTheExtension) {
    const std::pair<const char*, OfficeKind> cases[] = {
        {"見積.XLSX", OfficeKind::Workbook}, {"a.xlsm", OfficeKind::Workbook}, {"a_2024-01-01 00-00-00.docx", OfficeKind::Document},
        {"a.xls", OfficeKind::OldWorkbook}, {"a.doc", OfficeKind::OldDocument}, {"a.xlsx.txt", OfficeKind::None}, {"xlsx", OfficeKind::None}};
    for (const auto& [name, kind] : cases) EXPECT_EQ(backup::officeKindOf(name), kind) << name;
}

TEST(ExcelFormat, NumbersShowUnderTheirFormat) {
    const struct {
        double value;
        const char* code;
        const char* shown;
    } cases[] = {
        {1.0000000000000002, "", "1"},
        {0.1 + 0.2, "General", "0.3"},
        {123456789012345678.0, "", "1.23456789012346E+17"},
        {-0.000001234, "", "-1.234E-06"},
        {1.005, "0.00", "1.01"},
        {0.5, "#.##", ".5"},
        {2.5, "0", "3"},
        {-2.5, "#,##0", "-3"},
        {999999.996, "#,##0.00", "1,000,000.00"},
        {0.00123, "0.0000", "0.0012"},
        {0.004, "0.00", "0.00"},
        {-3, "0;(0)", "(3)"},
        {0, "0;-0;\"ゼロ\"", "ゼロ"},
        {0.125, "0.0%", "12.5%"},
        {12345, "0.00E+00", "1.23E+04"},
        {1500, "[$¥-411]#,##0", "¥1,500"},
        {45352, "yyyy/m/d", "2024/3/1"},
        {45352.75, "yyyy-mm-dd hh:mm", "2024-03-01 18:00"},
        {45352.75, "h:mm AM/PM", "6:00 PM"},
        {45352.999999, "yyyy/m/d h:mm:ss", "2024/3/2 0:00:00"},
        {1.5, "[h]:mm:ss", "36:00:00"},
        {0.5001, "mm:ss.0", "00:08.6"},
        {60, "yyyy-mm-dd", "1900-02-29"},
        {61, "d mmm yyyy dddd", "1 Mar 1900 Thursday"},
        {32516, "[$-411]ggge\"年\"m\"月\"d\"日\"", "平成1年1月8日"},
        {32515, "[$-411]ge.m.d", "S64.1.7"},
        {-1, "yyyy/m/d", "#######"},
    };
    for (const auto& c : cases) EXPECT_EQ(backup::formatCellNumber(c.value, c.code), c.shown) << c.value << " " << c.code;
    EXPECT_EQ(backup::formatCellNumber(0, "yyyy/m/d", true), "1904/1/1");
}

}  // namespace
}  // namespace mabrel::test
