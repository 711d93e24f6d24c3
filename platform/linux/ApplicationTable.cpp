#include "platform/linux/ApplicationTable.h"

#include <algorithm>

namespace platform::x11 {

namespace {

// Chromium-based browsers name their class after the desktop file ("google-chrome.desktop" gives
// "Google-chrome"); beta and developer channels carry a suffix and are other applications, as on
// macOS. Zoom's windows say "zoom" (some builds add a trailing blank); its floating video and
// banner windows have classes of their own, which the program name still ties to Zoom.
const std::vector<KnownApplication> kApplications{
    {"com.google.Chrome", "Google Chrome", {"Google-chrome"}, {"chrome", "google-chrome"}},
    {"com.brave.Browser", "Brave Browser", {"Brave-browser"}, {"brave", "brave-browser"}},
    {"com.microsoft.edgemac", "Microsoft Edge", {"Microsoft-edge"}, {"msedge", "microsoft-edge"}},
    {"us.zoom.xos", "Zoom", {"zoom"}, {"zoom", "ZoomLauncher"}},
};

std::string_view trimmed(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

std::span<const KnownApplication> knownApplications() { return kApplications; }

const KnownApplication* applicationForWindowClass(std::string_view windowClass) {
    windowClass = trimmed(windowClass);
    if (windowClass.empty()) return nullptr;
    for (const KnownApplication& application : kApplications) {
        for (std::string_view known : application.windowClasses) {
            if (equalIgnoringAsciiCase(windowClass, known)) return &application;
        }
    }
    return nullptr;
}

const KnownApplication* applicationForExecutable(std::string_view processName) {
    processName = trimmed(processName);
    if (processName.empty()) return nullptr;
    for (const KnownApplication& application : kApplications) {
        for (std::string_view known : application.executables) {
            if (processName == known) return &application;
        }
    }
    return nullptr;
}

const KnownApplication* applicationForBundle(std::string_view bundleId) {
    for (const KnownApplication& application : kApplications) {
        if (application.bundleId == bundleId) return &application;
    }
    return nullptr;
}

}  // namespace platform::x11
