#include <gtest/gtest.h>

#include "test_support.h"
#include "ui/profile_file.h"

namespace vidora {
namespace {

TEST(ProfileFile, LooksUpSectionsAndKeysWithoutRegardToCase) {
    const auto ini = ProfileFile::parse(
        "[Groups]\r\nGroupNum = 3\r\n[toolgroup]\nMULTIAPPEARNCE=1\nDISABLEOFFSSET=640\n");
    EXPECT_EQ(ini.getInt("GROUPS", "GROUPNUM"), 3);
    EXPECT_EQ(ini.getInt("ToolGroup", "multiappearnce"), 1);
    // The keys are spelled as the skin files spell them; the corrected spellings are other keys.
    EXPECT_EQ(ini.getInt("ToolGroup", "DISABLEOFFSSET"), 640);
    EXPECT_EQ(ini.getInt("ToolGroup", "MULTIAPPEARANCE"), 0);
    EXPECT_EQ(ini.getInt("ToolGroup", "DISABLEOFFSET"), 0);
}

TEST(ProfileFile, MissingFileSectionOrKeyReadsAsZeroOrEmpty) {
    const auto none = ProfileFile::load("/nonexistent/ui.ini");
    EXPECT_EQ(none.getInt("GROUPS", "GROUPNUM"), 0);
    EXPECT_EQ(none.getText("GROUPS", "GROUPNAME1"), "");
    const auto ini = ProfileFile::parse("[A]\nX=5\n");
    EXPECT_EQ(ini.getInt("B", "X"), 0);
    EXPECT_EQ(ini.getInt("A", "Y"), 0);
    EXPECT_EQ(ini.getText("A", "Y"), "");
}

TEST(ProfileFile, NumbersAreTheLeadingDecimalInteger) {
    EXPECT_EQ(profileInt("42"), 42);
    EXPECT_EQ(profileInt("  -17  "), -17);
    EXPECT_EQ(profileInt("12px"), 12);
    EXPECT_EQ(profileInt("abc"), 0);
    EXPECT_EQ(profileInt(""), 0);
    EXPECT_EQ(profileInt("99999999999999999999"), 2147483647);
    EXPECT_EQ(profileInt("-99999999999999999999"), -2147483647);
}

TEST(ProfileFile, TextsAreCutTo63BytesAndFirstDefinitionsWin) {
    const std::string longHint(80, 'h');
    const auto ini = ProfileFile::parse("[G]\nCONTROLHINT_1=" + longHint +
                                        "\nCONTROLHINT_2=\"quoted value\"\n; comment=1\n"
                                        "CONTROLHINT_1=second\n[g]\nCONTROLHINT_3=merged\n"
                                        "junk line without equals\n");
    EXPECT_EQ(ini.getText("G", "CONTROLHINT_1"), std::string(63, 'h'));
    EXPECT_EQ(ini.getText("G", "CONTROLHINT_2"), "quoted value");
    EXPECT_EQ(ini.getText("G", "CONTROLHINT_3"), "merged");
    EXPECT_EQ(ini.getInt("G", "; comment"), 0);
    // A cut never splits a UTF-8 sequence: 62 ASCII bytes then a two-byte character.
    const auto utf8 = ProfileFile::parse("[G]\nH=" + std::string(62, 'a') + "\xC3\xA9tail\n");
    EXPECT_EQ(utf8.getText("G", "H"), std::string(62, 'a'));
}

}  // namespace
}  // namespace vidora
