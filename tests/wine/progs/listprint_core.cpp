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
//
// "--first-bytes" instead writes 256 lists "Setup1=<byte>,kXX.exe,p" beside
// itself, one after another, and loads each in this one process: one line
// "XX: [kind][file][parameters]" per byte, what the system's profile reader
// gave the launcher's loader.
#include <windows.h>

#include <cstdio>
#include <string>

#include "startup/command_line.h"
#include "state/run_state.h"
#include "platform/adapter.h"
#include "setuplist/setup_list.h"

namespace {

int FirstBytes()
{
    char module[MAX_PATH + 1] = {};
    const DWORD length = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    std::string list(module, length);
    list = list.substr(0, list.find_last_of('\\') + 1) + "Zarnowel.ini";
    for (int b = 0; b < 256; ++b) {
        char name[16];
        std::snprintf(name, sizeof name, "k%02X.exe", b);
        const std::string text =
            "[SetupList]\r\nSetup1=" + std::string(1, static_cast<char>(b)) + "," + name + ",p\r\n";
        HANDLE file = ::CreateFileA(list.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return 1;
        DWORD written = 0;
        const bool ok = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        ::CloseHandle(file);
        if (!ok) return 1;
        zw::ResetSetupList();
        zw::LoadSetupList();
        const zw::SetupItem& item = zw::SetupItemAt(zw::kFirstItem);
        std::printf("%02X: [%s][%s][%s]\n", b, item.kind.c_str(), item.file.c_str(), item.parameters.c_str());
    }
    std::fflush(stdout);
    return 0;
}

void Out(const char* key, const std::string& value) { std::printf("%s: [%s]\n", key, value.c_str()); }

}  // namespace

int main()
{
    zw::SetPlatform(&zw::Win32Platform());
    const std::string_view tail = zw::CommandLineTail(::GetCommandLineA());
    zw::silentMode = zw::HasSilentSwitch(tail) ? 1 : 0;
    const bool withReport = tail.find("/r") != std::string_view::npos;
    if (tail.find("--first-bytes") != std::string_view::npos) return FirstBytes();

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
        Out("itemsLoaded", std::to_string(report.itemsLoaded));
        Out("keysAfterLastItem", report.keysAfterLastItem ? "1" : "0");
    }
    std::fflush(stdout);
    return 0;
}
