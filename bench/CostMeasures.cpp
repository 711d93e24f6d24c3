#include "CostMeasures.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

namespace cost {

double quantile(std::vector<double> values, double q) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1) + 0.5)];
}

double threadCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double residentMegabytes(pid_t pid, const std::string& field) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) return std::stod(line.substr(field.size())) / 1024.0;
    }
    return 0;
}

double cpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14 || i == 15) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void showAndSettle(e2e::PageServer& pages, platform::Platform& platform, const nlohmann::json& state,
                   std::chrono::milliseconds shownWithin) {
    pages.waitShown(pages.setState(state), shownWithin);
    std::optional<std::vector<std::uint8_t>> previous;
    for (int attempt = 0; attempt < 20; ++attempt) {
        for (const auto& window :
             platform.screenCapture.shareableWindows(false, true).value_or(std::vector<platform::ShareableWindow>{})) {
            if (!window.owningApplication || window.frame.width < 50) continue;
            auto image = platform.screenCapture.captureWindow(window, static_cast<int>(window.frame.width),
                                                              static_cast<int>(window.frame.height));
            if (!image) continue;
            if (previous && *previous == image->rgba()) return;
            previous = image->rgba();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
}

}  // namespace cost
