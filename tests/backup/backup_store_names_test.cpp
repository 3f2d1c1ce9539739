// Backup copy names both ways, and the paths built from them.
#include <gtest/gtest.h>

#include "backup/backup_store.h"

namespace mabrel::backup {
namespace {

TEST(BackupNames, EveryNameReadsBackToItsSourceAndTimestampOthersAreNotRead) {
    const std::string cases[][3] = {
        {"report.txt", "2000-07-15 09-05-03", "report_2000-07-15 09-05-03.txt"},
        {"README", "2000-07-15 09-05-03", "README_2000-07-15 09-05-03"},
        {"data.tar.gz", "2000-07-15 21-40-00", "data.tar_2000-07-15 21-40-00.gz"},
        {"note.", "2000-07-15 09-05-03", "note_2000-07-15 09-05-03."},
        {".profile", "2000-07-15 09-05-03", "_2000-07-15 09-05-03.profile"},
        {"資料.テキスト", "1999-12-31 23-59-59", "資料_1999-12-31 23-59-59.テキスト"},
        // A name that is not UTF-8 (Latin-1 "©" alone before the dot) keeps its base.
        {"\xA9.txt", "2000-07-15 09-05-03", "\xA9_2000-07-15 09-05-03.txt"},
    };
    for (const auto& [source, timestamp, copy] : cases) {
        EXPECT_EQ(backupCopyName(source, timestamp), copy);
        std::string readSource = "left over", readTimestamp = "left over";
        ASSERT_TRUE(readBackupName(copy, readSource, readTimestamp)) << copy;
        EXPECT_EQ(readSource + "|" + readTimestamp, source + "|" + timestamp);
    }
    for (const std::string name : {"short.txt", "x_2000-07-15 09-05.txt", "", "報告_2000-07-15.txt",
                                   "x-2000-07-15 09-05-03.txt", "2000-07-15 09-05-03.txt"}) {
        std::string source, timestamp;
        EXPECT_FALSE(readBackupName(name, source, timestamp)) << name;
    }
    EXPECT_EQ(backupCopyPathOfRow("\\\\srv\\share\\d\\", "a.b.txt", "2000-07-15 09-05-03"),
              "\\\\srv\\share\\d\\_mabre-l94\\a.b_2000-07-15 09-05-03.txt");
}

}  // namespace
}  // namespace mabrel::backup
