#pragma once

#include <string>
#include <string_view>

namespace platform {

// The two standard streams. The host reads standard output line by line, people read standard
// error; both are written as raw UTF-8 bytes, and every message carries its own line break.
class Console {
public:
    virtual ~Console() = default;
    virtual void out(std::string_view text) = 0;
    virtual void flushOut() = 0;
    virtual void err(std::string_view text) = 0;
};

// The process's real streams. Standard output is expected to be unbuffered already (the entry
// point switches it first thing), so flushOut only matters for the C library's own state.
class StdConsole final : public Console {
public:
    void out(std::string_view text) override;
    void flushOut() override;
    void err(std::string_view text) override;
};

// A console that keeps what was written, for tests and for running a program in-process.
class RecordingConsole final : public Console {
public:
    void out(std::string_view text) override { stdout_ += text; }
    void flushOut() override { ++flushes_; }
    void err(std::string_view text) override { stderr_ += text; }

    const std::string& standardOutput() const { return stdout_; }
    const std::string& standardError() const { return stderr_; }
    int flushCount() const { return flushes_; }
    void clear() { stdout_.clear(); stderr_.clear(); flushes_ = 0; }

private:
    std::string stdout_;
    std::string stderr_;
    int flushes_ = 0;
};

}  // namespace platform
