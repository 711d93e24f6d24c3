// Reading a scenario: strict about keys and types, so that a typo in a test scenario fails the
// load with a message naming the place instead of silently meaning something else.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <string_view>

#include "ScenarioData.h"
#include "platform/ScriptedDesktop.h"

namespace platform {

namespace scripted {

namespace {

using nlohmann::json;
using Keys = std::vector<std::string_view>;

[[noreturn]] void fail(const std::string& path, const std::string& what) {
    throw ScenarioError{(path.empty() ? std::string("scenario") : path) + ": " + what};
}

std::string join(const std::string& path, std::string_view key) {
    return path.empty() ? std::string(key) : path + "." + std::string(key);
}

std::string indexed(const std::string& path, std::size_t index) {
    return path + "[" + std::to_string(index) + "]";
}

// One JSON object whose keys must all be known; "comment" is always allowed and ignored.
class ObjectReader {
public:
    ObjectReader(const json& object, std::string path, const Keys& allowed) : object_(object), path_(std::move(path)) {
        if (!object_.is_object()) fail(path_, "expected an object, got " + object_.dump());
        for (const auto& item : object_.items()) {
            if (item.key() == "comment") continue;
            if (std::find(allowed.begin(), allowed.end(), item.key()) == allowed.end()) {
                fail(path_, "unknown key '" + item.key() + "'");
            }
        }
    }

    const json* find(std::string_view key) const {
        const auto it = object_.find(key);
        return it == object_.end() || it->is_null() ? nullptr : &*it;
    }
    std::string path(std::string_view key) const { return join(path_, key); }

    std::optional<double> optionalNumber(std::string_view key) const {
        const json* value = find(key);
        if (!value) return std::nullopt;
        if (!value->is_number()) fail(path(key), "expected a number, got " + value->dump());
        return value->get<double>();
    }
    double number(std::string_view key, double fallback) const { return optionalNumber(key).value_or(fallback); }
    double time(std::string_view key, double fallback) const {
        const double value = number(key, fallback);
        if (!std::isfinite(value) || value < 0) fail(path(key), "expected a time of 0 or more seconds");
        return value;
    }
    std::optional<std::int64_t> optionalInteger(std::string_view key) const {
        const json* value = find(key);
        if (!value) return std::nullopt;
        if (!value->is_number_integer()) fail(path(key), "expected a whole number, got " + value->dump());
        return value->get<std::int64_t>();
    }
    bool boolean(std::string_view key, bool fallback) const {
        const json* value = find(key);
        if (!value) return fallback;
        if (!value->is_boolean()) fail(path(key), "expected true or false, got " + value->dump());
        return value->get<bool>();
    }
    std::optional<std::string> optionalString(std::string_view key) const {
        const json* value = find(key);
        if (!value) return std::nullopt;
        if (!value->is_string()) fail(path(key), "expected a string, got " + value->dump());
        return value->get<std::string>();
    }
    std::string requiredString(std::string_view key) const {
        auto value = optionalString(key);
        if (!value) fail(path_, "missing '" + std::string(key) + "'");
        return *value;
    }
    const json& array(std::string_view key) const {
        static const json empty = json::array();
        const json* value = find(key);
        if (!value) return empty;
        if (!value->is_array()) fail(path(key), "expected a list, got " + value->dump());
        return *value;
    }
    std::optional<AXError> optionalCode(std::string_view key) const {
        const auto value = optionalInteger(key);
        if (!value) return std::nullopt;
        if (*value < std::numeric_limits<AXError>::min() || *value > std::numeric_limits<AXError>::max()) {
            fail(path(key), "result code out of range");
        }
        return static_cast<AXError>(*value);
    }

private:
    const json& object_;
    std::string path_;
};

std::vector<double> numbers(const json& value, const std::string& path, std::size_t count) {
    if (!value.is_array() || value.size() != count) {
        fail(path, "expected a list of " + std::to_string(count) + " numbers, got " + value.dump());
    }
    std::vector<double> out;
    for (const json& item : value) {
        if (!item.is_number()) fail(path, "expected numbers, got " + value.dump());
        out.push_back(item.get<double>());
    }
    return out;
}

int wholePixels(double value, const std::string& path) {
    if (value != std::trunc(value) || std::abs(value) > 1e6) fail(path, "expected whole pixels");
    return static_cast<int>(value);
}

PixelRect readBox(const json& value, const std::string& path) {
    const auto n = numbers(value, path, 4);
    return {wholePixels(n[0], path), wholePixels(n[1], path), wholePixels(n[2], path), wholePixels(n[3], path)};
}

// Raw bytes written as {"hex": "e28094ff"}, so that a scenario can hold text that is not valid
// UTF-8 (JSON strings cannot).
bool isHexText(const json& value) { return value.is_object() && value.contains("hex"); }

std::string hexBytes(const json& value, const std::string& path) {
    const ObjectReader reader(value, path, {"hex"});
    const std::string digits = reader.requiredString("hex");
    const auto nibble = [&](char digit) {
        if (digit >= '0' && digit <= '9') return digit - '0';
        if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
        if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
        fail(reader.path("hex"), "expected pairs of hexadecimal digits");
    };
    if (digits.size() % 2 != 0) fail(reader.path("hex"), "expected pairs of hexadecimal digits");
    std::string bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<char>(nibble(digits[i]) * 16 + nibble(digits[i + 1])));
    }
    return bytes;
}

// A text: a JSON string, or raw bytes in the hex form.
std::optional<std::string> textOf(const json& value, const std::string& path) {
    if (value.is_string()) return value.get<std::string>();
    if (isHexText(value)) return hexBytes(value, path);
    return std::nullopt;
}

std::string requiredText(const json& value, const std::string& path) {
    auto text = textOf(value, path);
    if (!text) fail(path, "expected a string or {\"hex\": ...}, got " + value.dump());
    return *text;
}

TextObservation readObservation(const json& value, const std::string& path) {
    if (auto text = textOf(value, path)) return {{std::move(*text)}, std::nullopt, std::nullopt};
    const ObjectReader reader(value, path, {"text", "candidates", "box", "confidence"});
    TextObservation observation;
    const json* text = reader.find("text");
    const json* candidates = reader.find("candidates");
    if (text && candidates) fail(path, "give either 'text' or 'candidates', not both");
    if (text) observation.candidates.push_back(requiredText(*text, reader.path("text")));
    if (candidates) {
        if (!candidates->is_array()) fail(reader.path("candidates"), "expected a list of strings");
        for (std::size_t i = 0; i < candidates->size(); ++i) {
            observation.candidates.push_back(requiredText((*candidates)[i], indexed(reader.path("candidates"), i)));
        }
    }
    if (!text && !candidates) fail(path, "an observation needs 'text' or 'candidates'");
    if (const json* box = reader.find("box")) observation.box = readBox(*box, reader.path("box"));
    if (const json* confidence = reader.find("confidence")) {
        if (!confidence->is_number() || !(confidence->get<double>() >= 0 && confidence->get<double>() <= 1)) {
            fail(reader.path("confidence"), "expected a number from 0 to 1");
        }
        observation.confidence = confidence->get<float>();
    }
    return observation;
}

std::optional<WindowNumber> numberOf(const json& raw) {
    if (!raw.is_number()) return std::nullopt;
    return exactWindowNumber(raw.get<double>());
}

WindowListEntry readListEntry(const ObjectReader& reader) {
    WindowListEntry entry;
    if (const json* owner = reader.find("ownerName"); owner && owner->is_string()) entry.ownerName = owner->get<std::string>();
    if (const json* name = reader.find("windowName"); name && name->is_string()) entry.windowName = name->get<std::string>();
    if (const json* number = reader.find("windowNumber")) entry.windowNumber = numberOf(*number);
    return entry;
}

// Builds the phases of one object: its own timed keys form the first phase, and every entry of
// its "changes" list (ordered by "from") patches the previous phase from that time on. A change
// patches like a JSON merge patch: a key set to null goes back to its default.
template <class State, class Parse>
Timeline<State> readTimeline(const json& object, const std::string& path, const Keys& timedKeys, Parse parse) {
    json phase = json::object();
    for (const auto& key : timedKeys) {
        if (const auto it = object.find(key); it != object.end()) phase[std::string(key)] = *it;
    }
    Timeline<State> timeline;
    timeline.add(-std::numeric_limits<double>::infinity(), parse(phase, path));

    const auto changesIt = object.find("changes");
    if (changesIt == object.end() || changesIt->is_null()) return timeline;
    const std::string changesPath = join(path, "changes");
    if (!changesIt->is_array()) fail(changesPath, "expected a list of changes");

    Keys changeKeys = timedKeys;
    changeKeys.push_back("from");
    std::vector<std::pair<double, std::size_t>> order;
    for (std::size_t i = 0; i < changesIt->size(); ++i) {
        const ObjectReader change((*changesIt)[i], indexed(changesPath, i), changeKeys);
        const auto from = change.optionalNumber("from");
        if (!from || !std::isfinite(*from)) fail(indexed(changesPath, i), "a change needs 'from' (seconds)");
        order.emplace_back(*from, i);
    }
    std::stable_sort(order.begin(), order.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [from, index] : order) {
        json patch = (*changesIt)[index];
        patch.erase("from");
        patch.erase("comment");
        phase.merge_patch(patch);
        timeline.add(from, parse(phase, indexed(changesPath, index)));
    }
    return timeline;
}

const Keys kWindowTimedKeys{"title",    "titleError", "mainError", "listName",   "frame",
                            "onScreen", "owningApplication",       "capture",    "captureSize", "text"};

WindowState readWindowState(const json& phase, const std::string& path) {
    const ObjectReader reader(phase, path, kWindowTimedKeys);
    WindowState state;
    // Titles and list names in the hex form become strings of those bytes; other non-strings stay
    // as they are and show as values of another type.
    const auto titleLike = [&](std::string_view key) -> std::optional<json> {
        const json* value = reader.find(key);
        if (!value) return std::nullopt;
        if (isHexText(*value)) return json(hexBytes(*value, reader.path(key)));
        return *value;
    };
    state.title = titleLike("title");
    state.titleError = reader.optionalCode("titleError");
    state.mainError = reader.optionalCode("mainError");
    state.listName = titleLike("listName");
    if (const json* frame = reader.find("frame")) {
        const auto n = numbers(*frame, reader.path("frame"), 4);
        state.frame = {n[0], n[1], n[2], n[3]};
    }
    state.onScreen = reader.boolean("onScreen", true);
    state.hasOwningApplication = reader.boolean("owningApplication", true);
    const std::string capture = reader.optionalString("capture").value_or("image");
    if (capture == "image") {
        state.capture = CaptureOutcome::image;
    } else if (capture == "unreadable") {
        state.capture = CaptureOutcome::unreadable;
    } else if (capture == "fails") {
        state.capture = CaptureOutcome::fails;
    } else {
        fail(reader.path("capture"), "expected \"image\", \"unreadable\" or \"fails\"");
    }
    if (const json* size = reader.find("captureSize")) {
        const auto n = numbers(*size, reader.path("captureSize"), 2);
        state.captureSize = {wholePixels(n[0], reader.path("captureSize")), wholePixels(n[1], reader.path("captureSize"))};
    }
    const json& text = reader.array("text");
    for (std::size_t i = 0; i < text.size(); ++i) {
        state.text.push_back(readObservation(text[i], indexed(reader.path("text"), i)));
    }
    return state;
}

WindowScript readWindow(const json& value, const std::string& path) {
    Keys keys{"number", "open", "close", "changes"};
    keys.insert(keys.end(), kWindowTimedKeys.begin(), kWindowTimedKeys.end());
    const ObjectReader reader(value, path, keys);
    WindowScript window;
    if (const json* number = reader.find("number")) {
        window.rawNumber = *number;
        window.number = numberOf(*number);
    }
    window.opensAt = reader.time("open", 0);
    if (reader.find("close")) window.closesAt = reader.time("close", 0);
    window.states = readTimeline<WindowState>(value, path, kWindowTimedKeys, readWindowState);
    return window;
}

const Keys kApplicationTimedKeys{"windowsError", "windowsNotAList"};

ApplicationState readApplicationState(const json& phase, const std::string& path) {
    const ObjectReader reader(phase, path, kApplicationTimedKeys);
    return {reader.optionalCode("windowsError"), reader.boolean("windowsNotAList", false)};
}

ApplicationScript readApplication(const json& value, const std::string& path) {
    Keys keys{"bundleId", "name", "pid", "start", "quit", "windows", "changes"};
    keys.insert(keys.end(), kApplicationTimedKeys.begin(), kApplicationTimedKeys.end());
    const ObjectReader reader(value, path, keys);
    ApplicationScript app;
    app.bundleId = reader.requiredString("bundleId");
    app.name = reader.optionalString("name");
    const auto pid = reader.optionalInteger("pid");
    if (!pid || *pid <= 0 || *pid > std::numeric_limits<ProcessId>::max()) fail(path, "needs a positive 'pid'");
    app.processId = static_cast<ProcessId>(*pid);
    app.startsAt = reader.time("start", 0);
    if (reader.find("quit")) app.quitsAt = reader.time("quit", 0);
    app.states = readTimeline<ApplicationState>(value, path, kApplicationTimedKeys, readApplicationState);
    const json& windows = reader.array("windows");
    for (std::size_t i = 0; i < windows.size(); ++i) {
        app.windows.push_back(readWindow(windows[i], indexed(reader.path("windows"), i)));
    }
    return app;
}

const Keys kDesktopTimedKeys{"windowListFails", "shareableWindowsFail", "recognitionFails", "durations",
                             "extraWindowListEntries"};

DesktopState readDesktopState(const json& phase, const std::string& path) {
    const ObjectReader reader(phase, path, kDesktopTimedKeys);
    DesktopState state;
    state.windowListFails = reader.boolean("windowListFails", false);
    state.shareableWindowsFail = reader.boolean("shareableWindowsFail", false);
    state.recognitionFails = reader.boolean("recognitionFails", false);
    if (const json* durations = reader.find("durations")) {
        const std::string durationsPath = reader.path("durations");
        Keys kinds(durationKinds().begin(), durationKinds().end());
        const ObjectReader durationReader(*durations, durationsPath, kinds);
        for (const auto& kind : durationKinds()) {
            if (durationReader.find(kind)) state.durations[kind] = durationReader.time(kind, 0);
        }
    }
    const json& extras = reader.array("extraWindowListEntries");
    for (std::size_t i = 0; i < extras.size(); ++i) {
        const ObjectReader entry(extras[i], indexed(reader.path("extraWindowListEntries"), i),
                                 {"ownerName", "windowName", "windowNumber", "inFront"});
        state.extraWindowListEntries.push_back({readListEntry(entry), entry.boolean("inFront", false)});
    }
    return state;
}

}  // namespace

ScenarioData parseScenario(const json& document) {
    Keys keys{"clockStart",   "runFor", "sleeps", "realTime", "tracksChanges", "accessibilityTrusted", "screenCapture", "accessProblem",
              "applications", "changes"};
    keys.insert(keys.end(), kDesktopTimedKeys.begin(), kDesktopTimedKeys.end());
    const ObjectReader reader(document, "", keys);

    ScenarioData data;
    data.clockStart = reader.number("clockStart", data.clockStart);
    if (!std::isfinite(data.clockStart)) fail("clockStart", "expected a finite number");
    if (reader.find("runFor")) data.runFor = reader.time("runFor", 0);
    if (const auto sleeps = reader.optionalInteger("sleeps")) {
        if (*sleeps < 0 || *sleeps > std::numeric_limits<int>::max()) fail("sleeps", "expected 0 or more");
        data.sleeps = static_cast<int>(*sleeps);
    }
    data.realTime = reader.boolean("realTime", false);
    data.tracksChanges = reader.boolean("tracksChanges", false);
    if (!data.runFor && !data.sleeps) data.sleeps = 1;  // one driver cycle unless told otherwise
    data.accessibilityTrusted = reader.boolean("accessibilityTrusted", true);
    const std::string screenCapture = reader.optionalString("screenCapture").value_or("granted");
    if (screenCapture == "granted") {
        data.screenCapture = ScreenCaptureAnswer::granted;
    } else if (screenCapture == "grantedOnRequest") {
        data.screenCapture = ScreenCaptureAnswer::grantedOnRequest;
    } else if (screenCapture == "denied") {
        data.screenCapture = ScreenCaptureAnswer::denied;
    } else {
        fail("screenCapture", "expected \"granted\", \"grantedOnRequest\" or \"denied\"");
    }
    data.accessProblem = reader.optionalString("accessProblem").value_or("");

    const json& applications = reader.array("applications");
    for (std::size_t i = 0; i < applications.size(); ++i) {
        data.applications.push_back(readApplication(applications[i], indexed("applications", i)));
    }
    data.desktop = readTimeline<DesktopState>(document, "", kDesktopTimedKeys, readDesktopState);
    return data;
}

}  // namespace scripted

std::optional<Scenario> Scenario::fromJson(std::string_view json, std::string& error) {
    try {
        const auto document = nlohmann::json::parse(json);
        return Scenario(std::make_shared<const scripted::ScenarioData>(scripted::parseScenario(document)));
    } catch (const scripted::ScenarioError& e) {
        error = e.message;
    } catch (const nlohmann::json::exception& e) {
        error = std::string("not valid scenario JSON: ") + e.what();
    }
    return std::nullopt;
}

std::optional<Scenario> Scenario::fromFile(const std::string& path, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read scenario file " + path;
        return std::nullopt;
    }
    std::ostringstream text;
    text << file.rdbuf();
    auto scenario = fromJson(text.str(), error);
    if (!scenario) error = path + ": " + error;
    return scenario;
}

}  // namespace platform
