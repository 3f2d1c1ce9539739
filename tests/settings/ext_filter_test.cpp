// The listing test and how each mode applies it.
#include <gtest/gtest.h>

#include "settings/ext_filter.h"
#include "settings/settings_file.h"

namespace mabrel::settings {
namespace {

TEST(ExtensionFilter, ListingTestMatchesOneWholeLowerCaseEntry) {
    EXPECT_TRUE(isListed("report.TXT", ".txt."));
    EXPECT_FALSE(isListed("report.txt", ".TXT."));  // upper-case entries never match
    EXPECT_TRUE(isListed("a.doc", ".txt.doc."));
    EXPECT_FALSE(isListed("a.do", ".txt.doc."));
    EXPECT_FALSE(isListed("a.oc", ".txt.doc."));
    EXPECT_TRUE(isListed("archive.tar.gz", ".gz."));
    EXPECT_FALSE(isListed("archive.tar.gz", ".tar."));
    EXPECT_TRUE(isListed(".profile", ".profile."));
    EXPECT_TRUE(isListed("setup.EXE", kDefaultExtList));
    EXPECT_TRUE(isListed("報告書.テキスト", ".テキスト."));
    // A name without a dot gives the key ".", which every list holds; "."
    // lists nothing else.
    EXPECT_TRUE(isListed("README", "."));
    EXPECT_TRUE(isListed("README", kDefaultExtList));
    EXPECT_FALSE(isListed("a.txt", "."));
}

TEST(ExtensionFilter, ModeOneLetsOnlyListedFilesThroughAnyOtherOnlyUnlisted) {
    const std::string list = ".txt.";
    EXPECT_TRUE(filterAllows(1, list, "a.txt"));
    EXPECT_FALSE(filterAllows(1, list, "a.doc"));
    EXPECT_TRUE(filterAllows(1, list, "README"));
    for (std::int16_t mode : {0, 2, -1, 32767}) {
        EXPECT_FALSE(filterAllows(mode, list, "a.txt")) << mode;
        EXPECT_TRUE(filterAllows(mode, list, "a.doc")) << mode;
        EXPECT_FALSE(filterAllows(mode, list, "README")) << mode;
    }
}

}  // namespace
}  // namespace mabrel::settings
