// zarnowel-check: reads a setup list as the launcher reads it and tells, item
// by item, what the launcher will do with it, and what will go wrong.
//
// Everything that decides is the launcher's own code: the profile reader, the
// loader, the path helpers and the item rules of the sequence. This file adds
// only the look at the disk and the words.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "detect/detect_rules.h"
#include "profile/profile_text.h"
#include "sequencer/item_kinds.h"
#include "sequencer/item_rules.h"
#include "setuplist/setup_list.h"

namespace zw::check {

// The disk as the launcher would find things on it, asked with full Windows
// paths as WindowsFullPath gives them.
class FileView {
public:
    virtual ~FileView() = default;
    virtual bool IsFile(const std::string& path) const = 0;
    virtual bool IsDirectory(const std::string& path) const = 0;
};

// The full path that the file system opens for path, as Windows forms it:
// a path with a drive letter and ":\" stands alone, one starting with '\'
// starts at the drive of currentDirectory, any other lies below
// currentDirectory. '\' and '/' both separate; empty and "." components go;
// ".." climbs, never above the drive; blanks and dots at the end of the last
// component go. The empty text for what names no file (a ':' inside a
// component, say).
std::string WindowsFullPath(const std::string& currentDirectory, const std::string& path);

// The text in double quotes, as the report and the warnings quote a name.
std::string Quoted(std::string_view s);

enum class Found { Yes, No, NotLooked };
enum class StartKind { None, Direct, Dialog };

struct PlanItem {
    int number = 0;
    std::string value;  // as the launcher reads it
    SetupItem fields;
    ItemKind kind = ItemKind::End;  // End: the run ends here
    // The current directory when the file is tested (after a program's own
    // change).
    std::string currentDirectory;
    std::string enters;    // a program below programDirectory: made current for good
    bool entered = false;  // ... and that directory exists
    std::string copyFrom;  // a copy: its source, relative to currentDirectory
    std::string tests;     // the path tested and started (currentFile)
    std::string lookedAt;  // the full path looked for on the disk
    Found found = Found::NotLooked;
    std::string missingWhy;             // why found is No, in words
    StartKind start = StartKind::None;  // None when the item is skipped
    bool direct = false;                // parameters " ": the '~' rules; else the dialog's '*' rules
    bool installerPackage = false;
    // A program, batch file or package: waited for through its process first,
    // whose exit code 3010 or 1641 asks for a restart.
    bool throughProcess = false;
    std::string infPath;  // a driver: the INF the driver update is given
    Found infFound = Found::NotLooked;
    // The wait: the item's own program by its base name, then the entries.
    std::string waitProgram;
    std::vector<WaitName> waitEntries;
    std::string gracePoll;  // direct start: the name the grace period watches
    bool requestsRestart = false;
    // How the file is started in this run, and in session 0 (no box).
    StartPlan startPlan;
    StartPlan unattendedPlan;
    bool hasDetect = false;  // [Detect] names this item
    DetectRules detect;
};

struct Warning {
    int item = 0;  // 0: the list as a whole
    std::string code;
    std::string message;
    std::string fix;
};

enum class EndReason { NoMoreKeys, TableFull, UnknownKind };

struct Plan {
    std::string listPath;
    std::string programDirectory;
    bool silent = false;
    bool noRestart = false;
    std::string section;
    std::vector<PlanItem> items;  // every loaded item, the one that ends the run included
    int lastItemRun = 0;          // the run ends after this item
    EndReason end = EndReason::NoMoreKeys;
    std::vector<int> restartBy;      // items whose rebootFlag asks for a restart (file found or not looked for)
    std::vector<int> exitCodeItems;  // items waited for through their process: 3010 or 1641 asks for one
    std::vector<int> driverItems;    // driver items reached: they may ask for one
    std::vector<Warning> warnings;
    // [Marker] (key empty: none) and [Restart] Pending ("" when absent).
    std::string markerKey, markerVersion, markerName, markerPublisher;
    std::string restartCheck;
};

struct Options {
    bool silent = false;
    bool noRestart = false;
    std::string listPath;                       // Windows form, for the report
    std::string programDirectory;               // Windows form, no trailing '\'
    std::string windowsDirectory = "%WINDIR%";  // the target's own cannot be known
};

// The list must be read with the launcher's own rules: text is what the file
// holds, byte for byte.
Plan CheckSetupList(const ProfileText& text, const Options& options, const FileView& files);

// Words for the item kinds, from the kinds table: the label "kind '<c>'"; the
// known characters as a list ("a, b or c"); each with its description.
std::string KindLabel(ItemKind kind);
std::string KnownKinds();
std::string KindChoices();

// 0 without warnings, 1 with.
int ExitCodeOf(const Plan& plan);
constexpr int kExitUnreadable = 2;

// [Detect], [Marker] and [Restart]: read into the plan, with their warnings.
void CheckRunAgain(const ProfileText& text, Plan& plan);

// The definition of the list's deployment for a management agent ("intune":
// a Graph win32LobApp body; "configmgr": PowerShell for a script deployment
// type). timeoutMinutes 0: no /timeout:. Empty when the list has no usable
// [Marker]: an agent needs its detection rule.
std::string FormatAgent(const Plan& plan, std::string_view agent, int timeoutMinutes);

std::string FormatPlanText(const Plan& plan);
std::string FormatPlanJson(const Plan& plan);

}  // namespace zw::check
