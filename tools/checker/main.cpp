// zarnowel-check [--silent] [--norestart] [--json | --agent intune|configmgr [--timeout N]] DIR_OR_INI
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "checker.h"
#include "disk.h"

namespace {

constexpr const char* kUsage =
    "usage: zarnowel-check [--silent] [--norestart] [--json | --agent intune|configmgr [--timeout N]] DIR_OR_INI\n"
    "  Reads the setup list as the launcher reads it (the folder's Zarnowel.ini, or the file given)\n"
    "  and prints what the launcher will do with each item, and the warnings.\n"
    "  --silent     as started with /s\n"
    "  --norestart  as started with /norestart\n"
    "  --json       the plan as JSON\n"
    "  --agent A    the deployment for agent A: intune (a Graph win32LobApp body) or configmgr (PowerShell);\n"
    "               it detects the list by its [Marker]; its uninstall command removes the marker only\n"
    "  --timeout N  the launcher's /timeout: in minutes for --agent (the agent's limit is N + 10)\n"
    "  exit code: 0 no warnings, 1 warnings, 2 the list cannot be read\n";

void Write(const std::string& text) { std::fwrite(text.data(), 1, text.size(), stdout); }

}  // namespace

int main(int argc, char** argv)
{
    bool silent = false;
    bool noRestart = false;
    bool json = false;
    std::string agent;
    int timeout = 0;
    const char* target = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--silent") == 0) {
            silent = true;
        } else if (std::strcmp(argv[i], "--norestart") == 0) {
            noRestart = true;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "--agent") == 0 && i + 1 < argc) {
            agent = argv[++i];
        } else if (std::strcmp(argv[i], "--timeout") == 0 && i + 1 < argc) {
            timeout = std::atoi(argv[++i]);
            if (timeout < 1 || timeout > 1440) {
                std::fprintf(stderr, "zarnowel-check: --timeout takes 1 to 1440 minutes\n%s", kUsage);
                return zw::check::kExitUnreadable;
            }
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            Write(kUsage);
            return 0;
        } else if (argv[i][0] == '-' && argv[i][1] == '-') {
            std::fprintf(stderr, "zarnowel-check: unknown option %s\n%s", argv[i], kUsage);
            return zw::check::kExitUnreadable;
        } else if (target == nullptr) {
            target = argv[i];
        } else {
            std::fprintf(stderr, "zarnowel-check: one folder or list only\n%s", kUsage);
            return zw::check::kExitUnreadable;
        }
    }
    if (target == nullptr) {
        std::fprintf(stderr, "%s", kUsage);
        return zw::check::kExitUnreadable;
    }

    zw::check::ListLocation where;
    if (!zw::check::LocateList(target, where)) {
        std::fprintf(stderr, "zarnowel-check: %s: no setup list there (Zarnowel.ini)\n", target);
        return zw::check::kExitUnreadable;
    }
    std::string bytes;
    if (!zw::check::ReadFileBytes(where.file, bytes)) {
        std::fprintf(stderr, "zarnowel-check: %s: cannot be read\n", where.file.c_str());
        return zw::check::kExitUnreadable;
    }
    zw::check::Options options;
    options.silent = silent;
    options.noRestart = noRestart;
    options.programDirectory = zw::check::WindowsFolderName(where.folder);
    if (options.programDirectory.empty()) {
        std::fprintf(stderr, "zarnowel-check: %s: the folder has no Windows name\n", where.folder.c_str());
        return zw::check::kExitUnreadable;
    }
    options.listPath = options.programDirectory + "\\" + where.name;

    const zw::ProfileText text(std::move(bytes));
    const zw::check::DiskView disk;
    const zw::check::Plan plan = zw::check::CheckSetupList(text, options, disk);
    if (!agent.empty()) {
        const std::string definition = zw::check::FormatAgent(plan, agent, timeout);
        if (definition.empty()) {
            std::fprintf(stderr, "zarnowel-check: %s\n",
                         agent != "intune" && agent != "configmgr"
                             ? "--agent takes intune or configmgr"
                             : "no usable [Marker] (Key= and Version=): an agent needs it as its detection rule");
            return zw::check::kExitUnreadable;
        }
        Write(definition);
        std::fprintf(stderr,
                     "zarnowel-check: the uninstall command removes the marker only, not the products of the chain; "
                     "uploading the content stays with your own tooling\n");
        return 0;
    }
    Write(json ? zw::check::FormatPlanJson(plan) : zw::check::FormatPlanText(plan));
    std::fflush(stdout);
    return zw::check::ExitCodeOf(plan);
}
