// How an item's file in C:\setup is started, by kind of file and mode: the one
// table that the run on the simulated Windows and the checker's plan are both
// held to. Direct rows have parameters " ", the others "/x".
#pragma once

#include <string>

namespace rows {

enum Mode { Attended, Silent, Unattended };

struct StartRow {
    const char *file, *image;  // image: the process the start gives
    bool direct, throughProcess;
    Mode mode = Attended;
    std::string host = "";  // the program below System32 that is started; empty: the file; "-": nothing
    // As started, when the row says; and what keeps a package from restarting the machine.
    std::string parameters = "", added = "";
};

inline const std::string kPs = "WindowsPowerShell\\v1.0\\powershell.exe",
                         kPsArgs = "-NoProfile -NonInteractive -ExecutionPolicy Bypass -File \"C:\\setup\\a.ps1\"";

inline const StartRow kStartRows[] = {
    // clang-format off
    {"setup.exe", "setup.exe", true, true},     {"tool.com", "tool.com", true, true},
    {"run.bat", "cmd.exe", true, true},         {"run.CMD", "cmd.exe", false, true},
    {"readme.txt", "notepad.exe", true, false}, {"readme.txt", "notepad.exe", false, false},
    {"fix.msp", "msiexec.exe", true, true},     {"a.vbs", "wscript.exe", true, true},
    {"a.vbe", "wscript.exe", false, true},      {"a.js", "wscript.exe", true, true},
    {"a.JSE", "wscript.exe", true, true},       {"a.wsf", "wscript.exe", false, true},
    {"index.htm", "msedge.exe", true, false},   {"a.reg", "regedit.exe", true, false},
    {"pkg.msi", "msiexec.exe", true, true, Attended, "", " REBOOT=ReallySuppress", "REBOOT=ReallySuppress"},
    {"pkg.msi", "msiexec.exe", false, true, Attended, "", "/x REBOOT=ReallySuppress", "REBOOT=ReallySuppress"},
    {"kb1.MSU", "wusa.exe", false, true, Attended, "", "/x /norestart", "/norestart"},
    {"a.ps1", "powershell.exe", true, true, Attended, kPs, kPsArgs},
    {"a.ps1", "powershell.exe", false, true, Silent, kPs, kPsArgs + " /x"},
    {"a.vbs", "cscript.exe", true, true, Silent, "cscript.exe", "//B //NoLogo \"C:\\setup\\a.vbs\""},
    {"a.wsf", "cscript.exe", false, true, Unattended, "cscript.exe", "//B //NoLogo \"C:\\setup\\a.wsf\" /x"},
    {"a.reg", "reg.exe", true, true, Silent, "reg.exe", "import \"C:\\setup\\a.reg\""},
    {"readme.txt", "notepad.exe", true, false, Unattended, "-"},  // not opened at all
    // clang-format on
};

inline std::string RowName(const StartRow& r)
{
    return r.file + std::string(r.direct ? " direct, " : " dialog, ") + "ASU"[r.mode];
}

}  // namespace rows
