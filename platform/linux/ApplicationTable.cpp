#include "platform/linux/ApplicationTable.h"

#include <algorithm>

namespace platform::x11 {

namespace {

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

const KnownApplication* applicationForWindowClass(ApplicationList applications, std::string_view windowClass) {
    windowClass = trimmed(windowClass);
    if (windowClass.empty()) return nullptr;
    for (const KnownApplication& application : applications) {
        for (std::string_view known : application.windowClasses) {
            if (equalIgnoringAsciiCase(windowClass, known)) return &application;
        }
    }
    return nullptr;
}

const KnownApplication* applicationForExecutable(ApplicationList applications, std::string_view processName) {
    processName = trimmed(processName);
    if (processName.empty()) return nullptr;
    for (const KnownApplication& application : applications) {
        for (std::string_view known : application.executables) {
            if (processName == known) return &application;
        }
    }
    return nullptr;
}

}  // namespace platform::x11
