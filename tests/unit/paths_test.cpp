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

TEST(Paths, DirectoryOfDropsTheLastBackslashAndWhatFollowsInTheFirst200Characters)
{
    const std::string dir199 = "C:\\" + std::string(196, 'd');
    const std::string dir200 = "C:\\p\\" + std::string(195, 'd');
    ASSERT_EQ(dir199.size(), 199u);
    ASSERT_EQ(dir200.size(), 200u);
    const struct {
        std::string path, result;
        bool whole;
    } cases[] = {
        {"D:\\dir\\setup.exe", "D:\\dir", true},
        {"D:\\setup.exe", "D:", true},
        {"\\setup.exe", "", true},
        {"a\\b\\", "a\\b", true},
        {"a\\\\b", "a\\", true},   // ends with '\' only when the character before the last one is one
        {"setup.exe", "", false},  // no separator at all
        {"", "", false},
        // Last separator at index 199: the last one the search can see.
        {dir199 + "\\" + std::string(40, 'f'), dir199, true},
        // One character more and the search sees only the parent's separator.
        {dir200 + "\\x.exe", "C:\\p", false},
        // A long file name in a short directory is fine.
        {"C:\\dir\\" + std::string(230, 'n'), "C:\\dir", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DirectoryOf(c.path), c.result) << c.path;
        EXPECT_EQ(DirectoryOfIsWhole(c.path), c.whole) << c.path;
    }
    EXPECT_LE(DirectoryOf(std::string(500, '\\')).size(), zw::kDirectoryLimit);
}

TEST(Paths, JoinRelativePathConsumesLeadingParentSegmentsOnlyAndRefusesRatherThanCuts)
{
    const std::string base199 = "C:\\" + std::string(196, 'b');
    const std::string rel55(55, 'r');
    // 199 characters, the last separator after 100.
    const std::string deep = "C:\\" + std::string(100, 'a') + "\\" + std::string(95, 'b');
    ASSERT_EQ(deep.size(), 199u);
    const struct {
        std::string base, relative, result;
    } cases[] = {
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
        {base199, "x.inf", base199 + "\\x.inf"},
        {base199 + "b", "x.inf", ""},
        {"", "x.inf", ""},  // would name the drive's root
        {base199, rel55 + "r", ""},
        // The limit applies to what is left after "..\" were consumed.
        {deep, "..\\" + std::string(150, 'r'), "C:\\" + std::string(100, 'a') + "\\" + std::string(150, 'r')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(JoinRelativePath(c.base, c.relative), c.result) << c.base << " + " << c.relative;
    // 199 + '\' + 55 = 255 characters: the longest result.
    EXPECT_EQ(JoinRelativePath(base199, rel55).size(), zw::kJoinedPathLimit);
    EXPECT_EQ(JoinRelativePath(deep, "..\\" + std::string(150, 'r')).size(), 254u);
}

}  // namespace
