#pragma once

// A GNOME session whose ScreenCast portal serves the monitor, for the portal's tests and its cost
// report: the headless GNOME session (GnomeSession) with PipeWire, screencast-stand-in in the
// portal backend's place (it replaces the person at the sharing dialog; see its opening comment),
// the real xdg-desktop-portal frontend, and the end-to-end page server.

#include <filesystem>
#include <memory>
#include <string>

#include "e2e/EndToEnd.h"
#include "support/GnomeSession.h"

namespace desktop_test {

class GnomePortal {
public:
    // Nothing, with the reason in `why`, when any part does not come up.
    static std::unique_ptr<GnomePortal> start(std::string& why);
    ~GnomePortal();
    GnomePortal(const GnomePortal&) = delete;
    GnomePortal& operator=(const GnomePortal&) = delete;

    WaylandSession& session() { return *session_; }
    e2e::PageServer& pages() { return *pages_; }

    // The session user's kept consent (its HOME is the session's folder).
    std::filesystem::path tokenFile() const;
    // The rule the stand-in picks by at the next dialog: a title text, or "refuse".
    void pick(const std::string& rule) const;
    // The stand-in's answers so far, one line each ("picked TITLE", "restored TITLE", "refused").
    std::string standInLog() const;
    // Forgets the kept consent and the stand-in's answers, and picks the Kixie window again.
    void reset() const;

    // `page` showing `state` in a new native-Wayland browser called `program`, once tabroster
    // lists its window `title` from the accessibility bus and the page shows the state; nothing,
    // with a failure added, otherwise.
    std::unique_ptr<WaylandBrowser> openPage(const std::string& page, const std::string& title,
                                             const nlohmann::json& state, int width, int height,
                                             const std::string& program = "brave");
    std::unique_ptr<e2e::ProgramRun> runLineWarden(const std::string& dialer);

private:
    GnomePortal() = default;
    std::filesystem::path folder() const { return session_->runtimeDirectory(); }

    std::unique_ptr<WaylandSession> session_;
    std::unique_ptr<GnomeSession> gnome_;
    std::unique_ptr<ChildProcess> standIn_;
    std::unique_ptr<e2e::PageServer> pages_;
};

}  // namespace desktop_test
