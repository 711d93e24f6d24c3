#pragma once

// Running the scripted programs as real processes: both streams through pipes, no shell, a
// timeout that kills, and every child reaped and every descriptor closed.

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

using namespace std::chrono_literals;

struct ProcessResult {
    int exitStatus = -1;    // the status the process exited with; -1 when a signal ended it
    int signal = 0;         // the signal that ended it, or 0
    bool timedOut = false;  // it outlived its time and was killed
    std::string out;        // standard output (what was not read line by line already)
    std::string err;        // standard error (likewise)
};

// Runs `program args...` with standard input from /dev/null until it exits, collecting both
// streams; kills it once `timeout` has passed.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         std::chrono::milliseconds timeout = 30s);
// The scripted binaries: `linewarden-scripted <scenario> programArgs...`, `tabroster-scripted <scenario>`.
ProcessResult runLineWardenProcess(const std::string& scenarioFile, const std::vector<std::string>& programArgs,
                                   std::chrono::milliseconds timeout = 30s);
ProcessResult runTabRosterProcess(const std::string& scenarioFile, std::chrono::milliseconds timeout = 30s);

// Paths of the scripted binaries, for ChildProcess.
std::string lineWardenBinary();
std::string tabRosterBinary();

// A descriptor that closes itself.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    ~UniqueFd() { reset(); }
    int get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int release() {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int fd_ = -1;
};

// A child that keeps running while the test reads its output line by line. The destructor kills
// and reaps a child that is still running.
class ChildProcess {
public:
    ChildProcess(const std::string& program, const std::vector<std::string>& args);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    // The next whole line of standard output or error, without its line break; the unfinished
    // rest when the stream ended; nothing when the stream is exhausted or the time ran out.
    std::optional<std::string> readOutLine(std::chrono::milliseconds timeout);
    std::optional<std::string> readErrLine(std::chrono::milliseconds timeout);
    // True while the child has not exited.
    bool running();
    // Waits until the child has exited and both streams ended, killing it when `timeout` passes
    // first; returns the status and everything not yet read.
    ProcessResult wait(std::chrono::milliseconds timeout);
    // Kills the child now (if it still runs) and returns as wait() does.
    ProcessResult kill();

private:
    using Deadline = std::chrono::steady_clock::time_point;
    std::optional<std::string> readLine(UniqueFd& fd, std::string& buffer, std::chrono::milliseconds timeout);
    // Reads whatever arrives on either stream before the deadline; false when nothing can come.
    bool pump(Deadline deadline);
    void reap(bool block);
    ProcessResult collect(bool timedOut);

    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
    UniqueFd out_;
    UniqueFd err_;
    std::string outBuffer_;
    std::string errBuffer_;
};

}  // namespace test_support
