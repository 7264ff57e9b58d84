// The setup-list checker: its warnings on minimal lists, silence on good ones
// and on the bundled example, and a plan that is what the launcher does.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "checker/checker.h"
#include "checker/disk.h"
#include "setuplist/paths.h"
#include "setuplist/setup_list.h"
#include "sim/launcher_test.h"
#include "start_rows.h"

namespace {

namespace fs = std::filesystem;
using zw::check::Found;
using zw::check::Plan;
using zw::check::StartKind;

// Files by full Windows path, found without regard to ASCII case; every
// folder above a file exists.
class MemoryFiles : public zw::check::FileView {
public:
    MemoryFiles(std::initializer_list<std::string> inSetup = {})
    {
        for (const std::string& f : inSetup) Add("C:\\setup\\" + f);
    }
    void Add(const std::string& path)
    {
        files_.insert(sim::UpperAscii(path));
        for (size_t k = path.rfind('\\'); k != std::string::npos && k > 2; k = path.rfind('\\', k - 1))
            directories_.insert(sim::UpperAscii(path.substr(0, k)));
    }
    bool IsFile(const std::string& path) const override { return files_.count(sim::UpperAscii(path)) != 0; }
    bool IsDirectory(const std::string& path) const override
    {
        return directories_.count(sim::UpperAscii(path)) != 0 || path.size() == 3;
    }

private:
    std::set<std::string> files_, directories_;
};

zw::check::Options InSetup(bool silent = false, const std::string& listPath = "C:\\setup\\Zarnowel.ini")
{
    zw::check::Options options;
    options.silent = silent;
    options.listPath = listPath;
    options.programDirectory = "C:\\setup";
    options.windowsDirectory = "C:\\windows";
    return options;
}

Plan Check(const std::string& ini, const zw::check::FileView& files, const zw::check::Options& options = InSetup())
{
    return zw::check::CheckSetupList(zw::ProfileText(ini), options, files);
}

std::string Codes(const Plan& plan)
{
    std::string out;
    for (const auto& w : plan.warnings) out += (out.empty() ? "" : " ") + std::to_string(w.item) + ":" + w.code;
    return out;
}

// For EXPECT_TRUE: text holds part.
::testing::AssertionResult Holds(const std::string& text, const std::string& part)
{
    if (text.find(part) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "no \"" << part << "\" in:\n" << text;
}

// An item of the plan in one line; a wait entry found inside names has a '*'.
std::string Planned(const zw::check::PlanItem& item)
{
    const char* const starts[] = {"none", "direct", "dialog"};
    std::string out = starts[static_cast<int>(item.start)] + (" " + item.tests) + ", enters " + item.enters + ", in " +
                      item.currentDirectory + ", waits";
    for (const auto& w : item.waitEntries) out += (w.contains ? " *" : " ") + w.text;
    return out + ", grace " + item.gracePoll + (item.requestsRestart ? ", restart" : "");
}

TEST(CheckerPath, WindowsFullPathFollowsTheSystemsNormalisation)
{
    struct {
        const char *current, *path, *full;
    } const cases[] = {
        {"C:\\setup", ".\\a.exe", "C:\\setup\\a.exe"},
        {"C:\\setup", ".\\sub/a.exe", "C:\\setup\\sub\\a.exe"},  // '/' separates for the file system
        {"C:\\setup\\sub", "..\\..\\x.inf", "C:\\x.inf"},
        {"C:\\setup", "..\\..\\..\\x.inf", "C:\\x.inf"},  // never above the drive
        {"C:\\setup", ".\\\\server\\share\\a.exe", "C:\\setup\\server\\share\\a.exe"},
        {"C:\\setup", ".\\a.exe. .", "C:\\setup\\a.exe"},    // trailing dots and blanks of the last name
        {"C:\\setup", ". \\a.exe", "C:\\setup\\. \\a.exe"},  // ... of the last name only
        {"C:\\setup", ".\\ a.exe", "C:\\setup\\ a.exe"},     // a leading blank stays
        {"C:\\setup", "D:\\x\\y", "D:\\x\\y"},
        {"C:\\setup", "\\x", "C:\\x"},
        {"C:\\setup", ".\\D:\\x\\b.exe", ""},  // ':' inside a name names nothing
        {"C:\\setup", ".\\a*.exe", ""},
        {"C:\\setup", "D:x", ""},  // the drive's own current directory
        {"C:\\setup", ".\\a\\..", "C:\\setup"},
        {"C:\\", ".\\a", "C:\\a"},
        {"C:", "..", "C:\\"},
    };
    for (const auto& c : cases) EXPECT_EQ(zw::check::WindowsFullPath(c.current, c.path), c.full) << c.path;
}

TEST(Checker, EachMistakeGivesItsWarningOnAMinimalList)
{
    struct {
        const char* name;
        std::string ini;        // under "[SetupList]" when a key comes first; with /s when it has [SetupSilent]
        std::string expected;   // item:code of every warning, in order
        std::string mentioned;  // a text the first warning's message holds
    } const cases[] = {
        {"star on a direct start", "Setup1=1,a.exe, ,b.exe*c.exe\n", "1:wait_separator", "\"b.exe*c.exe\""},
        {"tilde under the dialog", "Setup1=1,a.exe,/q,b.exe~c.exe\n", "1:wait_separator", "'~'"},
        {"wildcard under the dialog", "Setup1=1,a.exe,/q,*.tmp\n", "1:dialog_wildcard", "exact name"},
        {"a tenth key",
         "Setup1=1,a.exe, ,\nSetup2=1,a.exe, ,\nSetup3=1,a.exe, ,\nSetup4=1,a.exe, ,\n"
         "Setup5=1,a.exe, ,\nSetup6=1,a.exe, ,\nSetup7=1,a.exe, ,\nSetup8=1,a.exe, ,\nSetup9=1,a.exe, ,\n"
         "Setup10=1,a.exe, ,\nSetup12=1,a.exe, ,\n",
         "0:keys_after_last", "Setup10, Setup12"},
        {"a gap", "Setup1=1,a.exe, ,\nSetup3=1,a.exe, ,\n", "2:key_gap", "Setup3 is never read"},
        {"an empty key in the middle", "Setup1=1,a.exe, ,\nSetup2=\nSetup3=1,a.exe, ,\n", "2:key_gap",
         "Setup2 is missing or empty"},
        {"a long value", "Setup1=1,a.exe, ," + std::string(150, 'w') + "\n", "1:value_cut", "cuts off \"wwwwwwwwwww\""},
        {"a missing file", "Setup1=1,nothere.exe, ,\n", "1:missing_file", "\".\\nothere.exe\""},
        {"a missing folder", "Setup1=1,nodir\\a.exe, ,\n", "1:missing_file", "nodir"},
        {"the lasting directory change", "Setup1=1,sub\\s.exe, ,\nSetup2=2,b.exe, ,\n", "2:missing_file",
         "C:\\setup\\sub"},
        {"a driver beyond the directory change", "Setup1=1,sub\\s.exe, ,\nSetup2=0,d.inf,X\n", "2:missing_file",
         "file open error"},
        {"a drive letter on a copy", "Setup1=2,D:\\x\\b.exe, ,\n", "1:copy_drive_letter", "\".\\D:\\x\\b.exe\""},
        {"msiexec.exe waited for", "Setup1=1,setup.msi, ,msiexec.exe\n", "1:msiexec_wait", "Windows Installer service"},
        {"msiexec.exe under the dialog", "Setup1=1,a.exe,/q,b.exe*MSIEXEC.EXE\n", "1:msiexec_wait", "\"MSIEXEC.EXE\""},
        {"every program waited for", "Setup1=1,a.exe, ,*.exe\n", "1:msiexec_wait", "\"*.exe\""},
        {"an unknown kind", "Setup1=1,a.exe, ,\nSetup2=3,c.exe, ,\nSetup3=1,a.exe, ,\n", "2:unknown_kind",
         "item 3 never run"},
        {"a restart flag other than 1", "Setup1=1,a.exe, , ,yes\n", "1:reboot_flag", "\"yes\""},
        {"a restart flag on a driver", "Setup1=0,d.inf,X,x,1\n", "1:reboot_flag", "never read"},
        {"/s without a silent Setup1", "[SetupSilent]\nSetup2=1,a.exe, ,\n[SetupList]\nSetup1=1,a.exe, ,\n",
         "0:silent_fallback", "[SetupSilent]"},
        {"a blank dropped at the end", "Setup1=1,a.exe, \n", "1:blank_dropped",
         "through the dialog instead of a direct start"},
        {"a blank dropped after a CR", "[SetupList]\r\nSetup1=1,a.exe, , \t\r\n", "1:blank_dropped",
         "the waitList field \" \t\" is lost"},
        {"two commas", "Setup1=1,a.exe,,b.exe,1\n", "1:empty_field", "parameters \"b.exe\""},
        {"no item at all", "[SetupList]\n", "0:no_items", "starts nothing"},
        {"a UTF-8 byte order mark", "\xEF\xBB\xBF[SetupList]\nSetup1=1,a.exe, ,\n", "0:encoding 0:no_items",
         "part of the first line"},
        {"UTF-16", std::string("\xFF\xFE[\0S\0", 6), "0:encoding 0:no_items", "Unicode"},
        {"a rule that reads nothing",
         "Setup1=1,a.exe, ,\n[Detect]\nSetup1=exe:a.exe\n[Marker]\nKey=SOFTWARE\\V\\P\nVersion=1\n", "1:detect_syntax",
         "\"exe:a.exe\""},
        {"a rule for no item", "Setup1=1,a.exe, ,\n[Detect]\nSetup2=driver\n[Marker]\nKey=SOFTWARE\\V\\P\nVersion=1\n",
         "0:detect_key", "Setup2"},
        {"HKCU", "Setup1=1,a.exe, ,\n[Detect]\nSetup1=reg:HKCU\\X\n[Marker]\nKey=SOFTWARE\\V\\P\nVersion=1\n",
         "1:detect_hive", "SYSTEM"},
        {"WOW6432Node",
         "Setup1=1,a.exe, "
         ",\n[Detect]\nSetup1=reg:HKLM\\SOFTWARE\\WOW6432Node\\X\n[Marker]\nKey=SOFTWARE\\V\\P\nVersion=1\n",
         "1:detect_wow6432node", "reserves"},
        {"a fourth msi field",
         "Setup1=1,a.exe, "
         ",\n[Detect]\nSetup1=msi:{11111111-2222-3333-4444-555555555555}>=1.2.3.4\n[Marker]\nKey="
         "SOFTWARE\\V\\P\nVersion=1\n",
         "1:detect_msi_field4", "fourth"},
        {"another file under /s",
         "[SetupSilent]\nSetup1=1,b.exe, ,\n[SetupList]\nSetup1=1,a.exe, "
         ",\n[Detect]\nSetup1=driver\n[Marker]\nKey=SOFTWARE\\V\\P\nVersion=1\n",
         "1:detect_silent", "\"b.exe\""},
        {"a rule cut",
         "Setup1=1,a.exe, ,\n[Detect]\nSetup1=reg:HKLM\\" + std::string(260, 'k') +
             "\n[Marker]\nKey=SOFTWARE\\V\\P\nVersion=1\n",
         "1:detect_cut", "269 characters"},
        {"a marker in Microsoft's key", "Setup1=1,a.exe, ,\n[Marker]\nKey=SOFTWARE\\Microsoft\\P\nVersion=1\n",
         "0:marker_key", "Windows keeps"},
        {"a marker without a version", "Setup1=1,a.exe, ,\n[Marker]\nKey=SOFTWARE\\V\\P\n", "0:marker_version", "\"\""},
        {"rules without a marker", "Setup1=1,a.exe, ,\n[Detect]\nSetup1=driver\n", "0:detect_no_marker",
         "no detection rule"},
    };
    const MemoryFiles files{"a.exe", "sub\\s.exe", "b.exe", "d.inf", "setup.msi"};
    for (const auto& c : cases) {
        const std::string ini = (c.ini.rfind("Setup", 0) == 0 ? "[SetupList]\n" : "") + c.ini;
        const Plan plan = Check(ini, files, InSetup(ini.find("SetupSilent") != std::string::npos));
        EXPECT_EQ(Codes(plan), c.expected) << c.name;
        if (plan.warnings.empty()) continue;
        EXPECT_TRUE(Holds(plan.warnings[0].message, c.mentioned)) << c.name;
        EXPECT_FALSE(plan.warnings[0].fix.empty()) << c.name;
        EXPECT_EQ(zw::check::ExitCodeOf(plan), 1) << c.name;
    }
}

TEST(Checker, ListOrFolderTheLauncherDoesNotRead)
{
    MemoryFiles files{"a.exe"};
    EXPECT_EQ(Codes(Check("[SetupList]\nSetup1=1,a.exe, ,\n", files, InSetup(false, "C:\\setup\\setup.ini"))),
              "0:list_name");
    EXPECT_EQ(Codes(Check("[SetupList]\nSetup1=1,a.exe, ,\n", files, InSetup(false, "C:\\setup\\ZARNOWEL.INI"))), "");

    // The folder's path at the loader's limit, and one past it.
    for (const size_t length : {zw::kDirectoryLimit, zw::kDirectoryLimit + 1}) {
        zw::check::Options options;
        options.programDirectory = "C:\\" + std::string(length - 3, 'd');
        files.Add(options.programDirectory + "\\a.exe");
        const Plan plan = Check("[SetupList]\nSetup1=1,a.exe, ,\n", files, options);
        // Past the limit the items' own paths fail the same test.
        EXPECT_EQ(Codes(plan), length > zw::kDirectoryLimit ? "0:folder_too_long 1:missing_file" : "") << length;
    }
}

TEST(Checker, ListsWrittenRightGiveNoWarning)
{
    const std::string lists[] = {
        "[SetupList]\nSetup1=1,a.exe, ,b.exe~*.tmp\n",   // '~' and a wildcard on a direct start
        "[SetupList]\nSetup1=1,a.exe,/q,b.exe*c.exe\n",  // '*' under the dialog
        "[SetupList]\nSetup1=1,a.exe, ,\n",              // the comma keeps the blank
        "[SetupList]\nSetup1=\"1,a.exe, \"\n",           // so does a quote
        "[SetupList]\nSetup1=1,a.exe, , ,1\n",
        "[SetupList]\nSetup1=1,setup.msi, ,\n",  // a package is waited for through its own process
        "[SetupList]\nSetup1=1,setup.msi,/qn\n",
        "[SetupList]\nSetup1=1,a.exe,/q  \n",                        // a blank lost after a name harms nothing
        "[SetupList]\nSetup1=1,sub\\s.exe, ,\nSetup2=1,a.exe, ,\n",  // the next relative item counts from the top
        "[SetupList]\nSetup1=1,D:\\tools\\x.exe, ,\n",               // another drive is not looked for
        "[SetupList]\nSetup1=0,d.inf,PCI\\VEN_1\n",
        "[SetupSilent]\nSetup1=1,a.exe, ,\n",                                        // with /s below
        "[SetupList]\nSetup1=1,a.exe, ,\n[SetupList]\nSetup3=1,a.exe, ,\n",          // only the first section is read
        "[SetupList]\nSetup1=1," + std::string(zw::kValueLimit - 5, 'n') + ", ,\n",  // the cut exactly
    };
    const MemoryFiles files{"a.exe", "sub\\s.exe", "d.inf", "setup.msi", std::string(zw::kValueLimit - 5, 'n')};
    for (const std::string& list : lists) {
        const Plan plan = Check(list, files, InSetup(list.find("SetupSilent") != std::string::npos));
        EXPECT_EQ(Codes(plan), "") << list;
        EXPECT_EQ(zw::check::ExitCodeOf(plan), 0) << list;
    }
}

TEST(Checker, PlanTellsStartRuleWaitsAndRestart)
{
    const MemoryFiles files{"a.exe", "sub\\s.exe"};
    const Plan plan = Check("[SetupList]\nSetup1=1,a.exe, ,x.exe~*.tmp,1\nSetup2=1,sub\\s.exe,/q,y.exe*z.exe\n", files);
    ASSERT_EQ(plan.items.size(), 2u);
    EXPECT_EQ(Planned(plan.items[0]),
              "direct .\\a.exe, enters C:\\setup, in C:\\setup, waits x.exe *.tmp, grace *.tmp, restart");
    EXPECT_EQ(Planned(plan.items[1]),
              "dialog .\\s.exe, enters C:\\setup\\sub, in C:\\setup\\sub, waits y.exe z.exe, grace ");
    EXPECT_EQ(plan.restartBy, std::vector<int>{1});
    EXPECT_EQ(plan.lastItemRun, 2);

    // A skipped item asks for no restart: the flag is read after the test.
    const Plan skipped = Check("[SetupList]\nSetup1=1,gone.exe, , ,1\n", files);
    EXPECT_TRUE(skipped.restartBy.empty());
    EXPECT_EQ(skipped.items[0].start, StartKind::None);

    const std::string text = zw::check::FormatPlanText(plan);
    EXPECT_TRUE(Holds(text, "enters     C:\\setup\\sub"));
    EXPECT_TRUE(Holds(text, "warnings: none"));
}

// Programs, batch files and packages are waited for through their process,
// whose exit code can ask for a restart; a document is not. /norestart turns
// the restart into exit code 3010.
TEST(Checker, PlanTellsWhatIsWaitedForThroughItsProcessAndNoRestart)
{
    const MemoryFiles files{"a.exe", "setup.msi", "readme.txt", "a.ps1"};
    zw::check::Options options;
    options.listPath = "C:\\setup\\Zarnowel.ini";
    options.programDirectory = "C:\\setup";
    for (const bool noRestart : {false, true}) {
        options.noRestart = noRestart;
        const Plan plan = Check(
            "[SetupList]\nSetup1=1,a.exe, , ,1\nSetup2=1,setup.msi,/qn\nSetup3=1,readme.txt, ,\nSetup4=1,a.ps1, ,\n",
            files, options);
        ASSERT_EQ(plan.items.size(), 4u);
        EXPECT_EQ(plan.exitCodeItems, (std::vector<int>{1, 2, 4}));
        const std::string text = zw::check::FormatPlanText(plan);
        EXPECT_TRUE(Holds(zw::check::FormatPlanJson(plan),
                          "\"startsAs\": {\"program\": null, \"parameters\": \"/qn "
                          "REBOOT=ReallySuppress\", \"added\": \"REBOOT=ReallySuppress\"}"));
        EXPECT_TRUE(Holds(text, "'*' rule: its own process while it runs, then setup.msi"));
        EXPECT_TRUE(Holds(text, "'~' rule: readme.txt (the item's own name)"));
        EXPECT_TRUE(Holds(text, "restart    no; yes if its process ends with 3010 or 1641"));
        EXPECT_TRUE(Holds(text, "also if the process of items 1, 2, 4 ends with exit code 3010 or 1641"));
        EXPECT_EQ(text.find("exit code 3010 (/norestart)") != std::string::npos, noRestart) << text;
        EXPECT_EQ(text.find(", with /norestart\n") != std::string::npos, noRestart) << text;
        const std::string json = zw::check::FormatPlanJson(plan);
        EXPECT_TRUE(Holds(json, std::string("\"noRestart\": ") + (noRestart ? "true" : "false")));
    }
}

// Each file is planned as the launcher starts it (start_rows.h), and where
// nobody sees a box.
TEST(Checker, PlanStartsEachFileAsTheRunDoes)
{
    for (const rows::StartRow& r : rows::kStartRows) {
        const Plan plan = Check(std::string("[SetupList]\nSetup1=1,") + r.file + (r.direct ? ", ,\n" : ",/x\n"),
                                MemoryFiles{r.file}, InSetup(r.mode == rows::Silent));
        ASSERT_EQ(plan.items.size(), 1u) << rows::RowName(r);
        EXPECT_EQ(plan.items[0].throughProcess, r.throughProcess) << rows::RowName(r);
        if (r.parameters.empty() && r.host != "-") continue;
        std::string line = std::string(r.mode == rows::Unattended ? "unattended" : "starts    ") + " .\\" + r.file +
                           (r.direct ? " directly" : " under the dialog");
        line += r.host == "-" ? ": not opened, a document nobody could look at here"
                              : (r.host.empty() ? "" : " in System32\\" + r.host) + ", parameters \"" + r.parameters +
                                    "\"" + (r.added.empty() ? "" : " (\"" + r.added + "\" added");
        EXPECT_TRUE(Holds(zw::check::FormatPlanText(plan), line)) << rows::RowName(r);
    }
}

TEST(Checker, JsonEscapesEveryByteOutsidePrintableAscii)
{
    const MemoryFiles files{"\xb0\xa1.exe"};
    const Plan plan = Check("[SetupList]\nSetup1=1,\xb0\xa1.exe, ,\"q\"\n", files);
    const std::string json = zw::check::FormatPlanJson(plan);
    EXPECT_TRUE(Holds(json, "\"file\": \"\\u00b0\\u00a1.exe\""));
    EXPECT_TRUE(Holds(json, "\"waitList\": \"\\\"q\\\"\""));
    EXPECT_TRUE(Holds(json, "\"exitCode\": 0"));
    for (const char c : json) EXPECT_TRUE(c == '\n' || (c >= 0x20 && c < 0x7F)) << static_cast<int>(c);
}

class CheckerDisk : public ::testing::Test {
protected:
    fs::path root;
    CheckerDisk()
    {
        char pattern[] = "/tmp/zarnowel-checker-XXXXXX";
        const char* made = mkdtemp(pattern);
        if (made != nullptr) root = made;
    }
    void SetUp() override { ASSERT_FALSE(root.empty()); }
    ~CheckerDisk() override
    {
        std::error_code error;
        if (!root.empty()) fs::remove_all(root, error);
    }
    void Put(const std::string& relative)
    {
        const fs::path file = root / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file) << "x";
    }
    Plan CheckFolder(const fs::path& folder)
    {
        zw::check::ListLocation where;
        EXPECT_TRUE(zw::check::LocateList(folder.string(), where));
        std::string bytes;
        EXPECT_TRUE(zw::check::ReadFileBytes(where.file, bytes));
        zw::check::Options options;
        options.programDirectory = zw::check::WindowsFolderName(where.folder);
        options.listPath = options.programDirectory + "\\" + where.name;
        return Check(bytes, zw::check::DiskView(), options);
    }
};

TEST_F(CheckerDisk, FindsNamesWithoutRegardToCaseAsWindowsWould)
{
    Put("Runtime/RTSETUP.EXE");
    Put("Tool.Exe");
    std::ofstream(root / "ZARNOWEL.INI")
        << "[setuplist]\r\nsetup1=2,tool.exe, ,\r\nSETUP2=1,runtime\\rtsetup.exe, ,\r\n";
    const Plan plan = CheckFolder(root);
    EXPECT_EQ(Codes(plan), "");
    ASSERT_EQ(plan.items.size(), 2u);
    EXPECT_EQ(plan.items[0].found, Found::Yes);
    EXPECT_EQ(plan.items[1].found, Found::Yes);
    std::string windowsRoot = "Z:" + fs::canonical(root).string();
    std::replace(windowsRoot.begin(), windowsRoot.end(), '/', '\\');
    EXPECT_EQ(plan.programDirectory, windowsRoot);
    EXPECT_EQ(zw::check::NativePath(plan.items[1].lookedAt), (fs::canonical(root) / "Runtime/RTSETUP.EXE").string());
    EXPECT_EQ(zw::check::NativePath("C:\\windows"), "");  // only Z: is mapped here
}

TEST_F(CheckerDisk, FolderWithoutAListCannotBeRead)
{
    zw::check::ListLocation where;
    EXPECT_FALSE(zw::check::LocateList(root.string(), where));
    EXPECT_FALSE(zw::check::LocateList((root / "nothing.ini").string(), where));
}

TEST_F(CheckerDisk, BundledExampleHasNoWarningOnceItsItemsAreThere)
{
    const fs::path examples = fs::path(__FILE__).parent_path().parent_path().parent_path() / "examples";
    ASSERT_TRUE(fs::exists(examples / "Zarnowel.ini")) << examples;
    fs::copy(examples, root, fs::copy_options::recursive);
    // Alone, the list names stand-in installers that are put beside it to run.
    EXPECT_EQ(Codes(CheckFolder(root)), "2:missing_file 3:missing_file 4:missing_file");
    for (const char* f : {"tool.exe", "runtime/rtsetup.exe", "rtpost.exe", "app/appsetup.exe"}) Put(f);
    const Plan plan = CheckFolder(root);
    EXPECT_EQ(Codes(plan), "");
    EXPECT_EQ(plan.lastItemRun, 4);
}

using CheckerPlan = sim::LauncherTest;

TEST_F(CheckerPlan, FiveItemListMatchesTheLaunchersSimulatedRun)
{
    const std::string ini =
        "[SetupList]\r\n"
        "Setup1=0,drv\\x.inf,ven_1234\r\n"    // driver: dialog, INF beside the list
        "Setup2=2,tool.exe, ,\r\n"            // copy, direct start from the Windows directory
        "Setup3=1,sub\\a.exe, ,post.exe\r\n"  // moves the current directory to sub for good
        "Setup4=2,b.exe,/q\r\n"               // now looked for in sub; runs under the dialog
        "Setup5=0,x.inf,VEN_1234\r\n";        // beside the list, so not in sub: "file open error"
    const char* const present[] = {"C:\\setup\\drv\\x.inf", "C:\\setup\\tool.exe", "C:\\setup\\sub\\a.exe",
                                   "C:\\setup\\sub\\b.exe", "C:\\setup\\b.exe",    "C:\\setup\\x.inf"};

    MemoryFiles files;
    for (const char* f : present) files.Add(f);
    const Plan plan = Check(ini, files);
    ASSERT_EQ(plan.items.size(), 5u);
    EXPECT_EQ(Codes(plan), "5:missing_file");

    // The launcher on the simulated Windows with the same files.
    sim.AddFile("C:\\setup\\Zarnowel.ini", ini);
    for (const char* f : present) sim.AddFile(f);
    for (const char* name : {"TOOL.EXE", "A.EXE", "B.EXE"}) sim.programs[name] = {"", 700, {}};
    sim.devices.push_back({sim::MultiSz({"PCI\\VEN_1234&DEV_0001"}), 0, true});
    ASSERT_EQ(Run(), 2);  // item 5's file is missing

    // Every existence test in order, the directory changes after the load and
    // the copies: what the plan says.
    std::vector<std::string> tested, planned, entered, plannedEnters, copies, plannedCopies;
    for (const sim::Call& c : sim.CallsNamed("FileExists"))
        if (c.detail != zw::kSetupListFile) tested.push_back(c.detail);
    const auto changes = sim.CallsNamed("SetCurrentDirectoryA");
    for (size_t i = 1; i < changes.size(); ++i) entered.push_back(changes[i].detail);
    for (const sim::Call& c : sim.CallsNamed("CopyFileA")) copies.push_back(c.detail);
    for (const auto& item : plan.items) {
        planned.push_back(item.tests);
        if (!item.enters.empty()) plannedEnters.push_back(item.enters);
        if (item.kind == zw::ItemKind::Copy) plannedCopies.push_back(item.copyFrom + "|" + item.tests);
    }
    EXPECT_EQ(tested, planned);
    EXPECT_EQ(entered, plannedEnters);
    EXPECT_EQ(copies, plannedCopies);

    // The starts: what, with what, from where, and how.
    ASSERT_EQ(sim.starts.size(), 3u);
    size_t s = 0;
    size_t dialogs = 0;
    for (const auto& item : plan.items) {
        if (item.start == StartKind::Dialog) ++dialogs;
        if (item.kind == zw::ItemKind::Driver || item.start == StartKind::None) continue;
        ASSERT_LT(s, sim.starts.size());
        const sim::Start& started = sim.starts[s++];
        EXPECT_EQ(started.file, item.tests) << item.number;
        EXPECT_EQ(started.parameters, item.fields.parameters) << item.number;
        EXPECT_EQ(started.directory, item.currentDirectory) << item.number;
        // A direct start is made with no dialog open.
        bool inDialog = false;
        for (const sim::DialogRun& d : sim.dialogs) inDialog |= d.opened <= started.time && started.time <= d.closed;
        EXPECT_EQ(inDialog, item.start == StartKind::Dialog) << item.number;
    }
    EXPECT_EQ(sim.dialogs.size(), dialogs);

    // The driver item: the INF path handed over, and the one that was missing.
    ASSERT_EQ(sim.updates.size(), 1u);
    EXPECT_EQ(sim.updates[0].infPath, plan.items[0].infPath);
    ASSERT_EQ(sim.boxes.size(), 1u);
    EXPECT_EQ(sim.boxes[0].caption, "file open error");
    EXPECT_EQ(sim.boxes[0].text, plan.items[4].tests);
    EXPECT_EQ(plan.items[4].found, Found::No);
    EXPECT_EQ(sim.currentDirectory, plan.items[4].currentDirectory);
}

// [ExitCodes]: which keys reach an item, what the plan says of each item's
// codes, and the warnings for keys and entries that count for nothing.
TEST(CheckerExitCodes, KeysValuesAndThePlan)
{
    struct {
        const char* what;
        const char* section;
        const char* codes;    // the warnings, as Codes() writes them
        const char* success;  // item 1's "success" line, or "" for none
    } const cases[] = {
        {"no section", "", "", "exit codes 0, 1707, 3010 and 1641; any other code is the run's exit code"},
        {"codes by the file as written, any case", "[ExitCodes]\nSUB\\A.exe= 5, 7 \n", "",
         "exit codes 0, 1707, 3010 and 1641, and 5, 7 ([ExitCodes])"},
        {"the base name alone is another key", "[ExitCodes]\na.exe=5\n", "0:exit_codes_key",
         "exit codes 0, 1707, 3010 and 1641; any"},
        {"any code", "[ExitCodes]\nsub\\a.exe=*\n", "", "exit codes 0, 1707, 3010 and 1641, and any other"},
        {"entries that are no code", "[ExitCodes]\nsub\\a.exe=5,x5,,99999999999,-1\n", "1:exit_codes_value",
         "exit codes 0, 1707, 3010 and 1641, and 5, 4294967295 ([ExitCodes])"},
        {"a key for a document", "[ExitCodes]\nreadme.txt=1\n", "2:exit_codes_unread", ""},
        {"a key without a value is no key", "[ExitCodes]\nnothing\n", "", ""},
    };
    const MemoryFiles files{"sub\\a.exe", "readme.txt"};
    for (const auto& c : cases) {
        const Plan plan =
            Check(std::string("[SetupList]\nSetup1=1,sub\\a.exe, ,\nSetup2=1,readme.txt, ,\n") + c.section, files);
        EXPECT_EQ(Codes(plan), c.codes) << c.what;
        const std::string text = zw::check::FormatPlanText(plan);
        if (*c.success != '\0') {
            EXPECT_TRUE(Holds(text, std::string("success    ") + c.success)) << c.what;
        }
        // Item 1 always has its codes in the JSON plan, the document never.
        const std::string json = zw::check::FormatPlanJson(plan);
        EXPECT_TRUE(Holds(json, "\"successCodes\": {\"always\": [0, 1707, 3010, 1641], \"listed\": [")) << c.what;
        EXPECT_TRUE(Holds(json, "\"successCodes\": null")) << c.what;
    }
}

// The launcher reads an item's codes with the same rules as the checker.
TEST(CheckerExitCodes, ParseSuccessCodes)
{
    const zw::SuccessCodes codes =
        zw::ParseSuccessCodes(" 1, 02 ,*,,-1, 4294967295,4294967296,1e3, - ,0x80240017,0XaB, 0x, 0x123456789,-0x1,0xG");
    EXPECT_TRUE(codes.any);
    EXPECT_EQ(codes.codes, (std::vector<uint32_t>{1, 2, 0xFFFFFFFF, 0xFFFFFFFF, 0x80240017, 0xAB}));
    EXPECT_EQ(codes.invalid, (std::vector<std::string>{"4294967296", "1e3", "-", "0x", "0x123456789", "-0x1", "0xG"}));
}

}  // namespace
