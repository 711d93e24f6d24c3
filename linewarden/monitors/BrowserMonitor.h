#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "linewarden/capture/ReadingMemory.h"
#include "linewarden/detect/Classification.h"
#include "linewarden/monitors/LineWarden.h"
#include "platform/Platform.h"

namespace linewarden {

// Where a browser dialer shows its call state in the captured window.
enum class CropRegion {
    topLeft,    // a corner of cropWidth x cropHeight at the top left
    topBand,    // the full width, cropHeight high
    topRight,   // a corner of cropWidth x cropHeight at the top right, with a size line
};

// Everything in which the three browser monitors differ, apart from their classifier and status
// machine (the hooks of BrowserMonitor). Each dialer's row in the dialer table holds one.
struct BrowserDialerTable {
    std::vector<std::string_view> titleKeywords;  // what marks the dialer's tab in a window title
    std::string foundMessage;                     // followed by the title and "\n"
    std::string notFoundMessage;                  // followed by the bundle identifier and "\n"
    std::string keywordMessage;                   // a whole line
    std::string_view partialKey;                  // window-list fallback when no title matches exactly
    bool tracesWindowSearch = false;              // RingCentral: traced window-number search
    CropRegion crop = CropRegion::topLeft;
    double cropWidth = 0;
    double cropHeight = 0;
    bool reportsPipeline = false;                 // Kixie and Trellus narrate the screenshot pipeline
    std::string croppedMessage;                   // the pipeline's crop line
    bool robustRecognition = false;               // RingCentral: accurate level, listed on standard error
    platform::RecognitionSettings recognition;
    bool guardsWindowWidth = false;               // Trellus: skip scans of a window that shrank sharply
};

// The common body of the Kixie, RingCentral and Trellus monitors: one browser, the dialer's tab
// in it, its window number, and the scan that captures, crops, recognises and classifies it.
class BrowserMonitor : public LineWarden {
public:
    const platform::AXElementRef& appRef() const { return appRef_; }
    const std::optional<platform::WindowNumber>& windowID() const { return windowID_; }
    const std::optional<std::string>& windowTitle() const { return windowTitle_; }
    double lastKnownWindowWidth() const { return lastKnownWindowWidth_; }

    bool scanElements(bool initialScan = true) override;

    // The steps of a scan's screenshot detection one by one, for showing what the monitor sees:
    // the region of a screenshot that the dialer reads, the recognition settings it reads it
    // with, and the dialer's classification of the recognised text (with the classifier's
    // diagnostics on standard error). The scan itself goes through the same steps.
    platform::PixelRect regionOf(int width, int height) const;
    const platform::RecognitionSettings& recognitionSettings() const { return table_.recognition; }
    virtual Classification classifyText(const std::vector<std::string>& lines) = 0;

    // After a failed accessibility probe: an application reference that no longer answers is
    // dropped, with the window it held, so that the next scans look the browser up again. A
    // reference that only answered slowly is kept.
    void refreshReferences();

protected:
    BrowserMonitor(platform::Platform& platform, std::string bundleId, const BrowserDialerTable& table);

    // Looks for the dialer's tab among the browser's windows, reporting each step.
    bool findWindow();

    platform::Platform& platform() { return platform_; }

    // The dialer's status machine (its classifier is `classifyText`).
    virtual bool handleStatusChange(bool isCallActive) = 0;
    virtual bool isDialing() const = 0;

private:
    // What the last capture attempt learned about the watched window.
    enum class WindowTrouble { none, minimised, gone };
    enum class Walk { unreadable, notFound, found };

    // Looks the browser up unless it is known; false (and, with `report`, the line) when it does not run.
    bool haveAppRef(bool report);
    // Reads the browser's windows and keeps the first whose title names the dialer, resolving
    // its number and making it the main window. `report` writes each step; `warnUnresolved`
    // adds the warning for a number that cannot be resolved.
    Walk walkWindows(bool report, bool warnUnresolved);
    void reportNotFound();
    // Forgets the window, its number and, when the browser no longer answers, the browser.
    void letWindowGo();
    // Where a scan stops before the screenshot: false, and while the dialer's window is lost the
    // verdict false reaches the status machine, as failed captures of it would.
    bool stopEarly();
    void setupAppRef();
    std::optional<platform::WindowNumber> getWindowID(const platform::AXElementRef& window);
    bool detectCallViaScreenshot();
    bool detectCallFromOCR(const std::vector<std::string>& lines) { return classifyText(lines).callActive; }
    std::optional<Reading> cropRegion(const Reading& screenshot);
    std::vector<std::string> recognize(const Reading& region);
    // The width guard; true when the scan goes on.
    bool acceptsWidth(int width);

    platform::Platform& platform_;
    const std::string bundleId_;
    const BrowserDialerTable& table_;
    platform::AXElementRef appRef_;
    platform::AXElementRef window_;
    std::optional<std::string> windowTitle_;
    std::optional<platform::WindowNumber> windowID_;
    std::optional<platform::ProcessId> windowOwner_;   // who owned windowID_ when first captured
    WindowTrouble trouble_ = WindowTrouble::none;
    bool lost_ = false;                                 // a window was let go and not found again
    double lastKnownWindowWidth_ = 0;
    ReadingMemory memory_;   // of the dialer's window
};

}  // namespace linewarden
