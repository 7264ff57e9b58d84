// The one-run lock, played by three launchers on one machine whose steps
// interleave: never two runs at once, and a run goes again once nothing holds
// the lock.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <utility>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "sequencer/run_processes.h"
#include "sim/sim_windows.h"
#include "startup/run_lock.h"

namespace {

// One launcher process: its lock and the run state that is its own.
struct Run {
    explicit Run(uint32_t id) : pid(id) {}
    uint32_t pid;
    zw::RunLock lock;
    std::vector<zw::StartedProcess> started;
    zw::Handle lockHandle = nullptr;
    bool kept = false, going = false;
    // Its run state in and out of the process-wide one.
    void Swap()
    {
        std::swap(started, zw::startedProcesses);
        std::swap(lockHandle, zw::runLockHandle);
        std::swap(kept, zw::runLockKeptByLeftovers);
    }
};

// Steps: "A+" A takes the lock; "A-" A ends its run (what it left running
// keeps the lock); "A!" A's process ends without its end; "A~" A starts an
// item that runs 60 s; "wait" 60 s pass. "B+@CreateMutexW:A!,C+" B takes the
// lock, and just before its CreateMutexW call A ends and C takes the lock.
struct Machine {
    sim::SimScope scope;
    sim::SimWindows& sim = scope.sim;
    std::map<char, Run> runs{{'A', Run(5001)}, {'B', Run(5002)}, {'C', Run(5003)}};
    Run* current = nullptr;
    int mostAtOnce = 0;
    std::string outcome;  // "+" or "-" per take, in order

    void Play(std::string steps, char separator = ' ')
    {
        std::replace(steps.begin(), steps.end(), separator, ' ');
        std::istringstream in(steps);
        for (std::string step; in >> step;) Step(step);
    }
    void Step(const std::string& step)
    {
        if (step == "wait") {
            sim.now += 60000;
            return;
        }
        Run& r = runs.at(step[0]);
        Run* outer = std::exchange(current, &r);
        if (outer != nullptr) outer->Swap();
        r.Swap();
        sim.currentPid = r.pid;
        if (step[1] == '+') {
            const size_t at = step.find('@'), colon = step.find(':');
            bool fired = at == std::string::npos;
            sim.beforeLockCall = [&, call = step.substr(at + 1, colon - at - 1)](const std::string& name) {
                if (!std::exchange(fired, fired || name == call) && name == call) Play(step.substr(colon + 1), ',');
            };
            r.going = zw::TakeRunLock(r.lock);
            sim.beforeLockCall = nullptr;
            outcome += r.going ? '+' : '-';
            int going = 0;
            for (auto& [name, each] : runs) going += each.going;
            mostAtOnce = std::max(mostAtOnce, going);
        } else if (step[1] == '-') {
            zw::ForgetStartedProcesses();
            zw::ReleaseRunLock(r.lock);
            r.going = false;
        } else if (step[1] == '!') {
            for (const zw::StartedProcess& s : zw::startedProcesses) sim.CloseHandle(s.handle);
            zw::startedProcesses.clear();
            sim.EndProcessHandles(r.pid);
            r.lock = {};
            r.going = false;
        } else {  // '~'
            const uint32_t pid = sim.AddProcess("item.exe", sim.now, sim.now + 60000 - 1, 0, r.pid);
            zw::Handle process = sim.OpenProcess(zw::win::SYNCHRONIZE, false, pid);
            zw::NoteStartedProcess(process);
            sim.CloseHandle(process);
        }
        r.Swap();
        current = outer;
        if (outer != nullptr) {
            outer->Swap();
            sim.currentPid = outer->pid;
        }
    }
};

TEST(RunLock, ThreeRunsNeverGoAtOnce)
{
    struct {
        const char* what;
        const char* steps;
        bool namespaces;
        uint32_t createError;
        const char* outcome;
    } const cases[] = {
        {"one after the other", "A+ A- B+ B- C+", true, 0, "+++"},
        {"a second run while one goes", "A+ B+ A- C+", true, 0, "+-+"},
        {"the holder ends while another creates", "A+ B+@CreatePrivateNamespaceW:A- C+", true, 0, "++-"},
        {"the holder's process ends without its end", "A+ A! B+ C+", true, 0, "++-"},
        // A has made the namespace; B finds it, and A ends and C starts
        // before B makes its mutex: a lock that opened A's namespace would
        // hold a mutex in an orphan beside C's.
        {"the holder ends between another's namespace and its mutex", "A+ B+@CreateMutexW:A-,C+", true, 0, "+-"},
        {"the holder ends as another starts, a third beside", "A+@CreateMutexW:B+ A! C+@CreateMutexW:B+", true, 0,
         "-+-+"},
        {"a namespace that cannot be made for another reason", "A+ B+", true, 5, "--"},
        {"no private namespaces: the Global namespace", "A+ B+ A- C+ B+", false, 0, "+-+-"},
        {"the Global holder's process ends", "A+ A! B+", false, 0, "++"},
        // What a run leaves running keeps the lock until it has ended.
        {"an item left running", "A+ A~ A- B+ wait C+", true, 0, "+-+"},
        {"an item left running, Global", "A+ A~ A- B+ wait C+", false, 0, "+-+"},
        {"an item that ended first", "A+ A~ wait A- B+", true, 0, "++"},
    };
    for (const auto& c : cases) {
        Machine m;
        m.sim.hasPrivateNamespaces = c.namespaces;
        m.sim.namespaceCreateError = c.createError;
        m.Play(c.steps);
        EXPECT_LE(m.mostAtOnce, 1) << c.what;
        EXPECT_EQ(m.outcome, c.outcome) << c.what;
        for (auto& [name, r] : m.runs) m.sim.EndProcessHandles(r.pid);
        for (const sim::Call& call : m.sim.CallsNamed("CreatePrivateNamespaceW"))
            EXPECT_EQ(call.detail, "rights") << c.what;
    }
}

}  // namespace
