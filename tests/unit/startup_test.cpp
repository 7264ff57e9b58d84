#include <gtest/gtest.h>

#include <string>

#include "startup/command_line.h"

namespace {

struct TailCase {
    const char* commandLine;
    const char* tail;
};

TEST(Startup, CommandLineTailFollowsTheStartupCodeRules)
{
    const TailCase cases[] = {
        {"zarnowel.exe", ""},
        {"zarnowel.exe /s", "/s"},
        {"zarnowel.exe    /s  x", "/s  x"},
        {"\"C:\\Program Files\\zarnowel.exe\" /s", "/s"},
        {"\"C:\\a b\\zarnowel.exe\"/s", "/s"},              // no blank needed after the quoted name
        {"\"C:\\unterminated name /s", ""},                 // the name runs to the end
        {"C:\\dir\\zarnowel.exe\t\x01/silent", "/silent"},  // every code 0x01..0x20 is skipped
        {"zarnowel.exe\"quoted\" rest", "rest"},            // an unquoted name ends at a blank only
        {"", ""},
        {"   /s", "/s"},  // an empty name: the blanks after it are skipped
    };
    for (const TailCase& c : cases) EXPECT_EQ(zw::CommandLineTail(c.commandLine), c.tail) << c.commandLine;
}

TEST(Startup, SilentSwitchIsAPlainCaseSensitiveSubstringOfTheTail)
{
    struct {
        const char* commandLine;
        bool silent;
    } const cases[] = {
        {"zarnowel.exe", false},
        {"zarnowel.exe /S", false},
        {"zarnowel.exe -s", false},
        {"zarnowel.exe / s", false},
        {"zarnowel.exe /s", true},
        {"zarnowel.exe /silent", true},
        {"zarnowel.exe x/sy", true},
        {"zarnowel.exe a/sb", true},
        // The program's own path never counts, quoted or not.
        {"C:/setup/zarnowel.exe", false},
        {"\"D:\\x/s\\zarnowel.exe\"", false},
        {"\"D:\\x/s\\zarnowel.exe\" /s", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(zw::HasSilentSwitch(zw::CommandLineTail(c.commandLine)), c.silent) << c.commandLine;
}

}  // namespace
