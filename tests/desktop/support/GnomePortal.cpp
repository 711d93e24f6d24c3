#include "support/GnomePortal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace desktop_test {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr const char* kBackendName = "org.freedesktop.impl.portal.desktop.gnome";

}  // namespace

std::unique_ptr<GnomePortal> GnomePortal::start(std::string& why) {
    std::unique_ptr<GnomePortal> portal(new GnomePortal());
    portal->session_ = WaylandSession::start(why);
    if (!portal->session_) return nullptr;
    portal->gnome_ = GnomeSession::start(*portal->session_, why);
    if (!portal->gnome_) return nullptr;
    const fs::path folder = portal->folder();
    // The frontend finds its backends through portal files; this one names the stand-in's bus
    // name for ScreenCast on GNOME, as xdg-desktop-portal-gnome's own file does.
    fs::create_directories(folder / "portals");
    std::ofstream(folder / "portals" / "gnome.portal")
        << "[portal]\nDBusName=" << kBackendName << "\nInterfaces=org.freedesktop.impl.portal.ScreenCast\nUseIn=gnome\n";
    fs::permissions(folder / "portals", fs::perms::all);
    portal->reset();
    if (!portal->gnome_->startPipeWire()) {
        why = "PipeWire did not come up";
        return nullptr;
    }
    portal->standIn_ = portal->session_->launch(
        {SCREENCAST_STAND_IN},
        {"STAND_IN_RULE=" + (folder / "rule").string(), "STAND_IN_LOG=" + (folder / "stand-in.log").string()},
        (folder / "stand-in.out").string());
    if (!portal->standIn_ || !portal->gnome_->waitForBusName(kBackendName)) {
        why = "the stand-in did not take the portal backend's name: " + readFile(folder / "stand-in.out");
        return nullptr;
    }
    if (!portal->gnome_->startPortalFrontend({"XDG_DESKTOP_PORTAL_DIR=" + (folder / "portals").string()})) {
        why = "the portal frontend did not start";
        return nullptr;
    }
    portal->pages_ = e2e::PageServer::start(E2E_PAGES_DIR);
    if (!portal->pages_) {
        why = "cannot listen on 127.0.0.1";
        return nullptr;
    }
    return portal;
}

GnomePortal::~GnomePortal() {
    // The stand-in and the pages before the session they serve.
    pages_.reset();
    standIn_.reset();
    gnome_.reset();
    session_.reset();
}

fs::path GnomePortal::tokenFile() const { return folder() / ".local/state/linewarden/screencast-restore-token"; }

void GnomePortal::pick(const std::string& rule) const {
    std::ofstream(folder() / "rule") << rule << "\n";
    fs::permissions(folder() / "rule", fs::perms::all);
}

std::string GnomePortal::standInLog() const { return readFile(folder() / "stand-in.log"); }

void GnomePortal::reset() const {
    fs::remove(tokenFile());
    fs::remove(folder() / "stand-in.log");
    pick("Kixie PowerCall");
}

std::unique_ptr<WaylandBrowser> GnomePortal::openPage(const std::string& page, const std::string& title,
                                                      const nlohmann::json& state, int width, int height,
                                                      const std::string& program) {
    const int version = pages_->setState(state);
    auto browser = WaylandBrowser::start(*session_, program, pages_->url(page), width, height);
    if (!browser) {
        ADD_FAILURE() << "chromium did not start as " << program;
        return nullptr;
    }
    const bool listed = waitUntil(
        [&] {
            return session_->run({e2e::tabRosterBinary()}, {}, 30s).out.find(": " + title + "\n") != std::string::npos;
        },
        60s);
    if (!listed || !pages_->waitShown(version, 15s)) {
        ADD_FAILURE() << "no window \"" << title << "\" showing its state came up; chromium wrote:\n" << browser->log();
        return nullptr;
    }
    return browser;
}

std::unique_ptr<e2e::ProgramRun> GnomePortal::runLineWarden(const std::string& dialer) {
    return std::make_unique<e2e::ProgramRun>(session_->commandInside({e2e::lineWardenBinary(), "--dialer=" + dialer}));
}

}  // namespace desktop_test
