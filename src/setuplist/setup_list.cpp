#include "setuplist/setup_list.h"

#include <array>
#include <cstring>

#include "platform/decimal.h"
#include "platform/platform.h"
#include "platform/win_values.h"
#include "setuplist/paths.h"
#include "state/run_state.h"

namespace zw {

std::string languageTag;
std::string programDirectory;

namespace {

constexpr uint32_t kPrimaryLanguageMask = 0x3FF;

std::array<SetupItem, kLastItem> setupTable;
SetupItem outOfRangeItem;

// The executable's directory, or the empty text when the path the system
// gives would lead DirectoryOf to another directory.
std::string ExecutableDirectory()
{
    // One byte more than the system is told, so the text always ends even
    // where a cut path comes back without a terminator.
    char path[kModulePathBufferSize + 1] = {};
    const uint32_t length = Sys().GetModuleFileNameA(path, kModulePathBufferSize);
    if (length == 0 || length >= kModulePathBufferSize) return std::string();
    const std::string_view whole(path, std::strlen(path));
    if (!DirectoryOfIsWhole(whole)) return std::string();
    return DirectoryOf(whole);
}

}  // namespace

std::string SetupKeyName(long n)
{
    std::string key = n < 0 ? "Setup-" : "Setup";
    AppendDecimal(key, n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n));
    return key;
}

SetupItem& SetupItemAt(int32_t n)
{
    if (n < kFirstItem || n > kLastItem) {
        outOfRangeItem = SetupItem();
        return outOfRangeItem;
    }
    return setupTable[static_cast<size_t>(n - kFirstItem)];
}

SetupItem SplitSetupValue(std::string_view value)
{
    value = value.substr(0, kValueLimit);
    SetupItem item;
    size_t next = 0;
    size_t i = 0;
    while (next < kSetupFieldCount && i < value.size()) {
        while (i < value.size() && value[i] == ',') ++i;
        const size_t start = i;
        while (i < value.size() && value[i] != ',') ++i;
        if (i > start) (item.*kSetupFields[next++]).assign(value.substr(start, i - start));
    }
    return item;
}

SuccessCodes ParseSuccessCodes(std::string_view value)
{
    SuccessCodes result;
    result.listed = true;
    size_t from = 0;
    while (from <= value.size()) {
        size_t end = value.find(',', from);
        if (end == std::string_view::npos) end = value.size();
        std::string_view entry = value.substr(from, end - from);
        while (!entry.empty() && (entry.front() == ' ' || entry.front() == '\t')) entry.remove_prefix(1);
        while (!entry.empty() && (entry.back() == ' ' || entry.back() == '\t')) entry.remove_suffix(1);
        from = end + 1;
        if (entry.empty()) continue;
        if (entry == "*") {
            result.any = true;
            continue;
        }
        const bool negative = entry.front() == '-';
        std::string_view digits = negative ? entry.substr(1) : entry;
        // HRESULTs are written in hexadecimal: "0x80240017".
        const bool hex = !negative && digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X');
        if (hex) digits.remove_prefix(2);
        uint64_t number = 0;
        bool valid = !digits.empty() && digits.size() <= (hex ? 8u : 10u);
        for (const char c : digits) {
            int digit = -1;
            if (c >= '0' && c <= '9') digit = c - '0';
            if (hex && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
            if (hex && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
            if (digit < 0) valid = false;
            if (valid) number = number * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        }
        if (valid && (negative ? number > 0x80000000ULL : number > 0xFFFFFFFFULL)) valid = false;
        if (!valid) {
            result.invalid.emplace_back(entry);
            continue;
        }
        result.codes.push_back(negative ? static_cast<uint32_t>(0ULL - number) : static_cast<uint32_t>(number));
    }
    return result;
}

std::string ChooseSetupSection(bool silent, const SetupValueReader& read)
{
    if (silent && !read(kSectionSilent, SetupKeyName(kFirstItem).c_str()).empty()) return kSectionSilent;
    return kSectionList;
}

void ReadSetupItems(const std::string& section, const SetupValueReader& read, SetupListReport* report,
                    bool readKeyAfterLast)
{
    for (SetupItem& item : setupTable) item = SetupItem();
    std::string value = read(section.c_str(), SetupKeyName(kFirstItem).c_str());
    for (int n = kFirstItem; !value.empty(); ++n) {
        SetupItem& item = SetupItemAt(n);
        item = SplitSetupValue(value);
        item.value = value.substr(0, kValueLimit);
        if (report != nullptr) report->itemsLoaded = n;
        if (n == kLastItem) {
            // The table ends here; later keys are only looked at for a report.
            if (report != nullptr && readKeyAfterLast)
                report->keysAfterLastItem = !read(section.c_str(), SetupKeyName(n + 1).c_str()).empty();
            return;
        }
        value = read(section.c_str(), SetupKeyName(n + 1).c_str());
    }
}

SuccessCodes ReadItemSuccessCodes(const SetupItem& item)
{
    if (item.file.empty() || programDirectory.empty()) return SuccessCodes();
    // By full path: an item may have moved the current directory since.
    const std::string list = programDirectory + "\\" + (kSetupListFile + 2);
    char buffer[kValueBufferSize] = {};
    Sys().GetPrivateProfileStringA(kSectionExitCodes, item.file.c_str(), "", buffer, kValueBufferSize, list.c_str());
    buffer[kValueBufferSize - 1] = '\0';
    return buffer[0] == '\0' ? SuccessCodes() : ParseSuccessCodes(buffer);
}

void ReadSuccessCodes(const SetupValueReader& read)
{
    for (SetupItem& item : setupTable) {
        item.successCodes = SuccessCodes();
        if (item.file.empty()) continue;
        const std::string value = read(kSectionExitCodes, item.file.c_str());
        if (!value.empty()) item.successCodes = ParseSuccessCodes(value);
    }
}

namespace {

void Load(SetupListReport& report, bool readKeyAfterLast)
{
    report = SetupListReport();
    Platform& sys = Sys();

    languageTag = "eng";
    if ((sys.GetSystemDefaultLCID() & kPrimaryLanguageMask) == win::LANG_KOREAN) languageTag = "kor";

    programDirectory = ExecutableDirectory();
    report.directoryFound = !programDirectory.empty();
    if (!report.directoryFound) return;

    // "C:" alone would be the drive's current directory, wherever the start
    // left it; the executable lies in the drive's root.
    std::string enter = programDirectory;
    if (enter.size() == 2 && enter[1] == ':') enter += '\\';
    report.directoryEntered = sys.SetCurrentDirectoryA(enter.c_str());
    if (!report.directoryEntered) return;

    const SetupValueReader read = [&sys](const char* section, const char* key) {
        char buffer[kValueBufferSize] = {};
        sys.GetPrivateProfileStringA(section, key, "", buffer, kValueBufferSize, kSetupListFile);
        buffer[kValueBufferSize - 1] = '\0';
        return std::string(buffer);
    };

    report.section = ChooseSetupSection(silentMode != 0, read);
    report.listFound = sys.FileExists(kSetupListFile);
    if (!report.listFound) return;
    ReadSetupItems(report.section, read, &report, readKeyAfterLast);
}

}  // namespace

void LoadSetupList()
{
    SetupListReport report;
    Load(report, false);
}

void LoadSetupList(SetupListReport& report, bool readKeyAfterLast) { Load(report, readKeyAfterLast); }

std::string LoadEndInWords(const SetupListReport& report)
{
    if (!report.directoryFound) return "the executable's directory cannot be told, so no list is read";
    if (!report.directoryEntered) return "the executable's directory cannot be entered, so no list is read";
    if (!report.listFound) return std::string(kSetupListFile) + " is missing";
    if (report.itemsLoaded == kLastItem)
        return "the table holds " + std::to_string(kLastItem) + " items; later keys are not read";
    return SetupKeyName(report.itemsLoaded + 1) + " is missing or empty";
}

void ResetSetupList()
{
    for (SetupItem& item : setupTable) item = SetupItem();
    outOfRangeItem = SetupItem();
    languageTag.clear();
    programDirectory.clear();
}

}  // namespace zw
