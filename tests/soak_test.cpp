// Long runs of each dialer's driver on the scripted desktop: 10,000 scans with a call starting and
// ending every eight scans. Every change must be reported exactly once and in order, and the
// process must not grow while it runs (resident memory, measured after a warm-up).

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "linewarden/app/Launcher.h"
#include "platform/ScriptedDesktop.h"
#include "support/TestSupport.h"

namespace {

constexpr int kScans = 10'000;
constexpr int kCycle = 8;         // four scans without a call, then four with one
constexpr int kWarmUpScans = 1'000;
constexpr long kAllowedGrowthKiB = 1024;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kMemoryIsMeasurable = false;   // freed memory stays in the sanitizer's quarantine
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kMemoryIsMeasurable = false;
#else
constexpr bool kMemoryIsMeasurable = true;
#endif
#else
constexpr bool kMemoryIsMeasurable = true;
#endif

long residentKiB() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

struct Dialer {
    std::string name;
    double pause;                      // seconds between scans
    std::string idleText, callText;    // what the dialer shows
    std::string initial, started, ended;   // its status pairs
};

void PrintTo(const Dialer& dialer, std::ostream* os) { *os << dialer.name; }

// A console that checks standard output line by line against the expected transcript instead of
// keeping it, drops standard error, and on each scan's timing line empties the desktop's call log
// and notes the resident memory, so that the run holds nothing that grows with its length.
class SoakConsole final : public platform::Console {
public:
    explicit SoakConsole(std::vector<std::string> expected) : expected_(std::move(expected)) {}
    platform::ScriptedDesktop* desktop = nullptr;

    void out(std::string_view text) override {
        pending_ += text;
        for (auto end = pending_.find('\n'); end != std::string::npos; end = pending_.find('\n')) {
            const std::string line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (lines_ < expected_.size() && line != expected_[lines_] && mismatch_.empty()) {
                mismatch_ = "line " + std::to_string(lines_ + 1) + " is \"" + line + "\", expected \"" +
                            expected_[lines_] + "\"";
            }
            ++lines_;
        }
    }
    void flushOut() override { ++flushes_; }
    void err(std::string_view text) override {
        if (!text.starts_with("DEBUG: scanElements execution time: ")) return;
        ++scans_;
        desktop->clearCalls();
        if (scans_ == kWarmUpScans) rssAfterWarmUp_ = residentKiB();
        if (scans_ == kScans) rssAtEnd_ = residentKiB();
    }

    std::size_t lines() const { return lines_; }
    int flushes() const { return flushes_; }
    int scans() const { return scans_; }
    const std::string& mismatch() const { return mismatch_; }
    const std::string& pending() const { return pending_; }
    long rssAfterWarmUp() const { return rssAfterWarmUp_; }
    long rssAtEnd() const { return rssAtEnd_; }

private:
    std::vector<std::string> expected_;
    std::string pending_;
    std::string mismatch_;
    std::size_t lines_ = 0;
    int flushes_ = 0;
    int scans_ = 0;
    long rssAfterWarmUp_ = 0;
    long rssAtEnd_ = 0;
};

// The dialer's one window, idle at first; halfway between two scans it starts showing a call on
// the fifth scan of each cycle and stops on the first of the next.
std::string soakScenario(const Dialer& dialer) {
    std::string changes;
    for (int cycle = 0; cycle * kCycle < kScans; ++cycle) {
        const double callFrom = dialer.pause * (cycle * kCycle + kCycle / 2) - dialer.pause / 2;
        const double idleFrom = dialer.pause * ((cycle + 1) * kCycle) - dialer.pause / 2;
        changes += std::string(changes.empty() ? "" : ",") + R"({"from": )" + std::to_string(callFrom) +
                   R"(, "text": [")" + dialer.callText + R"("]}, {"from": )" + std::to_string(idleFrom) +
                   R"(, "text": [")" + dialer.idleText + R"("]})";
    }
    const bool zoom = dialer.name == "zoom";
    const std::string application =
        zoom ? R"("bundleId": "us.zoom.xos", "name": "zoom.us", "pid": 500)"
             : R"("bundleId": "com.brave.Browser", "name": "Brave Browser", "pid": 101)";
    const std::string title = zoom ? "Zoom Meeting"
                              : dialer.name == "kixie" ? "Kixie PowerCall"
                              : dialer.name == "trellus" ? "Trellus"
                                                         : "RingCentral for Google";
    return R"({"sleeps": )" + std::to_string(kScans) + R"(, "applications": [{)" + application +
           R"(, "windows": [{"number": 7, "title": ")" + title + R"(", "text": [")" + dialer.idleText +
           R"("], "changes": [)" + changes + "]}]}]}";
}

// Status pairs as lines: the initial one, then a start per cycle and an end for every cycle but
// the last, whose call is still on when the run ends.
std::vector<std::string> expectedLines(const Dialer& dialer) {
    std::vector<std::string> lines{dialer.initial, "NotConnected"};
    const int cycles = kScans / kCycle;
    for (int cycle = 0; cycle < cycles; ++cycle) {
        lines.insert(lines.end(), {dialer.started, "isDialing"});
        if (cycle + 1 < cycles) lines.insert(lines.end(), {dialer.ended, "NotConnected"});
    }
    return lines;
}

class Soak : public testing::TestWithParam<Dialer> {};

TEST_P(Soak, EveryChangeOnceAndInOrderWithoutGrowing) {
    const Dialer& dialer = GetParam();
    const std::vector<std::string> expected = expectedLines(dialer);
    SoakConsole console(expected);
    platform::ScriptedDesktop desktop(test_support::loadScenario(soakScenario(dialer)), console);
    console.desktop = &desktop;

    EXPECT_EQ(linewarden::runLineWarden({"linewarden", "--dialer=" + dialer.name}, desktop.platform()), 0);
    EXPECT_EQ(console.scans(), kScans);
    EXPECT_EQ(console.mismatch(), "");
    EXPECT_EQ(console.lines(), expected.size());
    EXPECT_EQ(console.flushes(), static_cast<int>(expected.size() / 2));
    EXPECT_EQ(console.pending(), "");

    const long growth = console.rssAtEnd() - console.rssAfterWarmUp();
    std::printf("%s: %d scans, %zu status lines, resident %ld KiB after %d scans, %ld KiB at the end (%+ld KiB)\n",
                dialer.name.c_str(), console.scans(), console.lines() / 2, console.rssAfterWarmUp(), kWarmUpScans,
                console.rssAtEnd(), growth);
    RecordProperty("rss_growth_kib", std::to_string(growth));
    if (kMemoryIsMeasurable) {
        EXPECT_LT(growth, kAllowedGrowthKiB);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Dialers, Soak,
    testing::Values(Dialer{"kixie", 3, "Available", "On Call", "Initial status: Available",
                           "Status changed from Available to On Call", "Status changed from On Call to Available"},
                    Dialer{"ringcentral", 3, "Phone", "0:42", "Initial status: Available",
                           "Status changed to Dialing (Timer detected via OCR)",
                           "Status changed to Available (Timer absent)"},
                    Dialer{"trellus", 3, "Idle", "Active", "Initial status: Idle",
                           "Status changed from Idle to Active", "Status changed from Active to Idle"},
                    Dialer{"zoom", 2, "Zoom Workplace", "00:42", "Initial status: Available",
                           "Status changed from Available to On Call", "Status changed from On Call to Available"}),
    [](const testing::TestParamInfo<Dialer>& info) { return info.param.name; });

}  // namespace
