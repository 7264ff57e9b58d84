// The rules by which one setup item is taken up: its kind, how its file
// becomes the path that is tested and started, which start it gets and how
// its waitList is read. The sequence and the setup-list checker both decide
// by these, so the checker's plan is the run's own.
#pragma once

#include <string>
#include <string_view>

#include "setuplist/setup_list.h"

namespace zw {

// The first character of kind: '2', '1', '0', or anything else for the end
// of the run ('\0' for an empty kind).
char KindOf(const SetupItem& item);

// Parameters of exactly one blank: started at once, without the dialog.
bool StartsDirectly(const SetupItem& item);

// rebootFlag "1" as a whole field.
bool RequestsRestart(const SetupItem& item);

// A Windows Installer package by the extension of the path it is started
// under: before it starts, up to two running "msiexec.exe" are ended.
bool IsInstallerPackage(std::string_view path);

// True when path fits the currentFile buffer; a path that doesn't counts as
// missing rather than being cut into another name.
bool FitsPathBuffer(std::string_view path);

// A file named relative to the current directory (kinds '2' and '0').
std::string RelativeToCurrentDirectory(std::string_view file);

// Kind '1': where the item's file is looked for.
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

// Kind '2': the file relative to the current directory is copied into the
// Windows directory under its base name, and the copy is the item.
struct CopyPaths {
    std::string source;
    std::string destination;
};
CopyPaths ResolveCopyPaths(std::string_view windowsDirectory, std::string_view file);

// waitList separators: a direct start reads '~', the dialog reads '*'.
constexpr char kDirectWaitSeparator = '~';
constexpr char kDialogWaitSeparator = '*';

// A direct start's entry holding "*." looks for the text after its first
// character inside image names; every other entry is an exact image name.
bool IsWildcardWaitEntry(std::string_view entry);
std::string WildcardFragment(std::string_view entry);

// The name that a direct start's grace poll watches by exact name: the last
// waitList entry, or the item's own base name when there is none.
std::string GracePollName(const SetupItem& item);

}  // namespace zw
