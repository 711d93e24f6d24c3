#pragma once

// The X11 desktop as one monitor in the test process sees it, with the captures (of a whole
// window or of a region) and recognitions it asked for counted. A plain one never lets a scan
// reuse anything: its recogniser does not count as repeatable, no window is ever vouched
// unchanged and regions are cut from whole captures, which is how every scan ran before scans
// learned to spare work.

#include <memory>
#include <string>

#include "platform/LinuxDesktop.h"

namespace e2e {

class CountingDesktop final : public platform::ScreenCapture, public platform::TextRecognizer {
public:
    CountingDesktop(const std::string& display, bool plain);

    platform::Platform& platform() { return platform_; }
    platform::RecordingConsole& console() { return console_; }
    int captures() const { return captures_; }
    int recognitions() const { return recognitions_; }

    bool preflightAccess() override { return base().screenCapture.preflightAccess(); }
    void requestAccess() override { base().screenCapture.requestAccess(); }
    std::optional<std::vector<platform::ShareableWindow>> shareableWindows(bool excludeDesktop, bool onScreenOnly) override {
        return base().screenCapture.shareableWindows(excludeDesktop, onScreenOnly);
    }
    std::optional<platform::Image> captureWindow(const platform::ShareableWindow& window, int width, int height) override {
        ++captures_;
        return base().screenCapture.captureWindow(window, width, height);
    }
    bool unchangedSinceLastCapture(const platform::ShareableWindow& window, int width, int height) override {
        return !plain_ && base().screenCapture.unchangedSinceLastCapture(window, width, height);
    }
    // A plain one takes the whole window and crops it, as every scan did before scans learned to
    // take only the region they read.
    std::optional<platform::RegionCapture> captureWindowRegion(const platform::ShareableWindow& window, int width,
                                                               int height,
                                                               const platform::RegionOfCapture& regionOf) override {
        if (plain_) return ScreenCapture::captureWindowRegion(window, width, height, regionOf);
        ++captures_;
        return base().screenCapture.captureWindowRegion(window, width, height, regionOf);
    }
    bool regionUnchangedSinceLastCapture(const platform::ShareableWindow& window, int width, int height,
                                         const platform::PixelRect& region) override {
        return !plain_ && base().screenCapture.regionUnchangedSinceLastCapture(window, width, height, region);
    }
    platform::RecognitionOutcome recognize(const platform::Image& image,
                                           const platform::RecognitionSettings& settings) override {
        ++recognitions_;
        return base().textRecognizer.recognize(image, settings);
    }
    bool repeatable() const override { return !plain_ && desktop_->platform().textRecognizer.repeatable(); }

private:
    platform::Platform& base() { return desktop_->platform(); }

    bool plain_;
    platform::RecordingConsole console_;
    platform::RecordingConsole backendConsole_;
    std::unique_ptr<platform::LinuxDesktop> desktop_;
    platform::Platform platform_;
    int captures_ = 0;
    int recognitions_ = 0;
};

}  // namespace e2e
