#include "sequencer/item_rules.h"

#include <initializer_list>

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

namespace {

bool ExtensionIsOneOf(std::string_view path, std::initializer_list<const char*> extensions)
{
    const std::string extension = ExtensionOf(path);
    for (const char* wanted : extensions)
        if (EqualsIgnoringAsciiCase(extension, wanted)) return true;
    return false;
}

}  // namespace

bool IsWaitedThroughProcess(std::string_view path)
{
    return ExtensionIsOneOf(path, {"exe", "com", "bat", "cmd", "msi", "msp", "msu", "vbs", "vbe", "js", "jse", "wsf"});
}

namespace {

// part as a word of its own: at the start, or after a blank or a quote
// (NOREBOOT=1 sets no REBOOT).
bool Holds(std::string_view text, std::string_view part)
{
    for (size_t i = 0; i + part.size() <= text.size(); ++i)
        if ((i == 0 || text[i - 1] == ' ' || text[i - 1] == '\t' || text[i - 1] == '"') &&
            EqualsIgnoringAsciiCase(text.substr(i, part.size()), part))
            return true;
    return false;
}

// A restart switch of msiexec or wusa, written with '/' or '-'.
bool NamesRestartSwitch(std::string_view parameters, std::initializer_list<const char*> names)
{
    for (const char* name : names)
        if (Holds(parameters, std::string("/") + name) || Holds(parameters, std::string("-") + name)) return true;
    return false;
}

// A package restarts the machine itself at its end when it needs to, unless
// told not to; the chain's later items would never run. Its 3010 then feeds
// the launcher's own restart decision.
std::string RestartSuppression(std::string_view path, std::string_view parameters)
{
    if (ExtensionIsOneOf(path, {"msi", "msp"})) {
        if (Holds(parameters, "REBOOT=") ||
            NamesRestartSwitch(parameters, {"norestart", "forcerestart", "promptrestart"}))
            return std::string();
        return " REBOOT=ReallySuppress";
    }
    if (ExtensionIsOneOf(path, {"msu"})) {
        if (NamesRestartSwitch(parameters, {"norestart", "forcerestart", "promptrestart", "warnrestart"}))
            return std::string();
        return " /norestart";
    }
    return std::string();
}

std::string ItemParameters(std::string_view parameters)
{
    return parameters == kNoParameters ? std::string() : " " + std::string(parameters);
}

}  // namespace

StartPlan PlanStart(std::string_view path, std::string_view fullPath, std::string_view parameters, bool quiet,
                    bool unattended)
{
    StartPlan plan;
    const std::string quoted = "\"" + std::string(fullPath) + "\"";
    if (ExtensionIsOneOf(path, {"ps1"})) {
        // A policy set by Group Policy still wins over -ExecutionPolicy.
        plan.host = StartHost::PowerShell;
        plan.program = "WindowsPowerShell\\v1.0\\powershell.exe";
        plan.parameters =
            "-NoProfile -NonInteractive -ExecutionPolicy Bypass -File " + quoted + ItemParameters(parameters);
    } else if (quiet && ExtensionIsOneOf(path, {"vbs", "vbe", "js", "jse", "wsf"})) {
        plan.host = StartHost::ScriptHost;
        plan.program = "cscript.exe";
        plan.parameters = "//B //NoLogo " + quoted + ItemParameters(parameters);
    } else if (quiet && ExtensionIsOneOf(path, {"reg"})) {
        plan.host = StartHost::RegistryImport;
        plan.program = "reg.exe";
        plan.parameters = "import " + quoted + ItemParameters(parameters);
    } else if (unattended && !IsWaitedThroughProcess(path)) {
        plan.host = StartHost::NotOpened;
    } else {
        plan.added = RestartSuppression(path, parameters);
        plan.parameters = plan.added.empty()
                              ? std::string(parameters)
                              : (parameters == kNoParameters ? "" : std::string(parameters)) + plan.added;
    }
    return plan;
}

std::string StartWords(const StartPlan& plan)
{
    if (plan.host == StartHost::NotOpened) return ": not opened, a document nobody could look at here";
    std::string words = plan.program.empty() ? std::string() : " in System32\\" + plan.program;
    words += ", parameters \"" + plan.parameters + "\"";
    if (!plan.added.empty()) words += " (\"" + plan.added.substr(1) + "\" added: the run owns the restart)";
    return words;
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
