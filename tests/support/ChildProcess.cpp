#include "support/ChildProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace test_support {

namespace {

// How long the streams may take to end after the child was killed.
constexpr auto kDrainAfterKill = 5s;

struct SpawnActions {
    posix_spawn_file_actions_t actions{};
    SpawnActions() { posix_spawn_file_actions_init(&actions); }
    ~SpawnActions() { posix_spawn_file_actions_destroy(&actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;
};

bool makePipe(UniqueFd& readEnd, UniqueFd& writeEnd) {
    std::array<int, 2> fds{};
    if (::pipe2(fds.data(), O_CLOEXEC) != 0) return false;
    readEnd.reset(fds[0]);
    writeEnd.reset(fds[1]);
    return true;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
}

void UniqueFd::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& args) {
    UniqueFd outWrite;
    UniqueFd errWrite;
    if (!makePipe(out_, outWrite) || !makePipe(err_, errWrite)) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return;
    }
    // Both pipe ends are close-on-exec; only the duplicates on 1 and 2 reach the child.
    SpawnActions spawn;
    posix_spawn_file_actions_addopen(&spawn.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&spawn.actions, outWrite.get(), 1);
    posix_spawn_file_actions_adddup2(&spawn.actions, errWrite.get(), 2);

    std::vector<std::string> argvStrings{program};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& arg : argvStrings) argv.push_back(arg.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, program.c_str(), &spawn.actions, nullptr, argv.data(), environ);
    if (rc != 0) {
        ADD_FAILURE() << "cannot start " << program << ": " << std::strerror(rc);
        out_.reset();
        err_.reset();
        return;
    }
    pid_ = pid;
}

ChildProcess::~ChildProcess() {
    if (started() && !reaped_) {
        ::kill(pid_, SIGKILL);
        reap(true);
    }
}

std::optional<std::string> ChildProcess::readOutLine(std::chrono::milliseconds timeout) {
    return readLine(out_, outBuffer_, timeout);
}

std::optional<std::string> ChildProcess::readErrLine(std::chrono::milliseconds timeout) {
    return readLine(err_, errBuffer_, timeout);
}

std::optional<std::string> ChildProcess::readLine(UniqueFd& fd, std::string& buffer, std::chrono::milliseconds timeout) {
    const Deadline deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const auto end = buffer.find('\n'); end != std::string::npos) {
            std::string line = buffer.substr(0, end);
            buffer.erase(0, end + 1);
            return line;
        }
        if (!fd) {
            if (buffer.empty()) return std::nullopt;
            return std::exchange(buffer, {});
        }
        if (!pump(deadline)) {
            if (fd) return std::nullopt;  // time ran out
        }
    }
}

bool ChildProcess::pump(Deadline deadline) {
    std::array<pollfd, 2> fds{{{out_.get(), POLLIN, 0}, {err_.get(), POLLIN, 0}}};
    if (!out_ && !err_) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) return false;
    const int ready = ::poll(fds.data(), fds.size(), static_cast<int>(left.count()));
    if (ready < 0 && errno == EINTR) return true;
    if (ready <= 0) return false;
    const std::array<std::pair<UniqueFd*, std::string*>, 2> streams{{{&out_, &outBuffer_}, {&err_, &errBuffer_}}};
    for (std::size_t i = 0; i < fds.size(); ++i) {
        if (fds[i].fd < 0 || fds[i].revents == 0) continue;
        std::array<char, 4096> chunk{};
        const ssize_t n = ::read(fds[i].fd, chunk.data(), chunk.size());
        if (n > 0) {
            streams[i].second->append(chunk.data(), static_cast<std::size_t>(n));
        } else if (n == 0 || errno != EINTR) {
            streams[i].first->reset();  // the stream ended
        }
    }
    return true;
}

bool ChildProcess::running() {
    if (!started() || reaped_) return false;
    reap(false);
    return !reaped_;
}

void ChildProcess::reap(bool block) {
    if (!started() || reaped_) return;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid_, &status, block ? 0 : WNOHANG);
    } while (result < 0 && errno == EINTR);
    if (result == pid_) {
        reaped_ = true;
        status_ = status;
    } else if (result < 0) {
        reaped_ = true;  // nothing left to wait for
        status_ = 0;
    }
}

ProcessResult ChildProcess::wait(std::chrono::milliseconds timeout) {
    if (!started()) return {};
    const Deadline deadline = std::chrono::steady_clock::now() + timeout;
    while ((out_ || err_) && std::chrono::steady_clock::now() < deadline) pump(deadline);
    // A child may close its streams before it exits.
    while (!(out_ || err_) && running() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(5ms);
    }
    const bool timedOut = running();
    if (timedOut) ::kill(pid_, SIGKILL);
    return collect(timedOut);
}

ProcessResult ChildProcess::kill() {
    if (!started()) return {};
    if (!reaped_) ::kill(pid_, SIGKILL);
    return collect(false);
}

ProcessResult ChildProcess::collect(bool timedOut) {
    const Deadline deadline = std::chrono::steady_clock::now() + kDrainAfterKill;
    while ((out_ || err_) && pump(deadline)) {
    }
    out_.reset();
    err_.reset();
    reap(true);
    ProcessResult result;
    result.timedOut = timedOut;
    if (WIFEXITED(status_)) result.exitStatus = WEXITSTATUS(status_);
    if (WIFSIGNALED(status_)) result.signal = WTERMSIG(status_);
    result.out = std::exchange(outBuffer_, {});
    result.err = std::exchange(errBuffer_, {});
    return result;
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout) {
    ChildProcess child(program, args);
    return child.wait(timeout);
}

std::string lineWardenBinary() { return LINEWARDEN_SCRIPTED_BINARY; }
std::string tabRosterBinary() { return TABROSTER_SCRIPTED_BINARY; }

ProcessResult runLineWardenProcess(const std::string& scenarioFile, const std::vector<std::string>& programArgs,
                                   std::chrono::milliseconds timeout) {
    std::vector<std::string> args{scenarioFile};
    args.insert(args.end(), programArgs.begin(), programArgs.end());
    return runProcess(lineWardenBinary(), args, timeout);
}

ProcessResult runTabRosterProcess(const std::string& scenarioFile, std::chrono::milliseconds timeout) {
    return runProcess(tabRosterBinary(), {scenarioFile}, timeout);
}

}  // namespace test_support
