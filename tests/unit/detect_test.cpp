// [Detect]: the rules as text, the order of versions, and what the launcher
// decides with them on the run.
#include <gtest/gtest.h>

#include <string>

#include "detect/detect_rules.h"

namespace {

using zw::ParseDetectRules;
using zw::RuleOp;
using zw::RuleType;

struct RuleCase {
    const char* text;
    const char* problem;  // "": judgeable; else the first problem's id
    size_t rules;
    const char* words = "";  // the first rule in the log's words
    bool hasValue = false;
};

TEST(Detect, RuleText)
{
    const std::string longKey = "reg:HKLM\\" + std::string(300, 'k');
    const RuleCase cases[] = {
        {"reg:HKLM\\A\\B", "", 1, "reg HKLM\\A\\B"},
        {"reg:HKLM\\A,B", "", 1, "reg HKLM\\A,B", true},
        {"reg:HKLM\\A,@", "", 1, "reg HKLM\\A,@", true},
        {"REG32:HKEY_LOCAL_MACHINE\\A\\,B>=1.2", "", 1, "reg32 HKLM\\A,B >= 1.2", true},
        {"reg:HKLM\\A,B=Yes please", "", 1, "reg HKLM\\A,B = Yes please", true},
        {"reg:HKCU\\A,B", "detect_hive", 0},
        {"reg:HKLM\\SOFTWARE\\wow6432node\\X", "detect_wow6432node", 0},
        {"reg:HKLM\\SOFTWARE\\WOW6432NodeX", "", 1, "reg HKLM\\SOFTWARE\\WOW6432NodeX"},
        {"reg:HKLM\\A=1", "detect_syntax", 0},
        {"reg:HKLM\\A,B>=1.x", "detect_syntax", 0},
        {"reg:HKLM\\,B", "detect_syntax", 0},
        {"msi:4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61", "detect_syntax", 0},
        {"msi:{4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61}=2.0", "", 1, "msi {4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61} = 2.0"},
        {"msi:{4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61}>=1.2.3.4", "detect_msi_field4", 0},
        {"upgrade:{4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61}", "", 1, "upgrade {4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61}"},
        {"upgrade:{4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61}>=2.3.0", "", 1,
         "upgrade {4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61} >= 2.3.0"},
        {"upgrade:{4E1B0C7A-9D2F-4C51-8E0B-6A2D3C4B5A61}=2.3.0", "detect_syntax", 0},
        {" file:%X%\\a.exe>=1 ;  reg:HKLM\\A ; ", "", 2, "file %X%\\a.exe >= 1"},
        {"file:C:\\a=b\\x.exe", "detect_syntax", 0},
        {"file:>=1.0", "detect_syntax", 0},
        {"Driver", "", 1, "driver"},
        {"driver>=1.0", "detect_syntax", 0},
        {"exe:setup.exe", "detect_syntax", 0},
        {"reg:HKLM\\A;bogus", "detect_syntax", 1, "reg HKLM\\A"},
        {longKey.c_str(), "", 1},
    };
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.text);
        const zw::DetectRules parsed = ParseDetectRules(c.text);
        EXPECT_EQ(parsed.rules.size(), c.rules);
        EXPECT_EQ(parsed.problems.empty() ? std::string() : parsed.problems[0].id, c.problem);
        if (c.rules == 0) continue;
        if (*c.words != '\0') {
            EXPECT_EQ(zw::RuleInWords(parsed.rules[0]), c.words);
        }
        EXPECT_EQ(parsed.rules[0].hasValue, c.hasValue);
    }
    // The default value is asked for by the empty name.
    EXPECT_EQ(ParseDetectRules("reg:HKLM\\A,@").rules[0].value, "");
}

TEST(Detect, VersionOrder)
{
    struct Case {
        const char* a;
        const char* b;  // nullptr: a does not read as a version
        int order;
    };
    const Case cases[] = {
        {"1.2", "1.2.0.0", 0},      {"1.10", "1.9", 1},
        {"2", "1.99.99.99", 1},     {"v14.38.33135.00", "14.38.33135", 0},
        {"V1", "1.0.0.1", -1},      {"4294967295", "4294967294.9", 1},
        {"528040", "528040", 0},    {"1.2.x", nullptr, 0},
        {"4294967296", nullptr, 0}, {"1.2.3.4.5", nullptr, 0},
        {"1..2", nullptr, 0},       {"1.", nullptr, 0},
        {"", nullptr, 0},           {"v", nullptr, 0},
        {" 1", nullptr, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.a);
        zw::Version a, b;
        EXPECT_EQ(zw::ParseVersion(c.a, a), c.b != nullptr);
        if (c.b == nullptr) continue;
        ASSERT_TRUE(zw::ParseVersion(c.b, b));
        EXPECT_EQ(zw::CompareVersions(a, b), c.order);
        EXPECT_EQ(zw::CompareVersions(b, a), -c.order);
    }
}

}  // namespace

// ---- on the simulated Windows

#include <functional>

#include "platform/win_values.h"
#include "sim/launcher_test.h"

namespace {

using namespace zw::win;
using Sim = sim::SimWindows;

constexpr char kPc[] = "{11111111-2222-3333-4444-555555555555}";
constexpr char kUc[] = "{AAAAAAAA-2222-3333-4444-555555555555}";
constexpr char kKey[] = "SOFTWARE\\Contoso\\App";

struct RunCase {
    const char* what;
    std::string list;  // after "[SetupList]\n"
    std::function<void(Sim&)> setUp;
    int exitCode;
    size_t starts;
    const char* logs = "";
};

void Installed(Sim& s, const char* version = "2.0.0") { s.msiProducts.push_back({kPc, kUc, version}); }
// The program a.exe registers the product while it runs.
void Registers(Sim& s)
{
    s.After(1500, [&s] { s.msiProducts.empty() ? Installed(s) : void(s.msiProducts[0].version = "2.0.0"); });
}

int RunRow(const std::string& list, const std::function<void(Sim&)>& setUp, sim::Launcher& l)
{
    l.Program("C:\\setup\\a.exe", 2000);
    l.List(list);
    if (setUp) setUp(l.sim);
    return l.RunWhole(std::string("/log:") + sim::kLog);
}

TEST(Detect, OnTheRun)
{
    const std::string one = "Setup1=1,a.exe, ,\n";
    const std::string msi = one + "[Detect]\nSetup1=msi:" + kPc + ">=2.0\n";
    const std::string reg = one + "[Detect]\nSetup1=reg:HKLM\\" + kKey;
    const std::string file = one + "[Detect]\nSetup1=file:%ProgramFiles%\\C\\c.exe>=5.1\n";
    auto exits = [](uint32_t code) { return [code](Sim& s) { s.programs["A.EXE"].exitCode = code; }; };
    auto value = [](int view, uint32_t type, std::vector<uint8_t> data) {
        return [=](Sim& s) { s.SetValue(view, kKey, "V", type, data); };
    };
    auto version = [](uint32_t ms, uint32_t ls) {
        return [=](Sim& s) {
            s.AddFile("C:\\Program Files\\C\\c.exe");
            s.fileVersions["C:\\PROGRAM FILES\\C\\C.EXE"] = {ms, ls};
        };
    };
    auto driver = [](uint32_t error) {
        return [error](Sim& s) {
            s.AddFile("C:\\setup\\x.inf");
            s.devices.push_back({sim::MultiSz({"PCI\\VEN_1&DEV_2"}), 0, true});
            s.updateFails = error != 0, s.updateError = error;
        };
    };
    // x.inf is Contoso's 2.1; the device has provider's version.
    auto drivers = [](const char* provider, const char* version, bool infFails = false) {
        return [=](Sim& s) {
            s.AddFile("C:\\setup\\x.inf",
                      "[Version]\nProvider = %Mfg%\nDriverVer=01/02/2024, 2.1\n[Strings]\nMfg=\"Contoso\"\n");
            if (*provider) s.devices.push_back({sim::MultiSz({"PCI\\VEN_1&DEV_2"}), 0, true, version, provider});
            s.infOpenFails = infFails, s.updateFails = *provider == 'F', s.updateError = ERROR_NO_MORE_ITEMS;
        };
    };
    const std::string inf = "Setup1=0,x.inf,VEN_1\n[Detect]\nSetup1=driver\n";
    const RunCase cases[] = {
        {"driver: Contoso 2.1.0.0 there: skipped", inf, drivers("CONTOSO", "2.1.0.0"), 0, 0, "item 1: skipped"},
        {"driver: older, updated, still older: 1603", inf, drivers("Contoso", "2.0.9.9"), 1603, 0,
         "does not hold: driver: the device has \"Contoso\" 2.0.9.9, the INF \"Contoso\" 2.1"},
        {"driver: another provider's newer one: runs", inf, drivers("Fabrikam", "3.0"), 0, 0,
         "runs: [Detect] does not hold: driver: the device has \"Fabrikam\""},
        {"driver: no device: runs", inf, drivers("", ""), 0, 0, "does not hold: driver: no present device"},
        {"driver: INF unreadable: runs, not judged after", inf, drivers("Contoso", "2.1", true), 0, 0,
         "after exit code 0 [Detect] cannot be judged: driver: C:\\setup\\x.inf cannot be read as an INF"},
        {"msi present: both skipped",
         one + "Setup2=1,a.exe, ,\n[Detect]\nSetup1=msi:" + kPc + ">=2.0\nSetup2=msi:" + kPc,
         [](Sim& s) { Installed(s); }, 0, 0, "item 2: skipped: every [Detect] rule holds"},
        {"msi below the version: runs, registers", msi, [](Sim& s) { Installed(s, "1.9.9"), Registers(s); }, 0, 1},
        {"msi absent, ends 0 unregistered: 1603", msi, nullptr, 1603, 1,
         "but [Detect] does not hold: msi " /* names the rule */},
        {"ends 1707 unregistered: 1603", msi, exits(1707), 1603, 1},
        {"upgrade: a newer product of the code", one + "[Detect]\nSetup1=upgrade:" + kUc + ">=1.0\n",
         [](Sim& s) { Installed(s); }, 0, 0},
        {"upgrade: only an older one", one + "[Detect]\nSetup1=upgrade:" + kUc + ">=2.1\n",
         [](Sim& s) { Installed(s); }, 1603, 1},
        {"reg32 rule, value only in the 64-bit view", one + "[Detect]\nSetup1=reg32:HKLM\\" + kKey + ",V\n",
         value(64, REG_SZ, Sim::Sz("1")), 1603, 1},
        {"REG_DWORD >=", reg + ",V>=528040\n", value(64, REG_DWORD, Sim::Dword(528040)), 0, 0},
        {"REG_DWORD below", reg + ",V>=528041\n", value(64, REG_DWORD, Sim::Dword(528040)), 1603, 1},
        {"REG_SZ as a version", reg + ",V>=14.30\n", value(64, REG_SZ, Sim::Sz("v14.38.33135.00")), 0, 0},
        {"REG_SZ text, case ignored", reg + ",V=Yes\n", value(64, REG_SZ, Sim::Sz("YES")), 0, 0},
        {"file version below", file, version(0x50000, 0), 1603, 1, "C:\\Program Files\\C\\c.exe 5.0.0.0"},
        {"file version above", file, version(0x50001, 0x10000), 0, 0},
        {"file missing on the medium, rule holds: skipped", "Setup1=1,b.exe, ,\n" + file.substr(one.size()),
         version(0x50001, 0), 0, 0},
        {"a skipped kind 1 item still enters its folder",
         "Setup1=1,sub\\a.exe, ,\nSetup2=2,b.exe, ,\n[Detect]\nSetup1=reg:HKLM\\" + std::string(kKey),
         [](Sim& s) { s.AddKey(64, kKey), s.AddProgram("C:\\setup\\sub\\b.exe", 1000); }, 0, 1,
         "entered C:\\setup\\sub"},
        {"msi.dll missing: runs, no check after", msi, [](Sim& s) { s.system32Dlls.erase("MSI.DLL"); }, 0, 1,
         "msi.dll cannot be loaded"},
        {"3010: not checked", msi, exits(3010), 3010, 1, "is not checked after exit code 3010"},
        {"1638 of [ExitCodes]: not checked", msi + "[ExitCodes]\na.exe=1638\n", exits(1638), 0, 1,
         "which [ExitCodes] accepts as it is"},
        {"a refused hive: runs, never fails after", one + "[Detect]\nSetup1=reg:HKCU\\X\n", nullptr, 0, 1,
         "cannot be judged (detect_hive)"},
        {"a driver installed, its rule unmet: 1603", "Setup1=0,x.inf,VEN_1\n[Detect]\nSetup1=reg:HKLM\\X\n", driver(0),
         1603, 0, "[Detect] does not hold: reg HKLM\\X: no such key"},
        {"a better driver there: not checked", "Setup1=0,x.inf,VEN_1\n[Detect]\nSetup1=reg:HKLM\\X\n",
         driver(ERROR_NO_MORE_ITEMS), 0, 0, "the device has a better driver already"},
        {"driver: cannot be judged, runs", one + "[Detect]\nSetup1=driver\n", nullptr, 0, 1},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Launcher l;
        EXPECT_EQ(RunRow(c.list, c.setUp, l), c.exitCode);
        EXPECT_EQ(l.sim.starts.size(), c.starts);
        EXPECT_NE(l.sim.FileContent(sim::kLog).find(c.logs), std::string::npos) << l.sim.FileContent(sim::kLog);
    }
}

std::string Text(const Sim::RegValue& v) { return std::string(v.data.begin(), v.data.end() - 1); }

TEST(Detect, Marker)
{
    const std::string marker = std::string("[Marker]\nKey=") + kKey + "\nVersion=2.3.0\n";
    const std::string two = "Setup1=1,a.exe, ,\nSetup2=1,a.exe, ,\n";
    auto exits = [](uint32_t first, uint32_t second = 0) {
        return [=](Sim& s) {
            s.programs["A.EXE"].exitCode = first;
            s.After(2700, [&s, second] { s.programs["A.EXE"].exitCode = second; });
        };
    };
    struct Case {
        const char* what;
        std::string list;
        std::function<void(Sim&)> setUp;
        int exitCode;
        uint32_t written;  // its ExitCode value; ~0u: none written (an older one is kept)
    };
    const uint32_t none = ~0u;
    const Case cases[] = {
        {"clean end", two + marker, nullptr, 0, 0},
        {"3010", two + marker, exits(0, 3010), 3010, 3010},
        {"1641 from the last item", two + marker, exits(0, 1641), 1641, 1641},
        {"1641 half-way", two + marker, exits(1641), 1641, none},
        {"an item fails", two + marker, exits(0, 1603), 1603, none},
        {"1618", two + marker, exits(1618), 1618, none},
        {"the 32-bit process writes the 64-bit view", two + marker, [](Sim& s) { s.wow64 = true; }, 0, 0},
        {"a key Windows keeps", two + "[Marker]\nKey=SOFTWARE\\Microsoft\\X\nVersion=1\n", nullptr, 13, none},
        {"the write is refused", two + marker, [](Sim& s) { s.registryWriteFails = true; }, 5, none},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Launcher l;
        l.sim.SetValue(64, kKey, "Version", REG_SZ, Sim::Sz("1.0"));  // an older run's
        EXPECT_EQ(RunRow(c.list, c.setUp, l), c.exitCode);
        const auto* values = l.sim.Values(64, kKey);
        ASSERT_NE(values, nullptr);
        EXPECT_EQ(l.sim.Values(32, kKey), nullptr);
        EXPECT_EQ(Text(values->at("VERSION")), c.written == none ? "1.0" : "2.3.0");
        if (c.written == none) continue;
        EXPECT_EQ(values->at("EXITCODE").data, Sim::Dword(c.written));
        EXPECT_TRUE(
            testing::internal::RE::FullMatch(Text(values->at("COMPLETED")), "2026-12-08T10:0[0-9]:[0-5][0-9]Z"));
        for (const sim::Call& call : l.sim.CallsNamed("RegCreateKeyExA"))
            EXPECT_NE(call.detail.find("|0x102"), std::string::npos);
        EXPECT_EQ(l.sim.CallsNamed("RegSetValueExA").back().detail, "Version");
    }
}

TEST(Detect, PendingRestart)
{
    const char* const cbs = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending";
    const char* const wu = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired";
    const char* const names = "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\";
    auto key = [](const char* k) { return [k](Sim& s) { s.AddKey(64, k); }; };
    auto rename = [names](Sim& s) {
        s.SetValue(64, std::string(names) + "ActiveComputerName", "ComputerName", REG_SZ, Sim::Sz("PC1"));
        s.SetValue(64, std::string(names) + "ComputerName", "ComputerName", REG_SZ, Sim::Sz("PC2"));
    };
    auto pfro = [](Sim& s) {
        s.SetValue(64, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", "PendingFileRenameOperations",
                   REG_MULTI_SZ, sim::MultiSz({"\\??\\C:\\a.tmp", "", "\\??\\C:\\b.tmp", "!\\??\\C:\\c"}));
    };
    const std::string list =
        std::string("Setup1=1,a.exe, ,\n[Marker]\nKey=") + kKey + "\nVersion=1\n[Restart]\nPending=";
    const RunCase cases[] = {
        {"refuse, nothing pending", list + "refuse\n", nullptr, 0, 1, "start: no restart is pending"},
        {"refuse, servicing", list + "refuse\n", key(cbs), 350, 0, "Component Based Servicing (RebootPending)"},
        {"refuse, Windows Update", list + "refuse\n", key(wu), 350, 0, "nothing is started"},
        {"refuse, a rename", list + "REFUSE\n", rename, 350, 0, "computer rename (PC1 to PC2)"},
        {"refuse, file renames alone", list + "refuse\n", pfro, 0, 1, "PendingFileRenameOperations 3 entries"},
        {"log, Windows Update", list + "log\n", key(wu), 0, 1, "pending restart: Windows Update (RebootRequired)"},
        {"no section: not even read", "Setup1=1,a.exe, ,\n", key(wu), 0, 1, "item 1"},
    };
    for (const RunCase& c : cases) {
        SCOPED_TRACE(c.what);
        sim::Launcher l;
        EXPECT_EQ(RunRow(c.list, c.setUp, l), c.exitCode);
        EXPECT_EQ(l.sim.starts.size(), c.starts);
        EXPECT_EQ(l.sim.HasKey(64, kKey), c.exitCode == 0 && c.list.find("[Marker]") != std::string::npos);
        EXPECT_NE(l.sim.FileContent(sim::kLog).find(c.logs), std::string::npos) << l.sim.FileContent(sim::kLog);
    }
}

}  // namespace
