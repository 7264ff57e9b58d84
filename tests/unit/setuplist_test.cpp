// Loading the setup list on the simulated Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "state/run_state.h"
#include "profile/profile_text.h"
#include "setuplist/setup_list.h"
#include "sim/launcher_test.h"

namespace {

using zw::SetupItem;
using zw::SetupItemAt;

// The five fields as "[kind][file][parameters][waitList][rebootFlag]", the
// form of tests/data/profile_check.ini.
std::string Fields(const SetupItem& item)
{
    std::string out;
    for (const auto field : zw::kSetupFields) out += "[" + item.*field + "]";
    return out;
}

constexpr const char* kEmpty = "[][][][][]";

// Keys asked of the profile reader, all of ".\Zarnowel.ini", as "section|key"
// one blank apart.
std::string KeysRead(const sim::SimWindows& sim)
{
    std::string keys;
    for (const sim::Call& c : sim.CallsNamed("GetPrivateProfileStringA")) {
        EXPECT_EQ(c.detail.substr(c.detail.rfind('|')), "|.\\Zarnowel.ini");
        keys += (keys.empty() ? "" : " ") + c.detail.substr(0, c.detail.rfind('|'));
    }
    return keys;
}

// The table's items up to the last that is not empty, one blank apart.
std::string Items()
{
    std::string items, empties;
    for (int n = zw::kFirstItem; n <= zw::kLastItem; ++n) {
        empties += (n == zw::kFirstItem ? "" : " ") + Fields(SetupItemAt(n));
        if (Fields(SetupItemAt(n)) == kEmpty) continue;
        items += empties;
        empties.clear();
    }
    return items;
}

size_t LoadedItems()
{
    size_t n = 0;
    while (n < 9 && !SetupItemAt(static_cast<int32_t>(n + 1)).kind.empty()) ++n;
    return n;
}

using SetupList = sim::LauncherTest;

TEST(SetupValue, SplitsAtRunsOfCommasWithoutQuoting)
{
    const struct {
        std::string value, fields;
    } cases[] = {
        {"1,a.exe, ,b.exe~x.exe,1", "[1][a.exe][ ][b.exe~x.exe][1]"},
        {"1,a.exe,,b.exe,1", "[1][a.exe][b.exe][1][]"},
        {",,2,a.exe", "[2][a.exe][][][]"},
        {"1,a.exe, , ,0,x,y", "[1][a.exe][ ][ ][0]"},
        {",,,", kEmpty},
        {"1, a.exe", "[1][ a.exe][][][]"},           // the blank is part of the name
        {"1,\"a,b.exe\"", "[1][\"a][b.exe\"][][]"},  // quotes protect nothing
        {"", kEmpty},
        {"x,a.exe,,,", "[x][a.exe][][][]"},  // unknown kinds are kept as they are
        {"12,a.exe,p,w,10", "[12][a.exe][p][w][10]"},
        // Only the first kValueLimit characters are split: "1," and the rest of them the file.
        {"1," + std::string(160, 'f') + ",p,w,1", "[1][" + std::string(zw::kValueLimit - 2, 'f') + "][][][]"},
        // A field longer than its slot of old is kept whole.
        {"1,a.exe, ," + std::string(120, 'w'), "[1][a.exe][ ][" + std::string(120, 'w') + "][]"},
    };
    for (const auto& c : cases) EXPECT_EQ(Fields(zw::SplitSetupValue(c.value)), c.fields) << c.value;
}

TEST_F(SetupList, LoadsThe149CharacterCutThroughTheReadBuffer)
{
    // The cut falls inside the parameters: they are stored cut, and the
    // fields after them never arrive.
    const std::string value = "1,a.exe," + std::string(200, 'p') + ",w.exe,1";
    List("Setup1=" + value + "\n");
    zw::LoadSetupList();
    EXPECT_EQ(Fields(SetupItemAt(1)), "[1][a.exe][" + std::string(zw::kValueLimit - 8, 'p') + "][][]");
}

TEST_F(SetupList, ReadsTheListBesideTheExecutableAndEntersItsDirectory)
{
    sim.currentDirectory = "D:\\elsewhere";
    sim.AddFile("D:\\elsewhere\\Zarnowel.ini", "[SetupList]\nSetup1=1,wrong.exe, \n");
    List("Setup1=1,a.exe, ,b.exe~x.exe,1\nSetup2=2,c.exe,/q\n");

    zw::LoadSetupList();

    EXPECT_EQ(zw::programDirectory, "C:\\setup");
    EXPECT_EQ(sim.currentDirectory, "C:\\setup");
    EXPECT_EQ(Fields(SetupItemAt(1)), "[1][a.exe][ ][b.exe~x.exe][1]");
    EXPECT_EQ(Fields(SetupItemAt(2)), "[2][c.exe][/q][][]");
    EXPECT_EQ(Fields(SetupItemAt(3)), kEmpty);

    // The order of the platform calls and what they were given.
    std::vector<std::string> order;
    for (const sim::Call& c : sim.calls) order.push_back(c.name + " " + c.detail);
    const std::vector<std::string> expected = {
        "GetModuleFileNameA 256",
        "SetCurrentDirectoryA C:\\setup",
        "FileExists .\\Zarnowel.ini",
        "GetPrivateProfileStringA SetupList|Setup1|.\\Zarnowel.ini",
        "GetPrivateProfileStringA SetupList|Setup2|.\\Zarnowel.ini",
        "GetPrivateProfileStringA SetupList|Setup3|.\\Zarnowel.ini",
    };
    EXPECT_EQ(order, expected);
}

TEST_F(SetupList, LoadsTheProfileCheckListAsWindowsDoes)
{
    // One data file holds the list and what it loads; the Wine scenario
    // setuplist_profile reads the same file through the system's own reader.
    std::ifstream in(ZW_TEST_DATA_DIR "/profile_check.ini", std::ios::binary);
    ASSERT_TRUE(in) << ZW_TEST_DATA_DIR "/profile_check.ini";
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    sim.AddFile("C:\\setup\\Zarnowel.ini", text);
    std::vector<std::string> loaded;  // of "itemN=[kind][file][parameters][waitList][rebootFlag]"
    for (size_t at = text.find("\nitem"); at != std::string::npos; at = text.find("\nitem", at + 1)) {
        const size_t from = text.find('=', at) + 1;
        loaded.push_back(text.substr(from, text.find_first_of("\r\n", from) - from));
    }
    ASSERT_EQ(loaded.size(), 9u);
    sim.currentDirectory = "C:\\";
    for (uint8_t silent : {0, 1}) {
        zw::ResetSetupList();
        zw::silentMode = silent;
        zw::LoadSetupList();
        for (int n = 1; n <= 9; ++n)
            EXPECT_EQ(Fields(SetupItemAt(n)), loaded[n - 1]) << (silent ? "silent " : "not silent ") << n;
        EXPECT_EQ(zw::programDirectory, "C:\\setup");
        EXPECT_EQ(sim.currentDirectory, "C:\\setup");
    }
}

TEST_F(SetupList, StopsAtTheFirstKeyThatReadsEmpty)
{
    const struct {
        const char *list, *items, *keys;
    } cases[] = {
        {"Setup1=1,a.exe, \nSetup2=1,b.exe, \nSetup4=1,d.exe, \n", "[1][a.exe][][][] [1][b.exe][][][]",
         "SetupList|Setup1 SetupList|Setup2 SetupList|Setup3"},
        {"Setup1=\nSetup2=1,b.exe, \n", "", "SetupList|Setup1"},
        // A value of commas only is an empty item, and loading goes on.
        {"Setup1=,,,\nSetup2=1,b.exe, ,\n", "[][][][][] [1][b.exe][ ][][]",
         "SetupList|Setup1 SetupList|Setup2 SetupList|Setup3"},
    };
    for (const auto& c : cases) {
        sim::Launcher run;
        run.List(c.list);
        zw::LoadSetupList();
        EXPECT_EQ(Items(), c.items) << c.list;
        EXPECT_EQ(KeysRead(run.sim), c.keys) << c.list;
    }
}

TEST_F(SetupList, SilentSectionOnlyWhenSilentAndItsSetup1ReadsNonEmpty)
{
    const std::string loud = "SetupList|Setup1 SetupList|Setup2";  // the keys a load of [SetupList] reads
    struct {
        const char* name;
        uint8_t silent;
        const char* silentSection;
        const char* file;
        std::string keys;  // as "section|key", one blank between them
    } const cases[] = {
        {"not silent, silent list present", 0, "Setup1=1,quiet.exe, \n", "loud.exe", loud},
        {"not silent, no silent list", 0, "", "loud.exe", loud},
        {"silent, silent list present", 1, "Setup1=1,quiet.exe, \n", "quiet.exe",
         "SetupSilent|Setup1 SetupSilent|Setup1 SetupSilent|Setup2"},
        {"silent, silent list without Setup1", 1, "Setup2=1,quiet.exe, \n", "loud.exe", "SetupSilent|Setup1 " + loud},
        {"silent, silent Setup1 empty", 1, "Setup1=\nSetup2=1,quiet.exe, \n", "loud.exe", "SetupSilent|Setup1 " + loud},
    };
    for (const auto& c : cases) {
        sim::Launcher local;
        local.sim.AddFile("C:\\setup\\Zarnowel.ini",
                          std::string("[SetupSilent]\n") + c.silentSection + "[SetupList]\nSetup1=1,loud.exe, \n");
        zw::silentMode = c.silent;
        zw::SetupListReport report;
        zw::LoadSetupList(report);
        EXPECT_EQ(SetupItemAt(1).file, c.file) << c.name;
        EXPECT_EQ(report.section, c.file == std::string("quiet.exe") ? "SetupSilent" : "SetupList") << c.name;
        EXPECT_EQ(KeysRead(local.sim), c.keys) << c.name;
    }
}

TEST_F(SetupList, SilentSectionIsChosenBeforeTheListIsLookedFor)
{
    zw::silentMode = 1;
    zw::LoadSetupList();
    EXPECT_EQ(LoadedItems(), 0u);
    EXPECT_EQ(KeysRead(sim), "SetupSilent|Setup1");
    EXPECT_EQ(sim.CountCalls("FileExists"), 1u);
}

TEST_F(SetupList, MissingListLeavesTheTableEmptyButSettlesTheRunState)
{
    sim.lcid = 0x0412;
    zw::SetupListReport report;
    zw::LoadSetupList(report);
    EXPECT_EQ(LoadedItems(), 0u);
    EXPECT_EQ(KeysRead(sim), "");
    EXPECT_EQ(zw::languageTag, "kor");
    EXPECT_EQ(zw::programDirectory, "C:\\setup");
    EXPECT_TRUE(report.directoryEntered);
    EXPECT_FALSE(report.listFound);
}

TEST_F(SetupList, EndsAfterTheNinthItem)
{
    std::string text = "[SetupList]\n", nine;
    for (int n = 1; n <= 12; ++n) text += "Setup" + std::to_string(n) + "=1,item" + std::to_string(n) + ".exe, \n";
    for (int n = 1; n <= 9; ++n) nine += (n == 1 ? "" : " ") + std::string("SetupList|Setup") + std::to_string(n);
    sim.AddFile("C:\\setup\\Zarnowel.ini", text);

    zw::LoadSetupList();
    EXPECT_EQ(LoadedItems(), 9u);
    EXPECT_EQ(SetupItemAt(9).file, "item9.exe");
    EXPECT_EQ(SetupItemAt(10).kind, "");
    EXPECT_EQ(KeysRead(sim), nine);

    // The launcher's own report (for its log) reads no tenth key either.
    zw::ResetSetupList();
    zw::SetupListReport report;
    zw::LoadSetupList(report);
    EXPECT_EQ(report.itemsLoaded, 9);
    EXPECT_FALSE(report.keysAfterLastItem);
    EXPECT_EQ(KeysRead(sim), nine + " " + nine);
    EXPECT_EQ(zw::LoadEndInWords(report), "the table holds 9 items; later keys are not read");

    // Only a reading that asks for it looks at it: the probe of the Wine
    // scenarios, and the checker's.
    zw::ResetSetupList();
    zw::SetupListReport asked;
    zw::LoadSetupList(asked, true);
    EXPECT_TRUE(asked.keysAfterLastItem);
    EXPECT_EQ(KeysRead(sim), nine + " " + nine + " " + nine + " SetupList|Setup10");
    const zw::ProfileText profile(text);
    zw::SetupListReport checked;
    zw::ReadSetupItems("SetupList", zw::ProfileTextReader(profile), &checked);
    EXPECT_EQ(checked.itemsLoaded, 9);
    EXPECT_TRUE(checked.keysAfterLastItem);
    EXPECT_EQ(LoadedItems(), 9u);
}

TEST_F(SetupList, ReportOfAShortList)
{
    List("Setup1=1,a.exe, \nSetup2=0,x.inf,PCI\\VEN_1\n");
    zw::SetupListReport report;
    zw::LoadSetupList(report);
    EXPECT_TRUE(report.directoryFound);
    EXPECT_TRUE(report.listFound);
    EXPECT_EQ(report.section, "SetupList");
    EXPECT_EQ(report.itemsLoaded, 2);
    EXPECT_FALSE(report.keysAfterLastItem);
}

TEST_F(SetupList, ItemNumbersOutsideTheTableReadAsAFreshEmptyItem)
{
    List("Setup1=0,x.inf,pci\\ven_1\n");
    zw::LoadSetupList();

    for (int32_t n : {0, -1, 10, INT32_MIN, INT32_MAX}) {
        SetupItem& outside = SetupItemAt(n);
        EXPECT_EQ(Fields(outside), kEmpty) << n;
        outside.parameters = "scribble";
        outside.kind = "1";
        EXPECT_EQ(SetupItemAt(n).parameters, "") << n;
        EXPECT_EQ(SetupItemAt(n).kind, "") << n;
    }

    // Inside the table a change in place stays, as the driver search needs.
    SetupItem& item = SetupItemAt(1);
    zw::Sys().CharUpperA(item.parameters.data());
    EXPECT_EQ(SetupItemAt(1).parameters, "PCI\\VEN_1");
}

TEST_F(SetupList, KoreanByPrimaryLanguageOfTheSystemLocaleOnly)
{
    struct {
        uint32_t lcid;
        const char* tag;
    } const cases[] = {
        {0x0412, "kor"},                    // Korean (Korea)
        {0x0812, "kor"},                    // another Korean sub-language
        {0x10412, "kor"},                   // a Korean sort order
        {0x0012, "kor"},                    // neutral Korean
        {0x0409, "eng"},  {0x0411, "eng"},  // Japanese
        {0x0112, "eng"},                    // primary language 0x112: ten bits count, not eight
        {0x0000, "eng"},
    };
    for (const auto& c : cases) {
        sim.lcid = c.lcid;
        zw::ResetSetupList();
        zw::LoadSetupList();
        EXPECT_EQ(zw::languageTag, c.tag) << std::hex << c.lcid;
    }
}

TEST_F(SetupList, ExecutableInTheRootOfADrive)
{
    sim.modulePath = "C:\\zarnowel.exe";
    sim.AddFile(sim.modulePath);
    sim.AddFile("C:\\Zarnowel.ini", "[SetupList]\nSetup1=1,root.exe, \n");
    // A start from elsewhere on the same drive: "C:" alone would mean there.
    sim.AddFile("C:\\other\\Zarnowel.ini", "[SetupList]\nSetup1=1,other.exe, \n");
    sim.currentDirectory = "C:\\other";

    zw::LoadSetupList();
    EXPECT_EQ(zw::programDirectory, "C:");
    EXPECT_EQ(sim.currentDirectory, "C:\\");
    EXPECT_EQ(SetupItemAt(1).file, "root.exe");
}

// Module paths the directory cannot be told from: the list is not read at
// all, since ".\Zarnowel.ini" would be a file somewhere else.
TEST_F(SetupList, LongExecutablePaths)
{
    const std::string dir199 = "C:\\" + std::string(196, 'd');
    struct {
        const char* name;
        std::string modulePath;
        bool loads;
        std::string directory;
    } const cases[] = {
        {"directory of 199", dir199 + "\\z.exe", true, dir199},
        {"path of 255", dir199 + "\\" + std::string(55, 'z'), true, dir199},
        {"path of 256, cut by the system", dir199 + "\\" + std::string(56, 'z'), false, ""},
        {"directory of 200", dir199 + "d\\z.exe", false, ""},
        {"long name, short directory", "C:\\setup\\" + std::string(240, 'z'), true, "C:\\setup"},
    };
    for (const auto& c : cases) {
        sim::SimScope local;
        local.sim.modulePath = c.modulePath;
        local.sim.AddFile(c.modulePath);
        const std::string exeDir = c.modulePath.substr(0, c.modulePath.rfind('\\'));
        local.sim.AddFile(exeDir + "\\Zarnowel.ini", "[SetupList]\nSetup1=1,beside.exe, \n");
        // Where the start left the process, a list of its own.
        local.sim.AddFile("C:\\start\\Zarnowel.ini", "[SetupList]\nSetup1=1,start.exe, \n");
        local.sim.currentDirectory = "C:\\start";
        // An ancestor's list, which a cut directory would find.
        local.sim.AddFile("C:\\Zarnowel.ini", "[SetupList]\nSetup1=1,ancestor.exe, \n");

        zw::SetupListReport report;
        zw::LoadSetupList(report);
        EXPECT_EQ(zw::programDirectory, c.directory) << c.name;
        EXPECT_EQ(SetupItemAt(1).file, c.loads ? "beside.exe" : "") << c.name;
        EXPECT_EQ(report.directoryFound, c.loads) << c.name;
        if (!c.loads) {
            EXPECT_EQ(local.sim.CountCalls("SetCurrentDirectoryA"), 0u) << c.name;
            EXPECT_EQ(local.sim.CountCalls("GetPrivateProfileStringA"), 0u) << c.name;
            EXPECT_EQ(local.sim.currentDirectory, "C:\\start") << c.name;
        }
    }
}

TEST_F(SetupList, ADirectoryThatCannotBeEnteredIsNotRead)
{
    sim.modulePath = "C:\\gone\\zarnowel.exe";  // no such directory
    sim.AddFile("C:\\setup\\Zarnowel.ini", "[SetupList]\nSetup1=1,start.exe, \n");
    sim.currentDirectory = "C:\\setup";

    zw::SetupListReport report;
    zw::LoadSetupList(report);
    EXPECT_EQ(zw::programDirectory, "C:\\gone");
    EXPECT_FALSE(report.directoryEntered);
    EXPECT_EQ(SetupItemAt(1).kind, "");
    EXPECT_EQ(sim.CountCalls("GetPrivateProfileStringA"), 0u);
}

TEST_F(SetupList, ResetReturnsToTheStateOfAFreshProcess)
{
    List("Setup1=1,a.exe, \n");
    zw::LoadSetupList();
    ASSERT_EQ(LoadedItems(), 1u);
    zw::ResetSetupList();
    EXPECT_EQ(LoadedItems(), 0u);
    EXPECT_EQ(zw::programDirectory, "");
    EXPECT_EQ(zw::languageTag, "");
}

// The reader of the checker tools: the same table from text in memory.
TEST(SetupListReader, ChecksAListAsTheLauncherReadsIt)
{
    zw::ResetSetupList();
    const zw::ProfileText text(
        "[SetupSilent]\nSetup2=1,q.exe\n[SetupList]\nSetup1=1,a.exe,,b.exe,1\nSetup2=" + std::string(170, 'x') + "\n");
    const zw::SetupValueReader read = zw::ProfileTextReader(text);
    const std::string section = zw::ChooseSetupSection(true, read);
    EXPECT_EQ(section, "SetupList");
    zw::SetupListReport report;
    zw::ReadSetupItems(section, read, &report);
    EXPECT_EQ(report.itemsLoaded, 2);
    EXPECT_EQ(Fields(SetupItemAt(1)), "[1][a.exe][b.exe][1][]");
    EXPECT_EQ(SetupItemAt(2).kind.size(), zw::kValueLimit);

    // A second reading starts from an empty table.
    const zw::ProfileText shorter("[SetupList]\nSetup1=2,c.exe\n");
    zw::ReadSetupItems("SetupList", zw::ProfileTextReader(shorter));
    EXPECT_EQ(SetupItemAt(1).file, "c.exe");
    EXPECT_EQ(SetupItemAt(2).kind, "");
    zw::ResetSetupList();
}

// The profile reader against what Wine's GetPrivateProfileStringA gave for
// the same text, buffer size and fallback, in code page 949 where a row says so.
TEST(ProfileReader, ReadsAsTheSystemReaderDoes)
{
    using namespace std::string_literals;
    const std::string q149 = "\"" + std::string(149, 'q') + "\"";
    const std::string ga = "\xb0\xa1";  // one Korean syllable in code page 949
    const zw::LeadByteTest cp949 = zw::IsLeadByte949;
    const std::string split = "[S]\r\nk=" + std::string(148, 'a') + ga + "\r\n";  // ends in a split character
    const auto syllables = [&ga](int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += ga;
        return s;
    };
    const struct {
        const char* what;
        std::string text, value;
        unsigned count;
        zw::LeadByteTest isLeadByte = nullptr;
        const char *section = "S", *key = "k";
        unsigned size = 150;
        const char* fallback = "";
    } cases[] = {
        {"blanks around '='", "[S]\r\n  k \t=\t v \t\r\n", "v", 1},
        {"a ';' line is a key", "[S]\r\n;k=c\r\nk=v\r\n", "c", 1, nullptr, "S", ";k"},
        {"a comment line does not end the section", "[S]\r\n; note\r\nk=v\r\n", "v", 1},
        {"double quotes go", "[S]\r\nk=\"v w\"\r\n", "v w", 3},
        {"single quotes go", "[S]\r\nk='v'\r\n", "v", 1},
        {"mismatched quotes stay", "[S]\r\nk=\"v'\r\n", "\"v'", 3},
        {"an opening quote alone stays", "[S]\r\nk=\"v\r\n", "\"v", 2},
        {"a lone quote stays", "[S]\r\nk=\"\r\n", "\"", 1},
        {"two quotes give the empty text", "[S]\r\nk=\"\"\r\n", "", 0},
        {"blanks inside quotes stay", "[S]\r\nk=\"  v  \"\r\n", "  v  ", 5},
        {"inner quotes stay", "[S]\r\nk=a\"b\"\r\n", "a\"b\"", 4},
        {"only the outer pair goes", "[S]\r\nk=\"a\"\"\r\n", "a\"", 2},
        {"a quoted value cut short", "[S]\r\nk=\"double\"\r\n", "do", 2, nullptr, "S", "k", 3},
        {"a buffer as long as the value loses one more", "[S]\r\nk=\"double\"\r\n", "doubl", 5, nullptr, "S", "k", 7},
        {"one byte more and it is whole", "[S]\r\nk=\"double\"\r\n", "double", 6, nullptr, "S", "k", 8},
        {"149 quoted characters read as 148", "[S]\r\nk=" + q149 + "\r\n", std::string(148, 'q'), 148},
        {"a long value is cut at 149", "[S]\r\nk=" + std::string(170, 'p') + "\r\n", std::string(149, 'p'), 149},
        {"the section name runs to the last ']'", "[X]Y]\r\nk=v\r\n", "v", 1, nullptr, "X]Y"},
        {"text after the ']' is ignored", "[S] junk\r\nk=v\r\n", "v", 1},
        {"blanks inside the brackets go", "[ S ]\r\nk=v\r\n", "v", 1},
        {"an unclosed header is no section", "[S]\r\n[T\r\nk=v\r\n", "v", 1},
        {"... and opens none", "[S]\r\n[T\r\nk=v\r\n", "", 0, nullptr, "T"},
        {"CR alone ends a line", "[S]\rk=v\rm=w\r", "w", 1, nullptr, "S", "m"},
        {"^Z is a blank", "[S]\r\nk=\x1av\x1a\r\n", "v", 1},
        {"a no-break space is not", "[S]\r\nk=\xa0v\xa0\r\n", "\xa0v\xa0", 3},
        {"a NUL ends the value", "[S]\r\nk=ab\0cd\r\nm=w\r\n"s, "ab", 2},
        {"the line is trimmed before the NUL cut", "[S]\r\nk=\"a\" \0 x\r\n"s, "\"a\" ", 4},
        {"a key without '=' hides a later one", "[S]\r\nk\r\nk=v\r\n", "", 0},
        {"the first key of a name wins", "[S]\r\nk=1\r\nk=2\r\n", "1", 1},
        {"only the first section of a name is read", "[S]\r\nk=1\r\n[S]\r\nm=2\r\n", "", 0, nullptr, "S", "m"},
        {"names ignore ASCII case", "[setuplist]\r\nSETUP1=v\r\n", "v", 1, nullptr, "SetupList", "Setup1"},
        {"names asked for are trimmed", "[S]\r\nk=v\r\n", "v", 1, nullptr, " S ", " k "},
        {"a blank inside a key name counts", "[S]\r\nSetup 1=v\r\n", "", 0, nullptr, "S", "Setup1"},
        {"keys before any header", "k=v\r\n[S]\r\n", "", 0},
        {"the fallback loses trailing blanks", "[S]\r\n", "fb", 2, nullptr, "S", "k", 150, "fb  "},
        {"but never its first character", "[S]\r\n", " ", 1, nullptr, "S", "k", 150, " "},
        {"and loses its quotes", "[S]\r\n", "fb", 2, nullptr, "S", "k", 150, "\"fb\""},
        {"an empty value is no fallback", "[S]\r\nk=\r\n", "", 0, nullptr, "S", "k", 150, "fb"},
        // Code page 949: cut at whole characters; the count is size - 1 whenever the value did not fit.
        {"a split character is left out", split, std::string(148, 'a'), 149, cp949},
        {"160 bytes keep 148", "[S]\r\nk=1," + syllables(80) + "\r\n", "1," + syllables(73), 149, cp949},
        {"a value that fits is whole", "[S]\r\nk=" + std::string(147, 'a') + ga + "\r\n", std::string(147, 'a') + ga,
         149, cp949},
        {"quotes count in characters", "[S]\r\nk=\"" + syllables(74) + "\"\r\n", syllables(74), 148, cp949},
        // A single-byte reading of the same text splits the character.
        {"a single-byte reading", split, std::string(148, 'a') + "\xb0", 149},
    };
    for (const auto& c : cases) {
        const zw::ProfileText text(c.text, c.isLeadByte);
        char buffer[512];
        std::memset(buffer, 'Z', sizeof buffer);
        const unsigned count = text.Read(c.section, c.key, c.fallback, buffer, c.size);
        EXPECT_EQ(std::string(buffer), c.value) << c.what;
        EXPECT_EQ(count, c.count) << c.what;
        EXPECT_EQ(buffer[c.size], 'Z') << c.what << ": written past the buffer";
    }
}

}  // namespace
