#pragma once

// Text recognition with Tesseract 5 (LSTM engine). Each settings profile (languages, custom
// words, language correction) gets one engine, started on first use and kept for the life of
// the recogniser, since starting one costs far more than a recognition. Recognition runs on the
// caller's thread, single-threaded, and the engine never writes to standard error.
//
// Before reading, the image is redrawn as dark text on white (see Preprocess.h) and scaled so that
// its smaller letters stand about 16 pixels high.
//
// Levels: `fast` reads the whole image once, as sparse text, then takes a second look at every
// line the engine was unsure of: cut out, enlarged and read as a single line; the surer of the two
// readings comes first. `accurate` takes that second look at every line short of sure.
//
// Text on gradients, stripes, textures or translucent bars over moving content can escape the
// drawing as dark on white. When the first reading found nothing or much of the image is no
// fill at all, the image's plain grey levels are read as well, thresholded locally by the engine
// (Sauvola), as they are and inverted for light text; otherwise only the rows where it was unsure
// of a line or left letters or other marks unread, and only in the polarity their brightness
// allows. Their sure lines join the first reading: as another reading of a line framed alike,
// else as lines of their own. The image drawn dark on white stays the primary one.
//
// Secondary text (small grey labels and timers beside larger text) can stay too small for the
// engine at the scale that suits the image's usual text. The rows of marks that end up small,
// the smallest few (a row the first reading read surely only when it read a run of digits or a
// custom phrase misspelt by a letter or two), are cut from the caller's image, prepared on their
// own at full size, enlarged and read as single lines: a reading framed like a line of the first reading is taken as that line's better
// reading where the first saw it below the engine's size; any other joins as a line of its own.
// A row read as a run of digits is read once more from its plain grey levels, where a time's
// faint separators survive; the same digits with separators are the better reading. Words the
// engine read as runs of digits at any size ("1045") are read alone the same way, the first two
// per image, and such a reading takes the lead of a line framed alike.
//
// Candidates, when more than one is asked for: a line's distinct readings, surest first, then the
// line with one letter replaced by the engine's close second choice there, closest call first.
// Never more than asked for, never the same text twice; often just one.
//
// Each engine remembers its latest answers with the images it was handed (up to a budget of
// their bytes, least recently used out first) and answers the very same image and call from
// memory: the engine learns nothing between images, so it would answer the same. A status that
// switches back to a screen seen before, or a doubtful line that stayed while others changed,
// costs no second reading.
//
// Lines of text smaller than the minimum text height (relative to the image's height) are left
// out: a line's box holds its ink, so one is kept while its ink stands at least as high as
// capitals and digits of text of that size (0.7 of it). The others come in reading order: rows
// top to bottom, each row left to right. Languages are mapped to the engine's models ("en-US"
// reads with "eng"); the custom words become the engine's user words. An image without readable pixels gives no text; a language without an
// installed model is a failure.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/Platform.h"

namespace platform::tess {

struct GreyImage;

class TesseractRecognizer final : public platform::TextRecognizer {
public:
    // Answers of the engine to recent strips of text are kept, up to this many bytes of their
    // images, so that what did not change on screen is not read again (0: none kept).
    static constexpr std::size_t kDefaultAnswerBudget = 2u << 20;
    explicit TesseractRecognizer(std::size_t answerBudgetBytes = kDefaultAnswerBudget);
    ~TesseractRecognizer() override;
    TesseractRecognizer(const TesseractRecognizer&) = delete;
    TesseractRecognizer& operator=(const TesseractRecognizer&) = delete;

    RecognitionOutcome recognize(const Image& image, const RecognitionSettings& settings) override;
    // The LSTM engine learns nothing from what it reads and is cleared after every image, so the
    // same pixels with the same settings always read the same.
    bool repeatable() const override { return true; }
    // The engine input handed back is the prepared grey image of the first reading of the whole
    // image, as RGBA; the later readings (doubtful lines enlarged, other versions of a busy
    // picture) read pieces or variants of the same image.
    RecognitionOutcome recognizeShowingInput(const Image& image, const RecognitionSettings& settings,
                                             std::optional<Image>& engineInput) override;

private:
    RecognitionOutcome read(const Image& image, const RecognitionSettings& settings, GreyImage* engineInput);

    class Engines;
    std::unique_ptr<Engines> engines_;
};

// The directory holding the installed Tesseract models, or empty when none is found.
std::string tessdataDirectory();

}  // namespace platform::tess
