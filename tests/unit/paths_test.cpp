#include <gtest/gtest.h>

#include <string>

#include "setuplist/paths.h"

namespace {

using zw::BaseName;
using zw::DirectoryOf;
using zw::DirectoryOfIsWhole;
using zw::ExtensionOf;
using zw::JoinRelativePath;

struct OneArg {
    const char* path;
    const char* result;
};

TEST(Paths, BaseNameIsTheTextAfterTheLastBackslash)
{
    const OneArg cases[] = {
        {"D:\\dir\\setup.exe", "setup.exe"}, {"setup.exe", "setup.exe"}, {"dir\\", ""}, {"", ""},
        {".\\sub\\x.msi", "x.msi"},          {"a/b/c.exe", "a/b/c.exe"},  // '/' is no separator
    };
    for (const OneArg& c : cases) EXPECT_EQ(BaseName(c.path), c.result) << c.path;
}

TEST(Paths, ExtensionOfSearchesTheWholePathForTheLastDot)
{
    const OneArg cases[] = {
        {"setup.MSI", "MSI"},           {"x.tar.gz", "gz"}, {"setup", "setup"}, {".\\setup", "\\setup"},
        {"D:\\a.b\\setup", "b\\setup"}, {"name.", ""},
    };
    for (const OneArg& c : cases) EXPECT_EQ(ExtensionOf(c.path), c.result) << c.path;
}

TEST(Paths, DirectoryOfDropsTheLastBackslashAndWhatFollows)
{
    const OneArg cases[] = {
        {"D:\\dir\\setup.exe", "D:\\dir"},
        {"D:\\setup.exe", "D:"},
        {"\\setup.exe", ""},
        {"a\\b\\", "a\\b"},
        {"a\\\\b", "a\\"},  // ends with '\' only when the character before the last one is one
        {"setup.exe", ""},  // no separator at all
        {"", ""},
    };
    for (const OneArg& c : cases) EXPECT_EQ(DirectoryOf(c.path), c.result) << c.path;
}

TEST(Paths, DirectoryOfLooksAtTheFirst200CharactersOnly)
{
    // Last separator at index 199: the last one the search can see.
    const std::string dir199 = "C:\\" + std::string(196, 'd');
    ASSERT_EQ(dir199.size(), 199u);
    const std::string atLimit = dir199 + "\\" + std::string(40, 'f');
    EXPECT_EQ(DirectoryOf(atLimit), dir199);
    EXPECT_TRUE(DirectoryOfIsWhole(atLimit));

    // One character more and the search sees only the parent's separator.
    const std::string dir200 = "C:\\p\\" + std::string(195, 'd');
    ASSERT_EQ(dir200.size(), 200u);
    const std::string pastLimit = dir200 + "\\x.exe";
    EXPECT_EQ(DirectoryOf(pastLimit), "C:\\p");
    EXPECT_FALSE(DirectoryOfIsWhole(pastLimit));

    // A long file name in a short directory is fine.
    const std::string longName = "C:\\dir\\" + std::string(230, 'n');
    EXPECT_EQ(DirectoryOf(longName), "C:\\dir");
    EXPECT_TRUE(DirectoryOfIsWhole(longName));

    EXPECT_FALSE(DirectoryOfIsWhole("setup.exe"));
    EXPECT_LE(DirectoryOf(std::string(500, '\\')).size(), zw::kDirectoryLimit);
}

struct JoinCase {
    const char* base;
    const char* relative;
    const char* result;
};

TEST(Paths, JoinRelativePathConsumesLeadingParentSegmentsOnly)
{
    const JoinCase cases[] = {
        {"D:\\a\\b", "x.inf", "D:\\a\\b\\x.inf"},
        {"D:\\a\\b", "..\\x.inf", "D:\\a\\x.inf"},
        {"D:\\a\\b", "..\\..\\drv\\x.inf", "D:\\drv\\x.inf"},
        {"D:\\a\\b", "drv\\..\\x.inf", "D:\\a\\b\\drv\\..\\x.inf"},
        {"D:\\a\\b", ".\\x.inf", "D:\\a\\b\\.\\x.inf"},
        {"D:\\a\\b", "../x.inf", "D:\\a\\b\\../x.inf"},
        {"D:\\a\\b", "", "D:\\a\\b\\"},
        {"D:\\a\\b", "..\\", "D:\\a\\"},
        {"D:\\a\\b", "..", "D:\\a\\b\\.."},  // not "..\": stays as written
        // More "..\" than separators: consuming stops, the rest stays in front.
        {"D:", "..\\x.inf", "D:\\..\\x.inf"},
        {"D:\\a", "..\\..\\x.inf", "D:\\..\\x.inf"},
        {"D:\\a\\b", "..\\..\\..\\..\\x.inf", "D:\\..\\..\\x.inf"},
        {"\\\\srv\\share\\dir", "..\\x.inf", "\\\\srv\\share\\x.inf"},
    };
    for (const JoinCase& c : cases)
        EXPECT_EQ(JoinRelativePath(c.base, c.relative), c.result) << c.base << " + " << c.relative;
}

TEST(Paths, JoinRelativePathRefusesRatherThanCuts)
{
    const std::string base199 = "C:\\" + std::string(196, 'b');
    const std::string base200 = base199 + "b";

    EXPECT_EQ(JoinRelativePath(base199, "x.inf"), base199 + "\\x.inf");
    EXPECT_EQ(JoinRelativePath(base200, "x.inf"), "");
    EXPECT_EQ(JoinRelativePath("", "x.inf"), "");  // would name the drive's root

    // 199 + '\' + 55 = 255 characters: the longest result.
    const std::string rel55(55, 'r');
    EXPECT_EQ(JoinRelativePath(base199, rel55).size(), zw::kJoinedPathLimit);
    EXPECT_EQ(JoinRelativePath(base199, rel55 + "r"), "");

    // The limit applies to what is left after "..\" were consumed.
    const std::string deep = "C:\\" + std::string(100, 'a') + "\\" + std::string(95, 'b');
    ASSERT_EQ(deep.size(), 199u);
    const std::string rel = "..\\" + std::string(150, 'r');
    const std::string joined = JoinRelativePath(deep, rel);
    EXPECT_EQ(joined, "C:\\" + std::string(100, 'a') + "\\" + std::string(150, 'r'));
    EXPECT_EQ(joined.size(), 254u);
}

}  // namespace
