// What watching a dialer costs, per dialer, on real chromium windows under a private Xvfb:
//   - scan time of a changed and of an unchanged screen (median and 95th percentile), measured
//     in this process with the production monitor classes and the X11 desktop;
//   - the production `linewarden` process watching an idle dialer: time from start to its first
//     status line, the share of one core it used (from /proc/PID/stat) and its resident memory;
//   - the same for a busy idle browser dialer, whose page renders its status area again four
//     times a second with the same pixels while a spinner turns elsewhere in the window: the
//     scans (spaced so that each sees such redraws) and the process watching it;
//   - the same process watching a Zoom meeting whose timer ticks over moving video;
//   - resident memory of this process over many scans, to show it stays flat.
// Prints one table. Run by scripts/cost-report.sh; `cost_report [seconds] [scans] [linewarden]` sets
// how long each process is watched (60), how many scans the memory run takes (10000) and which
// linewarden program is watched (the one built beside it), to compare a build with an older one.

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/EndToEnd.h"
#include "linewarden/app/Applications.h"
#include "linewarden/monitors/KixieMonitor.h"
#include "linewarden/monitors/RingCentralMonitor.h"
#include "linewarden/monitors/TrellusMonitor.h"
#include "linewarden/monitors/ZoomMonitor.h"
#include "platform/LinuxDesktop.h"

#include "CostMeasures.h"

namespace {

using cost::cpuSeconds;
using cost::quantile;
using cost::residentMegabytes;
using cost::showAndSettle;
using cost::threadCpuMilliseconds;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class NullConsole final : public platform::Console {
public:
    void out(std::string_view) override {}
    void flushOut() override {}
    void err(std::string_view) override {}
};

struct Dialer {
    std::string name;          // as --dialer= names it
    std::string windowClass;
    std::string page;
    std::string title;
    int width;
    int height;
    nlohmann::json idle;       // the state watched while idle; alternates with `other` for changes
    nlohmann::json other;
};

const std::vector<Dialer> kDialers{
    {"kixie", "Brave-browser", "kixie.html", "Kixie PowerCall", 400, 600, {{"status", "Available"}},
     {{"status", "On Call"}}},
    {"ringcentral", "Google-chrome", "ringcentral.html", "RingCentral for Google", 420, 600, {{"call", "no"}},
     {{"call", "yes"}, {"timer", "0:07"}}},
    {"trellus", "Brave-browser", "trellus.html", "Trellus", 480, 600, {{"state", "Idle"}}, {{"state", "Active"}}},
    {"zoom", "zoom", "zoom.html", "Zoom Workplace", 800, 600, {{"screen", "home"}}, {{"screen", "calling"}}},
};

std::unique_ptr<linewarden::LineWarden> monitorFor(const std::string& dialer, platform::Platform& platform) {
    if (dialer == "kixie") {
        auto monitor = std::make_unique<linewarden::KixieMonitor>(platform, "com.brave.Browser");
        return monitor->findKixieWindow() ? std::move(monitor) : nullptr;
    }
    if (dialer == "ringcentral") {
        auto monitor = std::make_unique<linewarden::RingCentralMonitor>(platform, "com.google.Chrome");
        return monitor->findRingCentralWindow() ? std::move(monitor) : nullptr;
    }
    if (dialer == "trellus") {
        auto monitor = std::make_unique<linewarden::TrellusMonitor>(platform, "com.brave.Browser");
        return monitor->findTrellusWindow() ? std::move(monitor) : nullptr;
    }
    return std::make_unique<linewarden::ZoomMonitor>(platform);
}

struct Spread {
    double median = 0;
    double p95 = 0;
    double cpuMedian = 0;   // of this thread's CPU time: what the scan cost, however busy the machine
};

// Times scans: wall-clock milliseconds and this thread's CPU milliseconds of each.
class ScanTimes {
public:
    void time(const std::function<void()>& scan) {
        const auto start = Clock::now();
        const double cpuStart = threadCpuMilliseconds();
        scan();
        cpu_.push_back(threadCpuMilliseconds() - cpuStart);
        wall_.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    Spread spread() const { return {quantile(wall_, 0.5), quantile(wall_, 0.95), quantile(cpu_, 0.5)}; }

private:
    std::vector<double> wall_;
    std::vector<double> cpu_;
};

struct ProcessFigures {
    double startupMs = 0;
    double cpuPercent = 0;
    double rssMb = 0;
    double peakMb = 0;
};

// The production monitor watching the display for `seconds` after its first status line.
ProcessFigures watchWithProcess(const std::string& binary, const std::string& display, const std::string& dialer,
                                int seconds) {
    ProcessFigures figures;
    const auto start = Clock::now();
    e2e::ProgramRun run(binary, {"--dialer=" + dialer}, display);
    for (int scan = 0; scan < 5; ++scan) {
        const auto out = run.nextScan(30s);
        if (!out) break;
        if (!out->empty()) {
            figures.startupMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            break;
        }
    }
    const double cpuBefore = cpuSeconds(run.pid());
    const auto watchStart = Clock::now();
    const auto until = watchStart + std::chrono::seconds(seconds);
    while (Clock::now() < until) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        run.nextErrLine(std::max(left, 1ms));   // keeps its standard error flowing
    }
    const double cpu = cpuSeconds(run.pid()) - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - watchStart).count();
    figures.cpuPercent = 100.0 * cpu / wall;
    figures.rssMb = residentMegabytes(run.pid());
    figures.peakMb = residentMegabytes(run.pid(), "VmHWM:");
    run.stop();
    return figures;
}

struct Row {
    std::string dialer;
    std::optional<Spread> changed;
    std::optional<Spread> unchanged;
    ProcessFigures idle;
};

// The idle state of a browser dialer's page, busy: see dialer.js.
nlohmann::json busy(nlohmann::json state) {
    state["busy"] = "yes";
    return state;
}

std::string fixed(double value, int decimals) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int memoryScans = argc > 2 ? std::max(100, std::atoi(argv[2])) : 10000;
    const std::string binary = argc > 3 ? argv[3] : e2e::lineWardenBinary();
    constexpr int kChangedScans = 15;
    // A meeting's frames differ in what moves behind its bars, and so in cost: more of them.
    constexpr int kMeetingScans = 40;
    constexpr int kUnchangedScans = 200;
    // Scans of a busy page, each after a pause in which the page has redrawn itself.
    constexpr int kBusyScans = 40;
    constexpr auto kBusyPause = 300ms;

    std::string why;
    auto desktop = e2e::Desktop::start(false, why);
    if (!desktop) {
        std::cerr << "cost_report: " << why << "\n";
        return 1;
    }
    NullConsole quiet;
    std::vector<Row> rows;
    Spread meetingScan;
    ProcessFigures meeting;
    double rssEarly = 0;
    double rssLate = 0;

    for (const Dialer& dialer : kDialers) {
        std::cerr << "cost_report: " << dialer.name << "...\n";
        desktop->pages().setState(dialer.idle);
        auto browser = desktop->openBrowser(dialer.windowClass, dialer.page, dialer.width, dialer.height);
        if (!browser || !desktop->waitForWindow(dialer.title)) {
            std::cerr << "cost_report: no " << dialer.title << " window came up\n";
            return 1;
        }
        Row row{dialer.name, {}, {}, {}};
        std::optional<Row> busyRow;
        if (dialer.name != "zoom") busyRow = Row{dialer.name + " busy", std::nullopt, {}, {}};
        {
            auto x11 = platform::LinuxDesktop::open(quiet, linewarden::knownApplications(), desktop->display());
            auto& platform = x11->platform();
            showAndSettle(desktop->pages(), platform, dialer.idle);
            auto monitor = monitorFor(dialer.name, platform);
            if (!monitor) {
                std::cerr << "cost_report: the " << dialer.name << " monitor found no window\n";
                return 1;
            }
            ScanTimes changed;
            ScanTimes unchanged;
            // Each change shows a screen not seen before (a note beside the text that changes
            // numbers it), so no reading of an earlier screen can be reused.
            for (int i = 0; i < kChangedScans; ++i) {
                nlohmann::json state = i % 2 == 0 ? dialer.other : dialer.idle;
                state["note"] = "#" + std::to_string(i + 1);
                showAndSettle(desktop->pages(), platform, state);
                changed.time([&] { monitor->scanElements(false); });
            }
            showAndSettle(desktop->pages(), platform, dialer.idle);
            monitor->scanElements(false);
            for (int i = 0; i < kUnchangedScans; ++i) unchanged.time([&] { monitor->scanElements(false); });
            row.changed = changed.spread();
            row.unchanged = unchanged.spread();

            if (busyRow) {
                desktop->pages().waitShown(desktop->pages().setState(busy(dialer.idle)));
                std::this_thread::sleep_for(1s);
                monitor->scanElements(false);
                ScanTimes scans;
                for (int i = 0; i < kBusyScans; ++i) {
                    std::this_thread::sleep_for(kBusyPause);
                    scans.time([&] { monitor->scanElements(false); });
                }
                busyRow->unchanged = scans.spread();
            }

            if (dialer.name == "kixie") {
                // Memory over many scans of the busy page: mostly unchanged, the state changing
                // every 200 scans.
                for (int i = 0; i < memoryScans; ++i) {
                    if (i % 200 == 0) desktop->pages().setState(busy(i % 400 == 0 ? dialer.other : dialer.idle));
                    monitor->scanElements(false);
                    if (i == memoryScans / 10) rssEarly = residentMegabytes(getpid());
                }
                rssLate = residentMegabytes(getpid());
            }
        }
        desktop->pages().setState(dialer.idle);
        row.idle = watchWithProcess(binary, desktop->display(), dialer.name, seconds);
        rows.push_back(row);
        if (busyRow) {
            desktop->pages().setState(busy(dialer.idle));
            busyRow->idle = watchWithProcess(binary, desktop->display(), dialer.name, seconds);
            rows.push_back(*busyRow);
        }
        browser.reset();
        desktop->waitWindowGone(dialer.title);
    }

    {
        std::cerr << "cost_report: zoom meeting...\n";
        desktop->pages().setState({{"timer", "00:42"}});
        auto browser = desktop->openBrowser("zoom", "zoom-meeting.html", 800, 600);
        if (!browser || !desktop->waitForWindow("Zoom Meeting")) {
            std::cerr << "cost_report: no Zoom Meeting window came up\n";
            return 1;
        }
        std::this_thread::sleep_for(1s);
        {
            auto x11 = platform::LinuxDesktop::open(quiet, linewarden::knownApplications(), desktop->display());
            linewarden::ZoomMonitor monitor(x11->platform());
            ScanTimes scans;
            for (int i = 0; i < kMeetingScans; ++i) scans.time([&] { monitor.scanElements(false); });
            meetingScan = scans.spread();
        }
        meeting = watchWithProcess(binary, desktop->display(), "zoom", seconds);
    }

    std::cout << "dialer         changed scan ms         unchanged scan ms       watching   RSS    peak   start-up\n"
                 "               median  p95     cpu     median  p95     cpu     % of core  MB     MB     ms\n";
    const auto print = [](const std::string& name, const std::optional<Spread>& changed,
                          const std::optional<Spread>& unchanged, const ProcessFigures& process) {
        std::printf("%-14s %-7s %-7s %-7s %-7s %-7s %-7s %-10s %-6s %-6s %s\n", name.c_str(),
                    changed ? fixed(changed->median, 1).c_str() : "-", changed ? fixed(changed->p95, 1).c_str() : "-",
                    changed ? fixed(changed->cpuMedian, 1).c_str() : "-",
                    unchanged ? fixed(unchanged->median, 2).c_str() : "-",
                    unchanged ? fixed(unchanged->p95, 2).c_str() : "-",
                    unchanged ? fixed(unchanged->cpuMedian, 2).c_str() : "-", fixed(process.cpuPercent, 3).c_str(),
                    fixed(process.rssMb, 1).c_str(), fixed(process.peakMb, 1).c_str(), fixed(process.startupMs, 0).c_str());
    };
    for (const Row& row : rows) print(row.dialer, row.changed, row.unchanged, row.idle);
    print("zoom meeting", meetingScan, std::nullopt, meeting);
    std::printf("\ncpu: the median of the scanning thread's CPU time (wall-clock times grow on a busy machine).\n");
    std::printf("\nbusy: the idle page renders its status area again 4 times a second (same pixels) while a spinner\n"
                "turns elsewhere; its scans (under unchanged) each follow a pause of %d ms.\n",
                static_cast<int>(kBusyPause.count()));
    std::printf("zoom meeting: an 800x600 window whose call timer ticks over video that moves on every frame,\n"
                "captured at 1600x1200.\n");
    std::printf("watching and RSS: the linewarden process over %d s (idle dialer, busy or not; zoom meeting: the moving one);\n"
                "peak: its largest resident memory since it started (VmHWM);\n"
                "start-up: from starting it to its first status line.\n", seconds);
    std::printf("memory over %d scans of a busy Kixie page in one process: %s MB after %d, %s MB after %d.\n", memoryScans,
                fixed(rssEarly, 1).c_str(), memoryScans / 10, fixed(rssLate, 1).c_str(), memoryScans);
    return 0;
}
