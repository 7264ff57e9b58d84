// listprint: loads the setup list beside itself exactly as the launcher does
// and prints what was loaded, one "key: value" line each:
//
//   languageTag: [eng]
//   programDirectory: [C:\setup]
//   currentDirectory: [C:\setup]
//   item 1: [1][a.exe][ ][b.exe~x.exe][1]
//   ...                                   items 1 to 9, each field in [ ]
//
// "/s" in the command line sets silent mode, as in the launcher. "/r" loads
// with a report (which also looks at the key after the ninth item) and adds
// its lines. Field bytes are printed unchanged.
#include <windows.h>

#include <cstdio>
#include <string>

#include "startup/command_line.h"
#include "state/run_state.h"
#include "platform/adapter.h"
#include "setuplist/setup_list.h"

namespace {

void Out(const char* key, const std::string& value) { std::printf("%s: [%s]\n", key, value.c_str()); }

}  // namespace

int main()
{
    zw::SetPlatform(&zw::Win32Platform());
    const std::string_view tail = zw::CommandLineTail(::GetCommandLineA());
    zw::silentMode = zw::HasSilentSwitch(tail) ? 1 : 0;
    const bool withReport = tail.find("/r") != std::string_view::npos;

    zw::SetupListReport report;
    if (withReport)
        zw::LoadSetupList(report, true);
    else
        zw::LoadSetupList();

    char cwd[MAX_PATH + 1] = {};
    const DWORD cwdLength = ::GetCurrentDirectoryA(MAX_PATH, cwd);
    if (cwdLength == 0 || cwdLength >= MAX_PATH) cwd[0] = '\0';

    Out("languageTag", zw::languageTag);
    Out("programDirectory", zw::programDirectory);
    Out("currentDirectory", cwd);
    for (int n = zw::kFirstItem; n <= zw::kLastItem; ++n) {
        const zw::SetupItem& item = zw::SetupItemAt(n);
        std::printf("item %d: [%s][%s][%s][%s][%s]\n", n, item.kind.c_str(), item.file.c_str(), item.parameters.c_str(),
                    item.waitList.c_str(), item.rebootFlag.c_str());
    }
    if (withReport) {
        Out("section", report.section);
        Out("listFound", report.listFound ? "1" : "0");
        Out("itemsLoaded", std::to_string(report.itemsLoaded));
        Out("keysAfterLastItem", report.keysAfterLastItem ? "1" : "0");
    }
    std::fflush(stdout);
    return 0;
}
