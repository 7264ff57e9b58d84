// What the launcher, elevated and often SYSTEM, takes from places users may
// write to: which DLL it loads and how, which file its log goes to.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sim/launcher_test.h"

namespace {

using namespace zw::win;
using sim::kLog;
using sim::UpperAscii;

constexpr char kPrecious[] = "C:\\windows\\system.ini";
constexpr char kAdminOnly[] = "D:P(A;;FA;;;SY)(A;;FA;;;BA)";

// The log file already there, with this owner and DACL.
std::function<void(sim::SimWindows&)> Owned(const char* sddl)
{
    return [sddl](sim::SimWindows& s) { s.fileSecurity[UpperAscii(kLog)] = sddl; };
}

// A log is written only to one plain file on disk at exactly the path asked
// for, that no user may change; a file the launcher creates gets rights for
// SYSTEM and the Administrators alone. Anything else leaves the log off,
// every file as it was, and nothing made where the path leads.
TEST(Security, TheLogGoesOnlyToOnePlainFileAtThePathAskedFor)
{
    struct {
        const char* what;
        std::string path;
        const char* existing;  // the log file already there, with this content
        std::function<void(sim::SimWindows&)> plant;
        const char* written;  // where the line lands, or null: the log stays off
        bool created;         // a new file, with its own rights
    } const cases[] = {
        {"a new file", kLog, nullptr, nullptr, kLog, true},
        {"an existing file", kLog, "earlier\r\n", nullptr, kLog, false},
        {"relative, from the current directory", "run.log", nullptr,
         [](sim::SimWindows& s) { s.currentDirectory = "C:\\logs"; }, kLog, true},
        {"a hard link to another file", kLog, "precious",
         [](sim::SimWindows& s) { s.linkCounts[UpperAscii(kLog)] = 2; }, nullptr, false},
        {"a symbolic link to another file", kLog, "", [](sim::SimWindows& s) { s.links[UpperAscii(kLog)] = kPrecious; },
         nullptr, false},
        {"a symbolic link to a file yet to be", kLog, "",
         [](sim::SimWindows& s) { s.links[UpperAscii(kLog)] = "C:\\windows\\System32\\new.dll"; }, nullptr, false},
        {"a junction among the folders", "C:\\logs\\sub\\System32\\new.dll", nullptr,
         [](sim::SimWindows& s) { s.links["C:\\LOGS\\SUB"] = "C:\\windows"; }, nullptr, false},
        {"a junction as the folder", "C:\\logs\\sub\\new.dll", nullptr,
         [](sim::SimWindows& s) { s.links["C:\\LOGS\\SUB"] = "C:\\windows\\System32"; }, nullptr, false},
        // Who may change a file made before the run.
        {"made first by a user", kLog, "", Owned("O:S-1-5-21-7-8-9-1001D:(A;;FA;;;S-1-5-21-7-8-9-1001)(A;;FA;;;SY)"),
         nullptr, false},
        {"owned by SYSTEM, without a DACL", kLog, "", Owned("O:SYD:NO_ACCESS_CONTROL"), nullptr, false},
        {"users may append", kLog, "", Owned("O:BAD:(A;;FA;;;SY)(A;;0x120084;;;BU)"), nullptr, false},
        {"users may delete it", kLog, "", Owned("O:BAD:(A;;FA;;;BA)(A;;SD;;;BU)"), nullptr, false},
        {"users may change its rights", kLog, "", Owned("O:SYD:(A;;FA;;;SY)(A;;RCWD;;;AU)"), nullptr, false},
        {"users may take it over", kLog, "", Owned("O:SYD:(A;;FA;;;SY)(A;;WO;;;WD)"), nullptr, false},
        {"users hold every right, in codes", kLog, "", Owned("O:BAD:(A;;CCDCLCSWRPWPDTLOCRSDRCWDWO;;;BU)"), nullptr,
         false},
        {"users hold a right not known here", kLog, "", Owned("O:BAD:(A;;ZZ;;;BU)"), nullptr, false},
        {"made first by the administrator running it", kLog, "",
         [](sim::SimWindows& s) {
             s.tokenUser = "S-1-5-21-7-8-9-500";
             Owned("O:S-1-5-21-7-8-9-500D:(A;;FA;;;S-1-5-21-7-8-9-500)(A;;FA;;;SY)")(s);
         },
         kLog, false},
        {"users may read it", kLog, "", Owned("O:BAD:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)(A;;0x1200a9;;;AU)"), kLog,
         false},
        {"users are denied, and hold what only the files inside would get", kLog, "",
         Owned("O:S-1-5-32-544D:(D;;FA;;;BU)(A;OICIIO;FA;;;CO)(A;;FA;;;S-1-5-18)"), kLog, false},
        {"a device or pipe, not a disk file", kLog, "",
         [](sim::SimWindows& s) { s.fileTypes[UpperAscii(kLog)] = 3; },  // FILE_TYPE_PIPE
         nullptr, false},
        {"no rights to give a new file", kLog, nullptr, [](sim::SimWindows& s) { s.sddlFails = true; }, nullptr, false},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& sim = l.sim;
        sim.AddFile(kPrecious, "precious");
        sim.AddDirectory("C:\\windows\\System32");
        if (c.existing != nullptr) sim.AddFile(kLog, c.existing);
        if (c.plant) c.plant(sim);
        const std::string before = sim.FileContent(kLog);

        zw::OpenRunLog(c.path);
        EXPECT_EQ(zw::RunLogOpen(), c.written != nullptr) << c.what;
        zw::Log("a line");
        zw::CloseRunLog();

        EXPECT_EQ(sim.FileContent(kPrecious), "precious") << c.what;
        EXPECT_FALSE(sim.HasFile("C:\\windows\\System32\\new.dll")) << c.what;
        if (c.written != nullptr) {
            const std::string log = sim.FileContent(c.written);
            EXPECT_EQ(log.rfind(before, 0), 0u) << c.what;
            EXPECT_NE(log.find("] a line\r\n", before.size()), std::string::npos) << c.what;
        } else {
            EXPECT_EQ(sim.FileContent(kLog), before) << c.what;
        }
        auto rights = sim.createdWith.find(UpperAscii(kLog));
        EXPECT_EQ(rights != sim.createdWith.end() ? rights->second : "(none)", c.created ? kAdminOnly : "(none)")
            << c.what;
        // The folder is opened as the reparse point itself, never what it names.
        for (const sim::Call& call : sim.CallsNamed("CreateFileA"))
            EXPECT_NE(call.detail.find("|0x2200000"), std::string::npos) << c.what << ": " << call.detail;
    }
}

// newdev.dll and cfgmgr32.dll are not KnownDLLs: loaded by name in the ordinary order, a copy beside the
// launcher or in the current directory (the launcher's folder is the current one) would be taken. The driver
// step loads them from System32 alone; when one is missing there, the driver item fails with the load's error,
// a line in the log, and the run goes on.
TEST(Security, DeviceDllsComeFromSystem32AloneAndAMissingOneFailsOnlyTheDriverItem)
{
    struct {
        const char* what;
        std::function<void(sim::SimWindows&)> spoil;
        bool updated;
        int exitCode;
        const char* logged;
    } const cases[] = {
        {"copies planted beside the launcher and in the current directory", nullptr, true, 0,
         "driver: C:\\setup\\drv\\x.inf installed for PCI\\VEN_8086&DEV_1234"},
        {"newdev.dll missing from System32", [](sim::SimWindows& s) { s.system32Dlls.erase("NEWDEV.DLL"); }, false, 126,
         "driver: newdev.dll cannot be loaded from the system folder: The specified module could not be found. "
         "(126)"},
        {"newdev.dll without its function", [](sim::SimWindows& s) { s.system32Dlls["NEWDEV.DLL"].clear(); }, false,
         127,
         "driver: newdev.dll has no UpdateDriverForPlugAndPlayDevicesA: The specified procedure could not be "
         "found. (127)"},
        {"cfgmgr32.dll missing from System32", [](sim::SimWindows& s) { s.system32Dlls.erase("CFGMGR32.DLL"); }, false,
         126, "driver: cfgmgr32.dll cannot be loaded from the system folder"},
    };
    for (const auto& c : cases) {
        sim::Launcher l;
        sim::SimWindows& sim = l.sim;
        sim.systemTexts[126] = "The specified module could not be found.\r\n";
        sim.systemTexts[127] = "The specified procedure could not be found.\r\n";
        sim.AddFile("C:\\setup\\newdev.dll", "planted");
        sim.AddFile("C:\\setup\\cfgmgr32.dll", "planted");
        sim.AddFile("C:\\setup\\drv\\x.inf");
        l.Program("C:\\setup\\after.exe", 1000);
        l.Device({"PCI\\VEN_8086&DEV_1234"});
        l.List("Setup1=0,drv\\x.inf,ven_8086\nSetup2=1,after.exe, ,\n");
        if (c.spoil) c.spoil(sim);
        EXPECT_EQ(l.RunWhole(std::string("/log:") + kLog), c.exitCode) << c.what;

        for (const std::string& module : sim.loadedModules)
            EXPECT_EQ(UpperAscii(module).rfind("C:\\WINDOWS\\SYSTEM32\\", 0), 0u) << c.what << ": " << module;
        for (const sim::Call& call : sim.CallsNamed("LoadLibraryExW"))
            EXPECT_NE(call.detail.find("|0x800"), std::string::npos) << c.what << ": " << call.detail;
        EXPECT_EQ(sim.updates.size(), c.updated ? 1u : 0u) << c.what;
        if (!c.updated) {
            EXPECT_EQ(sim.CountCalls("SetupDiGetClassDevsA"), 0u) << c.what;
        }
        EXPECT_NE(l.Log().find(c.logged), std::string::npos) << c.what << "\n" << l.Log();
        EXPECT_EQ(sim.starts.size(), 1u) << c.what;  // the run went on to the next item
    }
}

}  // namespace
