// watchprobe: the launcher's process watcher on the real system.
//
//   watchprobe running NAME         IsProcessRunning
//   watchprobe contains FRAGMENT    IsProcessNameContaining
//   watchprobe end EXE FRAGMENT     starts EXE, ends it with TerminateProcessByName
//                                   and prints the exit code the system reports
//   watchprobe loop N NAME          N scans in a row; handle count before and after
//
// Each line is "key=value"; the argument is printed after the call, upper-cased
// in place as the watcher leaves it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/win32_platform.h"
#include "sequencer/process_watcher.h"

namespace {

DWORD HandleCount()
{
    DWORD count = 0;
    ::GetProcessHandleCount(::GetCurrentProcess(), &count);
    return count;
}

// The value the next new handle gets. The system hands out the lowest free
// slot, so a handle left open anywhere shows as a higher value; this holds
// also where GetProcessHandleCount is not implemented (Wine reports 0).
uintptr_t NextHandleValue()
{
    HANDLE probe = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    uintptr_t value = reinterpret_cast<uintptr_t>(probe);
    ::CloseHandle(probe);
    return value;
}

int Usage()
{
    std::puts("usage: watchprobe running NAME | contains FRAGMENT | end EXE FRAGMENT | loop N NAME");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    zw::SetPlatform(&zw::Win32Platform());
    if (argc < 3) return Usage();
    const std::string op = argv[1];
    std::string arg = argv[argc - 1];

    if (op == "running" || op == "contains") {
        bool found = op == "running" ? zw::IsProcessRunning(arg.data()) : zw::IsProcessNameContaining(arg.data());
        std::printf("result=%d\nargument=%s\n", found ? 1 : 0, arg.c_str());
        return 0;
    }
    if (op == "end" && argc == 4) {
        STARTUPINFOA si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        std::string command = std::string("\"") + argv[2] + "\"";
        if (!::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            std::printf("start=failed %lu\n", ::GetLastError());
            return 1;
        }
        ::WaitForInputIdle(pi.hProcess, 5000);
        ::Sleep(500);
        bool ended = zw::TerminateProcessByName(arg.data());
        DWORD wait = ::WaitForSingleObject(pi.hProcess, 10000);
        DWORD code = 0;
        ::GetExitCodeProcess(pi.hProcess, &code);
        std::printf("result=%d\nargument=%s\ngone=%d\nexitcode=%lu\n", ended ? 1 : 0, arg.c_str(),
                    wait == WAIT_OBJECT_0 ? 1 : 0, code);
        if (wait != WAIT_OBJECT_0) ::TerminateProcess(pi.hProcess, 1);
        ::CloseHandle(pi.hThread);
        ::CloseHandle(pi.hProcess);
        return 0;
    }
    if (op == "loop" && argc == 4) {
        const long n = std::strtol(argv[2], nullptr, 10);
        const DWORD before = HandleCount();
        const uintptr_t nextBefore = NextHandleValue();
        DWORD peak = before;
        long found = 0;
        const ULONGLONG t0 = ::GetTickCount64();
        for (long i = 0; i < n; ++i) {
            std::string name = argv[3];
            if (zw::IsProcessRunning(name.data())) ++found;
            if (i % 500 == 0) peak = std::max(peak, HandleCount());
        }
        const ULONGLONG elapsed = ::GetTickCount64() - t0;
        std::printf("scans=%ld\nfound=%ld\nhandles_before=%lu\nhandles_after=%lu\nhandles_peak=%lu\n"
                    "next_handle_before=%llu\nnext_handle_after=%llu\nms=%llu\n",
                    n, found, before, HandleCount(), peak, static_cast<unsigned long long>(nextBefore),
                    static_cast<unsigned long long>(NextHandleValue()), elapsed);
        return 0;
    }
    return Usage();
}
