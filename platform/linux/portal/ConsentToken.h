#pragma once

// The person's consent to screen capture through the portal, kept between runs. On GNOME and KDE
// Plasma a program may read another's window only through the ScreenCast portal, after the person
// picks the window in the system's dialog. The portal hands back a restore token that lets a later
// session get the same window without asking again; that token is the one piece of state the
// monitor keeps, as macOS keeps its Screen Recording permission. It lives in
// $XDG_STATE_HOME/linewarden/screencast-restore-token (~/.local/state when XDG_STATE_HOME is not
// set), readable by its owner alone. Deleting the file withdraws the consent as far as the monitor
// is concerned; the desktop's privacy settings withdraw it on the system's side.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace platform::portal {

class ConsentToken {
public:
    // The file under the state directory the session defines (XDG_STATE_HOME, else HOME); nothing
    // when neither is set.
    static std::optional<std::filesystem::path> defaultPath();

    explicit ConsentToken(std::filesystem::path path) : path_(std::move(path)) {}

    struct Loaded {
        std::optional<std::string> token;   // a token that may be offered to the portal
        std::string problem;                // why there is none: one line, no line break
    };
    // Reads the kept token. A file that is not a plain file of this user's, is open to others,
    // cannot be read, is empty or does not hold a token is not used; `problem` says which.
    Loaded load() const;

    // Keeps `token` in place of any earlier one: written beside the file with mode 0600 and renamed
    // over it, so a reader finds the old token or the new one, never a part. Answers a problem
    // line, or an empty string when it was kept.
    std::string store(std::string_view token) const;

    // Forgets the kept token (a consent that no longer fits).
    void forget() const;

    const std::filesystem::path& path() const { return path_; }

    // Whether `text` has the shape of a restore token: the portal's tokens are UUIDs; anything of
    // letters, digits and dashes up to 256 bytes is taken.
    static bool wellFormed(std::string_view text);

private:
    std::filesystem::path path_;
};

}  // namespace platform::portal
