// What watching Kixie costs on GNOME, where the monitor reads the dialer's window through the
// ScreenCast portal and PipeWire (the person's pick made by the tests' stand-in; see
// tests/desktop/support/GnomePortal.h). The production `linewarden` process, in a headless GNOME
// session with a native-Wayland brave showing the Kixie page:
//   - time from start to its first status line with the consent kept from an earlier run;
//   - scan times (the monitor's own timing line) of unchanged screens and of changed ones;
//   - the share of one core and the resident memory while it watches the idle dialer.
// `portal_cost_report [seconds]` watches the idle dialer that long (120). Not a test: figures
// depend on the machine.

#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "support/GnomePortal.h"

#include "CostMeasures.h"

namespace {

using cost::cpuSeconds;
using cost::residentMegabytes;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// The monitor's process: the program that nsenter (the run's own child) started in the session.
pid_t monitorProcess(pid_t launcher) {
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
        while (dirent* entry = readdir(proc.get())) {
            const pid_t pid = std::atoi(entry->d_name);
            if (pid <= 0) continue;
            std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
            std::string name;
            std::getline(comm, name);
            if (name != "linewarden") continue;
            // Its ancestors include the launcher.
            for (pid_t parent = pid; parent > 1;) {
                std::ifstream stat("/proc/" + std::to_string(parent) + "/stat");
                std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
                const auto close = text.rfind(')');
                if (close == std::string::npos) break;
                std::istringstream fields(text.substr(close + 2));
                std::string state;
                fields >> state >> parent;
                if (parent == launcher) return pid;
            }
        }
        std::this_thread::sleep_for(50ms);
    }
    return 0;
}

// The scan times the monitor wrote on standard error so far ("DEBUG: scanElements execution time: 3.86ms").
std::vector<double> scanTimes(const std::string& err) {
    std::vector<double> times;
    const std::string marker = "scanElements execution time: ";
    for (auto at = err.find(marker); at != std::string::npos; at = err.find(marker, at + 1)) {
        times.push_back(std::stod(err.substr(at + marker.size())));
    }
    return times;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 120;
    std::string why;
    auto desktop = desktop_test::GnomePortal::start(why);
    if (!desktop) {
        std::cerr << "no GNOME session with the portal here: " << why << "\n";
        return 1;
    }
    auto browser = desktop->openPage("kixie.html", "Kixie PowerCall", {{"status", "Available"}}, 400, 600);
    if (!browser) return 1;
    {
        // The consent, given once.
        auto first = desktop->runLineWarden("kixie");
        e2e::awaitOutput(*first, 2);
        first->stop();
    }
    const auto started = Clock::now();
    auto monitor = desktop->runLineWarden("kixie");
    if (e2e::awaitOutput(*monitor, 2).size() != 2) {
        std::cerr << "no status line:\n" << monitor->errSoFar();
        return 1;
    }
    const double firstLine = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    const pid_t pid = monitorProcess(monitor->pid());
    // Changed screens: the status flips at every scan.
    const std::size_t before = scanTimes(monitor->errSoFar()).size();
    for (int flip = 0; flip < 6; ++flip) {
        desktop->pages().setState({{"status", flip % 2 == 0 ? "On Call" : "Available"}});
        e2e::awaitOutput(*monitor, 2);
    }
    auto all = scanTimes(monitor->errSoFar());
    const std::vector<double> changed(all.begin() + static_cast<long>(before), all.end());
    // The idle dialer.
    const double cpuStart = cpuSeconds(pid);
    const double rssStart = residentMegabytes(pid);
    const std::size_t idleFrom = all.size();
    // Its standard error is read all the while, as the host reads it.
    const auto end = Clock::now() + std::chrono::seconds(seconds);
    while (Clock::now() < end) {
        monitor->nextErrLine(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()));
    }
    const double cpu = cpuSeconds(pid) - cpuStart;
    all = scanTimes(monitor->errSoFar());
    const std::vector<double> unchanged(all.begin() + static_cast<long>(idleFrom), all.end());
    std::printf("Kixie in brave on GNOME 43 (ScreenCast portal, PipeWire), 400x600 window:\n");
    std::printf("  first status line with the consent kept: %.0f ms after start\n", firstLine);
    std::printf("  scan, changed screen: median %.1f ms over %zu scans\n", median(changed), changed.size());
    std::printf("  scan, unchanged screen: median %.1f ms over %zu scans\n", median(unchanged), unchanged.size());
    std::printf("  idle dialer for %d s: %.2f%% of one core; resident %.1f MB at its start, %.1f MB after %zu scans\n",
                seconds, 100.0 * cpu / seconds, rssStart, residentMegabytes(pid), all.size());
    monitor->stop();
    return 0;
}
