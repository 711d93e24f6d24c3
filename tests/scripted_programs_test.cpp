// The scripted binaries and the process harness: load errors, live output of a running process,
// timeouts, and no child or descriptor left behind.

#include <dirent.h>
#include <signal.h>
#include <sys/wait.h>

#include <cerrno>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/ChildProcess.h"
#include "support/TestSupport.h"

namespace {

using namespace std::chrono_literals;
using test_support::ChildProcess;
using test_support::scenarioPath;
using ::testing::HasSubstr;
using ::testing::StartsWith;

int openDescriptors() {
    int count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir)) ++count;
        ::closedir(dir);
    }
    return count;
}

TEST(ScriptedPrograms, AScenarioThatDoesNotLoadEndsWithStatus2) {
    const auto missing = test_support::runLineWardenProcess("/nonexistent/scenario.json", {"--dialer=zoom"});
    EXPECT_EQ(missing.exitStatus, 2);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "linewarden-scripted: cannot read scenario file /nonexistent/scenario.json\n");

    const test_support::TempFile typo(R"({"screenCapture": "granted", "acessibilityTrusted": true})");
    const auto bad = test_support::runTabRosterProcess(typo.path());
    EXPECT_EQ(bad.exitStatus, 2);
    EXPECT_EQ(bad.out, "");
    EXPECT_THAT(bad.err, StartsWith("tabroster-scripted: " + typo.path() + ": "));
    EXPECT_THAT(bad.err, HasSubstr("unknown key 'acessibilityTrusted'"));

    const auto noScenario = test_support::runProcess(test_support::lineWardenBinary(), {});
    EXPECT_EQ(noScenario.exitStatus, 2);
    EXPECT_THAT(noScenario.err, StartsWith("usage: linewarden-scripted <scenario.json>"));
}

TEST(ScriptedPrograms, TabRosterWithoutBrowsersPrintsNothingAndSucceeds) {
    const auto result = test_support::runTabRosterProcess(scenarioPath("no_browsers.json"));
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
}

TEST(ProcessHarness, ReadsARunningProcessLineByLineAndKillsIt) {
    ChildProcess child(test_support::lineWardenBinary(), {scenarioPath("zoom_idle_realtime.json"), "--dialer=zoom"});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.readErrLine(10s), "Monitoring Zoom...");
    EXPECT_TRUE(child.running()) << "a real-time scenario never winds down";
    const auto result = child.kill();
    EXPECT_EQ(result.signal, SIGKILL);
    EXPECT_EQ(result.exitStatus, -1);
    EXPECT_FALSE(child.running());
}

TEST(ProcessHarness, ATimeoutKillsTheProcess) {
    ChildProcess child(test_support::lineWardenBinary(), {scenarioPath("zoom_idle_realtime.json"), "--dialer=zoom"});
    ASSERT_EQ(child.readErrLine(10s), "Monitoring Zoom...");
    const auto result = child.wait(200ms);
    EXPECT_TRUE(result.timedOut);
    EXPECT_EQ(result.signal, SIGKILL);
}

TEST(ProcessHarness, LeavesNoChildAndNoDescriptorBehind) {
    const int before = openDescriptors();
    test_support::runLineWardenProcess(scenarioPath("untrusted.json"), {"--dialer=zoom"});
    test_support::runLineWardenProcess(scenarioPath("zoom_idle_realtime.json"), {"--dialer=zoom"}, 100ms);
    {
        ChildProcess child(test_support::lineWardenBinary(), {scenarioPath("zoom_idle_realtime.json"), "--dialer=zoom"});
        child.readErrLine(10s);
    }  // dropped while running
    EXPECT_EQ(openDescriptors(), before);
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

// Standard output is unbuffered: the host sees the status lines of the first Zoom scan (Zoom is
// not running) while the process keeps running.
TEST(ProcessHarness, StandardOutputReachesTheReaderWhileTheProcessRuns) {
    ChildProcess child(test_support::lineWardenBinary(), {scenarioPath("zoom_idle_realtime.json"), "--dialer=zoom"});
    ASSERT_TRUE(child.started());
    EXPECT_EQ(child.readOutLine(10s), "Initial status: Available");
    EXPECT_EQ(child.readOutLine(10s), "NotConnected");
    EXPECT_TRUE(child.running());
    child.kill();
}

}  // namespace
