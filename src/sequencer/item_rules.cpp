#include "sequencer/item_rules.h"

#include "platform/ascii.h"
#include "sequencer/run_state.h"
#include "sequencer/wait_list.h"
#include "setuplist/paths.h"

namespace zw {

char KindOf(const SetupItem& item) { return item.kind.empty() ? '\0' : item.kind[0]; }

bool StartsDirectly(const SetupItem& item) { return item.parameters == kNoParameters; }

bool RequestsRestart(const SetupItem& item) { return EqualsIgnoringAsciiCase(item.rebootFlag, "1"); }

bool IsInstallerPackage(std::string_view path) { return EqualsIgnoringAsciiCase(ExtensionOf(path), "msi"); }

bool FitsPathBuffer(std::string_view path) { return path.size() < kPathCapacity; }

std::string RelativeToCurrentDirectory(std::string_view file) { return ".\\" + std::string(file); }

ProgramPath ResolveProgramPath(std::string_view programDirectory, std::string_view file)
{
    ProgramPath path;
    if (file.size() >= 2 && file[1] == ':') {
        path.resolvable = true;
        path.file = file;
        return path;
    }
    const std::string joined = std::string(programDirectory) + "\\" + std::string(file);
    // A directory cut short would test the base name in some other directory
    // and could start a wrong program there.
    if (!FitsPathBuffer(joined) || !DirectoryOfIsWhole(joined)) return path;
    path.enter = DirectoryOf(joined);
    if (path.enter.empty()) return path;
    // "D:" alone would mean the drive's current directory, wherever an
    // earlier item left it; the item's directory is the drive's root.
    if (path.enter.size() == 2 && path.enter[1] == ':') path.enter += '\\';
    path.resolvable = true;
    path.file = ".\\" + BaseName(RelativeToCurrentDirectory(file));
    return path;
}

CopyPaths ResolveCopyPaths(std::string_view windowsDirectory, std::string_view file)
{
    CopyPaths paths;
    paths.source = RelativeToCurrentDirectory(file);
    paths.destination = std::string(windowsDirectory) + "\\" + BaseName(paths.source);
    return paths;
}

bool IsWildcardWaitEntry(std::string_view entry) { return entry.find("*.") != std::string_view::npos; }

std::string WildcardFragment(std::string_view entry) { return std::string(entry.substr(1)); }

std::string GracePollName(const SetupItem& item)
{
    const auto entries = SplitWaitList(item.waitList, kDirectWaitSeparator);
    return entries.empty() ? BaseName(item.file) : std::string(entries.back());
}

}  // namespace zw
