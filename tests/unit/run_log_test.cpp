// The run log on the simulated Windows: what a run writes, and that a log
// which cannot be written changes nothing in the run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sim/launcher_test.h"
#include "startup/launch.h"

namespace {

using namespace zw::win;
using sim::kLog;

constexpr uint64_t kSec = 1000;

class RunLog : public sim::LauncherTest {};

void Example(sim::Launcher& l)
{
    l.sim.systemTexts[0xE0000203] = "The driver package is not signed.\r\n";
    l.Program("C:\\setup\\a.exe", 4 * kSec);
    l.sim.AddFile("C:\\setup\\readme.xyz");
    l.sim.programs["README.XYZ"] = {"", 0, {}, 0, false, 31};  // SE_ERR_NOASSOC
    l.Program("C:\\setup\\c.exe", 2 * kSec, "", 3010);
    l.sim.AddFile("C:\\setup\\drv\\x.inf");
    l.sim.devices.push_back({sim::MultiSz({"PCI\\VEN_8086&DEV_1234"}), 0, true});
    l.sim.updateFails = true;
    l.sim.updateError = 0xE0000203;
    l.List(
        "Setup1=1,a.exe, ,late.exe\nSetup2=1,b.exe, ,\nSetup3=1,c.exe,/q\nSetup4=0,drv\\x.inf,ven_8086\n"
        "Setup5=1,readme.xyz, ,\nSetup6=7,x\n");
}

// Time, file and parameters of each start.
std::vector<std::string> Starts(const sim::Launcher& l)
{
    std::vector<std::string> out;
    for (const sim::Start& s : l.sim.starts)
        out.push_back(std::to_string(s.time) + " " + s.file + " [" + s.parameters + "]");
    return out;
}

TEST_F(RunLog, NamesEveryItemAndWhatBecameOfIt)
{
    Example(*this);
    RunWhole(std::string("/log:") + kLog);
    const std::string log = Log();
    EXPECT_TRUE(sim::InOrder(
        log,
        {
            "[4242] start: C:\\setup\\zarnowel.exe version 1.0.1.10, tail \"/log:C:\\logs\\run.log\", silentMode 0",
            "setup list: languageTag eng, programDirectory C:\\setup, section [SetupList], 6 items loaded; Setup7 "
            "is missing or empty",
            "item 1: \"1,a.exe, ,late.exe\": program",
            "item 1: entered C:\\setup, the current directory from now on",
            "item 1: found .\\a.exe",
            "item 1: started .\\a.exe directly, parameters \" \", pid ",
            "item 1: waiting for its own process (pid ",
            "item 1: its process (pid ",
            ") ended with exit code 0",
            "item 1: waiting for the grace period",
            "item 1: wait over after ",
            "; held by its own process (pid ",
            "item 2: skipped: .\\b.exe is missing",
            "item 3: started .\\c.exe under the dialog, parameters \"/q\"",
            "item 3: its process (pid ",
            ") ended with exit code 3010, which asks for a restart",
            "item 4: \"0,drv\\x.inf,ven_8086\": driver",
            "item 4: device found by \"ven_8086\", hardware ID PCI\\VEN_8086&DEV_1234",
            "driver: the update of PCI\\VEN_8086&DEV_1234 with C:\\setup\\drv\\x.inf failed: The driver package "
            "is not signed. (0xE0000203)",
            "item 4: driver not installed; no restart asked for",
            "item 5: the start of .\\readme.xyz failed: the shell's error 31",
            "item 6: \"7,x\": unknown kind \"7\" ends the run",
            "the run failed, so it neither restarts nor asks; a restart is also pending",
            // The missing b.exe is the run's first failure.
            "end: exit code 2: failure: the setup list or an item's file is missing",
        }));
    // Every line: the local time to the millisecond, the process id, CR LF.
    size_t lines = 0;
    for (size_t begin = 0; begin < log.size(); ++lines) {
        const size_t end = log.find("\r\n", begin);
        ASSERT_NE(end, std::string::npos);
        const std::string line = log.substr(begin, end - begin);
        EXPECT_TRUE(line.size() > 31 && line.compare(0, 11, "2026-12-08 ") == 0 && line[13] == ':' && line[19] == '.' &&
                    line.compare(23, 8, " [4242] ") == 0)
            << line;
        begin = end + 2;
    }
    EXPECT_GT(lines, 20u);
}

// A log that cannot be opened or written changes nothing in the run: the same
// starts at the same times, no box, no handle left.
TEST_F(RunLog, ALogThatCannotBeWrittenChangesNothing)
{
    Example(*this);
    RunWhole("");
    struct {
        const char* what;
        std::string tail;
        std::function<void(sim::SimWindows&)> spoil;
    } const cases[] = {
        {"a folder that does not exist", "/log:C:\\missing\\run.log", nullptr},
        {"a read-only file", std::string("/log:") + kLog,
         [](sim::SimWindows& s) { s.readOnlyFiles.insert(sim::UpperAscii(kLog)); }},
        {"a folder of that name", std::string("/log:") + kLog, [](sim::SimWindows& s) { s.AddDirectory(kLog); }},
        {"a path of 300 characters", "/log:C:\\logs\\" + std::string(287, 'x'), nullptr},
        {"a second name of another file (hard link)", std::string("/log:") + kLog,
         [](sim::SimWindows& s) {
             s.AddFile(kLog, "");
             s.linkCounts[sim::UpperAscii(kLog)] = 2;
         }},
        {"a junction among its folders", "/log:C:\\logs\\sub\\run.log",
         [](sim::SimWindows& s) { s.links["C:\\LOGS\\SUB"] = "C:\\windows"; }},
        {"the disk fills during the run", std::string("/log:") + kLog,
         [](sim::SimWindows& s) { s.At(3 * kSec, [&s] { s.writeFails = true; }); }},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        Example(l);
        if (c.spoil) c.spoil(l.sim);
        l.RunWhole(c.tail);
        EXPECT_EQ(Starts(l), Starts(*this)) << c.what;
        EXPECT_EQ(l.sim.boxes.size(), sim.boxes.size()) << c.what;
        EXPECT_EQ(l.exitCode, exitCode) << c.what;
    }
    EXPECT_EQ(Log(), "");
}

// Runs append: the 32-bit launcher and its sibling, or several runs, share
// one file.
TEST_F(RunLog, RunsAppendToOneFile)
{
    sim.AddFile(kLog, "an earlier line\r\n");
    zw::OpenRunLog(kLog);
    zw::Log("first ", 1, " ", zw::Quoted("x"), " ", zw::Hex(0x80040002), " ", -5);
    zw::CloseRunLog();
    sim.currentPid = 77;
    zw::OpenRunLog(kLog);
    zw::Log("second");
    zw::CloseRunLog();
    const std::string log = Log();
    EXPECT_EQ(log.rfind("an earlier line\r\n", 0), 0u) << log;
    EXPECT_NE(log.find("] first 1 \"x\" 0x80040002 -5\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(" [77] second\r\n"), std::string::npos) << log;
    EXPECT_LT(log.find("first"), log.find("second"));
    EXPECT_FALSE(zw::RunLogOpen());
    // Natively there is no redirection to turn off, so none to turn back on.
    EXPECT_EQ(sim.CountCalls("Wow64RevertWow64FsRedirection"), 0u);
}

// Under WOW64 the launcher's lines go to the file its 64-bit sibling writes,
// also in System32, which the redirector would swap for SysWOW64; the
// redirection is off for the open alone. The path's variables are expanded.
TEST_F(RunLog, TheHandOffPairWritesOneFileAlsoInSystem32)
{
    sim.wow64 = true;
    sim.AddDirectory("C:\\windows\\System32");
    sim.AddDirectory("C:\\windows\\SysWOW64");
    Program("C:\\setup\\zarnowel64.exe", 5 * kSec, "zarnowel64.exe");
    // As the README writes it, for agents that leave the variable to the launcher.
    const std::string tail = "/log:\"%WINDIR%\\system32\\zw.log\"";
    zw::BeginRun(tail);
    ASSERT_TRUE(zw::HandOffToSibling(tail, exitCode));
    zw::EndRun(exitCode);

    const std::string log = sim.FileContent("C:\\windows\\System32\\zw.log");
    EXPECT_NE(log.find("] start: C:\\setup\\zarnowel.exe"), std::string::npos) << log;
    EXPECT_NE(log.find("] hand-off: zarnowel64.exe ended with exit code 0"), std::string::npos) << log;
    EXPECT_FALSE(sim.HasFile("C:\\windows\\SysWOW64\\zw.log"));
    std::vector<std::string> around;
    for (const sim::Call& call : sim.calls)
        if (call.name.rfind("Wow64", 0) == 0 || call.name == "CreateFileA") around.push_back(call.name);
    EXPECT_EQ(around, (std::vector<std::string>{"Wow64DisableWow64FsRedirection", "CreateFileA",
                                                "Wow64RevertWow64FsRedirection"}));
    EXPECT_FALSE(sim.fsRedirectionOff);
}

// Many system texts carry inserts ("%1"); the log keeps them as they are
// rather than losing the whole text.
TEST_F(RunLog, ASystemTextWithAnInsertIsKept)
{
    sim.systemTexts[193] = "%1 is not a valid Win32 application.\r\n";
    EXPECT_EQ(zw::SystemErrorText(193), "%1 is not a valid Win32 application. (193)");
}

}  // namespace

// No secret in the log: the value of each NAME=value whose name holds PASS,
// PWD, SECRET or TOKEN, or ends in KEY, letter case aside, becomes ***.
TEST(RunLogSecrets, ValuesOfSecretNamesAreHidden)
{
    struct {
        const char* text;
        const char* logged;
    } const cases[] = {
        {"/qn PASSWORD=hunter2 PIDKEY=ABCDE-12345 INSTALLDIR=C:\\x", "/qn PASSWORD=*** PIDKEY=*** INSTALLDIR=C:\\x"},
        // A value runs to a blank: what follows it unblanked is hidden too.
        {"db_pwd=a;ClientSecret=b&api_token=c Token=d", "db_pwd=*** Token=***"},
        {"PASSWORD=\"two words\" next", "PASSWORD=*** next"},
        {"\"/Password=two words\" next", "\"/Password=***\" next"},
        {"URL=http://h/?PassKey=k&q=1 MONKEY=banana KEYS=1", "URL=http://h/?PassKey=*** MONKEY=*** KEYS=1"},
        {"1,setup.exe,SERIALKEY=unclosed\"", "1,setup.exe,SERIALKEY=***"},
        {"PASSWORD= =x", "PASSWORD=*** =x"},
        {"password", "password"},
    };
    for (const auto& c : cases) {
        std::string line;
        zw::AppendLogPart(line, zw::Masked(c.text));
        EXPECT_EQ(line, std::string("\"") + c.logged + "\"") << c.text;
    }
}
