#include "platform/linux/portal/ConsentToken.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <vector>

namespace platform::portal {

namespace {

constexpr std::size_t kLongestToken = 256;
constexpr const char* kFolder = "linewarden";
constexpr const char* kFileName = "screencast-restore-token";

// A file descriptor closed when it goes.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

std::string octal(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

}  // namespace

std::optional<std::filesystem::path> ConsentToken::defaultPath() {
    std::filesystem::path state;
    if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg != nullptr && xdg[0] == '/') {
        state = xdg;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/') {
        state = std::filesystem::path(home) / ".local" / "state";
    } else {
        return std::nullopt;
    }
    return state / kFolder / kFileName;
}

bool ConsentToken::wellFormed(std::string_view text) {
    if (text.empty() || text.size() > kLongestToken) return false;
    for (const char c : text) {
        const bool letterOrDigit = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
        if (!letterOrDigit && c != '-') return false;
    }
    return true;
}

ConsentToken::Loaded ConsentToken::load() const {
    const std::string where = "the kept screen-capture consent " + path_.string();
    const Descriptor file(open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0) {
        if (errno == ENOENT) return {std::nullopt, "no screen-capture consent is kept in " + path_.string() + " yet"};
        return {std::nullopt, where + " cannot be read (" + std::strerror(errno) + ")"};
    }
    struct stat status {};
    if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return {std::nullopt, where + " is not a plain file"};
    }
    if (status.st_uid != geteuid()) {
        return {std::nullopt, where + " belongs to another user"};
    }
    if ((status.st_mode & 077) != 0) {
        return {std::nullopt, where + " is open to other users (mode " + octal(status.st_mode) + ", not 0600)"};
    }
    std::vector<char> bytes(kLongestToken + 2);
    std::size_t size = 0;
    while (size < bytes.size()) {
        const ssize_t got = read(file.get(), bytes.data() + size, bytes.size() - size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return {std::nullopt, where + " cannot be read (" + std::strerror(errno) + ")"};
        if (got == 0) break;
        size += static_cast<std::size_t>(got);
    }
    std::string_view text(bytes.data(), size);
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (text.empty()) return {std::nullopt, where + " is empty"};
    if (!wellFormed(text)) return {std::nullopt, where + " does not hold a restore token"};
    return {std::string(text), {}};
}

std::string ConsentToken::store(std::string_view token) const {
    const std::string failure = "cannot keep the screen-capture consent in " + path_.string() + " (";
    if (!wellFormed(token)) return failure + "the portal's token is malformed)";
    std::error_code error;
    const std::filesystem::path folder = path_.parent_path();
    std::filesystem::create_directories(folder, error);
    if (error) return failure + error.message() + ")";
    // Appended, not "." + a temporary: GCC 12 at -O3 reports a false -Wrestrict on that.
    std::string hidden(".");
    hidden += path_.filename().string();
    hidden += ".XXXXXX";
    std::string temporary = (folder / hidden).string();
    // mkstemp creates the file with mode 0600.
    const Descriptor file(mkostemp(temporary.data(), O_CLOEXEC));
    if (file.get() < 0) return failure + std::strerror(errno) + ")";
    const bool written = writeAll(file.get(), std::string(token) + "\n") && fsync(file.get()) == 0;
    if (!written || std::rename(temporary.c_str(), path_.c_str()) != 0) {
        const int cause = errno;
        unlink(temporary.c_str());
        return failure + std::strerror(cause) + ")";
    }
    return {};
}

void ConsentToken::forget() const {
    unlink(path_.c_str());
}

}  // namespace platform::portal
