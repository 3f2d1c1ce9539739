// Backup copy names both ways, and the paths built from them.
#include <gtest/gtest.h>

#include "backup/backup_store.h"

namespace mabrel::backup {
namespace {

TEST(BackupNames, EveryNameReadsBackToItsSourceAndTimestamp) {
    struct Case {
        std::string source, timestamp, copy;
    };
    const Case cases[] = {
        {"report.txt", "2000-07-15 09-05-03", "report_2000-07-15 09-05-03.txt"},
        {"README", "2000-07-15 09-05-03", "README_2000-07-15 09-05-03"},
        {"data.tar.gz", "2000-07-15 21-40-00", "data.tar_2000-07-15 21-40-00.gz"},
        {"note.", "2000-07-15 09-05-03", "note_2000-07-15 09-05-03."},
        {".profile", "2000-07-15 09-05-03", "_2000-07-15 09-05-03.profile"},
        {"報告書.docx", "2024-01-02 03-04-05", "報告書_2024-01-02 03-04-05.docx"},
        {"議事録", "2024-01-02 03-04-05", "議事録_2024-01-02 03-04-05"},
        {"資料.テキスト", "1999-12-31 23-59-59", "資料_1999-12-31 23-59-59.テキスト"},
        // A name that is not UTF-8 (Latin-1 "©" alone before the dot) keeps its base.
        {"\xA9.txt", "2000-07-15 09-05-03", "\xA9_2000-07-15 09-05-03.txt"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(backupCopyName(c.source, c.timestamp), c.copy);
        std::string source = "left over", timestamp = "left over";
        ASSERT_TRUE(readBackupName(c.copy, source, timestamp)) << c.copy;
        EXPECT_EQ(source, c.source) << c.copy;
        EXPECT_EQ(timestamp, c.timestamp) << c.copy;
    }
}

TEST(BackupNames, NamesTheStoreDoesNotWriteAreNotRead) {
    for (const std::string name : {"short.txt", "x_2000-07-15 09-05.txt", "", "報告_2000-07-15.txt",
                                   "x-2000-07-15 09-05-03.txt", "2000-07-15 09-05-03.txt"}) {
        std::string source, timestamp;
        EXPECT_FALSE(readBackupName(name, source, timestamp)) << name;
    }
}

TEST(BackupNames, PathsAreConcatenatedOntoTheCurrentFolder) {
    EXPECT_EQ(backupDirectoryPath("C:\\docs\\"), "C:\\docs\\_mabre-l94");
    EXPECT_EQ(backupCopyPathOfRow("\\\\srv\\share\\d\\", "a.b.txt", "2000-07-15 09-05-03"),
              "\\\\srv\\share\\d\\_mabre-l94\\a.b_2000-07-15 09-05-03.txt");
}

}  // namespace
}  // namespace mabrel::backup
