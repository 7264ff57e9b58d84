#include "detect/detect_eval.h"

#include <cstring>
#include <vector>

#include "driver/driver_update.h"
#include "platform/ascii.h"
#include "platform/platform.h"
#include "platform/win_values.h"
#include "runlog/run_log.h"
#include "sequencer/item_kinds.h"
#include "setuplist/paths.h"
#include "setuplist/setup_list.h"
#include "state/run_outcome.h"

namespace zw {

namespace {

// The rules of the item now in hand: read before it starts, checked again
// after it ends.
int32_t rulesOf = 0;
DetectRules rules;

// msi.dll and version.dll are not KnownDLLs: a copy beside the launcher
// would be loaded by name, so both come from System32 alone.
struct Library {
    const wchar_t* name;
    const char* words;
    const char* entries[3];
    int state;  // 0 not tried, 1 loaded, 2 failed
    std::string failure;
};
Library msiLibrary{
    L"msi.dll", "msi.dll", {"MsiQueryProductStateA", "MsiGetProductInfoA", "MsiEnumRelatedProductsA"}, 0, {}};
Library versionLibrary{
    L"version.dll", "version.dll", {"GetFileVersionInfoSizeA", "GetFileVersionInfoA", "VerQueryValueA"}, 0, {}};

bool Load(Library& library)
{
    Platform& sys = Sys();
    if (library.state == 0) {
        library.state = 1;
        Handle module = sys.LoadLibraryExW(library.name, win::LOAD_LIBRARY_SEARCH_SYSTEM32);
        if (module == nullptr) {
            library.failure = std::string(library.words) +
                              " cannot be loaded from the system folder: " + SystemErrorText(sys.GetLastError());
            library.state = 2;
        }
        for (const char* entry : library.entries)
            if (library.state == 1 && !sys.GetProcAddress(module, entry)) {
                library.failure = std::string(library.words) + " has no " + entry;
                library.state = 2;
            }
    }
    return library.state == 1;
}

RuleFinding Finding(Verdict verdict, std::string found) { return {verdict, std::move(found)}; }
RuleFinding Unknown(std::string why) { return {Verdict::Unknown, std::move(why)}; }

std::string VersionText(const Version& v)
{
    std::string text;
    for (uint8_t i = 0; i < v.count; ++i) text += (i ? "." : "") + std::to_string(v.fields[i]);
    return text;
}

// The found version against the rule's operand.
RuleFinding Compare(const DetectRule& rule, const Version& found, const std::string& what)
{
    const int order = CompareVersions(found, rule.version);
    const bool holds = rule.op == RuleOp::AtLeast ? order >= 0 : order == 0;
    return Finding(holds ? Verdict::Holds : Verdict::NotHeld, what);
}

RuleFinding ProductVersion(const DetectRule& rule, const char* product, const std::string& what)
{
    char buffer[64] = {};
    uint32_t size = sizeof buffer;
    const uint32_t result = Sys().MsiGetProductInfoA(product, "VersionString", buffer, size);
    buffer[sizeof buffer - 1] = '\0';
    if (result != win::ERROR_SUCCESS) return Unknown(what + ", its version cannot be read: " + SystemErrorText(result));
    Version found;
    if (!ParseVersion(buffer, found)) return Unknown(what + " " + buffer + ", which is no version");
    return Compare(rule, found, what + " " + buffer);
}

RuleFinding Msi(const DetectRule& rule)
{
    if (!Load(msiLibrary)) return Unknown(msiLibrary.failure);
    const int32_t state = Sys().MsiQueryProductStateA(rule.target.c_str());
    if (state == win::INSTALLSTATE_INVALIDARG) return Unknown("Windows Installer refuses the product code");
    if (state != win::INSTALLSTATE_DEFAULT)
        return Finding(Verdict::NotHeld, "not installed (state " + std::to_string(state) + ")");
    if (rule.op == RuleOp::None) return Finding(Verdict::Holds, "installed");
    return ProductVersion(rule, rule.target.c_str(), "installed");
}

RuleFinding Upgrade(const DetectRule& rule)
{
    if (!Load(msiLibrary)) return Unknown(msiLibrary.failure);
    RuleFinding best = Finding(Verdict::NotHeld, "no product of this upgrade code");
    for (uint32_t index = 0; index < 64; ++index) {
        char product[39] = {};
        const uint32_t result = Sys().MsiEnumRelatedProductsA(rule.target.c_str(), index, product);
        if (result == win::ERROR_NO_MORE_ITEMS) break;
        if (result != win::ERROR_SUCCESS)
            return Unknown("the products of this upgrade code cannot be listed: " + SystemErrorText(result));
        product[38] = '\0';
        if (rule.op == RuleOp::None) return Finding(Verdict::Holds, std::string("installed: ") + product);
        RuleFinding one = ProductVersion(rule, product, product);
        if (one.verdict == Verdict::Holds) return one;
        if (best.verdict == Verdict::NotHeld) best = one;
    }
    return best;
}

RuleFinding Registry(const DetectRule& rule)
{
    Platform& sys = Sys();
    Handle key = nullptr;
    const uint32_t access = win::KEY_QUERY_VALUE | (rule.view32 ? win::KEY_WOW64_32KEY : win::KEY_WOW64_64KEY);
    const uint32_t opened = sys.RegOpenKeyExA(rule.target.c_str(), access, key);
    if (opened == win::ERROR_FILE_NOT_FOUND) return Finding(Verdict::NotHeld, "no such key");
    if (opened != win::ERROR_SUCCESS) return Unknown("the key cannot be opened: " + SystemErrorText(opened));
    if (!rule.hasValue) {
        sys.RegCloseKey(key);
        return Finding(Verdict::Holds, "the key exists");
    }
    uint8_t data[512] = {};
    uint32_t type = 0, size = sizeof data - 2;  // room for a terminator the value may lack
    const uint32_t read = sys.RegQueryValueExA(key, rule.value.c_str(), type, data, size);
    sys.RegCloseKey(key);
    if (read == win::ERROR_FILE_NOT_FOUND) return Finding(Verdict::NotHeld, "no such value");
    if (read == win::ERROR_MORE_DATA && rule.op == RuleOp::None) return Finding(Verdict::Holds, "the value exists");
    if (read != win::ERROR_SUCCESS) return Unknown("the value cannot be read: " + SystemErrorText(read));
    if (rule.op == RuleOp::None) return Finding(Verdict::Holds, "the value exists");
    if (type == win::REG_SZ || type == win::REG_EXPAND_SZ) {
        const std::string text(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), size));
        const std::string what = "\"" + text + "\"";
        if (rule.op == RuleOp::Equal)
            return Finding(EqualsIgnoringAsciiCase(text, rule.operand) ? Verdict::Holds : Verdict::NotHeld, what);
        Version found;
        if (!ParseVersion(text, found)) return Unknown(what + ", which is no version");
        return Compare(rule, found, what);
    }
    if ((type == win::REG_DWORD && size == 4) || (type == win::REG_QWORD && size == 8)) {
        uint64_t number = 0;
        for (uint32_t i = size; i-- > 0;) number = number << 8 | data[i];
        const Version found{{number, 0, 0, 0}, 1};
        if (rule.op == RuleOp::Equal && !(rule.operandIsVersion && rule.version.count == 1))
            return Unknown(std::to_string(number) + ", a number, against \"" + rule.operand + "\"");
        return Compare(rule, found, std::to_string(number));
    }
    return Unknown("a value of type " + std::to_string(type) + " is not compared");
}

RuleFinding File(const DetectRule& rule)
{
    Platform& sys = Sys();
    char path[kPathCapacity] = {};
    const uint32_t length = sys.ExpandEnvironmentStringsA(rule.target.c_str(), path, sizeof path);
    if (length == 0 || length > sizeof path) return Unknown("the path cannot be expanded within 260 characters");
    // In the 32-bit fallback (no sibling, Windows on Arm) %ProgramFiles% and
    // System32 are what a 32-bit program sees.
    bool wow64 = false;
    const std::string what =
        std::string(path) + (sys.IsWow64Process(wow64) && wow64 ? " (as a 32-bit program sees it)" : "");
    const uint32_t attributes = sys.GetFileAttributesA(path);
    if (attributes == win::INVALID_FILE_ATTRIBUTES) {
        const uint32_t error = sys.GetLastError();
        if (error == win::ERROR_FILE_NOT_FOUND || error == 3)  // ERROR_PATH_NOT_FOUND
            return Finding(Verdict::NotHeld, what + " is missing");
        return Unknown(what + " cannot be looked at: " + SystemErrorText(error));
    }
    if (attributes & win::FILE_ATTRIBUTE_DIRECTORY) return Finding(Verdict::NotHeld, what + " is a folder");
    if (rule.op == RuleOp::None) return Finding(Verdict::Holds, what + " exists");
    if (!Load(versionLibrary)) return Unknown(versionLibrary.failure);
    const uint32_t size = sys.GetFileVersionInfoSizeA(path);
    if (size == 0) return Unknown(what + " has no version: " + SystemErrorText(sys.GetLastError()));
    std::vector<uint8_t> block(size);
    const void* fixed = nullptr;
    uint32_t fixedLength = 0;
    if (!sys.GetFileVersionInfoA(path, size, block.data()) ||
        !sys.VerQueryValueA(block.data(), "\\", fixed, fixedLength) || fixed == nullptr ||
        fixedLength < sizeof(FixedFileInfo))
        return Unknown(what + "'s version cannot be read");
    FixedFileInfo info;
    std::memcpy(&info, fixed, sizeof info);
    if (info.dwSignature != 0xFEEF04BD) return Unknown(what + "'s version block is damaged");
    const Version found{{info.dwFileVersionMS >> 16, info.dwFileVersionMS & 0xFFFF, info.dwFileVersionLS >> 16,
                         info.dwFileVersionLS & 0xFFFF},
                        4};
    return Compare(rule, found, what + " " + VersionText(found));
}

std::string InQuotes(const std::string& text) { return "\"" + text + "\""; }

// The INF's [Version] DriverVer version (its second field) and Provider, as
// SetupAPI reads them: quotes dropped, %strkey% taken from [Strings].
bool ReadInf(const std::string& path, std::string& version, std::string& provider, std::string& why)
{
    Platform& sys = Sys();
    Handle inf = sys.SetupOpenInfFileA(path.c_str(), win::INF_STYLE_WIN4);
    if (inf == kInvalidHandle || inf == nullptr) {
        why = path + " cannot be read as an INF: " + SystemErrorText(sys.GetLastError());
        return false;
    }
    char buffer[128] = {};
    InfLine line;
    bool read = sys.SetupFindFirstLineA(inf, "Version", "DriverVer", line) &&
                sys.SetupGetStringFieldA(line, 2, buffer, sizeof buffer - 1);
    version = buffer;  // the last byte stays a terminator
    read = read && sys.SetupFindFirstLineA(inf, "Version", "Provider", line) &&
           sys.SetupGetStringFieldA(line, 1, buffer, sizeof buffer - 1);
    provider = buffer;
    if (!read)
        why = path + ": its DriverVer version or Provider cannot be read: " + SystemErrorText(sys.GetLastError());
    sys.SetupCloseInfFile(inf);
    return read;
}

// The device this driver item updates has a driver of the INF's provider,
// of the INF's version or later.
RuleFinding Driver(int32_t number)
{
    const SetupItem& item = SetupItemAt(number);
    if (KindOf(item) != ItemKind::Driver) return Unknown("the item installs no driver");
    const std::string path = JoinRelativePath(programDirectory, item.file);
    if (path.empty()) return Unknown("the INF path is too long");
    std::string infVersion, infProvider, version, provider, why;
    if (!ReadInf(path, infVersion, infProvider, why)) return Unknown(why);
    Version wanted, found;
    if (!ParseVersion(infVersion, wanted))
        return Unknown(path + ": DriverVer " + InQuotes(infVersion) + " is no version");
    if (!LoadDeviceLibraries()) return Unknown("the system's device functions are missing");
    std::string searched = item.parameters;
    switch (ReadFoundDeviceDriver(searched.data(), version, provider, why)) {
    case FoundDriver::NoDevice:
        return Finding(Verdict::NotHeld, "no present device has a first hardware ID holding " + InQuotes(searched));
    case FoundDriver::Unreadable:
        return Unknown(why);
    case FoundDriver::Read:
        break;
    }
    const std::string what = "the device has " + InQuotes(provider) + " " + version + ", the INF " +
                             InQuotes(infProvider) + " " + infVersion;
    if (!EqualsIgnoringAsciiCase(provider, infProvider)) return Finding(Verdict::NotHeld, what);
    if (!ParseVersion(version, found)) return Unknown(what + ", which is no version");
    return Finding(CompareVersions(found, wanted) >= 0 ? Verdict::Holds : Verdict::NotHeld, what);
}

const char* VerdictWords(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Holds:
        return "holds";
    case Verdict::NotHeld:
        return "does not hold";
    case Verdict::Unknown:
        return "cannot be judged";
    }
    return "?";
}

// Every rule, logged; the first that does not hold (or, failing that, the
// first that cannot be judged) decides.
Verdict CheckAll(int32_t number, std::string& decisive)
{
    Verdict all = Verdict::Holds;
    for (const DetectProblem& problem : rules.problems) {
        Log("item ", number, ": detect: \"", problem.rule, "\" cannot be judged (", problem.id, ")");
        if (all == Verdict::Holds) decisive = problem.rule + " (" + problem.id + ")";
        all = Verdict::Unknown;
    }
    for (const DetectRule& rule : rules.rules) {
        const RuleFinding finding = EvaluateRule(rule, number);
        const std::string words = RuleInWords(rule);
        Log("item ", number, ": detect: ", words, ": ", VerdictWords(finding.verdict), ": ", finding.found);
        if (finding.verdict == Verdict::NotHeld && all != Verdict::NotHeld) {
            all = Verdict::NotHeld;
            decisive = words + ": " + finding.found;
        } else if (finding.verdict == Verdict::Unknown && all == Verdict::Holds) {
            all = Verdict::Unknown;
            decisive = words + ": " + finding.found;
        }
    }
    return all;
}

}  // namespace

RuleFinding EvaluateRule(const DetectRule& rule, int32_t number)
{
    switch (rule.type) {
    case RuleType::Msi:
        return Msi(rule);
    case RuleType::Upgrade:
        return Upgrade(rule);
    case RuleType::Reg:
        return Registry(rule);
    case RuleType::File:
        return File(rule);
    case RuleType::Driver:
        return Driver(number);
    }
    return Unknown("unknown rule");
}

bool DetectSkips(int32_t number)
{
    rulesOf = number;
    rules = DetectRules();
    if (programDirectory.empty()) return false;
    // By full path: an item may have moved the current directory since.
    const std::string list = programDirectory + "\\" + (kSetupListFile + 2);
    char buffer[kDetectBufferSize] = {};
    Sys().GetPrivateProfileStringA(kSectionDetect, SetupKeyName(number).c_str(), "", buffer, kDetectBufferSize,
                                   list.c_str());
    buffer[kDetectBufferSize - 1] = '\0';
    rules = ParseDetectRules(buffer);
    if (rules.rules.empty() && rules.problems.empty()) return false;
    std::string decisive;
    const Verdict verdict = CheckAll(number, decisive);
    if (verdict == Verdict::Holds) {
        Log("item ", number, ": skipped: every [Detect] rule holds; it counts as success");
        return true;
    }
    Log("item ", number, ": runs: [Detect] ", VerdictWords(verdict), ": ", decisive);
    return false;
}

void DetectAfter(int32_t number, uint32_t code, bool listedOnly)
{
    if (rulesOf != number || (rules.rules.empty() && rules.problems.empty())) return;
    if (code != kExitSuccess && code != kExitInstallSucceeded) {
        Log("item ", number, ": [Detect] is not checked after exit code ", code,
            listedOnly ? ", which [ExitCodes] accepts as it is" : ": the product may appear only after the restart");
        return;
    }
    std::string decisive;
    const Verdict verdict = CheckAll(number, decisive);
    if (verdict == Verdict::NotHeld)
        ReportFailure(win::ERROR_INSTALL_FAILURE, "item " + std::to_string(number) + " ended with exit code " +
                                                      std::to_string(code) +
                                                      ", but [Detect] does not hold: " + decisive);
    else if (verdict == Verdict::Unknown)
        Log("item ", number, ": after exit code ", code, " [Detect] cannot be judged: ", decisive);
}

void ResetDetect()
{
    rulesOf = 0;
    rules = DetectRules();
    msiLibrary.state = versionLibrary.state = 0;
    msiLibrary.failure.clear();
    versionLibrary.failure.clear();
}

}  // namespace zw
