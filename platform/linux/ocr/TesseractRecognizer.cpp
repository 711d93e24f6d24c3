#include "TesseractRecognizer.h"

#include <omp.h>
#include <sys/mman.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <cstring>
#include <list>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "LeptonicaQuiet.h"
#include "LineText.h"
#include "Preprocess.h"

namespace platform::tess {

namespace {

// The engine reads capitals best at about 20-30 pixels. Images are scaled so that the smaller
// glyphs (lower-case letters of the smallest text, mostly) stand about this high.
constexpr double kTargetSmallTextHeight = 16.0;
constexpr double kMinScale = 0.5;
constexpr double kMaxUpscale = 3.0;
constexpr int kBorder = 10;
// Captures are taken at twice the window's size in points (72 per inch).
constexpr int kCaptureResolution = 144;
// Large images are studied at half size unless their small text would get too small there.
constexpr long long kHalveAbovePixels = 1'200'000;
constexpr double kMinHalvedTextHeight = 7.0;
// The accurate level takes a second look, larger, at lines the engine is less sure of.
constexpr float kSureConfidence = 90.0f;
constexpr double kSecondLookEnlargement = 1.75;
// Where a line runs a custom phrase together, the sizes it is read at again, relative to the first.
constexpr std::array<double, 2> kRunTogetherRereadScales{0.8, 0.65};
// A letter's second choice is offered when it costs at most this much more than the first.
constexpr float kRunnerUpCostGap = 8.0f;
// The flat-fill drawing can miss text on stripes, textures and translucent bars. The image's
// plain grey levels are then read again, thresholded locally by the engine (Sauvola), as they
// are and inverted for light text: all of it when the first reading found nothing or much of the
// image is no fill, else the rows around lines it was unsure of, glyph-like marks it left unread
// and stray marks as high as text (letters grown together with stripes or grain).
constexpr float kUnsureConfidence = 60.0f;
// Lines below this are read again, enlarged, at the fast level too.
constexpr float kRereadConfidence = 75.0f;
constexpr double kBusyFraction = 0.2;
constexpr int kUnreadGlyphs = 2;
constexpr int kMinBusyRows = 16;   // in caller pixels
// Mean grey levels below which a band is read only as light text, above which only as dark.
constexpr double kDarkBandMean = 90.0;
constexpr double kLightBandMean = 170.0;
// The minimum text height asked for is the text's size. A line's box holds its ink, which for
// capitals and digits alone ("00:59") stands about this share of the size.
constexpr double kLowestInkOfText = 0.7;
// Readings of those other images that the engine is less sure of are left out: on textures
// they are mostly noise.
constexpr float kOtherImageMinConfidence = 50.0f;
// Secondary text (small labels and timers beside larger text) is scaled with the image for its
// usual text and can stay too small for the engine. Rows of marks lower than kSmallRowHeight
// engine pixels (the usual text's capitals stand 21 high or more), or much lower than the
// image's usual marks, are read again on their own, prepared at full size and enlarged so that
// their capitals stand kSmallRowTarget high; the smallest few per image. A row that a sure line
// of the first reading covers is read again only when that line holds a run of digits or nearly
// spells a custom phrase: at these sizes the points of a timer's colon blur into the digits beside
// them and a letter into its neighbour, and the engine is sure of the rest ("1207", "On Cal"). Rows cut by the image's top or bottom
// edge cannot be read whole and are left out.
constexpr double kSmallRowHeight = 17.0;
constexpr double kSmallerThanUsual = 0.85;
constexpr double kSmallRowTarget = 26.0;
constexpr int kMinSmallRowSourceHeight = 7;
constexpr std::size_t kMaxSmallRows = 4;
constexpr std::size_t kMaxSmallRowsLooked = 12;
constexpr int kMaxSmallMarkAspect = 12;
constexpr int kSmallInkGain = 180;   // percent
// A small row read as this many digits in a row may be a time whose separators were lost. It is
// read once more from its plain grey levels, which keep faint points that the drawing by fills
// merges into the digit beside them, at each of these sizes relative to the first; a reading of
// the same digits with separators between them is taken as the better one.
constexpr int kRunTogetherDigits = 3;
constexpr std::array<double, 2> kPlainRowRereadScales{0.8, 1.25};
// Words read as runs of digits are read again alone, at most this many per image.
constexpr std::size_t kMaxDigitRuns = 2;

// ---------------------------------------------------------------------------------------------
// Files and settings

std::string findTessdata(const std::string& language) {
    static const std::array<const char*, 5> kPlaces{
        "/usr/share/tesseract-ocr/5/tessdata", "/usr/share/tesseract-ocr/4.00/tessdata",
        "/usr/share/tessdata", "/usr/local/share/tessdata", "/usr/local/share/tesseract-ocr/5/tessdata"};
    std::error_code error;
    for (const char* place : kPlaces) {
        if (std::filesystem::is_regular_file(std::filesystem::path(place) / (language + ".traineddata"), error)) {
            return place;
        }
    }
    return {};
}

// Tesseract's model name for a language tag such as "en-US"; empty when unknown.
std::string modelName(const std::string& tag) {
    static const std::map<std::string, std::string> kModels{
        {"en", "eng"}, {"de", "deu"}, {"fr", "fra"}, {"es", "spa"}, {"it", "ita"},
        {"pt", "por"}, {"nl", "nld"}, {"sv", "swe"}, {"da", "dan"}, {"nb", "nor"},
        {"pl", "pol"}, {"cs", "ces"}, {"fi", "fin"}, {"ja", "jpn"}, {"zh", "chi_sim"}};
    std::string primary = tag.substr(0, tag.find_first_of("-_"));
    std::transform(primary.begin(), primary.end(), primary.begin(), [](unsigned char c) { return std::tolower(c); });
    const auto found = kModels.find(primary);
    return found == kModels.end() ? std::string{} : found->second;
}

// "eng" or "eng+deu" for the requested languages; English when none is given.
std::string modelList(const std::vector<std::string>& languages) {
    std::string list;
    for (const auto& tag : languages) {
        const std::string model = modelName(tag);
        if (model.empty()) return {};
        if (("+" + list + "+").find("+" + model + "+") != std::string::npos) continue;
        if (!list.empty()) list += '+';
        list += model;
    }
    return list.empty() ? "eng" : list;
}

// The engine's dictionary holds single words: "On Call" adds "On" and "Call".
std::vector<std::string> dictionaryWords(const std::vector<std::string>& customWords) {
    std::set<std::string> seen;
    std::vector<std::string> words;
    for (const auto& phrase : customWords) {
        std::size_t start = 0;
        while (start < phrase.size()) {
            const std::size_t end = std::min(phrase.find(' ', start), phrase.size());
            std::string word = phrase.substr(start, end - start);
            if (!word.empty() && seen.insert(word).second) words.push_back(std::move(word));
            start = end + 1;
        }
    }
    return words;
}

// An anonymous in-memory file: the engine reads its word list by name at start-up, and this
// leaves nothing on disk to clean up.
class MemoryFile {
public:
    explicit MemoryFile(const std::string& contents) : fd_(memfd_create("linewarden-words", MFD_CLOEXEC)) {
        std::size_t written = 0;
        while (fd_ >= 0 && written < contents.size()) {
            const ssize_t n = ::write(fd_, contents.data() + written, contents.size() - written);
            if (n <= 0) break;
            written += static_cast<std::size_t>(n);
        }
        ok_ = fd_ >= 0 && written == contents.size();
    }
    ~MemoryFile() {
        if (fd_ >= 0) ::close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    bool ok() const { return ok_; }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
    bool ok_ = false;
};

// ---------------------------------------------------------------------------------------------
// Reading results

struct Reading {
    std::string text;
    float confidence = 0;
};

struct Line {
    PixelRect box;                       // in the caller's image
    std::vector<Reading> readings;       // every reading of this line, best first once sorted
    std::vector<std::string> runnersUp;  // the first reading with one doubtful letter changed
    std::vector<PixelRect> digitRuns;    // its words the engine read as runs of digits
};

// How an image handed to the engine maps back to the caller's image.
struct Frame {
    double scale = 1;      // engine pixels per caller pixel
    double originX = 0;    // the caller's pixel at the engine image's corner inside the border
    double originY = 0;
};

struct TextDeleter {
    void operator()(char* text) const { delete[] text; }
};
using EngineText = std::unique_ptr<char, TextDeleter>;

std::string withoutTrailingBreaks(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c); });
}

PixelRect toSource(const Frame& frame, int left, int top, int right, int bottom, int width, int height) {
    auto x = [&](int v) { return frame.originX + (v - kBorder) / frame.scale; };
    auto y = [&](int v) { return frame.originY + (v - kBorder) / frame.scale; };
    const int x0 = std::clamp(static_cast<int>(std::floor(x(left))), 0, width);
    const int y0 = std::clamp(static_cast<int>(std::floor(y(top))), 0, height);
    const int x1 = std::clamp(static_cast<int>(std::ceil(x(right))), x0, width);
    const int y1 = std::clamp(static_cast<int>(std::ceil(y(bottom))), y0, height);
    return {x0, y0, x1 - x0, y1 - y0};
}

std::string digitsOf(std::string text) {
    std::erase_if(text, [](unsigned char c) { return std::isdigit(c) == 0; });
    return text;
}

bool hasDigitRun(const std::string& text) {
    int run = 0;
    for (const unsigned char c : text) {
        run = std::isdigit(c) != 0 ? run + 1 : 0;
        if (run >= kRunTogetherDigits) return true;
    }
    return false;
}

bool isDashLike(const char* text) {
    const std::string_view t(text);
    return t == "-" || t == "_" || t == "\u2013" || t == "\u2014";
}

// Whether the engine image shows any dark pixel inside the box.
bool hasInk(const GreyImage& image, int left, int top, int right, int bottom) {
    for (int y = std::max(top, 0); y < std::min(bottom, image.height); ++y) {
        for (int x = std::max(left, 0); x < std::min(right, image.width); ++x) {
            if (image.at(x, y) < 128) return true;
        }
    }
    return false;
}

// The engine's letters of the line the iterator stands on, with their boxes and, when the
// engine kept them, its other choices per letter. In wide gaps between words the engine now and
// then reports a dash where there is nothing; a dash without ink under it is left out.
std::vector<WordReading> lettersOfLine(const tesseract::ResultIterator& line, const GreyImage& image) {
    std::vector<WordReading> words;
    tesseract::ResultIterator word(line);
    do {
        WordReading letters;
        tesseract::ResultIterator symbol(word);
        do {
            EngineText text(symbol.GetUTF8Text(tesseract::RIL_SYMBOL));
            if (!text) continue;
            int left = 0, top = 0, right = 0, bottom = 0;
            symbol.BoundingBox(tesseract::RIL_SYMBOL, &left, &top, &right, &bottom);
            const bool phantom = isDashLike(text.get()) && !hasInk(image, left, top, right, bottom);
            letters.push_back({text.get(), right - left, bottom - top, {}, phantom});
        } while (!symbol.IsAtFinalElement(tesseract::RIL_WORD, tesseract::RIL_SYMBOL) &&
                 symbol.Next(tesseract::RIL_SYMBOL));
        // The engine's choices per time step; blanks stand between words. They are used only
        // when they line up with the letters one to one.
        if (const auto* steps = word.GetBestLSTMSymbolChoices()) {
            std::vector<const std::vector<std::pair<const char*, float>>*> lettersSteps;
            for (const auto& step : *steps) {
                if (!step.empty() && std::string_view(step.front().first) != " ") lettersSteps.push_back(&step);
            }
            bool aligned = lettersSteps.size() == letters.size();
            for (std::size_t i = 0; aligned && i < letters.size(); ++i) {
                aligned = letters[i].text == lettersSteps[i]->front().first;
            }
            for (std::size_t i = 0; aligned && i < letters.size(); ++i) {
                const auto& step = *lettersSteps[i];
                for (std::size_t c = 1; c < step.size(); ++c) {
                    letters[i].alternatives.emplace_back(step[c].first, step[c].second - step.front().second);
                }
            }
        }
        words.push_back(std::move(letters));
    } while (!word.IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD) && word.Next(tesseract::RIL_WORD));
    return words;
}

// A box in the engine image's pixels.
struct EngineBox {
    int left = 0, top = 0, right = 0, bottom = 0;
};

// A line as the engine reads it, boxed in the engine image's pixels.
struct EngineLine {
    int left = 0, top = 0, right = 0, bottom = 0;
    std::string text;
    float confidence = 0;
    std::vector<std::string> runnersUp;
    std::vector<EngineBox> digitRuns;
};

// The boxes of the words of the line the iterator stands on that read as runs of digits, given
// the line's letters word by word as lettersOfLine reads them (phantom dashes left out).
std::vector<EngineBox> digitRunsOfLine(const tesseract::ResultIterator& line, const std::vector<WordReading>& words) {
    std::vector<EngineBox> boxes;
    tesseract::ResultIterator word(line);
    for (const auto& letters : words) {
        std::string text;
        for (const auto& letter : letters) {
            if (!letter.phantom) text += letter.text;
        }
        EngineBox box;
        if (hasDigitRun(text) && word.BoundingBox(tesseract::RIL_WORD, &box.left, &box.top, &box.right, &box.bottom)) {
            boxes.push_back(box);
        }
        if (word.IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD) || !word.Next(tesseract::RIL_WORD)) break;
    }
    return boxes;
}

// Everything besides the image that shapes the engine's answer.
struct EngineCall {
    tesseract::PageSegMode mode = tesseract::PSM_SPARSE_TEXT;
    int resolution = kCaptureResolution;
    bool localThreshold = false;   // Sauvola instead of the engine's default Otsu
    bool choices = false;          // the engine keeps its choices per letter
    int runnersUp = 0;
    bool operator==(const EngineCall&) const = default;
};

int resolutionAt(double scale) { return std::max(70, static_cast<int>(std::lround(kCaptureResolution * scale))); }

// Hands a prepared grey image to the engine and reads its text lines, in the engine's order.
std::vector<EngineLine> recogniseLines(tesseract::TessBaseAPI& api, const GreyImage& prepared, const EngineCall& call) {
    std::vector<EngineLine> lines;
    api.SetPageSegMode(call.mode);
    api.SetImage(prepared.pixels.data(), prepared.width, prepared.height, 1, prepared.width);
    api.SetSourceResolution(call.resolution);
    if (api.Recognize(nullptr) != 0) return lines;
    std::unique_ptr<tesseract::ResultIterator> iterator(api.GetIterator());
    if (!iterator) return lines;
    do {
        EngineText raw(iterator->GetUTF8Text(tesseract::RIL_TEXTLINE));
        if (!raw) continue;
        std::string text = withoutTrailingBreaks(raw.get());
        if (isBlank(text)) continue;
        EngineLine line;
        if (!iterator->BoundingBox(tesseract::RIL_TEXTLINE, &line.left, &line.top, &line.right, &line.bottom)) continue;
        auto letters = lettersOfLine(*iterator, prepared);
        line.digitRuns = digitRunsOfLine(*iterator, letters);
        if (spell(letters) == text) {
            dropPhantoms(letters);
            settleDashes(letters);
            text = spell(letters);
            if (text.empty()) continue;
            if (call.runnersUp > 0) line.runnersUp = runnersUp(letters, call.runnersUp, kRunnerUpCostGap);
        }
        line.text = std::move(text);
        line.confidence = iterator->Confidence(tesseract::RIL_TEXTLINE);
        lines.push_back(std::move(line));
    } while (iterator->Next(tesseract::RIL_TEXTLINE));
    return lines;
}

// The engine's lines placed in the caller's image.
std::vector<Line> placed(const std::vector<EngineLine>& engineLines, const Frame& frame, const Image& source) {
    std::vector<Line> lines;
    for (const auto& engineLine : engineLines) {
        Line line;
        line.box = toSource(frame, engineLine.left, engineLine.top, engineLine.right, engineLine.bottom, source.width(),
                            source.height());
        line.readings.push_back({engineLine.text, engineLine.confidence});
        line.runnersUp = engineLine.runnersUp;
        for (const auto& run : engineLine.digitRuns) {
            line.digitRuns.push_back(toSource(frame, run.left, run.top, run.right, run.bottom, source.width(), source.height()));
        }
        lines.push_back(std::move(line));
    }
    return lines;
}

// The engine's answers to its latest calls. The engine learns nothing from what it reads, so
// the very same pixels with the very same call get the very same answer: a screen that comes
// back (a status switched back and forth) and a doubtful line that did not change while others
// did are not read again. Answers are kept with their images and reused only on an exact match;
// the least recently used go first once the images kept pass the budget.
class RecentAnswers {
public:
    explicit RecentAnswers(std::size_t budgetBytes) : budget_(budgetBytes) {}

    // FNV-1a over the size and the pixels, eight at a time: only to pass over most entries fast.
    static std::uint64_t keyOf(const GreyImage& image) {
        std::uint64_t hash = 14695981039346656037ULL ^ (static_cast<std::uint64_t>(image.width) << 32 | static_cast<std::uint32_t>(image.height));
        const std::size_t n = image.pixels.size();
        std::size_t i = 0;
        for (; i + 8 <= n; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, image.pixels.data() + i, 8);
            hash = (hash ^ word) * 1099511628211ULL;
        }
        for (; i < n; ++i) hash = (hash ^ image.pixels[i]) * 1099511628211ULL;
        return hash;
    }

    const std::vector<EngineLine>* find(std::uint64_t key, const GreyImage& image, const EngineCall& call) {
        for (auto entry = entries_.begin(); entry != entries_.end(); ++entry) {
            if (entry->key == key && entry->call == call && entry->image.width == image.width &&
                entry->image.height == image.height && entry->image.pixels == image.pixels) {
                entries_.splice(entries_.begin(), entries_, entry);
                return &entries_.front().lines;
            }
        }
        return nullptr;
    }

    void add(std::uint64_t key, const GreyImage& image, const EngineCall& call, std::vector<EngineLine> lines) {
        // One large image would push out the many small ones (lines, bands) that come back more.
        if (2 * image.pixels.size() > budget_) return;
        entries_.push_front({key, call, image, std::move(lines)});
        bytes_ += image.pixels.size();
        while (bytes_ > budget_) {
            bytes_ -= entries_.back().image.pixels.size();
            entries_.pop_back();
        }
    }

private:
    struct Entry {
        std::uint64_t key;
        EngineCall call;
        GreyImage image;
        std::vector<EngineLine> lines;
    };

    std::size_t budget_;
    std::size_t bytes_ = 0;
    std::list<Entry> entries_;   // most recently used first
};

// One engine and its answers: the engine reads an image only when it has not answered the
// same call on the same pixels lately.
class Engine {
public:
    Engine(std::unique_ptr<tesseract::TessBaseAPI> api, std::size_t answerBudget)
        : api_(std::move(api)), answers_(answerBudget) {}

    tesseract::TessBaseAPI& api() { return *api_; }

    std::vector<Line> read(const GreyImage& prepared, const EngineCall& call, const Frame& frame, const Image& source) {
        const std::uint64_t key = RecentAnswers::keyOf(prepared);
        if (const auto* known = answers_.find(key, prepared, call)) return placed(*known, frame, source);
        if (call.choices != choices_) {
            api_->SetVariable("lstm_choice_mode", call.choices ? "2" : "0");
            choices_ = call.choices;
        }
        if (call.localThreshold != localThreshold_) {
            api_->SetVariable("thresholding_method", call.localThreshold ? "2" : "0");
            localThreshold_ = call.localThreshold;
        }
        auto lines = recogniseLines(*api_, prepared, call);
        auto result = placed(lines, frame, source);
        answers_.add(key, prepared, call, std::move(lines));
        return result;
    }

private:
    std::unique_ptr<tesseract::TessBaseAPI> api_;
    RecentAnswers answers_;
    bool choices_ = false;
    bool localThreshold_ = false;
};

// Lines in reading order: rows from top to bottom, each row from left to right. A line belongs
// to a row when its vertical middle lies within the row's first line.
void sortInReadingOrder(std::vector<Line>& lines) {
    std::stable_sort(lines.begin(), lines.end(), [](const Line& a, const Line& b) { return a.box.y < b.box.y; });
    std::size_t rowStart = 0;
    while (rowStart < lines.size()) {
        const PixelRect& first = lines[rowStart].box;
        std::size_t rowEnd = rowStart + 1;
        while (rowEnd < lines.size() && lines[rowEnd].box.y + lines[rowEnd].box.height / 2 <= first.y + first.height) {
            ++rowEnd;
        }
        std::stable_sort(lines.begin() + static_cast<std::ptrdiff_t>(rowStart),
                         lines.begin() + static_cast<std::ptrdiff_t>(rowEnd),
                         [](const Line& a, const Line& b) { return a.box.x < b.box.x; });
        rowStart = rowEnd;
    }
}

// The line's distinct readings, surest first, then the engine's runners-up, at most `wanted`.
std::vector<std::string> candidatesOf(Line& line, int wanted) {
    std::stable_sort(line.readings.begin(), line.readings.end(),
                     [](const Reading& a, const Reading& b) { return a.confidence > b.confidence; });
    std::vector<std::string> candidates;
    auto add = [&](const std::string& text) {
        if (static_cast<int>(candidates.size()) < wanted &&
            std::find(candidates.begin(), candidates.end(), text) == candidates.end()) {
            candidates.push_back(text);
        }
    };
    for (const auto& reading : line.readings) add(reading.text);
    for (const auto& text : line.runnersUp) add(text);
    return candidates;
}

// Debian's engine is built with OpenMP and starts its own worker threads for every line, which
// on small images costs several times what it saves. Recognition stays on this thread.
void keepRecognitionOnThisThread() {
    omp_set_max_active_levels(0);
    omp_set_num_threads(1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Engines, one per profile

class TesseractRecognizer::Engines {
public:
    explicit Engines(std::size_t answerBudget) : answerBudget_(answerBudget) {}

    Engine* forProfile(const RecognitionSettings& settings) {
        const std::string models = modelList(settings.languages);
        if (models.empty()) return nullptr;
        std::string key = models + (settings.usesLanguageCorrection ? "|dict|" : "|raw|");
        for (const auto& word : dictionaryWords(settings.customWords)) key += word + '\n';
        auto found = engines_.find(key);
        if (found == engines_.end()) {
            auto api = start(models, settings);
            found = engines_.emplace(key, api ? std::make_unique<Engine>(std::move(api), answerBudget_) : nullptr).first;
        }
        return found->second.get();
    }

private:
    static std::unique_ptr<tesseract::TessBaseAPI> start(const std::string& models, const RecognitionSettings& settings) {
        // Every model must be there: the engine would otherwise start without the missing ones.
        const std::string datapath = findTessdata(models.substr(0, models.find('+')));
        if (datapath.empty()) return nullptr;
        for (std::size_t start = 0; start < models.size();) {
            const std::size_t end = std::min(models.find('+', start), models.size());
            std::error_code error;
            if (!std::filesystem::is_regular_file(
                    std::filesystem::path(datapath) / (models.substr(start, end - start) + ".traineddata"), error)) {
                return nullptr;
            }
            start = end + 1;
        }

        std::string wordList;
        for (const auto& word : dictionaryWords(settings.customWords)) wordList += word + '\n';
        const MemoryFile words(wordList);

        std::vector<std::string> names{"debug_file"};
        std::vector<std::string> values{"/dev/null"};
        if (!wordList.empty() && words.ok()) {
            names.push_back("user_words_file");
            values.push_back(words.path());
        }
        if (!settings.usesLanguageCorrection) {
            // Without correction the engine should not lean on its English word lists.
            names.insert(names.end(), {"load_system_dawg", "load_freq_dawg"});
            values.insert(values.end(), {"0", "0"});
        }
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        api->SetVariable("debug_file", "/dev/null");
        if (api->Init(datapath.c_str(), models.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, &names, &values,
                      false) != 0) {
            return nullptr;
        }
        // Light-on-dark text is turned dark before the engine sees it; its own inverted second
        // reading of doubtful lines would only cost time.
        api->SetVariable("tessedit_do_invert", "0");
        return api;
    }

    std::size_t answerBudget_;
    std::map<std::string, std::unique_ptr<Engine>> engines_;
};

std::string tessdataDirectory() { return findTessdata("eng"); }

TesseractRecognizer::TesseractRecognizer(std::size_t answerBudgetBytes)
    : engines_(std::make_unique<Engines>(answerBudgetBytes)) {
    silenceLeptonica();
}

TesseractRecognizer::~TesseractRecognizer() = default;

namespace {

// The image as prepared for reading, and how it maps back to the caller's pixels.
struct Study {
    NormalisedText normalised;
    double workToSource = 1.0;   // studied pixels per caller pixel
    std::optional<GreyImage> halfGrey;   // the caller's image at half size in grey levels, when studied so
};

// Large windows are studied at half size, which costs a quarter, unless that makes their
// smaller text too small to tell fills from strokes.
Study study(const Image& image) {
    Study result;
    if (static_cast<long long>(image.width()) * image.height() > kHalveAbovePixels) {
        const Image half = halved(image);
        result.normalised = normaliseForText(half, 2);
        const double small = result.normalised.smallTextHeight;
        if (small == 0 || small >= kMinHalvedTextHeight) {
            result.workToSource = 0.5;
            result.halfGrey = luminance(half);
            return result;
        }
    }
    result.normalised = normaliseForText(image);
    return result;
}

std::string withoutSpaces(std::string text) {
    std::erase(text, ' ');
    return text;
}

// The custom phrase of several words that the text spells only with its spaces left out, as the
// engine reads narrowly set words ("OnCally" for "On Call"); empty when there is none.
std::string runTogetherPhrase(const std::string& text, const std::vector<std::string>& customWords) {
    for (const auto& phrase : customWords) {
        if (phrase.find(' ') == std::string::npos || text.find(phrase) != std::string::npos) continue;
        if (withoutSpaces(text).find(withoutSpaces(phrase)) != std::string::npos) return phrase;
    }
    return {};
}

std::string lowerCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text;
}

std::size_t editDistance(const std::string& a, const std::string& b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Whether the text misspells a custom phrase by a letter or two ("On Cal", "Avallable") without
// spelling it anywhere, whatever the case: the engine can be sure of such a reading of small text.
bool nearlySpellsCustomPhrase(const std::string& text, const std::vector<std::string>& customWords) {
    std::vector<std::string> words;
    std::istringstream stream(lowerCase(text));
    for (std::string word; stream >> word;) words.push_back(word);
    bool near = false;
    for (const auto& phrase : customWords) {
        const std::string wanted = lowerCase(phrase);
        const auto length = static_cast<std::size_t>(std::count(wanted.begin(), wanted.end(), ' ') + 1);
        for (std::size_t start = 0; start + length <= words.size(); ++start) {
            std::string window = words[start];
            for (std::size_t w = start + 1; w < start + length; ++w) window += ' ' + words[w];
            const std::size_t distance = editDistance(window, wanted);
            if (distance == 0) return false;
            near = near || distance <= std::max<std::size_t>(1, wanted.size() / 4);
        }
    }
    return near;
}

// Another reading of each doubtful line: cut out with a margin, enlarged, read as a single line.
// A line that runs a custom phrase together is read again smaller instead, however sure the
// engine was: it tells a narrow word gap from letter spacing by the letters' size, and sets the
// space at a smaller size. A reading that then spells the phrase as given is taken as the
// better one, as the custom words ask.
void takeSecondLook(Engine& engine, const Study& studied, double scale, const Image& image, float sure,
                    bool choices, const std::vector<std::string>& customWords, std::vector<Line>& lines) {
    const double toWork = studied.workToSource;
    for (auto& line : lines) {
        const Reading first = line.readings.front();
        const std::string phrase = runTogetherPhrase(first.text, customWords);
        if (first.confidence >= sure && phrase.empty()) continue;
        const int margin = std::max(2, static_cast<int>(line.box.height * toWork / 4));
        const PixelRect area{static_cast<int>(line.box.x * toWork) - margin, static_cast<int>(line.box.y * toWork) - margin,
                             static_cast<int>(std::ceil(line.box.width * toWork)) + 2 * margin,
                             static_cast<int>(std::ceil(line.box.height * toWork)) + 2 * margin};
        const GreyImage piece = cropped(studied.normalised.grey, area);
        if (piece.width == 0 || piece.height == 0) continue;
        auto readAt = [&](double factor) -> std::optional<Reading> {
            const Frame frame{factor * toWork, std::max(area.x, 0) / toWork, std::max(area.y, 0) / toWork};
            const EngineCall call{tesseract::PSM_SINGLE_LINE, resolutionAt(frame.scale), false, choices, 0};
            auto again = engine.read(withBorder(scaled(piece, factor), kBorder), call, frame, image);
            if (again.empty()) return std::nullopt;
            return std::move(again.front().readings.front());
        };
        if (!phrase.empty()) {
            std::optional<Reading> spaced;
            for (const double smaller : kRunTogetherRereadScales) {
                spaced = readAt(scale * smaller);
                if (spaced && spaced->text.find(phrase) != std::string::npos) break;
                spaced.reset();
            }
            if (spaced) {
                spaced->confidence = std::max(spaced->confidence, first.confidence);
                line.readings.insert(line.readings.begin(), std::move(*spaced));
                continue;
            }
        }
        if (first.confidence >= sure) continue;
        if (auto reading = readAt(scale * kSecondLookEnlargement)) line.readings.push_back(std::move(*reading));
    }
}

// Whether two boxes frame the same text: their overlap covers most of the larger one.
bool sameLine(const PixelRect& a, const PixelRect& b) {
    const int w = std::min(a.x + a.width, b.x + b.width) - std::max(a.x, b.x);
    const int h = std::min(a.y + a.height, b.y + b.height) - std::max(a.y, b.y);
    if (w <= 0 || h <= 0) return false;
    const long long larger = std::max(static_cast<long long>(a.width) * a.height, static_cast<long long>(b.width) * b.height);
    return 5LL * w * h >= 4 * larger;
}

bool inside(const PixelRect& inner, const PixelRect& outer) {
    const int cx = inner.x + inner.width / 2;
    const int cy = inner.y + inner.height / 2;
    return cx >= outer.x && cx < outer.x + outer.width && cy >= outer.y && cy < outer.y + outer.height;
}

// Rows of the studied image, top and bottom, as another image is read.
struct Band {
    int top;
    int bottom;
};

// The rows where the first reading may have left text unread: around each line it was unsure of
// and each glyph-like mark no line covers. The whole image when it read nothing or much of the
// image is no fill at all; none when all is well. UI text runs in rows, so a band spans the
// image's width and a line's neighbours are read along with it.
std::vector<Band> doubtfulBands(const Study& studied, const std::vector<Line>& lines) {
    const int height = studied.normalised.grey.height;
    if (lines.empty() || studied.normalised.unflatFraction >= kBusyFraction) return {{0, height}};
    const double toWork = studied.workToSource;
    std::vector<Band> bands;
    auto around = [&](double top, double bottom) {
        const double margin = (bottom - top) / 2 + 2;
        bands.push_back({std::max(0, static_cast<int>(top - margin)), std::min(height, static_cast<int>(std::ceil(bottom + margin)))});
    };
    for (const auto& line : lines) {
        const auto surest = std::max_element(line.readings.begin(), line.readings.end(),
                                             [](const Reading& a, const Reading& b) { return a.confidence < b.confidence; });
        if (surest->confidence < kUnsureConfidence) around(line.box.y * toWork, (line.box.y + line.box.height) * toWork);
    }
    std::vector<Band> unread;
    for (const auto& glyph : studied.normalised.glyphs) {
        const PixelRect inSource{static_cast<int>(glyph.x / toWork), static_cast<int>(glyph.y / toWork),
                                 static_cast<int>(glyph.width / toWork), static_cast<int>(glyph.height / toWork)};
        const bool read = std::any_of(lines.begin(), lines.end(), [&](const Line& line) { return inside(inSource, line.box); });
        if (!read) unread.push_back({glyph.y, glyph.y + glyph.height});
    }
    // Marks no line covers that are neither letters nor rims, as high as text at least: letters
    // grown together with stripes, with the edges of what moves behind a translucent bar, with
    // grain. A line that reads them surely stands for them.
    for (const auto& stray : studied.normalised.strayMarks) {
        if (stray.height < kMinBusyRows * toWork) continue;
        const PixelRect inSource{static_cast<int>(stray.x / toWork), static_cast<int>(stray.y / toWork),
                                 static_cast<int>(stray.width / toWork), static_cast<int>(stray.height / toWork)};
        const bool read = std::any_of(lines.begin(), lines.end(), [&](const Line& line) {
            return inside(inSource, line.box) &&
                   std::any_of(line.readings.begin(), line.readings.end(), [](const Reading& r) { return r.confidence >= kUnsureConfidence; });
        });
        if (!read) bands.push_back({stray.y, stray.y + stray.height});
    }
    // A lone unread mark is mostly an icon.
    if (unread.size() >= static_cast<std::size_t>(kUnreadGlyphs)) {
        for (const auto& band : unread) around(band.top, band.bottom);
    }
    std::sort(bands.begin(), bands.end(), [](const Band& a, const Band& b) { return a.top < b.top; });
    std::vector<Band> merged;
    for (const auto& band : bands) {
        if (!merged.empty() && band.top <= merged.back().bottom) merged.back().bottom = std::max(merged.back().bottom, band.bottom);
        else merged.push_back(band);
    }
    return merged;
}

// Adds the sure lines read from another image: a further reading of the line it frames alike,
// or else a line of its own (a part of a line, or a line the first reading missed or saw in
// pieces), unless some line already reads so.
void merge(std::vector<Line>& lines, std::vector<Line> others) {
    for (auto& other : others) {
        if (other.readings.front().confidence < kOtherImageMinConfidence) continue;
        const std::string& text = other.readings.front().text;
        const bool known = std::any_of(lines.begin(), lines.end(), [&](const Line& line) {
            return std::any_of(line.readings.begin(), line.readings.end(), [&](const Reading& r) { return r.text == text; });
        });
        if (known) continue;
        const auto same = std::find_if(lines.begin(), lines.end(), [&](const Line& line) { return sameLine(line.box, other.box); });
        if (same == lines.end()) {
            lines.push_back(std::move(other));
        } else {
            same->readings.push_back(std::move(other.readings.front()));
        }
    }
}

// The mean of each pixel's 3x3 neighbourhood: takes the grain out of noisy textures.
GreyImage smoothed(const GreyImage& image) {
    GreyImage out = image;
    for (int y = 1; y + 1 < image.height; ++y) {
        for (int x = 1; x + 1 < image.width; ++x) {
            int sum = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                for (int dx = -1; dx <= 1; ++dx) sum += image.at(x + dx, y + dy);
            }
            out.pixels[static_cast<std::size_t>(y) * image.width + x] = static_cast<std::uint8_t>((sum + 4) / 9);
        }
    }
    return out;
}

GreyImage inverted(GreyImage image) {
    for (auto& v : image.pixels) v = static_cast<std::uint8_t>(255 - v);
    return image;
}

// The plain grey levels of each band, as they are and inverted, read with the engine's local
// thresholding.
void readOtherImages(Engine& engine, const Study& studied, double scale, const Image& image, bool choices,
                     int wantedRunnersUp, const std::vector<Band>& bands, std::vector<Line>& lines) {
    // On a grainy picture the grain is taken out first.
    GreyImage grey = studied.halfGrey ? *studied.halfGrey : luminance(image);
    if (studied.normalised.unflatFraction >= kBusyFraction) grey = smoothed(grey);
    for (const auto& band : bands) {
        const GreyImage rows = scaled(cropped(grey, {0, band.top, grey.width, band.bottom - band.top}), scale);
        if (rows.width == 0 || rows.height == 0) continue;
        const Frame frame{scale * studied.workToSource, 0, band.top / studied.workToSource};
        const EngineCall call{tesseract::PSM_SPARSE_TEXT, resolutionAt(frame.scale), true, choices, wantedRunnersUp};
        // Dark text on a dark band or light text on a light one would hardly be legible: such a
        // band is read in the one polarity that suits it.
        long long sum = 0;
        for (const auto v : rows.pixels) sum += v;
        const double mean = static_cast<double>(sum) / static_cast<double>(rows.pixels.size());
        if (mean >= kDarkBandMean) merge(lines, engine.read(withBorder(rows, kBorder), call, frame, image));
        if (mean <= kLightBandMean) merge(lines, engine.read(withBorder(inverted(rows), kBorder), call, frame, image));
    }
}

// Rows of small marks, in the caller's pixels, smallest first: text the image's scale leaves too
// small for the engine. Marks of about one height that stand side by side, no further apart than
// they are high (a word space; a UI's items stand further apart), make a row; a lone mark counts
// only when it is a word or a timer grown together.
std::vector<PixelRect> smallTextRows(const Study& studied, double scale) {
    const double toWork = studied.workToSource;
    // Marks no wider than a word, in the caller's pixels; those as high as text may make rows.
    std::vector<PixelRect> marks;
    std::vector<int> heights;
    for (const auto* list : {&studied.normalised.glyphs, &studied.normalised.strayMarks}) {
        for (const auto& mark : *list) {
            if (mark.width > kMaxSmallMarkAspect * std::max(mark.height, 1)) continue;
            marks.push_back({static_cast<int>(mark.x / toWork), static_cast<int>(mark.y / toWork),
                             static_cast<int>(std::ceil(mark.width / toWork)), static_cast<int>(std::ceil(mark.height / toWork))});
            if (marks.back().height >= kMinSmallRowSourceHeight) heights.push_back(marks.back().height);
        }
    }
    if (heights.empty()) return {};
    std::nth_element(heights.begin(), heights.begin() + static_cast<std::ptrdiff_t>(heights.size() / 2), heights.end());
    const double usual = heights[heights.size() / 2];
    const double toEngine = scale * toWork;
    std::vector<PixelRect> small;
    for (const auto& mark : marks) {
        if (mark.height >= kMinSmallRowSourceHeight &&
            (mark.height * toEngine < kSmallRowHeight || mark.height < kSmallerThanUsual * usual)) {
            small.push_back(mark);
        }
    }
    std::sort(small.begin(), small.end(), [](const PixelRect& a, const PixelRect& b) { return a.x < b.x; });
    std::vector<PixelRect> rows;
    std::vector<int> members;
    for (const auto& mark : small) {
        bool joined = false;
        for (std::size_t r = 0; r < rows.size() && !joined; ++r) {
            PixelRect& row = rows[r];
            const int overlap = std::min(row.y + row.height, mark.y + mark.height) - std::max(row.y, mark.y);
            const int gap = mark.x - (row.x + row.width);
            if (2 * overlap < std::min(row.height, mark.height) || gap > std::max(row.height, mark.height)) continue;
            const int right = std::max(row.x + row.width, mark.x + mark.width);
            const int bottom = std::max(row.y + row.height, mark.y + mark.height);
            row.x = std::min(row.x, mark.x);
            row.y = std::min(row.y, mark.y);
            row.width = right - row.x;
            row.height = bottom - row.y;
            ++members[r];
            joined = true;
        }
        if (!joined) {
            rows.push_back(mark);
            members.push_back(1);
        }
    }
    const int height = static_cast<int>(std::lround(studied.normalised.grey.height / toWork));
    std::vector<PixelRect> text;
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const bool cut = rows[r].y <= 0 || rows[r].y + rows[r].height >= height;
        if (!cut && (members[r] >= 2 || rows[r].width >= 2 * rows[r].height)) text.push_back(rows[r]);
    }
    std::stable_sort(text.begin(), text.end(), [](const PixelRect& a, const PixelRect& b) { return a.height < b.height; });
    if (text.size() > kMaxSmallRowsLooked) text.resize(kMaxSmallRowsLooked);
    // A row takes in the taller letters of its words (an "ll" beside small letters) and the marks
    // right beside it (points, dashes), so that no word is cut.
    for (auto& row : text) {
        for (bool grown = true; grown;) {
            grown = false;
            for (const auto& mark : marks) {
                const int overlap = std::min(row.y + row.height, mark.y + mark.height) - std::max(row.y, mark.y);
                const int gap = std::max(mark.x - (row.x + row.width), row.x - (mark.x + mark.width));
                const bool within = mark.x >= row.x && mark.x + mark.width <= row.x + row.width;
                if (within || 2 * overlap < std::min(row.height, mark.height) || gap > row.height / 2) continue;
                const int right = std::max(row.x + row.width, mark.x + mark.width);
                row.x = std::min(row.x, mark.x);
                row.width = right - row.x;
                grown = true;
            }
        }
    }
    // Rows grown from two parts of one line come out alike.
    for (auto row = text.begin(); row != text.end(); ++row) text.erase(std::remove(row + 1, text.end(), *row), text.end());
    return text;
}

// Small text's strokes are thinner than a pixel or two and come out grey, the points of a colon
// palest: the ink is deepened so that what is half dark becomes black.
GreyImage darkened(GreyImage image) {
    for (auto& v : image.pixels) v = static_cast<std::uint8_t>(255 - std::min(255, (255 - v) * kSmallInkGain / 100));
    return image;
}

// The row's plain grey levels, stretched so that its ground (where the prepared row is white) is
// white and its strongest ink black, whichever the polarity; empty when it shows no contrast.
GreyImage plainRow(const Image& image, const PixelRect& area, const GreyImage& prepared) {
    const auto piece = image.cropped(area);
    if (!piece) return {};
    GreyImage grey = luminance(*piece);
    if (grey.width != prepared.width || grey.height != prepared.height || grey.pixels.empty()) return {};
    std::vector<int> ground;
    std::size_t strongest = 0;
    for (std::size_t p = 0; p < grey.pixels.size(); ++p) {
        if (prepared.pixels[p] == 255) ground.push_back(grey.pixels[p]);
        if (prepared.pixels[p] < prepared.pixels[strongest]) strongest = p;
    }
    if (ground.empty()) return {};
    std::nth_element(ground.begin(), ground.begin() + static_cast<std::ptrdiff_t>(ground.size() / 2), ground.end());
    const int paper = ground[ground.size() / 2];
    const int ink = grey.pixels[strongest];
    if (paper == ink) return {};
    for (auto& v : grey.pixels) v = static_cast<std::uint8_t>(std::clamp(255 * (v - ink) / (paper - ink), 0, 255));
    return grey;
}

// Whether `reading` spells the digits of `line`'s best reading with the separators that reading
// lost ("12:07" where the line reads "1207").
bool restoresSeparators(const std::string& reading, const Line& line) {
    const std::string& best = line.readings.front().text;
    return hasDigitRun(best) && !hasDigitRun(reading) && digitsOf(reading) == digitsOf(best);
}

// One row cut from the caller's image with a margin, prepared on its own at full size, enlarged
// so that its capitals stand kSmallRowTarget high and read as a single line. A reading of digits
// in a row is checked against the row's plain grey levels. Read at a size that suits it, the row
// is the better reading of a line framed alike when `belowEngineSize` (the first reading saw it
// too small) or when it restores the separators that line lost; a line framed alike that was
// large enough keeps its reading. Any other reading joins as a line of its own (a part of a line
// that also holds larger text).
void readRowAlone(Engine& engine, const Image& image, const PixelRect& row, bool belowEngineSize, bool choices,
                  std::vector<Line>& lines) {
    const int margin = std::max(3, row.height / 2);
    const PixelRect area{std::max(0, row.x - margin), std::max(0, row.y - margin), row.width + 2 * margin,
                         row.height + 2 * margin};
    // Prepared with room around it, so that the fills around the row are told as such
    // (a pill the row fills nearly whole, the page beside it).
    const int room = 2 * row.height;
    const PixelRect context{std::max(0, row.x - room), std::max(0, row.y - room),
                            std::min(image.width(), row.x + row.width + room) - std::max(0, row.x - room),
                            std::min(image.height(), row.y + row.height + room) - std::max(0, row.y - room)};
    const auto piece = image.cropped(context);
    if (!piece || piece->width() == 0 || piece->height() == 0) return;
    const GreyImage rowPixels = cropped(normaliseForText(*piece).grey,
                                        {area.x - context.x, area.y - context.y, area.width, area.height});
    if (rowPixels.width == 0 || rowPixels.height == 0) return;
    const double factor = std::clamp(kSmallRowTarget / row.height, 1.0, kMaxUpscale);
    const GreyImage prepared = withBorder(scaled(darkened(rowPixels), factor), kBorder);
    const Frame frame{factor, static_cast<double>(area.x), static_cast<double>(area.y)};
    const EngineCall call{tesseract::PSM_SINGLE_LINE, resolutionAt(factor), false, choices, 0};
    auto rowLines = engine.read(prepared, call, frame, image);
    if (rowLines.size() == 1 && hasDigitRun(rowLines.front().readings.front().text)) {
        auto& first = rowLines.front().readings;
        const GreyImage plain = plainRow(image, area, rowPixels);
        for (const double relative : kPlainRowRereadScales) {
            if (plain.pixels.empty()) break;
            const double plainFactor = std::clamp(factor * relative, 1.0, kMaxUpscale);
            const Frame plainFrame{plainFactor, frame.originX, frame.originY};
            const EngineCall plainCall{tesseract::PSM_SINGLE_LINE, resolutionAt(plainFactor), false, choices, 0};
            auto again = engine.read(withBorder(scaled(plain, plainFactor), kBorder), plainCall, plainFrame, image);
            if (again.size() != 1) continue;
            Reading& reading = again.front().readings.front();
            if (hasDigitRun(reading.text) || digitsOf(reading.text) != digitsOf(first.front().text)) continue;
            reading.confidence = std::max(reading.confidence, first.front().confidence);
            first.insert(first.begin(), std::move(reading));
            break;
        }
    }
    std::vector<Line> others;
    for (auto& other : rowLines) {
        auto& reading = other.readings.front();
        const auto same = std::find_if(lines.begin(), lines.end(), [&](const Line& line) { return sameLine(line.box, other.box); });
        if (same == lines.end()) {
            others.push_back(std::move(other));
            continue;
        }
        if (!(belowEngineSize || restoresSeparators(reading.text, *same)) || reading.confidence < kOtherImageMinConfidence) {
            continue;
        }
        std::erase_if(same->readings, [&](const Reading& r) { return r.text == reading.text; });
        for (const auto& r : same->readings) reading.confidence = std::max(reading.confidence, r.confidence);
        same->readings.insert(same->readings.begin(), std::move(reading));
    }
    merge(lines, std::move(others));
}

// The rows of small text, then the words read as runs of digits that no row read alone framed
// alike: at any size the engine can run a faint time together ("1045"), and a word read alone at
// the size that suits it keeps its separators.
void readSmallText(Engine& engine, const Study& studied, double scale, const Image& image, bool choices,
                   const std::vector<std::string>& customWords, std::vector<Line>& lines) {
    std::vector<PixelRect> readAlone;
    for (const auto& row : smallTextRows(studied, scale)) {
        if (readAlone.size() == kMaxSmallRows) break;
        const bool readSurely = std::any_of(lines.begin(), lines.end(), [&](const Line& line) {
            return inside(row, line.box) && std::any_of(line.readings.begin(), line.readings.end(), [&](const Reading& r) {
                       return r.confidence >= kSureConfidence && !hasDigitRun(r.text) &&
                              !nearlySpellsCustomPhrase(r.text, customWords);
                   });
        });
        if (readSurely) continue;
        readAlone.push_back(row);
        readRowAlone(engine, image, row, row.height * scale * studied.workToSource < kSmallRowHeight, choices, lines);
    }
    std::vector<PixelRect> runs;
    for (const auto& line : lines) {
        for (const auto& run : line.digitRuns) {
            const auto alike = [&](const PixelRect& other) { return sameLine(run, other); };
            if (run.height < kMinSmallRowSourceHeight || std::any_of(readAlone.begin(), readAlone.end(), alike) ||
                std::any_of(runs.begin(), runs.end(), alike)) {
                continue;
            }
            runs.push_back(run);
        }
    }
    if (runs.size() > kMaxDigitRuns) runs.resize(kMaxDigitRuns);
    for (const auto& run : runs) readRowAlone(engine, image, run, false, choices, lines);
}

}  // namespace

RecognitionOutcome TesseractRecognizer::recognize(const Image& image, const RecognitionSettings& settings) {
    return read(image, settings, nullptr);
}

RecognitionOutcome TesseractRecognizer::recognizeShowingInput(const Image& image, const RecognitionSettings& settings,
                                                              std::optional<Image>& engineInput) {
    GreyImage input;
    RecognitionOutcome outcome = read(image, settings, &input);
    engineInput.reset();
    if (input.width > 0 && input.height > 0) {
        std::vector<std::uint8_t> rgba;
        rgba.reserve(input.pixels.size() * 4);
        for (const std::uint8_t level : input.pixels) rgba.insert(rgba.end(), {level, level, level, 255});
        engineInput = Image(input.width, input.height, std::move(rgba));
    }
    return outcome;
}

RecognitionOutcome TesseractRecognizer::read(const Image& image, const RecognitionSettings& settings,
                                             GreyImage* engineInput) {
    const auto expected = static_cast<std::size_t>(std::max(image.width(), 0)) * std::max(image.height(), 0) * 4;
    if (!image.readable() || image.width() <= 0 || image.height() <= 0 || image.rgba().size() != expected) {
        return {true, {}};
    }
    Engine* engine = engines_->forProfile(settings);
    if (engine == nullptr) return {false, {}};
    keepRecognitionOnThisThread();

    const Study studied = study(image);
    const GreyImage& work = studied.normalised.grey;
    const double small = studied.normalised.smallTextHeight;
    const double scale = small > 0 ? std::clamp(kTargetSmallTextHeight / small, kMinScale, kMaxUpscale) : 1.0;

    const int wanted = std::max(settings.maximumCandidates, 1);
    // The engine keeps its choices per letter only when asked; they make the runners-up.
    const bool choices = wanted > 1;
    const GreyImage enlarged = scale == 1.0 ? work : scaled(work, scale);
    if (engineInput) *engineInput = withBorder(enlarged, kBorder);
    // Sparse text: UI text is scattered words and labels, not a page of paragraphs.
    const double toEngine = scale * studied.workToSource;
    const EngineCall firstCall{tesseract::PSM_SPARSE_TEXT, resolutionAt(toEngine), false, choices, wanted - 1};
    std::vector<Line> lines = engine->read(withBorder(enlarged, kBorder), firstCall, Frame{toEngine, 0, 0}, image);
    // Both levels look again at lines the engine was unsure of; the accurate one at every line
    // short of sure.
    takeSecondLook(*engine, studied, scale, image,
                   settings.level == RecognitionLevel::accurate ? kSureConfidence : kRereadConfidence, choices,
                   settings.customWords, lines);
    readSmallText(*engine, studied, scale, image, choices, settings.customWords, lines);
    if (const auto bands = doubtfulBands(studied, lines); !bands.empty()) {
        readOtherImages(*engine, studied, scale, image, choices, wanted - 1, bands, lines);
    }
    engine->api().Clear();

    const double minimumHeight = static_cast<double>(settings.minimumTextHeight) * image.height() * kLowestInkOfText;
    std::erase_if(lines, [&](const Line& line) { return line.box.height < minimumHeight; });
    sortInReadingOrder(lines);

    RecognitionOutcome outcome;
    for (auto& line : lines) {
        auto candidates = candidatesOf(line, wanted);
        // The engine's confidence runs from 0 to 100; the best reading's is the line's.
        const float confidence = std::clamp(line.readings.front().confidence / 100.0f, 0.0f, 1.0f);
        if (!candidates.empty()) outcome.observations.push_back({std::move(candidates), line.box, confidence});
    }
    return outcome;
}

}  // namespace platform::tess
