#include "setuplist/setup_list.h"

#include <array>
#include <cstring>

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
    // Digits by hand: the C library's formatted output would weigh more in
    // the executable than the whole setup list reader.
    char digits[24];
    size_t count = 0;
    unsigned long rest = n < 0 ? 0UL - static_cast<unsigned long>(n) : static_cast<unsigned long>(n);
    do {
        digits[count++] = "0123456789"[rest % 10];
        rest /= 10;
    } while (rest != 0);
    std::string key = n < 0 ? "Setup-" : "Setup";
    while (count > 0) key += digits[--count];
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
