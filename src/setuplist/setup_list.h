// The setup list "Zarnowel.ini" beside the executable and the table it is
// loaded into, with the run state settled while loading it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zw {

// What the [ExitCodes] section says of an item: the exit codes that count as
// success beside the ones that always do.
struct SuccessCodes {
    bool listed = false;  // a key of the section names the item's file
    bool any = false;     // "*": every code is success
    std::vector<uint32_t> codes;
    std::vector<std::string> invalid;  // entries that are no exit code
};

// One entry of the list. Fields are kept whole (up to the value limit); the
// readers look only at the first character of kind and compare rebootFlag
// whole with "1".
struct SetupItem {
    // The value as read (at most kValueLimit characters), for the run log.
    std::string value;
    std::string kind;
    std::string file;
    std::string parameters;
    std::string waitList;
    std::string rebootFlag;
    // From [ExitCodes], by the file field as written.
    SuccessCodes successCodes;
};

// The fields in the order a value gives them, with their names.
constexpr size_t kSetupFieldCount = 5;
inline constexpr std::string SetupItem::*kSetupFields[kSetupFieldCount] = {
    &SetupItem::kind, &SetupItem::file, &SetupItem::parameters, &SetupItem::waitList, &SetupItem::rebootFlag};
inline constexpr const char* kSetupFieldNames[kSetupFieldCount] = {"kind", "file", "parameters", "waitList",
                                                                   "rebootFlag"};

// The parameters that stand for none, since a field cannot be empty: the item
// is started at once, without the ProgressDialog, and the blank is what the
// program receives.
constexpr std::string_view kNoParameters = " ";

constexpr int kFirstItem = 1;
constexpr int kLastItem = 9;
// Characters of a value that are used; the rest is cut off before splitting.
constexpr size_t kValueLimit = 149;
// The read buffer of one value, terminator included.
constexpr uint32_t kValueBufferSize = kValueLimit + 1;
// GetModuleFileNameA is given this size; a path that needs all of it was cut.
constexpr uint32_t kModulePathBufferSize = 256;

constexpr const char* kSetupListFile = ".\\Zarnowel.ini";
// The key of item n: "Setup" and n in decimal.
std::string SetupKeyName(long n);
constexpr const char* kSectionList = "SetupList";
constexpr const char* kSectionSilent = "SetupSilent";
// Keys: an item's file field as written (ASCII case ignored, as the profile
// reader compares keys); values: codes separated by commas, or "*".
constexpr const char* kSectionExitCodes = "ExitCodes";

// A value of [ExitCodes]. Blanks around an entry are dropped; an entry of
// decimal digits (a leading '-' for codes such as -1, taken as the 32-bit
// pattern) or "0x" and up to eight hexadecimal digits (an HRESULT) is a code; "*" alone means any code; anything else
// is invalid.
SuccessCodes ParseSuccessCodes(std::string_view value);

// "eng", or "kor" when the system default locale's primary language is Korean.
extern std::string languageTag;
// The executable's directory without a trailing '\' (a drive alone is "C:"),
// at most kDirectoryLimit characters; empty when it could not be told.
extern std::string programDirectory;

// Item n of the table, for n from kFirstItem to kLastItem. Any other number
// gives an empty item that is emptied again on every such call, so writing
// into it (CharUpperA on parameters.data(), say) changes nothing that anyone
// reads later.
SetupItem& SetupItemAt(int32_t n);

// Splits a value into its fields: runs of ',' are one separator, commas at
// the ends give no field, no quoting, blanks belong to the fields, fields
// after the fifth are ignored, those not reached stay empty. Only the first
// kValueLimit characters are split.
SetupItem SplitSetupValue(std::string_view value);

// What a load found, for tools that check a list as the launcher reads it.
struct SetupListReport {
    bool directoryFound = false;     // programDirectory names the executable's directory
    bool directoryEntered = false;   // ... and became the current directory
    bool listFound = false;          // ".\Zarnowel.ini" exists there
    std::string section;             // the section chosen (chosen before the list is looked for)
    int itemsLoaded = 0;             // items stored, from item 1 on
    bool keysAfterLastItem = false;  // the key after item kLastItem reads non-empty
};

// One value of the list: section and key in, at most kValueLimit characters
// out, the empty text when the value, key, section or file is missing.
using SetupValueReader = std::function<std::string(const char* section, const char* key)>;

// The section for the run: kSectionSilent when silent and its "Setup1" reads
// non-empty, otherwise kSectionList (without reading anything).
std::string ChooseSetupSection(bool silent, const SetupValueReader& read);

// Empties the table, then reads "Setup1", "Setup2", ... of section into
// items 1 to kLastItem, stopping at the first empty value and after item
// kLastItem. With a report, tells how many were loaded; with
// readKeyAfterLast as well, whether the key after the last item reads
// non-empty (the launcher itself never reads that key).
void ReadSetupItems(const std::string& section, const SetupValueReader& read, SetupListReport* report = nullptr,
                    bool readKeyAfterLast = true);

// Reads the [ExitCodes] value of every loaded item's file into its
// successCodes (the checker's whole view of the section).
void ReadSuccessCodes(const SetupValueReader& read);
// The launcher reads an item's [ExitCodes] value from the list beside it
// only when the item has ended with a code that is not always success.
SuccessCodes ReadItemSuccessCodes(const SetupItem& item);

// Sets languageTag, programDirectory and the current directory, chooses the
// section and fills the table from ".\Zarnowel.ini" beside the executable,
// all through Sys(). Reads silentMode. Reports no failure: the table stays
// partly or wholly empty. When the executable's own directory cannot be told
// (its path is cut, or its last '\' lies beyond DirectoryOf's limit) or cannot
// be entered, the list is not read at all, since ".\Zarnowel.ini" would then
// name some other file.
// With a report, what the load found; with readKeyAfterLast as well, the key
// after item kLastItem is read for it (the launcher's own run never does).
void LoadSetupList();
void LoadSetupList(SetupListReport& report, bool readKeyAfterLast = false);

// Where and why loading stopped, in words, for the run log.
std::string LoadEndInWords(const SetupListReport& report);

// Back to the state of a fresh process: every item empty, languageTag and
// programDirectory empty (host tests run many "processes").
void ResetSetupList();

}  // namespace zw
