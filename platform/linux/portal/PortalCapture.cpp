#include "platform/linux/portal/PortalCapture.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/linux/PixelConversion.h"
#include "platform/linux/portal/ConsentToken.h"
#include "platform/linux/portal/PipeWireStream.h"
#include "platform/linux/portal/PortalSession.h"

namespace platform::portal {

namespace {

using namespace std::chrono_literals;
using wayland::NativeWindow;

// A kept consent restores in tens of milliseconds; a scan waits no longer than this for it.
constexpr auto kRestoreWait = 3s;
// When the person is asked, a scan waits only briefly: they take seconds or minutes.
constexpr auto kAskWait = 500ms;
// requestAccess is called at start-up, where the person is expected to answer the dialog.
constexpr auto kRequestWait = 120s;
constexpr auto kFirstFrameWait = 3s;
// Pixels by which the shared window's size may differ from the size the bus reports.
constexpr int kSizeSlack = 2;

bool near(int a, int b) { return std::abs(a - b) <= kSizeSlack; }

// Whether the shared window has the size of the one asked for, at the desktop's scale 1 or 2.
bool fits(const PixelRect& shared, const NativeWindow& window) {
    if (window.width <= 0 || window.height <= 0) return true;
    for (const int scale : {1, 2}) {
        if (near(shared.width, window.width * scale) && near(shared.height, window.height * scale)) return true;
    }
    return false;
}

std::string describe(const NativeWindow& window) {
    std::string text = "the window showing \"" + window.title + "\"";
    if (!window.applicationName.empty()) text += " of " + window.applicationName;
    return text;
}

class PortalCaptureRoute final : public wayland::NativeCapture {
public:
    explicit PortalCaptureRoute(Console& console) : console_(console) {
        if (const auto path = ConsentToken::defaultPath()) token_.emplace(*path);
    }

    bool accessAllowed() override {
        settle(0ms);
        if (stream_) return true;
        if (session_ || refused_) return false;
        const auto kept = load(false);
        if (!kept) return false;
        begin(kept, std::nullopt);
        settle(kRestoreWait);
        if (stream_) return true;
        // The portal did not restore the kept choice at once, so it is asking the person: a
        // preflight asks nobody.
        drop();
        return false;
    }

    void requestAccess() override {
        settle(0ms);
        if (stream_ || refused_) return;
        if (!session_) {
            begin(std::nullopt, std::nullopt);
            line("the system asks which window linewarden may capture: choose the dialer's window");
        }
        settle(kRequestWait);
    }

    std::optional<Image> capture(const NativeWindow& window, int widthPixels, int heightPixels) override {
        settle(0ms);
        if (!prepare(window)) return std::nullopt;
        auto picture = stream_->take();
        if (!picture) return std::nullopt;
        lastWidth_ = widthPixels;
        lastHeight_ = heightPixels;
        if (widthPixels <= 0 || heightPixels <= 0) return std::nullopt;
        if (picture->width == widthPixels && picture->height == heightPixels) {
            return Image(widthPixels, heightPixels, std::move(picture->rgba));
        }
        return Image(widthPixels, heightPixels,
                     x11::resizeRgba(picture->rgba, picture->width, picture->height, widthPixels, heightPixels));
    }

    bool unchangedSinceLastCapture(const NativeWindow& window, int widthPixels, int heightPixels) override {
        settle(0ms);
        return stream_ && checked_ && window_ == window.number && widthPixels == lastWidth_ &&
               heightPixels == lastHeight_ && stream_->unchangedSinceTaken();
    }

private:
    void line(const std::string& text) { console_.err(std::string(program_invocation_short_name) + ": " + text + "\n"); }

    // The kept token, or nothing; says why there is none when `say` is set.
    std::optional<std::string> load(bool say) {
        if (!token_) {
            if (say) line("neither XDG_STATE_HOME nor HOME is set: the screen-capture consent cannot be kept");
            return std::nullopt;
        }
        auto loaded = token_->load();
        if (!loaded.token && say) line(loaded.problem + "; the system asks for it");
        return loaded.token;
    }

    // Whether the stream of `window` is there and its window was checked; starts sharing it when
    // nothing is shared.
    bool prepare(const NativeWindow& window) {
        if (refused_ || failedFor_ == window.number || ended_ == window.number) return false;
        if (session_ && window_ && *window_ != window.number) {
            // The desktop numbers the dialer's window anew whenever it finds it again (after
            // captures failed while the person was still choosing, say): a request still waiting
            // stays open for it, and a window already shared is checked against it again.
            window_ = window.number;
            checked_ = false;
        }
        if (!session_) {
            const auto kept = load(true);
            begin(kept, window);
            if (!kept) tellWhatToPick(window);
            settle(kept ? kRestoreWait : kAskWait);
            if (session_ && !stream_ && kept) tellWhatToPick(window);   // the kept choice no longer fits
        }
        if (!stream_) return false;
        if (!window_) window_ = window.number;   // restored by accessAllowed, before any window was known
        if (checked_) return true;
        const auto shared = stream_->windowRect();
        if (!shared) return false;
        if (!fits(*shared, window)) {
            line("the window shared through the portal (" + std::to_string(shared->width) + "x" +
                 std::to_string(shared->height) + ") is not " + describe(window) + " (" + std::to_string(window.width) +
                 "x" + std::to_string(window.height) + "); it is not captured, and the system asks again");
            if (token_) token_->forget();
            drop();
            begin(std::nullopt, window);
            tellWhatToPick(window);
            return false;
        }
        checked_ = true;
        return true;
    }

    void begin(const std::optional<std::string>& token, const std::optional<NativeWindow>& window) {
        session_ = PortalSession::begin(token);
        window_ = window ? std::optional(window->number) : std::nullopt;
        checked_ = false;
        told_ = false;
    }

    void tellWhatToPick(const NativeWindow& window) {
        if (told_) return;
        told_ = true;
        line("the system asks which window linewarden may capture: choose " + describe(window) +
             ", and let the system remember the choice");
    }

    void drop() {
        stream_.reset();
        session_.reset();
        checked_ = false;
    }

    // Takes in what the portal answered, waiting up to `wait` while it has not.
    void settle(std::chrono::milliseconds wait) {
        if (!session_) return;
        switch (session_->poll(stream_ ? 0ms : wait)) {
            case PortalSession::Phase::Waiting:
                return;
            case PortalSession::Phase::Started:
                if (!stream_) {
                    openStream();
                } else if (stream_->ended()) {
                    streamEnded();
                }
                return;
            case PortalSession::Phase::Refused:
                line("screen capture was refused in the system's dialog: the dialer's window is not read; "
                     "restart linewarden to be asked again");
                if (token_) token_->forget();
                refused_ = true;
                drop();
                return;
            case PortalSession::Phase::Failed:
                line("the screen-cast portal failed (" + session_->failure() + "): the dialer's window is not read");
                failedFor_ = window_;
                drop();
                return;
            case PortalSession::Phase::Closed:
                streamEnded();
                return;
        }
    }

    void openStream() {
        if (const auto& kept = session_->restoreToken(); kept && token_) {
            if (const auto problem = token_->store(*kept); !problem.empty()) line(problem);
        }
        std::string problem;
        const int fd = session_->openPipeWireRemote();
        if (fd >= 0) stream_ = PipeWireStream::open(fd, session_->stream()->node, problem);
        else problem = "the portal gave no PipeWire connection";
        if (!stream_) {
            line("cannot read the shared window: " + problem);
            failedFor_ = window_;
            drop();
            return;
        }
        if (!stream_->waitForFirstFrame(kFirstFrameWait) && stream_->ended()) streamEnded();
    }

    // The shared window is gone: captures of it fail from now on, so the monitor counts it as
    // gone and finds the dialer again; the next window is shared from the kept consent.
    void streamEnded() {
        ended_ = window_;
        drop();
    }

    Console& console_;
    std::optional<ConsentToken> token_;
    std::unique_ptr<PortalSession> session_;
    std::unique_ptr<PipeWireStream> stream_;
    std::optional<WindowNumber> window_;   // the window shared, or asked for
    std::optional<WindowNumber> ended_;    // the last window whose stream ended
    bool checked_ = false;                 // the shared window was found to be window_
    bool told_ = false;                    // the person was told what to pick for this session
    bool refused_ = false;
    std::optional<WindowNumber> failedFor_;   // the window for which the portal failed: not asked again
    int lastWidth_ = 0;
    int lastHeight_ = 0;
};

}  // namespace

std::unique_ptr<wayland::NativeCapture> openPortalCapture(Console& console) {
    return std::make_unique<PortalCaptureRoute>(console);
}

}  // namespace platform::portal
