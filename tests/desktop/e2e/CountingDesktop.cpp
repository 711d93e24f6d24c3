#include "e2e/CountingDesktop.h"

#include "linewarden/app/Applications.h"

namespace e2e {

CountingDesktop::CountingDesktop(const std::string& display, bool plain)
    : plain_(plain),
      desktop_(platform::LinuxDesktop::open(backendConsole_, linewarden::knownApplications(), display)),
      platform_{console_,
                desktop_->platform().workspace,
                desktop_->platform().accessibility,
                desktop_->platform().windowList,
                *this,
                *this,
                desktop_->platform().clock,
                desktop_->platform().accessProblem} {}

}  // namespace e2e
