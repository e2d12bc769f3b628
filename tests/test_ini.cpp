// SPDX-License-Identifier: MIT
// The INI reader of the version files.
#include <gtest/gtest.h>

#include "settings/ini.h"

namespace {

std::string Get(const std::string& text, const std::string& section, const std::string& key) {
    kvara::CPrivateProfile ini;
    EXPECT_TRUE(ini.Parse(text));
    return ini.GetString(section, key, "<default>");
}

}  // namespace

TEST(IniReader, SectionsKeysAndComments) {
    const std::string text =
        "top=1\r\n[Kvara]\r\nVersion = 1.02 ; comment\r\nName=a;b;c\r\n\r\n[Other]\nX=\ty \n";
    EXPECT_EQ(Get(text, "", "top"), "1");
    EXPECT_EQ(Get(text, "kvara", "VERSION"), "1.02 ");
    EXPECT_EQ(Get(text, "Kvara", "Name"), "a;b");
    EXPECT_EQ(Get(text, "other", "x"), "\ty ");
    EXPECT_EQ(Get(text, "Kvara", "missing"), "<default>");
    EXPECT_EQ(Get(text, "Missing", "Name"), "<default>");
}

TEST(IniReader, HeaderFollowedByHeaderLeavesAnUnnamedSection) {
    const std::string text = "[A]\n[B]\nk=v\n";
    EXPECT_EQ(Get(text, "A", "k"), "<default>");
    EXPECT_EQ(Get(text, "B", "k"), "v");
}

TEST(IniReader, FirstSectionOfANameAndLastKeyWin) {
    const std::string text = "[S]\nk=1\nk=2\n[T]\n[S]\nk=3\n";
    EXPECT_EQ(Get(text, "s", "K"), "2");
}

TEST(IniReader, LinesWithoutValuesAndOddInput) {
    EXPECT_EQ(Get("[S]\n;k=1\nplain\n", "S", ";k=1"), "");
    EXPECT_EQ(Get("[S]\nplain\t\t\n", "S", "plain"), "");
    EXPECT_EQ(Get("[S]\n  spaced   =   v  \n", "S", "  spaced"), "v  ");
    EXPECT_EQ(Get("", "", ""), "");                   // the one empty line after the end
    EXPECT_EQ(Get("[]\nk=v", "", "k"), "<default>");  // the empty-named section 0 comes first
    EXPECT_EQ(Get("[\nk=v", "[", "k"), "<default>");
    EXPECT_EQ(Get("[\nk=v", "", "k"), "v");
    EXPECT_EQ(Get(std::string("[S]\nk=a\0b\n", 10), "S", "k"), std::string("a\0b", 3));
}
