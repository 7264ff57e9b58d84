// The rules by which one setup item is taken up: how its file becomes the
// path that is tested and started, which start it gets and what its wait
// watches. The sequence and the setup-list checker both decide by these, so
// the checker's plan is the run's own.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sequencer/item_kinds.h"
#include "setuplist/setup_list.h"

namespace zw {

// Timing of the sequence. Every timer is a one-shot of this period.
constexpr uint32_t kTimerPeriodMs = 500;
// After every start.
constexpr uint32_t kSleepAfterStartMs = 200;
// Between a wait tick's test of the item's own name and its waitList.
constexpr uint32_t kSleepBeforeScanMs = 300;
// A direct start's grace period: polls of one name, this far apart.
constexpr int kGracePolls = 20;
constexpr uint32_t kGracePollIntervalMs = 300;

// Parameters of exactly one blank on a kind that can start directly: started
// at once, without the dialog.
bool StartsDirectly(const SetupItem& item);

// rebootFlag "1" as a whole field.
bool RequestsRestart(const SetupItem& item);

// A Windows Installer package by the extension of the path it is started
// under: before it starts, the launcher waits while the installer is busy
// with another installation, then for every "msiexec.exe" this run started.
bool IsInstallerPackage(std::string_view path);

// A program (.exe, .com), a batch file (.bat, .cmd), a package or patch
// (.msi, .msp: msiexec), an update (.msu: wusa) or a Windows Script Host
// script (.vbs, .vbe, .js, .jse, .wsf: wscript), by the extension of the path
// it is started under: its start runs it, so it is waited for through the
// process the start gives. Any other file (a readme opened in a viewer) is
// waited for by names alone. A host's start is waited for through its process.
bool IsWaitedThroughProcess(std::string_view path);

// How a file is started. The shell's default for a .ps1 is Notepad, for a
// WSH script wscript.exe (whose boxes nobody sees in session 0), for a .reg
// regedit's confirmation box, for a document a viewer whose Open and Save
// boxes reach the whole machine as SYSTEM: those are started in a host of
// System32's instead, or not at all.
enum class StartHost {
    Shell,           // the shell's own start of the file
    PowerShell,      // Windows PowerShell, in every mode
    ScriptHost,      // cscript.exe, with /s or unattended
    RegistryImport,  // reg.exe import, with /s or unattended
    NotOpened,       // a document nobody could look at: unattended
};
struct StartPlan {
    StartHost host = StartHost::Shell;
    // The host below System32; empty for the shell's own start.
    std::string program;
    // The parameters as started: a host's own and the item's, or the item's
    // with what keeps a package from restarting the machine.
    std::string parameters;
    // What was added to the item's parameters (empty: nothing).
    std::string added;
};
// path: the file as tested; fullPath: the same as a full path, which a host
// is given. quiet: /s or unattended; unattended: nobody sees any window.
StartPlan PlanStart(std::string_view path, std::string_view fullPath, std::string_view parameters, bool quiet,
                    bool unattended);
// How a start plan reads in the log and the checker's plan, after the file
// and how it starts: " in System32\\<host>, parameters \"...\"" and what was added.
std::string StartWords(const StartPlan& plan);

// A file named relative to the current directory (kinds copied into the
// Windows directory and driver packages).
std::string RelativeToCurrentDirectory(std::string_view file);

// A program: where the item's file is looked for.
struct ProgramPath {
    // False: the item counts as missing before anything is done (its
    // directory would be cut short or is none).
    bool resolvable = false;
    // The directory made current first, for good: the rest of the run
    // resolves ".\" paths against it. Empty: the current directory stays.
    // A change that fails makes the item count as missing.
    std::string enter;
    // The path tested and started (it must also fit the path buffer).
    std::string file;
};
// A file with a drive letter ("D:...") is used as it is; any other file lies
// below programDirectory and is started from its own directory.
ProgramPath ResolveProgramPath(std::string_view programDirectory, std::string_view file);

// A copy: the file relative to the current directory is copied into the
// Windows directory under its base name, and the copy is the item.
struct CopyPaths {
    std::string source;
    std::string destination;
};
CopyPaths ResolveCopyPaths(std::string_view windowsDirectory, std::string_view file);

// What the wait for a started item watches. The item's parameters choose the
// rule: a direct start reads its waitList split at '~', where an entry
// holding "*." looks for the text after its first character inside image
// names, and ends with a grace period; an item under the dialog reads it
// split at '*', every entry an exact image name, with no grace period.
enum class WaitRule { Direct, Dialog };

struct WaitName {
    std::string entry;      // as the waitList writes it
    std::string text;       // what is looked for
    bool contains = false;  // inside image names, rather than the whole name
};

struct WaitPlan {
    WaitRule rule = WaitRule::Dialog;
    // The item's own program, by the base name of its file as loaded.
    std::string ownName;
    std::vector<WaitName> names;
    // Direct starts only: the grace period watches this name by exact name
    // (the last entry as written, or the item's own name without entries).
    bool gracePeriod = false;
    std::string graceName;
};
WaitPlan PlanWait(const SetupItem& item);

}  // namespace zw
