// The listing test and how each mode applies it.
#include <gtest/gtest.h>

#include "settings/ext_filter.h"
#include "settings/settings_file.h"

namespace mabrel::settings {
namespace {

TEST(ExtensionFilter, ListingTestMatchesOneWholeLowerCaseEntryAndModeOneLetsOnlyListedFilesThrough) {
    const struct {
        const char* name;
        const char* list;
        bool listed;
    } cases[] = {
        {"report.TXT", ".txt.", true},      {"report.txt", ".TXT.", false},  // upper-case entries never match
        {"a.doc", ".txt.doc.", true},       {"a.do", ".txt.doc.", false},      {"a.oc", ".txt.doc.", false},
        {"archive.tar.gz", ".gz.", true},   {"archive.tar.gz", ".tar.", false}, {".profile", ".profile.", true},
        {"setup.EXE", kDefaultExtList, true}, {"報告書.テキスト", ".テキスト.", true},
        // A name without a dot gives the key ".", which every list holds; "." lists nothing else.
        {"README", ".", true},              {"README", kDefaultExtList, true}, {"a.txt", ".", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(isListed(c.name, c.list), c.listed) << c.name << " in " << c.list;
        EXPECT_EQ(filterAllows(1, c.list, c.name), c.listed) << c.name;
        for (const std::int16_t mode : {0, 2, -1, 32767}) EXPECT_EQ(filterAllows(mode, c.list, c.name), !c.listed) << mode;
    }
}

}  // namespace
}  // namespace mabrel::settings
