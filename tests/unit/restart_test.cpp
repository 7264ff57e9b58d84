// The restart decision and the forced restart against the simulated Windows.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win_values.h"
#include "restart/restart.h"
#include "runlog/run_log.h"
#include "setuplist/setup_list.h"
#include "sim/launcher_test.h"
#include "state/run_state.h"

namespace {

using namespace zw::win;

class Restart : public sim::LauncherTest {
protected:
    Restart()
    {
        zw::languageTag = "eng";
        sim.systemTexts[ERROR_NOT_ALL_ASSIGNED] = "Not all privileges referenced are assigned to the caller.\r\n";
        sim.systemTexts[1314] = "A required privilege is not held by the client.\r\n";
        sim.systemTexts[5] = "Access is denied.\r\n";
        sim.systemTexts[6] = "The handle is invalid.\r\n";
    }
    // Each box as its caption and text.
    std::vector<std::string> Reports() const
    {
        std::vector<std::string> out;
        for (const sim::BoxShown& b : sim.boxes) out.push_back(b.caption + ": " + b.text);
        return out;
    }
};

TEST_F(Restart, NothingWithoutARequestSilentOrNot)
{
    for (uint8_t silent : {0, 1}) {
        zw::silentMode = silent;
        zw::OfferRestart();
    }
    EXPECT_TRUE(sim.calls.empty());
}

TEST_F(Restart, SilentModeRestartsWithoutAsking)
{
    zw::rebootPending = 1;
    zw::silentMode = 1;
    zw::OfferRestart();
    EXPECT_TRUE(sim.boxes.empty());
    ASSERT_EQ(sim.shutdownCalls.size(), 1u);
    EXPECT_TRUE(sim.exitWindowsCalls.empty());
    // restart, every session logged off, this one too; for a planned installation
    // (application, installation, planned); after the grace period, with the notice
    EXPECT_EQ(sim.CallsNamed("InitiateShutdownW")[0].detail, "30:0x7:0x80040002");
    EXPECT_EQ(sim.shutdownCalls[0].message, u"The installation has finished. The system restarts to complete it.");
    EXPECT_EQ(sim.CallsNamed("OpenProcessToken")[0].detail, "0x28");
    EXPECT_EQ(sim.CallsNamed("LookupPrivilegeValueA")[0].detail, "(local)|SeShutdownPrivilege");
    // count 1, the looked-up LUID, SE_PRIVILEGE_ENABLED; not "disable all"
    EXPECT_EQ(sim.CallsNamed("AdjustTokenPrivileges")[0].detail, "0:1:19:2");
}

// ExitWindowsEx (reboot, forced, the same reason) stands in only where
// InitiateShutdownW is not implemented; a refusal of the latter, one already
// scheduled included, is reported rather than tried another way. The notice
// speaks the question's language. (Each failing step: the table below.)
TEST_F(Restart, ExitWindowsOnlyWhereInitiateShutdownIsNotImplemented)
{
    struct {
        uint32_t shutdownResult;
        size_t exitCalls;
        const char* logged;
    } const cases[] = {
        {0, 0, "restart: the system restarts in 30 s"},
        {ERROR_CALL_NOT_IMPLEMENTED, 1, "ExitWindowsEx instead"},
        {ERROR_ACCESS_DENIED, 0, "restart: InitiateShutdownW failed: Access is denied."},
        {1190, 0, "restart: InitiateShutdownW failed: FAILURE (1190)"},  // ERROR_SHUTDOWN_IS_SCHEDULED
    };
    for (const auto& c : cases) {
        sim::Launcher inner;
        sim::SimWindows& s = inner.sim;
        s.systemTexts = sim.systemTexts;
        s.initiateShutdownResult = c.shutdownResult;
        zw::OpenRunLog(sim::kLog);
        zw::languageTag = "kor";
        zw::RestartSystem();
        zw::CloseRunLog();
        ASSERT_EQ(s.exitWindowsCalls.size(), c.exitCalls) << c.shutdownResult;
        if (c.exitCalls != 0) {
            EXPECT_EQ(s.CallsNamed("ExitWindowsEx")[0].detail, "6:" + std::to_string(0x80040002u));
        } else {
            // 설치가 끝났습니다. 설치를 완료하기 위해 시스템을 재부팅합니다.
            ASSERT_EQ(s.shutdownCalls.size(), 1u) << c.shutdownResult;
            EXPECT_EQ(s.shutdownCalls[0].message.substr(0, 3), u"\uC124\uCE58\uAC00");
        }
        EXPECT_NE(inner.Log().find(c.logged), std::string::npos) << c.shutdownResult << ":\n" << inner.Log();
    }
}

TEST_F(Restart, QuestionInTheLanguageOfTheSystemByteForByteOnlyYesRestarts)
{
    // The texts are the product's own; their code page 949 bytes are the lengths below.
    const std::string koreanQuestion = zw::kRestartQuestionKorean, koreanCaption = zw::kRestartCaptionKorean;
    const std::string english = zw::kRestartQuestionEnglish, englishCaption = zw::kRestartCaptionEnglish;
    EXPECT_EQ(std::strlen(zw::kRestartQuestionKorean), 101u);
    EXPECT_EQ(std::strlen(zw::kRestartCaptionKorean), 13u);

    struct {
        const char* tag;
        std::string text, caption;
        int answer = 0;  // 0: the box's default answer, which is No
        size_t restarts = 0;
    } const cases[] = {
        {"eng", english, englishCaption},       {"kor", koreanQuestion, koreanCaption},
        {"KOR", koreanQuestion, koreanCaption},  // ASCII case ignored
        {"", english, englishCaption},          {"", english, englishCaption, IDYES, 1},
        {"", english, englishCaption, IDNO, 0},
    };
    for (const auto& c : cases) {
        sim::Launcher inner;
        if (c.answer != 0) inner.sim.answer = [&c](const sim::BoxShown&) { return c.answer; };
        zw::rebootPending = 1;
        zw::languageTag = c.tag;
        zw::OfferRestart();
        ASSERT_EQ(inner.sim.boxes.size(), 1u) << c.tag;
        const sim::BoxShown& box = inner.sim.boxes[0];
        EXPECT_EQ(box.text, c.text) << c.tag;
        EXPECT_EQ(box.caption, c.caption) << c.tag;
        EXPECT_EQ(box.owner, nullptr);
        EXPECT_EQ(box.type, MB_YESNO | MB_ICONQUESTION | MB_TOPMOST);
        EXPECT_EQ(inner.sim.RestartsAccepted(), c.restarts) << c.tag << " answered " << c.answer;
    }
}

TEST_F(Restart, UserWithoutTheShutdownRightSeesBothReportsInOrder)
{
    sim.initiateShutdownResult = ERROR_CALL_NOT_IMPLEMENTED;
    sim.holdsShutdownRight = false;
    sim.exitWindowsFails = true;
    sim.exitWindowsError = 1314;
    zw::RestartSystem();
    ASSERT_EQ(Reports(), (std::vector<std::string>{"AdjustTokenPrivileges: " + sim.systemTexts[ERROR_NOT_ALL_ASSIGNED],
                                                   "ExitWindowsEx: " + sim.systemTexts[1314]}));
    EXPECT_EQ(sim.boxes[0].type, MB_OK);
}

TEST_F(Restart, TokenThatCannotBeOpenedIsReportedAndTheRestStillRuns)
{
    sim.tokenOpenFails = true;
    sim.tokenError = 5;
    zw::RestartSystem();
    ASSERT_EQ(Reports(), (std::vector<std::string>{"OpenProcessToken: Access is denied.\r\n",
                                                   "AdjustTokenPrivileges: The handle is invalid.\r\n"}));
    EXPECT_EQ(sim.shutdownCalls.size(), 1u);  // attempted all the same
}

// Each failing step is reported in order and the next one runs all the same:
// in a box after the question is answered Yes, and in the run log; a silent
// run, where nobody could answer a box, reports in the log alone. The restart
// call that refuses ("ExitWindowsEx" in the rows) is InitiateShutdownW where
// the system has it.
TEST_F(Restart, ReportsEachFailingStepInOrderAndGoesOnSilentInTheLogAlone)
{
    struct {
        const char* name;
        bool tokenOpens, holdsRight, exitSucceeds;
        std::vector<std::string> captions;
    } const cases[] = {
        {"all well", true, true, true, {}},
        {"no shutdown right", true, false, true, {"AdjustTokenPrivileges"}},
        {"reboot refused", true, true, false, {"ExitWindowsEx"}},
        {"right and reboot", true, false, false, {"AdjustTokenPrivileges", "ExitWindowsEx"}},
        // the null token fails the adjustment whatever the user may do
        {"no token", false, true, true, {"OpenProcessToken", "AdjustTokenPrivileges"}},
        {"no token, no right", false, false, true, {"OpenProcessToken", "AdjustTokenPrivileges"}},
        {"nothing works", false, false, false, {"OpenProcessToken", "AdjustTokenPrivileges", "ExitWindowsEx"}},
    };
    for (const auto& c : cases) {
        for (const bool hasShutdownCall : {true, false}) {
            for (const uint8_t silent : {0, 1}) {
                const std::string restartCall = hasShutdownCall ? "InitiateShutdownW" : "ExitWindowsEx";
                const std::string name =
                    std::string(c.name) + (silent ? " (silent, " : " (asked, ") + restartCall + ")";
                std::vector<std::string> expected = c.captions;
                for (std::string& caption : expected)
                    if (caption == "ExitWindowsEx") caption = restartCall;
                sim::Launcher inner;
                sim::SimWindows& s = inner.sim;
                s.systemTexts = sim.systemTexts;
                s.tokenOpenFails = !c.tokenOpens;
                s.holdsShutdownRight = c.holdsRight;
                s.exitWindowsFails = !c.exitSucceeds;
                s.initiateShutdownResult = !hasShutdownCall ? ERROR_CALL_NOT_IMPLEMENTED
                                           : c.exitSucceeds ? 0
                                                            : ERROR_PRIVILEGE_NOT_HELD;
                s.answer = [](const sim::BoxShown& b) { return (b.type & 0xF) == MB_YESNO ? IDYES : IDOK; };
                zw::OpenRunLog(sim::kLog);
                s.lastError = 5;  // left over from earlier: must not count as a failed step
                zw::rebootPending = 1;
                zw::silentMode = silent;
                zw::OfferRestart();
                zw::CloseRunLog();

                std::vector<std::string> reports, lines;
                for (const std::string& step : expected) {
                    const uint32_t code = step == "OpenProcessToken"    ? s.tokenError
                                          : step == "ExitWindowsEx"     ? s.exitWindowsError
                                          : step == "InitiateShutdownW" ? ERROR_PRIVILEGE_NOT_HELD
                                          : c.tokenOpens                ? ERROR_NOT_ALL_ASSIGNED
                                                                        : 6u;  // ERROR_INVALID_HANDLE
                    const std::string text = sim.systemTexts[code];
                    reports.push_back(step + ": " + text);
                    lines.push_back("restart: " + step + " failed: " + text.substr(0, text.find('\r')));
                }
                std::vector<std::string> shown;
                for (size_t i = silent ? 0 : 1; i < s.boxes.size(); ++i) {
                    shown.push_back(s.boxes[i].caption + ": " + s.boxes[i].text);
                    EXPECT_EQ(s.boxes[i].owner, nullptr) << name;
                    EXPECT_EQ(s.boxes[i].type, MB_OK) << name;
                }
                EXPECT_EQ(s.boxes.size(), silent ? 0u : 1u + expected.size()) << name;
                if (!silent) {
                    EXPECT_EQ(shown, reports) << name;
                }
                const std::string log = inner.Log();
                EXPECT_TRUE(sim::InOrder(log, lines)) << name;
                EXPECT_EQ(log.find("restart: the system restarts") != std::string::npos, c.exitSucceeds) << name;
                EXPECT_EQ(s.CountCalls("InitiateShutdownW"), 1u) << name;
                EXPECT_EQ(s.exitWindowsCalls.size(), hasShutdownCall ? 0u : 1u) << name;
                EXPECT_EQ(s.CountCalls("CloseHandle"), c.tokenOpens ? 3u : 2u)
                    << name;  // the token, the log and its folder
            }
        }
    }
}

TEST_F(Restart, ReportFallsBackToFailureAndKeepsTheLastError)
{
    sim.lastError = 0xDEAD;  // no text for this one
    zw::ReportLastError("ExitWindowsEx");
    ASSERT_EQ(sim.boxes.size(), 1u);
    EXPECT_EQ(sim.boxes[0].text, "FAILURE");
    EXPECT_EQ(sim.boxes[0].caption, "ExitWindowsEx");
    EXPECT_EQ(sim.lastError, 0xDEADu);  // FormatMessageA's own failure does not leak out

    sim.lastError = 5;
    zw::ReportLastError("OpenProcessToken");
    EXPECT_EQ(sim.boxes[1].text, "Access is denied.\r\n");
    EXPECT_EQ(sim.lastError, 5u);
    EXPECT_EQ(sim.CallsNamed("FormatMessageA")[1].detail, "0x1300:5:0x400");
}

}  // namespace
