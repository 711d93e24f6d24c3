#pragma once

// Turns a window screenshot into what the text engine reads best: dark text on a white ground,
// large enough, with a white margin. UI text sits on flat fills (pages, bars, pills, buttons) in
// any colour and either polarity, so every pixel is drawn by how far its colour lies from the
// fill it stands on: fills become white and text becomes dark, whatever the theme.
//
// Fills are areas of one colour (to 5 bits a channel) or of smoothly varying colour (gradients,
// soft pictures) thick enough to hold a square wider than a letter's stroke in enough places.
// Every other pixel stands on the fill nearest to it, on the colour that fill has there. Groups of
// such pixels that touch two fills and only blend their colours are the anti-aliased rims between
// them (a pill's outline, a stripe's edge) and are dropped; letters crossing two fills stand out
// from both and stay. So are outlines drawn around text in a colour of their own (controls in
// high-contrast themes): a mark that encloses a fill on which other marks stand is a frame, not
// a letter, and kept it would close the text in. The rest are drawn by their colour distance
// from their ground, each mark stretched so that its strongest pixel is black: a white badge on a
// green pill inside a light page comes out as black letters on white, like the page's own dark
// text, and grey secondary text beside bold dark text as dark as that text.

#include <cstdint>
#include <vector>

#include "platform/Image.h"

namespace platform::tess {

struct GreyImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;   // width * height grey levels, 0 black, 255 white

    std::uint8_t at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

struct NormalisedText {
    GreyImage grey;              // same size as the input
    double smallTextHeight = 0;  // height of the smaller glyphs (first quartile) in pixels, 0 when none
    std::vector<PixelRect> glyphs;   // boxes of the glyph-like marks
    double unflatFraction = 0;   // share of the pixels on no fill and in no glyph-like mark
    std::vector<PixelRect> strayMarks;   // boxes of the marks that are no letters and no rims
};

// Dark text on white from an RGBA image; the image must be readable with width*height*4 bytes.
// A fill must hold squares of 2 * fillRadius + 1 pixels across: 3 suits a capture at two pixels
// per point, where even bold UI text has thinner strokes.
NormalisedText normaliseForText(const Image& image, int fillRadius = 3);

// Grey levels of the same image by luminance alone, without looking for fills.
GreyImage luminance(const Image& image);

// The RGBA image at half its width and height, each pixel the mean of a 2x2 block.
Image halved(const Image& image);

// The part of the image inside `rect`, clipped to the image.
GreyImage cropped(const GreyImage& image, const PixelRect& rect);

// Bilinear resampling by `factor` (> 0).
GreyImage scaled(const GreyImage& image, double factor);

// The image inside a white margin of `border` pixels on every side.
GreyImage withBorder(const GreyImage& image, int border);

}  // namespace platform::tess
