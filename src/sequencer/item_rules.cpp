#include "sequencer/item_rules.h"

#include "platform/ascii.h"
#include "sequencer/wait_list.h"
#include "setuplist/paths.h"
#include "state/run_state.h"

namespace zw {

namespace {

// waitList separators: a direct start reads '~', the dialog reads '*'.
constexpr char kDirectWaitSeparator = '~';
constexpr char kDialogWaitSeparator = '*';

}  // namespace

bool StartsDirectly(const SetupItem& item)
{
    const ItemKindInfo* info = KindInfo(KindOf(item));
    return info != nullptr && info->canStartDirectly && item.parameters == kNoParameters;
}

bool RequestsRestart(const SetupItem& item) { return EqualsIgnoringAsciiCase(item.rebootFlag, "1"); }

bool IsInstallerPackage(std::string_view path) { return EqualsIgnoringAsciiCase(ExtensionOf(path), "msi"); }

bool IsWaitedThroughProcess(std::string_view path)
{
    const std::string extension = ExtensionOf(path);
    for (const char* waited : {"exe", "com", "bat", "cmd", "msi", "msp", "msu", "vbs", "vbe", "js", "jse", "wsf"})
        if (EqualsIgnoringAsciiCase(extension, waited)) return true;
    return false;
}

bool IsPowerShellScript(std::string_view path) { return EqualsIgnoringAsciiCase(ExtensionOf(path), "ps1"); }

bool IsPowerShellHost(std::string_view image)
{
    return EqualsIgnoringAsciiCase(image, "powershell.exe") || EqualsIgnoringAsciiCase(image, "pwsh.exe");
}

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

WaitPlan PlanWait(const SetupItem& item)
{
    WaitPlan plan;
    plan.rule = StartsDirectly(item) ? WaitRule::Direct : WaitRule::Dialog;
    const bool direct = plan.rule == WaitRule::Direct;
    plan.ownName = BaseName(item.file);
    for (std::string_view entry : SplitWaitList(item.waitList, direct ? kDirectWaitSeparator : kDialogWaitSeparator)) {
        WaitName name;
        name.entry = entry;
        name.contains = direct && entry.find("*.") != std::string_view::npos;
        name.text = name.contains ? entry.substr(1) : entry;
        plan.names.push_back(std::move(name));
    }
    plan.gracePeriod = direct;
    if (direct) plan.graceName = plan.names.empty() ? plan.ownName : plan.names.back().entry;
    return plan;
}

}  // namespace zw
