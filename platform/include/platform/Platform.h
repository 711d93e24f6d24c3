#pragma once

// The operating-system services the monitor and the window lister need, and nothing more.
// Every answer may be a failure: calls report it in their result, never by throwing, and values
// that the system may leave out or hand over with an unexpected type are modelled as such.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/Console.h"
#include "platform/Image.h"

namespace platform {

using ProcessId = std::int32_t;
using WindowNumber = std::uint32_t;

// ---------------------------------------------------------------------------------------------
// Running applications

struct RunningApplication {
    std::string bundleId;                        // the catalogue's identifier of the application
    ProcessId processId = 0;
    std::optional<std::string> localizedName;    // absent when the system does not know it
};

class Workspace {
public:
    virtual ~Workspace() = default;
    // Every running application of the current user, in the platform's order.
    virtual std::vector<RunningApplication> runningApplications() = 0;
    // The running applications with exactly this bundle identifier, in the platform's order.
    virtual std::vector<RunningApplication> runningApplications(std::string_view bundleId) = 0;
};

// ---------------------------------------------------------------------------------------------
// Accessibility elements

// An element of the accessibility tree (an application or one of its windows). Backends derive
// their own element types; the core only passes them around. Elements are shared: whoever holds a
// reference keeps the element alive, and dropping the last reference releases it.
class AXElement {
public:
    virtual ~AXElement() = default;
};
using AXElementRef = std::shared_ptr<const AXElement>;

// Result codes: 0 is success, anything else a failure.
using AXError = std::int32_t;
inline constexpr AXError kAXErrorSuccess = 0;
inline constexpr AXError kAXErrorFailure = -25200;
inline constexpr AXError kAXErrorCannotComplete = -25204;
inline constexpr AXError kAXErrorAttributeUnsupported = -25205;
inline constexpr AXError kAXErrorNoValue = -25212;

// An attribute value that is neither a string nor a list of elements (a number, a Boolean, a
// list of something else): the core treats it as "not the expected type".
struct AXOtherValue {
    std::string description;
    bool operator==(const AXOtherValue&) const = default;
};

using AXValue = std::variant<std::monostate,              // absent
                             std::string,                  // a string
                             std::vector<AXElementRef>,    // a list of elements
                             AXOtherValue>;                // anything else

struct AXAnswer {
    AXError code = kAXErrorFailure;
    AXValue value;

    bool ok() const { return code == kAXErrorSuccess; }
    const std::string* string() const { return std::get_if<std::string>(&value); }
    const std::vector<AXElementRef>* elements() const {
        return std::get_if<std::vector<AXElementRef>>(&value);
    }
};

inline constexpr std::string_view kAXWindowsAttribute = "AXWindows";
inline constexpr std::string_view kAXTitleAttribute = "AXTitle";
inline constexpr std::string_view kAXMainAttribute = "AXMain";

// What has become of a window an element stands for. The answer that lets a monitor tell a
// temporary failure from a lasting one: on macOS, gone is the invalid-element answer of the
// accessibility interface and minimised its AXMinimized attribute.
enum class WindowPresence {
    shown,       // there and shown: a failure to read it is temporary
    minimised,   // still there and still its application's, but not shown (minimised, unmapped)
    gone,        // destroyed, its application quit, or its number now names another window
    unknown,     // the desktop cannot tell right now (the display is away): a temporary failure
};

class Accessibility {
public:
    virtual ~Accessibility() = default;
    // Whether this process may use the accessibility interface; never prompts.
    virtual bool isProcessTrusted() = 0;
    // An element for the whole application with this process id. Creation itself never fails;
    // asking a dead process's element for attributes does.
    virtual AXElementRef createApplication(ProcessId processId) = 0;
    // Copies one attribute; blocks until the application answers or the platform gives up.
    virtual AXAnswer copyAttribute(const AXElementRef& element, std::string_view attribute) = 0;
    // Sets a Boolean attribute.
    virtual AXError setAttribute(const AXElementRef& element, std::string_view attribute, bool value) = 0;
    // Why a window element may not be captured now (see WindowPresence). Asked after a capture
    // failed, so a desktop may take its time over it.
    virtual WindowPresence windowPresence(const AXElementRef& window) = 0;
};

// ---------------------------------------------------------------------------------------------
// The window list (on-screen windows, desktop elements left out, front to back)

struct WindowListEntry {
    std::optional<std::string> ownerName;       // absent when missing or not a string
    std::optional<std::string> windowName;      // absent when missing or not a string
    std::optional<WindowNumber> windowNumber;   // absent when missing or not an exact 32-bit number
};

class WindowList {
public:
    virtual ~WindowList() = default;
    // The current on-screen windows, or nothing when the list cannot be had.
    virtual std::optional<std::vector<WindowListEntry>> onScreenWindows() = 0;
};

// Converts a raw window number as a window list may deliver it: absent unless it is a whole
// number that fits an unsigned 32-bit value exactly.
std::optional<WindowNumber> exactWindowNumber(double raw);

// ---------------------------------------------------------------------------------------------
// Shareable windows and capture

struct FrameInPoints {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
};

struct OwningApplication {
    std::string bundleId;
    std::string applicationName;
    ProcessId processId = 0;   // 0 when the platform does not know it
};

struct ShareableWindow {
    WindowNumber windowID = 0;
    FrameInPoints frame;
    std::optional<OwningApplication> owningApplication;
};

// A capture of which only one region is wanted: the size the whole capture has, and the region's
// pixels exactly as cropping the whole capture would give them.
struct RegionCapture {
    int width = 0;                 // of the whole capture
    int height = 0;
    bool readable = true;          // false when the capture's pixels cannot be read
    PixelRect region;              // the region, clipped to the capture
    std::optional<Image> pixels;   // absent when the region is empty or the capture unreadable
};

// The region wanted of a capture, given the capture's pixel size (which may differ from the size
// asked for).
using RegionOfCapture = std::function<PixelRect(int width, int height)>;

class ScreenCapture {
public:
    virtual ~ScreenCapture() = default;
    // Whether screen capture is allowed already; never prompts.
    virtual bool preflightAccess() = 0;
    // Asks the system to let this process capture the screen (it may prompt the user).
    virtual void requestAccess() = 0;
    // The windows that can be captured, in the platform's order, or nothing on failure.
    virtual std::optional<std::vector<ShareableWindow>> shareableWindows(bool excludeDesktopWindows,
                                                                         bool onScreenWindowsOnly) = 0;
    // One screenshot of the window alone, whatever covers it, scaled to the requested pixel
    // size; nothing on failure (the window vanished, was unmapped, or the capture was refused).
    virtual std::optional<Image> captureWindow(const ShareableWindow& window, int widthPixels,
                                               int heightPixels) = 0;
    // True only when the system vouches that nothing was drawn in the window since this process
    // last captured it at this size, so a new capture would deliver the same pixels. False
    // whenever it cannot tell.
    virtual bool unchangedSinceLastCapture(const ShareableWindow&, int /*widthPixels*/, int /*heightPixels*/) {
        return false;
    }

    // A capture as captureWindow takes it, of which only the region is read: a backend that can
    // take a region alone takes only what it needs, so a scan that reads a corner of a large
    // window does not pay for all of it. Here: the whole window, cropped.
    virtual std::optional<RegionCapture> captureWindowRegion(const ShareableWindow& window, int widthPixels,
                                                             int heightPixels, const RegionOfCapture& regionOf);
    // As unchangedSinceLastCapture, for the pixels of one region of the capture (in the pixels of
    // a capture at this size) since the last capture that took them: drawing elsewhere in the
    // window does not count. Here: whether the whole window is unchanged.
    virtual bool regionUnchangedSinceLastCapture(const ShareableWindow& window, int widthPixels, int heightPixels,
                                                 const PixelRect& /*region*/) {
        return unchangedSinceLastCapture(window, widthPixels, heightPixels);
    }
};

// ---------------------------------------------------------------------------------------------
// Text recognition

enum class RecognitionLevel : int { accurate = 0, fast = 1 };

struct RecognitionSettings {
    RecognitionLevel level = RecognitionLevel::accurate;
    bool usesLanguageCorrection = false;
    std::vector<std::string> customWords;
    float minimumTextHeight = 0.0f;   // relative to the image height
    std::vector<std::string> languages;
    int maximumCandidates = 1;        // how many readings per observation are wanted

    bool operator==(const RecognitionSettings&) const = default;
};

struct RecognitionOutcome {
    bool succeeded = true;                      // false when the recogniser reported a failure
    std::vector<TextObservation> observations;  // in reading order; candidates best first
};

class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;
    virtual RecognitionOutcome recognize(const Image& image, const RecognitionSettings& settings) = 0;
    // True when the same image with the same settings always gives the same outcome, so that a
    // reading of unchanged pixels may be reused instead of recognised again.
    virtual bool repeatable() const { return false; }
    // Recognises as `recognize` does and also hands back, in `engineInput`, the picture the
    // recogniser's engine read once it had prepared the image, for people who want to see what
    // it saw. A recogniser that reads images as they come hands back the image itself.
    virtual RecognitionOutcome recognizeShowingInput(const Image& image, const RecognitionSettings& settings,
                                                     std::optional<Image>& engineInput) {
        engineInput = image;
        return recognize(image, settings);
    }
};

// ---------------------------------------------------------------------------------------------
// Clock and sleep

class Clock {
public:
    virtual ~Clock() = default;
    // Absolute time in seconds.
    virtual double now() = 0;
    // Pauses the calling thread; false when the pause ended early.
    virtual bool sleepFor(std::chrono::nanoseconds duration) = 0;
    // True once the process should wind down its endless loops. A real desktop never asks;
    // a scripted desktop does when its scenario has run out.
    virtual bool windingDown() { return false; }
};

// ---------------------------------------------------------------------------------------------

// What a program gets of the operating system. The references stay valid for the life of the
// object that handed out this struct.
struct Platform {
    Console& console;
    Workspace& workspace;
    Accessibility& accessibility;
    WindowList& windowList;
    ScreenCapture& screenCapture;
    TextRecognizer& textRecognizer;
    Clock& clock;
    // A line naming why the display cannot be used, written before the permission messages
    // when a permission check fails; empty when there is nothing more to say.
    std::string accessProblem;
};

}  // namespace platform
