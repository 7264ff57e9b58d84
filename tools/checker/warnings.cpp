#include "warnings.h"

#include <cstddef>
#include <iterator>
#include <string_view>

namespace zw::check {

namespace {

struct WarningText {
    WarningId id;
    const char* code;
    const char* text;
    const char* fix;
};

// Texts and fixes that two rows share.
constexpr const char* kMissing = "{1}: {2}";
constexpr const char* kInfFix =
    "put the INF where both look: {1} below the launcher's folder, with no earlier {2} item moving the current "
    "directory away from it";
constexpr const char* kMsiexec =
    "the waitList entry \"{1}\" also matches the Windows Installer service, which stays for minutes after an "
    "installation, and any other installation on the machine: the wait can last long";
constexpr const char* kKindFix = "write {3} as the first field";

constexpr WarningText kWarnings[] = {
    {WarningId::ListName, "list_name",
     "the launcher reads only a list named Zarnowel.ini beside it; this one is \"{1}\"",
     "rename the file to Zarnowel.ini"},
    {WarningId::FolderTooLong, "folder_too_long",
     "the folder's path has {1} characters; beyond {2} the launcher cannot tell its own folder and reads no list "
     "here (the plan below is for a shorter folder)",
     "put the launcher and its list in a folder with a shorter path"},
    {WarningId::EncodingUtf16, "encoding",
     "the list is UTF-16 text: Windows reads it as Unicode, while this checker reads it as ANSI bytes and its plan "
     "is not the launcher's",
     "save the list in the system's ANSI code page"},
    {WarningId::EncodingBom, "encoding",
     "the list starts with a UTF-8 byte order mark, which Windows reads as part of the first line: a section header "
     "there is not seen",
     "save the list without a byte order mark, in the system's ANSI code page"},
    {WarningId::SilentFallback, "silent_fallback",
     "with /s the launcher reads [SetupSilent] only when its Setup1 is non-empty; it is not, so /s runs [SetupList] "
     "(and still restarts without asking)",
     "add Setup1 to [SetupSilent], or run without /s"},
    {WarningId::NoItems, "no_items", "[{1}] has no Setup1: the launcher starts nothing and ends",
     "add Setup1=kind,file,... to [{1}]"},
    // {2}: "s" after a single key.
    {WarningId::KeysAfterLast, "keys_after_last",
     "{1} never run{2}: the launcher carries out at most {3} items (Setup1 to Setup{3})",
     "merge items or move the rest to a second medium; keep to Setup1..Setup9"},
    // {3}: "is" or "are".
    {WarningId::KeyGap, "key_gap", "{1} is missing or empty, so reading stops there: {2} {3} never read",
     "number the keys Setup1, Setup2, ... without a gap"},
    {WarningId::ValueCut, "value_cut",
     "{1} has {2} characters; the launcher reads only the first {3} and cuts off \"{4}\"",
     "shorten the value to at most {5} characters (shorter names or parameters)"},
    {WarningId::BlankDropped, "blank_dropped",
     "the line ends in a blank after a comma, and blanks at the end of a value are dropped: {1} is lost",
     "end the value with a comma after the blank (\"{2}\") or quote the whole value"},
    {WarningId::BlankDroppedToDialog, "blank_dropped",
     "the line ends in a blank after a comma, and blanks at the end of a value are dropped: {1} is lost, so the "
     "item goes through the dialog instead of a direct start",
     "end the value with a comma after the blank (\"{2}\") or quote the whole value"},
    {WarningId::EmptyField, "empty_field",
     "a run of commas counts as one separator, so no field is empty and the later fields move forward: kind "
     "\"{1}\", file \"{2}\", parameters \"{3}\", waitList \"{4}\", rebootFlag \"{5}\"",
     "write a single blank for a field with nothing to give: \", ,\""},
    {WarningId::ExitCodesKey, "exit_codes_key",
     "the [ExitCodes] key \"{1}\" names no item's file, so its codes count for nothing",
     "write the key as the item's file field is written (letter case aside)"},
    // {2}: the entries, quoted; {3}: "is" or "are".
    {WarningId::ExitCodesValue, "exit_codes_value",
     "[ExitCodes] for \"{1}\": {2} {3} no exit code and count for nothing",
     "write decimal or 0x hexadecimal codes separated by commas, or * for any code"},
    {WarningId::ExitCodesUnread, "exit_codes_unread",
     "[ExitCodes] names \"{1}\", but no exit code of it is read: it is not waited for through its process",
     "leave the key out, or start a program, batch file or package"},
    {WarningId::CopyDriveLetter, "copy_drive_letter",
     "a {1} file is taken relative to the current directory: \"{2}\" names nothing, the copy fails, and only a copy "
     "already in the Windows directory would run",
     "name the file relative to the current directory ({3})"},
    {WarningId::InfPathTooLong, "missing_file", "the INF path \"{3}\" is too long: the driver update is not called",
     kInfFix},
    {WarningId::InfElsewhere, "missing_file",
     "\"{3}\" was found in {4}, but the driver update is given \"{5}\", which does not exist", kInfFix},
    // {1}: why the file is missing; {2}: SkippedWords.
    {WarningId::MissingPath, "missing_file", kMissing, "shorten the path"},
    {WarningId::MissingFolder, "missing_file", kMissing, "create the folder, or correct the path"},
    {WarningId::MissingHere, "missing_file", kMissing, "put the file there, or correct the name"},
    {WarningId::MissingMoved, "missing_file", kMissing,
     "put the file in {3} (item {4} made it the current directory), or take this item up before item {4}"},
    {WarningId::WaitSeparatorDirect, "wait_separator",
     "the waitList entry \"{1}\" holds '*', but a direct start (parameters \" \") separates names with '~': it is "
     "one name that no process has",
     "separate the names with '~' (a wildcard is written *.ext, on its own)"},
    {WarningId::WaitSeparatorDialog, "wait_separator",
     "the waitList \"{1}\" uses '~', but an item under the dialog separates names with '*': it is read as one name "
     "that no process has",
     "separate the names with '*', or start the item directly (parameters \" \") to use '~'"},
    {WarningId::DialogWildcard, "dialog_wildcard",
     "the waitList \"{1}\" holds a wildcard, but under the dialog every entry is an exact name: '*' splits it and "
     "the rest is looked for by exact name",
     "name the processes exactly, or start the item directly (parameters \" \") to use *.ext"},
    {WarningId::RebootFlag, "reboot_flag", "rebootFlag \"{1}\" is not \"1\": it asks for no restart",
     "write 1 to ask for a restart, or leave the field out"},
    {WarningId::RebootFlagDriver, "reboot_flag",
     "a driver item's rebootFlag \"{1}\" is never read: the driver installation asks for a restart by itself",
     "leave the fifth field out"},
    {WarningId::MsiexecWait, "msiexec_wait", kMsiexec, "name the processes the item leaves behind instead"},
    {WarningId::MsiexecWaitPackage, "msiexec_wait", kMsiexec,
     "leave it out: a package is waited for through its own process"},
    // {2}: the known kinds; {3}: them with their meanings.
    {WarningId::UnknownKind, "unknown_kind", "kind \"{1}\" is not {2}: the run ends at this item", kKindFix},
    // {4}: the items after it.
    {WarningId::UnknownKindBeforeOthers, "unknown_kind",
     "kind \"{1}\" is not {2}: the run ends at this item; {4} never run", kKindFix},
    {WarningId::DetectSyntax, "detect_syntax",
     "the [Detect] rule \"{1}\" cannot be read: the item always runs, and a 0 from it is never checked",
     "write msi:{code}[>=V], upgrade:{code}[>=V], reg:HKLM\\key[,value][=text|>=V], reg32:..., file:path[>=V] or "
     "driver, joined by ';'"},
    {WarningId::DetectKey, "detect_key", "[Detect] {1} names no item of [{2}]: it is never read",
     "key the rules by the item's Setup number"},
    {WarningId::DetectHive, "detect_hive",
     "the [Detect] rule \"{1}\" reads a hive other than HKLM: the launcher runs as SYSTEM, whose HKCU is nobody's",
     "read HKLM\\..., or leave the rule out"},
    {WarningId::DetectWow6432Node, "detect_wow6432node",
     "the [Detect] rule \"{1}\" names WOW6432Node, which Windows reserves: the rule is never judged",
     "write reg32: and the key without WOW6432Node"},
    {WarningId::DetectMsiField4, "detect_msi_field4",
     "the [Detect] rule \"{1}\" compares a fourth version field, which Windows Installer ignores: the rule is never "
     "judged",
     "compare three fields at most"},
    {WarningId::DetectSilent, "detect_silent",
     "[Detect] {1} is read for item {2} of either section, but [SetupSilent] runs \"{3}\" there and [SetupList] "
     "\"{4}\"",
     "give both sections the same file at that number"},
    {WarningId::DetectCut, "detect_cut",
     "[Detect] {1} has {2} characters; the launcher reads only the first 255 and cuts off \"{3}\"",
     "shorten the rules to at most 255 characters"},
    {WarningId::MarkerKey, "marker_key", "the [Marker] key \"{1}\" is not written: {2}; the run then fails with 13",
     "name a key of your own, SOFTWARE\\Vendor\\Product"},
    {WarningId::MarkerVersion, "marker_version",
     "the [Marker] Version \"{1}\" is no version of 1 to 4 numbers: the marker is not written and the run fails "
     "with 13",
     "write Version=2.3.0"},
    {WarningId::DetectNoMarker, "detect_no_marker",
     "[Detect] without [Marker]: an agent has no detection rule for the whole chain",
     "add [Marker] with Key= and Version="},
};

constexpr bool RowsInOrderOfTheirIds()
{
    for (size_t i = 0; i < std::size(kWarnings); ++i)
        if (static_cast<size_t>(kWarnings[i].id) != i) return false;
    return true;
}
static_assert(std::size(kWarnings) == static_cast<size_t>(WarningId::Count) && RowsInOrderOfTheirIds(),
              "kWarnings holds one row per WarningId, in order");

// The pattern with "{n}" replaced by the n-th argument.
std::string Fill(std::string_view pattern, std::initializer_list<std::string> args)
{
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const bool placeholder = pattern[i] == '{' && i + 2 < pattern.size() && pattern[i + 2] == '}';
        const size_t n = placeholder ? static_cast<size_t>(static_cast<unsigned char>(pattern[i + 1]) - '1') : 0;
        if (placeholder && n < args.size()) {
            out += std::data(args)[n];
            i += 2;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

}  // namespace

Warning MakeWarning(int item, WarningId id, std::initializer_list<std::string> args)
{
    const WarningText& row = kWarnings[static_cast<size_t>(id)];
    return {item, row.code, Fill(row.text, args), Fill(row.fix, args)};
}

const char* SkippedWords(ItemKind kind)
{
    switch (kind) {
    case ItemKind::Driver:
        return "the launcher shows \"file open error\" and skips the item";
    case ItemKind::Copy:
        return "the item is skipped without a word (unless a copy of that name is already in the Windows directory)";
    default:
        return "the item is skipped without a word";
    }
}

}  // namespace zw::check
