// watchprobe: the launcher's process watcher on the real system.
//
//   watchprobe running NAME         IsProcessRunning
//   watchprobe contains FRAGMENT    FindRunningProcess with a waitList entry found inside image names
//   watchprobe loop N NAME          N scans in a row; handle count before and after
//   watchprobe leak                 leaves one snapshot open on purpose: shows that
//                                   the next free handle value sees a leak
//
// Each line is "key=value"; the argument is printed after the call, upper-cased
// in place as the watcher leaves it.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/adapter.h"
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
    std::puts("usage: watchprobe running NAME | contains FRAGMENT | loop N NAME | leak");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    zw::SetPlatform(&zw::Win32Platform());
    if (argc < 2) return Usage();
    const std::string op = argv[1];
    std::string arg = argv[argc - 1];

    if ((op == "running" || op == "contains") && argc == 3) {
        bool found =
            op == "running" ? zw::IsProcessRunning(arg.data()) : zw::FindRunningProcess({{arg.data(), true}}) == 0;
        std::printf("result=%d\nargument=%s\n", found ? 1 : 0, arg.c_str());
        return 0;
    }
    if (op == "loop" && argc == 4) {
        const long n = std::strtol(argv[2], nullptr, 10);
        const DWORD before = HandleCount();
        const uintptr_t nextBefore = NextHandleValue();
        DWORD peak = before;
        long found = 0;
        for (long i = 0; i < n; ++i) {
            std::string name = argv[3];
            if (zw::IsProcessRunning(name.data())) ++found;
            if (i % 500 == 0) peak = std::max(peak, HandleCount());
        }
        std::printf(
            "found=%ld\nhandles_before=%lu\nhandles_after=%lu\nhandles_peak=%lu\n"
            "next_handle_before=%llu\nnext_handle_after=%llu\n",
            found, before, HandleCount(), peak, static_cast<unsigned long long>(nextBefore),
            static_cast<unsigned long long>(NextHandleValue()));
        return 0;
    }
    if (op == "leak") {
        const uintptr_t before = NextHandleValue();
        HANDLE kept = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
        const uintptr_t after = NextHandleValue();
        std::printf("next_handle_before=%llu\nnext_handle_after=%llu\n", static_cast<unsigned long long>(before),
                    static_cast<unsigned long long>(after));
        if (kept != INVALID_HANDLE_VALUE) ::CloseHandle(kept);
        return 0;
    }
    return Usage();
}
