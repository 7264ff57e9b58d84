#include <gtest/gtest.h>

#include <string>

#include "platform/win_values.h"
#include "sim/sim_windows.h"
#include "startup/command_line.h"
#include "startup/launch.h"
#include "state/run_state.h"

namespace {

using namespace zw::win;

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

TEST(Startup, SwitchesOfTheTail)
{
    struct {
        const char* tail;
        bool silent, noRestart;
        const char* logPath;
    } const cases[] = {
        {"", false, false, ""},
        {"/norestart", false, true, ""},
        {"/NoRestart /s", true, true, ""},  // ASCII case ignored, unlike "/s"
        {"x/norestarty", false, true, ""},  // a plain substring, like "/s"
        {"/log:C:\\logs\\run.log", false, false, "C:\\logs\\run.log"},
        {"/LOG:run.log /s", true, false, "run.log"},
        // The path is kept out of the search for the other switches.
        {"/log:C:/setup/x.log", false, false, "C:/setup/x.log"},
        {"/log:C:/norestart/x.log", false, false, "C:/norestart/x.log"},
        {"/log:\"C:\\Logs\\disc 1.log\" /s", true, false, "C:\\Logs\\disc 1.log"},
        {"/log:\"C:/a b/s.log\"/norestart", false, true, "C:/a b/s.log"},
        {"/log:\"C:/unbalanced /s /norestart", false, false, "C:/unbalanced /s /norestart"},
        {"/log:", false, false, ""},
        {"/log: /s", true, false, ""},
        {"/log:\"\" x", false, false, ""},
        // Only the first names the log; no later path counts for a switch either.
        {"/log:a.log /log:C:/s/b.log", false, false, "a.log"},
        {"a/log:b/s c", false, false, "b/s"},
        {"/s/log:x", true, false, "x"},
        {"/lo g:x /s", true, false, ""},
    };
    for (const auto& c : cases) {
        const zw::Switches s = zw::ParseSwitches(c.tail);
        EXPECT_EQ(s.silent, c.silent) << c.tail;
        EXPECT_EQ(s.noRestart, c.noRestart) << c.tail;
        EXPECT_EQ(s.logPath, c.logPath) << c.tail;
        EXPECT_EQ(zw::HasSilentSwitch(c.tail), c.silent) << c.tail;
    }
}

// The 32-bit launcher on 64-bit Windows hands the whole job to its sibling:
// the sibling beside it, the tail unchanged, waited for, its exit code passed
// on. Where the sibling cannot be started, the launcher does the job itself.
TEST(Startup, HandOffToTheSibling)
{
    struct {
        const char* what;
        bool wow64, callFails, siblingThere;
        uint32_t siblingExit;
        bool handedOff;
    } const cases[] = {
        {"native", false, false, true, 0, false},
        {"no IsWow64Process, or it fails: native", true, true, true, 0, false},
        {"64-bit Windows", true, false, true, 0, true},
        {"64-bit Windows, a restart left to the caller", true, false, true, 3010, true},
        {"64-bit Windows, the sibling missing", true, false, false, 0, false},
    };
    for (const auto& c : cases) {
        sim::SimScope scope;
        sim::SimWindows& sim = scope.sim;
        zw::ResetRunState();
        sim.wow64 = c.wow64;
        sim.wow64CallFails = c.callFails;
        sim.modulePath = "D:\\media\\zarnowel.exe";
        sim.currentDirectory = "C:\\elsewhere";
        sim.AddDirectory("C:\\elsewhere");
        if (c.siblingThere) sim.AddFile("D:\\media\\zarnowel64.exe");
        sim.programs["ZARNOWEL64.EXE"] = {"zarnowel64.exe", 90 * 1000, {}, c.siblingExit};
        const std::string tail = "/s  /log:\"C:\\a b\\x.log\" /norestart";
        int exitCode = -1;
        EXPECT_EQ(zw::HandOffToSibling(tail, exitCode), c.handedOff) << c.what;
        if (!c.wow64 || c.callFails) {
            EXPECT_TRUE(sim.starts.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(sim.starts.size(), 1u) << c.what;
        EXPECT_EQ(sim.starts[0].file, "D:\\media\\zarnowel64.exe") << c.what;
        EXPECT_EQ(sim.starts[0].parameters, tail) << c.what;
        EXPECT_EQ(sim.starts[0].verb, "open") << c.what;
        // No box from the shell when it is missing, and no zone check.
        EXPECT_EQ(sim.starts[0].mask, SEE_MASK_NOCLOSEPROCESS | SEE_MASK_NOZONECHECKS | SEE_MASK_FLAG_NO_UI) << c.what;
        if (c.handedOff) {
            EXPECT_EQ(exitCode, static_cast<int>(c.siblingExit)) << c.what;
            EXPECT_EQ(sim.now, 90u * 1000) << c.what;  // back only once the sibling has ended
        }
    }
}

}  // namespace
