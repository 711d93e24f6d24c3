// What watching Kixie in Brave costs on a Wayland desktop beside an X11 one, in one run:
//   - the window listing (the window list of the desktop): its first call in a fresh process and
//     the median of repeated calls;
//   - scan times of a changed and of an unchanged screen (median, 95th percentile, CPU), with the
//     production monitor class;
//   - the production `linewarden` process watching the idle dialer: share of one core, RSS.
// X11: chromium disguised by its window class on a private Xvfb. Wayland: a headless sway in a
// private session with a native-Wayland chromium called brave, the measuring done by this program
// run again inside the session (`--inside`), where the accessibility bus and the process ids are.
// Run by `scripts/cost-report.sh --wayland [SECONDS]`.

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/EndToEnd.h"
#include "linewarden/app/Applications.h"
#include "linewarden/monitors/KixieMonitor.h"
#include "platform/LinuxDesktop.h"
#include "support/WaylandSession.h"

#include "CostMeasures.h"

namespace {

using cost::cpuSeconds;
using cost::quantile;
using cost::residentMegabytes;
using cost::showAndSettle;
using cost::threadCpuMilliseconds;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kListings = 50;
constexpr int kChangedScans = 15;
constexpr int kUnchangedScans = 200;

class NullConsole final : public platform::Console {
public:
    void out(std::string_view) override {}
    void flushOut() override {}
    void err(std::string_view) override {}
};

double millisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The in-process figures, as name-value lines (what `--inside` hands out).
using Figures = std::vector<std::pair<std::string, double>>;

// Listing and scans on the desktop of this process, once `windowUp` has seen the Kixie window by
// other means (so that the first listing is timed with the window there).
Figures measure(const std::string& display, e2e::PageServer& pages, const std::function<bool()>& windowUp) {
    if (!windowUp()) return {};
    NullConsole quiet;
    auto desktop = platform::LinuxDesktop::open(quiet, linewarden::knownApplications(), display);
    auto& platform = desktop->platform();
    const auto listed = [&] {
        for (const auto& entry : platform.windowList.onScreenWindows().value_or(std::vector<platform::WindowListEntry>{})) {
            if (entry.windowName == "Kixie PowerCall") return true;
        }
        return false;
    };
    Figures figures;
    bool found = false;
    figures.push_back({"listing first ms", millisecondsOf([&] { found = listed(); })});
    if (!found) return {};
    std::vector<double> listings;
    for (int i = 0; i < kListings; ++i) listings.push_back(millisecondsOf([&] { listed(); }));
    figures.push_back({"listing repeated ms", quantile(listings, 0.5)});

    showAndSettle(pages, platform, {{"status", "Available"}}, 10s);
    linewarden::KixieMonitor monitor(platform, "com.brave.Browser");
    if (!monitor.findKixieWindow()) return {};
    std::vector<double> wall;
    std::vector<double> cpu;
    const auto timed = [&](bool changed) {
        wall.clear();
        cpu.clear();
        const int scans = changed ? kChangedScans : kUnchangedScans;
        for (int i = 0; i < scans; ++i) {
            if (changed) {
                nlohmann::json state{{"status", i % 2 == 0 ? "On Call" : "Available"}, {"note", "#" + std::to_string(i)}};
                showAndSettle(pages, platform, state, 10s);
            }
            const double cpuStart = threadCpuMilliseconds();
            wall.push_back(millisecondsOf([&] { monitor.scanElements(false); }));
            cpu.push_back(threadCpuMilliseconds() - cpuStart);
        }
    };
    timed(true);
    figures.push_back({"changed scan median ms", quantile(wall, 0.5)});
    figures.push_back({"changed scan p95 ms", quantile(wall, 0.95)});
    figures.push_back({"changed scan cpu ms", quantile(cpu, 0.5)});
    showAndSettle(pages, platform, {{"status", "Available"}}, 10s);
    monitor.scanElements(false);
    timed(false);
    figures.push_back({"unchanged scan median ms", quantile(wall, 0.5)});
    figures.push_back({"unchanged scan p95 ms", quantile(wall, 0.95)});
    figures.push_back({"unchanged scan cpu ms", quantile(cpu, 0.5)});
    return figures;
}

// The production monitor watching the idle dialer for `seconds` after its first status line;
// `pid` names the process to measure (on Wayland the program inside, not nsenter).
void watch(e2e::ProgramRun& run, const std::function<pid_t()>& pid, int seconds, Figures& figures) {
    for (int scan = 0; scan < 5; ++scan) {
        const auto out = run.nextScan(30s);
        if (!out || !out->empty()) break;
    }
    const pid_t measured = pid();
    const double cpuBefore = cpuSeconds(measured);
    const auto start = Clock::now();
    const auto until = start + std::chrono::seconds(seconds);
    while (Clock::now() < until) {
        run.nextErrLine(std::max(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()), 1ms));
    }
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    figures.push_back({"watching % of core", 100.0 * (cpuSeconds(measured) - cpuBefore) / wall});
    figures.push_back({"RSS MB", residentMegabytes(measured)});
    run.stop();
}

// The process a launcher (nsenter) started, as seen from outside.
pid_t childOf(pid_t launcher) {
    std::ifstream children("/proc/" + std::to_string(launcher) + "/task/" + std::to_string(launcher) + "/children");
    pid_t child = 0;
    children >> child;
    return child;
}

int inside() {
    auto pages = e2e::PageServer::start(E2E_PAGES_DIR);
    if (!pages) return 1;
    pages->setState({{"status", "Available"}});
    std::cout << pages->url("kixie.html") << std::endl;   // the browser is started from outside
    const auto swayShows = [] {
        return desktop_test::waitUntil(
            [] { return std::system("swaymsg -t get_tree | grep -q '\"Kixie PowerCall\"'") == 0; }, 60s);
    };
    for (const auto& [name, value] : measure({}, *pages, swayShows)) std::cout << name << "=" << value << std::endl;
    return 0;
}

Figures x11Figures(int seconds) {
    std::string why;
    auto desktop = e2e::Desktop::start(false, why);
    if (!desktop) {
        std::cerr << "wayland_cost_report: " << why << "\n";
        return {};
    }
    desktop->pages().setState({{"status", "Available"}});
    auto browser = desktop->openBrowser("Brave-browser", "kixie.html", 400, 600);
    Figures figures = measure(desktop->display(), desktop->pages(),
                              [&] { return desktop->waitForWindow("Kixie PowerCall", 60s).has_value(); });
    desktop->pages().setState({{"status", "Available"}});
    e2e::ProgramRun run(e2e::lineWardenBinary(), {"--dialer=kixie"}, desktop->display());
    watch(run, [&] { return run.pid(); }, seconds, figures);
    return figures;
}

Figures waylandFigures(const std::string& self, int seconds) {
    std::string why;
    auto session = desktop_test::WaylandSession::start(why);
    auto sway = session ? desktop_test::startSway(*session, why) : nullptr;
    if (!sway) {
        std::cerr << "wayland_cost_report: " << why << "\n";
        return {};
    }
    const auto line = session->commandInside({self, "--inside"});
    test_support::ChildProcess measuring(line.front(), {line.begin() + 1, line.end()});
    const auto url = measuring.readOutLine(30s);
    if (!url) return {};
    auto browser = desktop_test::WaylandBrowser::start(*session, "brave", *url, 400, 600);
    Figures figures;
    while (auto figure = measuring.readOutLine(600s)) {
        const auto equals = figure->find('=');
        if (equals != std::string::npos) figures.push_back({figure->substr(0, equals), std::stod(figure->substr(equals + 1))});
    }
    if (figures.empty()) return {};
    // The watched run shows the page as the measuring process left it: its server is gone, so
    // the page keeps its last state.
    e2e::ProgramRun run(session->commandInside({e2e::lineWardenBinary(), "--dialer=kixie"}));
    watch(run, [&] { return childOf(run.pid()); }, seconds, figures);
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--inside") return inside();
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    char self[4096] = {};
    if (readlink("/proc/self/exe", self, sizeof self - 1) <= 0) return 1;
    std::cerr << "wayland_cost_report: X11...\n";
    const Figures x11 = x11Figures(seconds);
    std::cerr << "wayland_cost_report: Wayland (sway)...\n";
    const Figures wayland = waylandFigures(self, seconds);
    std::printf("Kixie in Brave, 400x600 points          X11 (Xvfb)   Wayland (sway)\n");
    for (std::size_t i = 0; i < std::max(x11.size(), wayland.size()); ++i) {
        const std::string& name = i < x11.size() ? x11[i].first : wayland[i].first;
        std::printf("%-40s %-12.2f %.2f\n", name.c_str(), i < x11.size() ? x11[i].second : 0.0,
                    i < wayland.size() ? wayland[i].second : 0.0);
    }
    std::printf("\nlisting: the window list with the dialer in it; first: the first call of a fresh process.\n"
                "watching and RSS: the linewarden process over %d s watching the idle dialer.\n", seconds);
    return x11.empty() || wayland.empty() ? 1 : 0;
}
