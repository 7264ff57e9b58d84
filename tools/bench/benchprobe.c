/* benchprobe: the long-wait bench's probe (tools/bench/bench-wait.sh), inside
 * Wine: it samples one process the way the system sees it.
 *
 *   benchprobe --stat NAME [--every MS --count N]
 *       one line per sample for the first process with that image name (ASCII
 *       case ignored), read through its own process handle:
 *       stat t=<unix ms> pid= cpu_ms= kernel_ms= user_ms= handles= threads=
 *            ws_kb= peak_ws_kb= private_kb=
 *            sys_handles= sys_handles_max= top_handle= thread_cpu_ms=
 *       ("none" when there is no such process). The handle stays open across
 *       samples, so the target's own figures are not disturbed by reopening.
 *       Samples are due every MS from the first one, so a slow sample doesn't
 *       shift the later ones. handles= is GetProcessHandleCount, which Wine
 *       leaves at 0; sys_handles= counts the target's entries in the system
 *       handle table (NtQuerySystemInformation, SystemHandleInformation), the
 *       fewest of 10 reads 60 ms apart, sys_handles_max= the most, and
 *       top_handle= is the highest handle value in the fewest read; all -1 when
 *       the table cannot be read. Under Wine GetProcessTimes answers with the
 *       caller's own times for any other process, so cpu_ms= is the probe's;
 *       thread_cpu_ms= sums GetThreadTimes over the target's threads (a
 *       Toolhelp thread snapshot), which Wine reads from the thread itself
 *       (-1 when no thread could be read).
 *   benchprobe --handle-check
 *       counts its own entries in the system handle table, opens 10 events,
 *       counts again, closes them and counts once more:
 *       handles before= opened= closed=
 *       exit 0 when the table saw exactly the 10 events come and go, else 3.
 *   benchprobe --spawn EXE COUNT
 *       starts COUNT copies of EXE without waiting for them; prints their pids,
 *       and "failed" for a start the system refused (exit code 1 then).
 *
 * Exit codes: 0 done, 1 no such process (--stat) or a refused start (--spawn), 2 bad arguments,
 * 3 the system handle table does not show the probe's own handles. */
#include "zwprog.h"

#include <psapi.h>
#include <stddef.h>

enum { kHandleReads = 10, kHandleReadGapMs = 60 };

/* The first process with that image name, with its thread count; 0 when none. */
static DWORD find_process(const WCHAR *name, DWORD *threads)
{
    DWORD pid = 0;
    HANDLE snap = NULL;
    PROCESSENTRY32W e;
    while (zw_next_process(&snap, &e)) {
        if (pid != 0 || lstrcmpiW(e.szExeFile, name) != 0) continue;
        pid = e.th32ProcessID;
        if (threads) *threads = e.cntThreads;
    }
    return pid;
}

/* The system handle table, as NtQuerySystemInformation returns it for
 * SystemHandleInformation: a count, then one entry per open handle of any
 * process. The process id is cut to 16 bits there. */
enum { kSystemHandleInformation = 16 };
#define ZW_STATUS_INFO_LENGTH_MISMATCH ((LONG)0xC0000004L)

typedef struct {
    USHORT UniqueProcessId;
    USHORT CreatorBackTraceIndex;
    UCHAR ObjectTypeIndex;
    UCHAR HandleAttributes;
    USHORT HandleValue;
    PVOID Object;
    ULONG GrantedAccess;
} zw_handle_entry;

typedef struct {
    ULONG Count;
    zw_handle_entry Handles[1];
} zw_handle_table;

typedef LONG(NTAPI *zw_query_system_information)(ULONG, PVOID, ULONG, PULONG);

/* The handles of pid in the system handle table and the highest handle value
 * among them; FALSE when the table cannot be read. The buffer is kept and
 * grown as the table grows. */
static BOOL count_system_handles(DWORD pid, long *count, long *top)
{
    static zw_query_system_information query;
    static BYTE *buffer;
    static ULONG size = 1 << 16;
    if (query == NULL) {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll != NULL) query = (zw_query_system_information)(void (*)(void))GetProcAddress(ntdll, "NtQuerySystemInformation");
        if (query == NULL) return FALSE;
    }
    LONG status;
    for (int attempt = 0; attempt < 16; ++attempt) {
        if (buffer == NULL) buffer = (BYTE *)HeapAlloc(GetProcessHeap(), 0, size);
        if (buffer == NULL) return FALSE;
        ULONG needed = 0;
        status = query(kSystemHandleInformation, buffer, size, &needed);
        if (status != ZW_STATUS_INFO_LENGTH_MISMATCH) break;
        HeapFree(GetProcessHeap(), 0, buffer);
        buffer = NULL;
        /* Room for handles opened between two calls as well. */
        size = (needed > size ? needed : size * 2) + 4096 * sizeof(zw_handle_entry);
    }
    if (status < 0 || buffer == NULL) return FALSE;
    const zw_handle_table *table = (const zw_handle_table *)buffer;
    const ULONG fits = (ULONG)((size - offsetof(zw_handle_table, Handles)) / sizeof(zw_handle_entry));
    const ULONG n = table->Count < fits ? table->Count : fits;
    const USHORT wanted = (USHORT)pid;
    long c = 0, t = -1;
    for (ULONG i = 0; i < n; ++i) {
        if (table->Handles[i].UniqueProcessId != wanted) continue;
        ++c;
        if ((long)table->Handles[i].HandleValue > t) t = (long)table->Handles[i].HandleValue;
    }
    *count = c;
    *top = t;
    return TRUE;
}

static int run_handle_check(void)
{
    enum { kEvents = 10 };
    const DWORD self = GetCurrentProcessId();
    long before = -1, opened = -1, closed = -1, top = -1;
    BOOL ok = count_system_handles(self, &before, &top);
    HANDLE events[kEvents];
    for (int i = 0; i < kEvents; ++i) events[i] = CreateEventW(NULL, TRUE, FALSE, NULL);
    ok = count_system_handles(self, &opened, &top) && ok;
    for (int i = 0; i < kEvents; ++i)
        if (events[i] != NULL) CloseHandle(events[i]);
    ok = count_system_handles(self, &closed, &top) && ok;
    zw_outf("handles\tbefore=%ld\topened=%ld\tclosed=%ld\n", before, opened, closed);
    return ok && opened - before == kEvents && closed == before ? 0 : 3;
}

static unsigned long long filetime_ms(FILETIME ft) { return zw_ticks(ft) / 10000ULL; }

/* Kernel plus user time of every thread of pid, in ms; -1 when none could be read. */
static long long thread_cpu_ms(DWORD pid)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    unsigned long long total = 0;
    int read = 0;
    THREADENTRY32 e;
    e.dwSize = sizeof e;
    for (BOOL ok = Thread32First(snap, &e); ok; ok = Thread32Next(snap, &e)) {
        if (e.th32OwnerProcessID != pid) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_LIMITED_INFORMATION, FALSE, e.th32ThreadID);
        if (thread == NULL) continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            total += zw_ticks(kernel) + zw_ticks(user);
            ++read;
        }
        CloseHandle(thread);
    }
    CloseHandle(snap);
    return read > 0 ? (long long)(total / 10000ULL) : -1;
}

static int run_stat(const WCHAR *name, int everyMs, int count)
{
    HANDLE process = NULL;
    DWORD pid = 0;
    int found = 0;
    const unsigned long long first = zw_now_ms();
    for (int i = 0; i < count; ++i) {
        if (i > 0) {
            const unsigned long long due = first + (unsigned long long)i * (unsigned long long)everyMs;
            const unsigned long long now = zw_now_ms();
            if (due > now) Sleep((DWORD)(due - now));
        }
        DWORD threads = 0;
        DWORD now = find_process(name, &threads);
        if (now != pid && process != NULL) {
            CloseHandle(process);
            process = NULL;
        }
        pid = now;
        if (pid != 0 && process == NULL)
            process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
        if (process == NULL) {
            zw_outf("none\tt=%llu\n", zw_now_ms());
            continue;
        }
        FILETIME created, exited, kernel, user;
        unsigned long long kernelMs = 0, userMs = 0;
        if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
            kernelMs = filetime_ms(kernel);
            userMs = filetime_ms(user);
        }
        DWORD handles = 0;
        if (!GetProcessHandleCount(process, &handles)) handles = (DWORD)-1;
        PROCESS_MEMORY_COUNTERS_EX mem;
        memset(&mem, 0, sizeof mem);
        mem.cb = sizeof mem;
        GetProcessMemoryInfo(process, (PROCESS_MEMORY_COUNTERS *)&mem, sizeof mem);
        /* A target that opens a handle for part of each of its ticks (a
         * snapshot while it scans) counts one more in some single reads.
         * Reads spread over more than one 500 ms tick: the fewest is what
         * the target keeps open, the most what it holds at its busiest. */
        long sysHandles = -1, topHandle = -1, sysHandlesMax = -1;
        for (int r = 0; r < kHandleReads; ++r) {
            if (r > 0) Sleep(kHandleReadGapMs);
            long h = -1, top = -1;
            if (!count_system_handles(pid, &h, &top)) continue;
            if (sysHandles < 0 || h < sysHandles) {
                sysHandles = h;
                topHandle = top;
            }
            if (h > sysHandlesMax) sysHandlesMax = h;
        }
        const long long threadCpuMs = thread_cpu_ms(pid);
        zw_outf("stat\tt=%llu\tpid=%lu\tcpu_ms=%llu\tkernel_ms=%llu\tuser_ms=%llu\thandles=%ld\tthreads=%lu"
                "\tws_kb=%llu\tpeak_ws_kb=%llu\tprivate_kb=%llu\tsys_handles=%ld\tsys_handles_max=%ld\ttop_handle=%ld\tthread_cpu_ms=%lld\n",
                zw_now_ms(), (unsigned long)pid, kernelMs + userMs, kernelMs, userMs, (long)handles,
                (unsigned long)threads, (unsigned long long)mem.WorkingSetSize / 1024,
                (unsigned long long)mem.PeakWorkingSetSize / 1024, (unsigned long long)mem.PrivateUsage / 1024,
                sysHandles, sysHandlesMax, topHandle, threadCpuMs);
        ++found;
    }
    if (process != NULL) CloseHandle(process);
    return found > 0 ? 0 : 1;
}

static int run_spawn(const WCHAR *exe, int count)
{
    WCHAR cmd[MAX_PATH + 4];
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        _snwprintf(cmd, MAX_PATH + 3, L"\"%ls\"", exe);
        cmd[MAX_PATH + 3] = 0;
        STARTUPINFOW si;
        memset(&si, 0, sizeof si);
        si.cb = sizeof si;
        PROCESS_INFORMATION pi;
        if (!CreateProcessW(exe, cmd, NULL, NULL, FALSE, 0, NULL, NULL, &si, &pi)) {
            /* A busy system can refuse one start; the others still count. */
            zw_outf("failed\terror=%lu\n", (unsigned long)GetLastError());
            ++failed;
            continue;
        }
        zw_outf("spawned\tpid=%lu\n", (unsigned long)pi.dwProcessId);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    return failed ? 1 : 0;
}

static int usage(void)
{
    zw_out("usage: benchprobe --stat NAME [--every MS --count N]\n"
           "       benchprobe --spawn EXE COUNT\n"
           "       benchprobe --handle-check\n");
    return 2;
}

int main(void)
{
    const WCHAR *statName = NULL, *spawnExe = NULL;
    int everyMs = 1000, count = 1, spawnCount = 0;
    BOOL handleCheck = FALSE;
    const zw_option options[] = {
        ZW_OPT("--stat", ZW_TEXT, &statName),
        ZW_OPT("--every", ZW_INT, &everyMs),
        ZW_OPT("--count", ZW_INT, &count),
        ZW_OPT("--handle-check", ZW_FLAG, &handleCheck),
        {"--spawn", ZW_TEXT_INT, &spawnExe, &spawnCount, NULL},
    };
    if (!zw_options(options, ZW_COUNT(options))) return usage();
    if (handleCheck) return run_handle_check();
    if (statName != NULL && everyMs >= 0 && count > 0) return run_stat(statName, everyMs, count);
    if (spawnExe != NULL && spawnCount > 0) return run_spawn(spawnExe, spawnCount);
    return usage();
}
