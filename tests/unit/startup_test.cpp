#include <gtest/gtest.h>

#include <string>

#include "platform/win_values.h"
#include "sim/launcher_test.h"
#include "startup/command_line.h"
#include "state/run_state.h"

namespace {

using namespace zw::win;

// The tail and "/s" in it: a plain, case-sensitive substring test.
TEST(Startup, CommandLineTailFollowsTheStartupCodeRules)
{
    struct {
        const char* commandLine;
        const char* tail;
        bool silent;
    } const cases[] = {
        {"zarnowel.exe", "", false},
        {"zarnowel.exe /s", "/s", true},
        {"zarnowel.exe    /s  x", "/s  x", true},
        {"\"C:\\Program Files\\zarnowel.exe\" /s", "/s", true},
        {"\"C:\\a b\\zarnowel.exe\"/s", "/s", true},              // no blank needed after the quoted name
        {"\"C:\\unterminated name /s", "", false},                // the name runs to the end
        {"C:\\dir\\zarnowel.exe\t\x01/silent", "/silent", true},  // every code 0x01..0x20 is skipped
        {"zarnowel.exe\"quoted\" rest", "rest", false},           // an unquoted name ends at a blank only
        {"", "", false},
        {"   /s", "/s", true},  // an empty name: the blanks after it are skipped
        {"zarnowel.exe /S", "/S", false},
        {"zarnowel.exe -s", "-s", false},
        {"zarnowel.exe / s", "/ s", false},
        {"zarnowel.exe /silent", "/silent", true},
        {"zarnowel.exe x/sy", "x/sy", true},
        {"zarnowel.exe a/sb", "a/sb", true},
        // The program's own path never counts, quoted or not.
        {"C:/setup/zarnowel.exe", "", false},
        {"\"D:\\x/s\\zarnowel.exe\"", "", false},
        {"\"D:\\x/s\\zarnowel.exe\" /s", "/s", true},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zw::CommandLineTail(c.commandLine), c.tail) << c.commandLine;
        EXPECT_EQ(zw::HasSilentSwitch(zw::CommandLineTail(c.commandLine)), c.silent) << c.commandLine;
    }
}

TEST(Startup, SwitchesOfTheTail)
{
    struct {
        const char* tail;
        bool silent, noRestart;
        const char* logPath;
        bool timeoutGiven = false;
        uint32_t minutes = 0;
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
        {"/timeout:1", false, false, "", true, 1},
        {"/TIMEOUT:1440 /s", true, false, "", true, 1440},
        {"/timeout:1441", false, false, "", true, 0},
        {"/timeout:0", false, false, "", true, 0},
        {"/timeout:", false, false, "", true, 0},
        {"/timeout:-5", false, false, "", true, 0},
        {"/timeout:99999", false, false, "", true, 0},
        // The value is kept out of the search for the other switches.
        {"/timeout:5/s", false, false, "", true, 0},
        {"/timeout:\"30\" /log:C:/s.log", false, false, "C:/s.log", true, 30},
        {"/log:x.log /timeout:2 /norestart", false, true, "x.log", true, 2},
    };
    for (const auto& c : cases) {
        const zw::Switches s = zw::ParseSwitches(c.tail);
        EXPECT_EQ(s.silent, c.silent) << c.tail;
        EXPECT_EQ(s.noRestart, c.noRestart) << c.tail;
        EXPECT_EQ(s.logPath, c.logPath) << c.tail;
        EXPECT_EQ(s.timeoutGiven, c.timeoutGiven) << c.tail;
        EXPECT_EQ(s.timeoutMinutes, c.minutes) << c.tail;
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
        std::string modulePath = "D:\\media\\zarnowel.exe";
        bool noProcess = false;  // the shell starts it, but gives no process to wait for
    } const cases[] = {
        {"native", false, false, true, 0, false},
        {"no IsWow64Process, or it fails: native", true, true, true, 0, false},
        {"64-bit Windows", true, false, true, 0, true},
        {"64-bit Windows, a restart left to the caller", true, false, true, 3010, true},
        {"64-bit Windows, the sibling missing", true, false, false, 0, false},
        // Never the bare name, which would find the one in the current directory.
        {"64-bit Windows, its own path too long to tell", true, false, true, 0, false,
         "D:\\" + std::string(300, 'm') + "\\zarnowel.exe"},
        // Nothing says how the sibling's run ends: a failure, not 0.
        {"64-bit Windows, no process to wait for", true, false, true, ERROR_INVALID_HANDLE, true,
         "D:\\media\\zarnowel.exe", true},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& sim = l.sim;
        sim.wow64 = c.wow64;
        sim.wow64CallFails = c.callFails;
        sim.modulePath = c.modulePath;
        sim.currentDirectory = "C:\\elsewhere";
        sim.AddFile("C:\\elsewhere\\zarnowel64.exe");  // planted where a search would look
        if (c.siblingThere) sim.AddFile("D:\\media\\zarnowel64.exe");
        sim.programs["ZARNOWEL64.EXE"] = {"zarnowel64.exe", 90 * 1000, {}, c.siblingExit, c.noProcess};
        const std::string tail = "/s  /log:\"C:\\a b\\x.log\" /norestart";
        int exitCode = -1;
        EXPECT_EQ(zw::HandOffToSibling(tail, exitCode), c.handedOff) << c.what;
        if (!c.wow64 || c.callFails || c.modulePath.size() >= zw::kPathCapacity) {
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
            EXPECT_EQ(sim.now, c.noProcess ? 0u : 90u * 1000) << c.what;  // back only once the sibling has ended
        }
    }
}

// Which machine the 32-bit launcher runs on decides the hand-off: x64, and
// ARM64 where Windows runs x64 programs (Windows 11). IsWow64Process answers
// only where IsWow64Process2 is missing; the sibling never hands off again.
TEST(Startup, HandOffFollowsTheNativeMachine)
{
    constexpr uint16_t kNone = IMAGE_FILE_MACHINE_UNKNOWN, kX86 = IMAGE_FILE_MACHINE_I386,
                       kX64 = IMAGE_FILE_MACHINE_AMD64, kArm64 = IMAGE_FILE_MACHINE_ARM64;
    struct {
        const char* what;
        bool hasWow64Process2;
        uint16_t process, native;
        bool hasMachineAttributes;
        uint32_t x64Attributes;
        bool wow64;  // IsWow64Process's answer
        bool handedOff;
        const char* logged;
    } const cases[] = {
        {"x86 on x64", true, kX86, kX64, false, 0, true, true, "native machine x64 (0x8664); "},
        {"x86 on ARM64, Windows 11", true, kX86, kArm64, true, 0x1, false, true,
         "native machine ARM64 (0xAA64), x64 programs run; "},
        {"x86 on ARM64, x64 not enabled", true, kX86, kArm64, true, 0x4, false, false,
         "native machine ARM64 (0xAA64), x64 programs do not run; this process carries out the list"},
        {"x86 on ARM64, Windows 10", true, kX86, kArm64, false, 0, false, false, "x64 programs do not run"},
        {"x64 sibling on ARM64", true, kNone, kArm64, true, 0x1, false, false,
         "native machine ARM64 (0xAA64), this process not under WOW64; this process carries out the list"},
        {"x64 sibling on x64", true, kNone, kX64, false, 0, false, false, "this process not under WOW64"},
        {"x86 on x86", true, kNone, kX86, false, 0, false, false, "native machine x86 (0x14C)"},
        {"older x64 Windows", false, 0, 0, false, 0, true, true, "64-bit Windows (under WOW64); "},
        {"older x86 Windows", false, 0, 0, false, 0, false, false, "not under WOW64; this process carries out"},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& sim = l.sim;
        sim.hasWow64Process2 = c.hasWow64Process2;
        sim.processMachine = c.process;
        sim.nativeMachine = c.native;
        sim.hasMachineTypeAttributes = c.hasMachineAttributes;
        sim.machineAttributes[kX64] = c.x64Attributes;
        sim.wow64 = c.wow64;
        sim.AddFile("C:\\setup\\zarnowel64.exe");
        zw::BeginRun("/log:C:\\logs\\run.log");
        int exitCode = -1;
        EXPECT_EQ(zw::HandOffToSibling("/log:C:\\logs\\run.log", exitCode), c.handedOff) << c.what;
        EXPECT_EQ(sim.starts.size(), c.handedOff ? 1u : 0u) << c.what;
        EXPECT_EQ(sim.CountCalls("IsWow64Process"), c.hasWow64Process2 ? 0u : 1u) << c.what;
        zw::EndRun(0);
        EXPECT_NE(l.Log().find(c.logged), std::string::npos) << c.what << ":\n" << l.Log();
    }
}

// Decided once at start: nobody could answer a box on a window station
// without visible display surfaces, nor in session 0 on any. The restart is
// then left to the caller unless /s asks for it.
TEST(Startup, UnattendedWhereNobodyCouldSeeABox)
{
    struct {
        const char* tail;
        bool visible, queryFails;
        uint32_t session;
        uint8_t unattended, noRestart;
    } const cases[] = {
        {"", true, false, 1, 0, 0},   {"", false, false, 1, 1, 1},   {"", true, false, 0, 1, 1},
        {"", false, true, 2, 0, 0},   {"/s", false, false, 1, 1, 0}, {"/norestart", true, false, 0, 1, 1},
        {"/s", true, false, 1, 0, 0},
    };
    for (const auto& c : cases) {
        const std::string what = std::string(c.tail) + (c.visible ? " visible" : " not visible") +
                                 (c.queryFails ? " (cannot be told)" : "") + ", session " + std::to_string(c.session);
        sim::SimScope scope;
        scope.sim.stationVisible = c.visible;
        scope.sim.stationQueryFails = c.queryFails;
        scope.sim.sessionId = c.session;
        zw::BeginRun(c.tail);
        EXPECT_EQ(zw::unattended, c.unattended) << what;
        EXPECT_EQ(zw::noRestart, c.noRestart) << what;
        EXPECT_EQ(zw::MayShowBoxes(), c.unattended == 0 && std::string(c.tail) != "/s") << what;
        zw::EndRun(0);
    }
}

}  // namespace
