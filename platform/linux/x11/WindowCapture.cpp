#include "platform/linux/x11/WindowCapture.h"

#include <poll.h>
#include <xcb/composite.h>
#include <xcb/damage.h>
#include <xcb/xcbext.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "platform/linux/PixelConversion.h"

namespace platform::x11 {

namespace {

const xcb_visualtype_t* findVisual(const xcb_screen_t* screen, xcb_visualid_t id) {
    for (auto depths = xcb_screen_allowed_depths_iterator(screen); depths.rem > 0; xcb_depth_next(&depths)) {
        for (auto visuals = xcb_depth_visuals_iterator(depths.data); visuals.rem > 0; xcb_visualtype_next(&visuals)) {
            if (visuals.data->visual_id == id) return visuals.data;
        }
    }
    return nullptr;
}

const xcb_format_t* findFormat(const xcb_setup_t* setup, std::uint8_t depth) {
    for (auto formats = xcb_setup_pixmap_formats_iterator(setup); formats.rem > 0; xcb_format_next(&formats)) {
        if (formats.data->depth == depth) return formats.data;
    }
    return nullptr;
}

std::optional<PixelLayout> layoutFor(const XConnection& x, xcb_visualid_t visualId, std::uint8_t depth, int width) {
    const xcb_visualtype_t* visual = findVisual(x.screen(), visualId);
    const xcb_setup_t* setup = xcb_get_setup(x.raw());
    const xcb_format_t* format = setup ? findFormat(setup, depth) : nullptr;
    if (!visual || !format || format->scanline_pad == 0) return std::nullopt;
    if (visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR && visual->_class != XCB_VISUAL_CLASS_DIRECT_COLOR) {
        return std::nullopt;   // palette visuals are not worth supporting for application windows
    }
    const std::size_t pad = format->scanline_pad;
    const std::size_t bitsPerRow = static_cast<std::size_t>(width) * format->bits_per_pixel;
    return PixelLayout{format->bits_per_pixel, setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST,
                       visual->red_mask,       visual->green_mask,
                       visual->blue_mask,      (bitsPerRow + pad - 1) / pad * pad / 8};
}

// Whether a checked request without a reply succeeded, asked once a later request has been
// answered (and so without another round trip).
bool answeredWithoutError(xcb_connection_t* c, xcb_void_cookie_t cookie) {
    void* reply = nullptr;
    xcb_generic_error_t* error = nullptr;
    const bool done = xcb_poll_for_reply(c, cookie.sequence, &reply, &error) != 0;
    const bool ok = done && error == nullptr && xcb_connection_has_error(c) == 0;
    std::free(reply);
    std::free(error);
    return ok;
}

// Whether sequence number a came before b (they wrap around).
bool before(std::uint32_t a, std::uint32_t b) { return static_cast<std::int32_t>(a - b) < 0; }

bool overlap(const PixelRect& a, const PixelRect& b) {
    return a.x < b.x + b.width && b.x < a.x + a.width && a.y < b.y + b.height && b.y < a.y + a.height;
}

bool within(const PixelRect& inner, const PixelRect& outer) {
    return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
           inner.y + inner.height <= outer.y + outer.height;
}

// The window pixels that `part` of a capture scaled from `window` to `target` pixels is computed
// from: those under it and, for the resampling at its edges, as many around it as a target pixel
// mixes in (one when enlarging, more when shrinking), plus one to spare.
PixelRect sourceOf(const PixelRect& part, int window, int target, int windowHeight, int targetHeight) {
    auto span = [](int from, int length, int source, int scaled) {
        const double scale = static_cast<double>(scaled) / source;
        const int margin = 2 + static_cast<int>(std::ceil(1.0 / scale));
        const int first = static_cast<int>(std::floor(from / scale)) - margin;
        const int last = static_cast<int>(std::ceil((from + length) / scale)) + margin;
        return std::pair{first, last - first};
    };
    const auto [x, width] = span(part.x, part.width, window, target);
    const auto [y, height] = span(part.y, part.height, windowHeight, targetHeight);
    return {x, y, width, height};
}

// Doubling mixes each window pixel with its neighbours only: the part of a doubled window is
// computed from the window's pixels under it and one more on each side (repeated at the window's
// edges, as doubling the whole does). The rectangle of window pixels to read.
PixelRect doubledSource(const PixelRect& part, int width, int height) {
    const int left = std::max(0, part.x / 2 - 1);
    const int top = std::max(0, part.y / 2 - 1);
    const int right = std::min(width, (part.x + part.width - 1) / 2 + 2);
    const int bottom = std::min(height, (part.y + part.height - 1) / 2 + 2);
    return {left, top, right - left, bottom - top};
}

}  // namespace

void WindowCapture::keepContents(xcb_window_t window, bool again) {
    if (!x_.hasComposite() || (!again && redirected_.contains(window))) return;
    redirected_.insert(window);
    // Fails harmlessly when a compositing manager already keeps the window's contents itself.
    if (succeeded(x_.raw(), xcb_composite_redirect_window_checked(x_.raw(), window, XCB_COMPOSITE_REDIRECT_AUTOMATIC))) {
        awaitRepaint(window);
    }
}

WindowCapture::Watch* WindowCapture::watch(xcb_window_t window) {
    if (!x_.hasDamage()) return nullptr;
    if (const auto found = watches_.find(window); found != watches_.end()) return &found->second;
    xcb_connection_t* c = x_.raw();
    const xcb_damage_damage_t damage = xcb_generate_id(c);
    // Each report names the rectangle by which the drawn area grew: drawing that keeps to a
    // place already drawn since the area was last emptied sends nothing more.
    if (!succeeded(c, xcb_damage_create_checked(c, damage, window, XCB_DAMAGE_REPORT_LEVEL_DELTA_RECTANGLES))) {
        return nullptr;
    }
    Watch fresh;
    fresh.damage = damage;
    return &watches_.emplace(window, std::move(fresh)).first->second;
}

void WindowCapture::takeEvents() {
    // Nothing else is selected on this connection: events are damage reports and the errors of
    // requests nobody waits for.
    while (xcb_generic_event_t* event = xcb_poll_for_event(x_.raw())) {
        if ((event->response_type & 0x7F) == x_.damageFirstEvent() + XCB_DAMAGE_NOTIFY && x_.hasDamage()) {
            const auto* report = reinterpret_cast<const xcb_damage_notify_event_t*>(event);
            for (auto& [window, watched] : watches_) {
                if (watched.damage != report->damage) continue;
                watched.drawn = true;
                auto& areas = watched.areas;
                areas.push_back({{report->area.x, report->area.y, report->area.width, report->area.height},
                                 event->full_sequence});
                // Many small reports between two scans (a moving picture) are kept as one
                // rectangle around them all, as recent as the latest.
                constexpr std::size_t kMostAreas = 64;
                if (areas.size() > kMostAreas) {
                    int left = areas.front().area.x, top = areas.front().area.y;
                    int right = left, bottom = top;
                    for (const auto& drawn : areas) {
                        left = std::min(left, drawn.area.x);
                        top = std::min(top, drawn.area.y);
                        right = std::max(right, drawn.area.x + drawn.area.width);
                        bottom = std::max(bottom, drawn.area.y + drawn.area.height);
                    }
                    const std::uint32_t latest = areas.back().sequence;
                    areas.assign(1, {{left, top, right - left, bottom - top}, latest});
                }
            }
        }
        std::free(event);
    }
}

void WindowCapture::awaitRepaint(xcb_window_t window) {
    using Clock = std::chrono::steady_clock;
    constexpr auto kLongest = std::chrono::milliseconds(1000);
    constexpr auto kQuiet = std::chrono::milliseconds(60);
    Watch* watched = watch(window);
    if (!watched) return;
    xcb_connection_t* c = x_.raw();
    const xcb_damage_damage_t damage = watched->damage;
    xcb_discard_reply(c, xcb_damage_subtract_checked(c, damage, XCB_NONE, XCB_NONE).sequence);
    watched->drawn = false;
    // Exposing the whole window makes its application draw all of it again.
    xcb_discard_reply(c, xcb_clear_area_checked(c, 1, window, 0, 0, 0, 0).sequence);
    xcb_flush(c);

    const auto start = Clock::now();
    std::optional<Clock::time_point> lastDrawn;
    while (xcb_connection_has_error(c) == 0) {
        const auto now = Clock::now();
        const auto until = lastDrawn ? std::min(*lastDrawn + kQuiet, start + kLongest) : start + kLongest;
        if (now >= until) break;
        takeEvents();
        const auto found = watches_.find(window);
        if (found == watches_.end()) return;
        if (found->second.drawn) {
            lastDrawn = Clock::now();
            found->second.drawn = false;
            xcb_discard_reply(c, xcb_damage_subtract_checked(c, damage, XCB_NONE, XCB_NONE).sequence);
            xcb_flush(c);
            continue;
        }
        pollfd readable{xcb_get_file_descriptor(c), POLLIN, 0};
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count();
        poll(&readable, 1, static_cast<int>(std::max<long long>(wait, 1)));
    }
}

bool WindowCapture::unchangedSinceCapture(xcb_window_t window, int widthPixels, int heightPixels,
                                          const std::optional<PixelRect>& part) {
    const auto found = watches_.find(window);
    if (found == watches_.end() || !x_.usable()) return false;
    Watch& watched = found->second;
    const PixelRect read = part.value_or(PixelRect{0, 0, widthPixels, heightPixels});
    if (!watched.captured || watched.requestedWidth != widthPixels || watched.requestedHeight != heightPixels ||
        !within(read, watched.part)) {
        return false;
    }
    const SigpipeShield shield;
    xcb_connection_t* c = x_.raw();
    // Empties the drawn area: what is drawn from here on is reported anew. Also proves the damage
    // object still exists: it goes with its window, and a new window may come back under the
    // same id without one. Sent first, so that the replies below answer for it too.
    const auto rearmCookie = xcb_damage_subtract_checked(c, watched.damage, XCB_NONE, XCB_NONE);
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    const auto geometryCookie = xcb_get_geometry(c, window);
    auto attributes = fetch<xcb_get_window_attributes_reply>(c, attributesCookie);
    auto geometry = fetch<xcb_get_geometry_reply>(c, geometryCookie);
    if (!answeredWithoutError(c, rearmCookie)) {
        watches_.erase(found);
        return false;
    }
    // Every report of drawing done before the server emptied the area has arrived by now; those
    // sent after it belong to the next question.
    takeEvents();
    const std::uint32_t rearmed = rearmCookie.sequence;
    const PixelRect source = sourceOf(read, watched.width, widthPixels, watched.height, heightPixels);
    bool drawnThere = false;
    bool drawnElsewhere = false;
    for (const auto& drawn : watched.areas) {
        if (before(drawn.sequence, watched.armedAt) || !before(drawn.sequence, rearmed)) continue;
        (overlap(drawn.area, source) ? drawnThere : drawnElsewhere) = true;
    }
    // Drawing elsewhere is forgotten with the emptied area: only this region is known unchanged now.
    if (drawnElsewhere) watched.part = read;
    std::erase_if(watched.areas, [&](const DrawnArea& drawn) { return before(drawn.sequence, rearmed); });
    watched.armedAt = rearmed;
    watched.drawn = !watched.areas.empty();
    const bool unchanged = attributes && geometry && attributes->map_state == XCB_MAP_STATE_VIEWABLE &&
                           geometry->width == watched.width && geometry->height == watched.height && !drawnThere;
    // What was drawn there is forgotten with the emptied area: the pixels stay changed until
    // captured again.
    if (!unchanged) watched.captured = false;
    return unchanged;
}

xcb_pixmap_t WindowCapture::nameContents(xcb_window_t window) {
    if (!x_.hasComposite()) return XCB_PIXMAP_NONE;
    const xcb_pixmap_t pixmap = xcb_generate_id(x_.raw());
    if (succeeded(x_.raw(), xcb_composite_name_window_pixmap_checked(x_.raw(), window, pixmap))) return pixmap;
    return XCB_PIXMAP_NONE;
}

std::optional<Image> WindowCapture::capture(xcb_window_t window, int widthPixels, int heightPixels,
                                            const std::optional<PixelRect>& part) {
    if (widthPixels <= 0 || heightPixels <= 0 || !x_.usable()) return std::nullopt;
    const PixelRect whole{0, 0, widthPixels, heightPixels};
    const PixelRect taken = part.value_or(whole);
    if (taken.width <= 0 || taken.height <= 0 || !within(taken, whole)) return std::nullopt;
    const SigpipeShield shield;
    xcb_connection_t* c = x_.raw();
    takeEvents();

    // A window kept off screen already is named together with the question whether it is
    // still shown, saving a round trip per capture (the name fails harmlessly if it is not).
    xcb_pixmap_t pixmap = XCB_PIXMAP_NONE;
    std::optional<xcb_void_cookie_t> nameCookie;
    if (x_.hasComposite() && redirected_.contains(window)) {
        pixmap = xcb_generate_id(c);
        nameCookie = xcb_composite_name_window_pixmap_checked(c, window, pixmap);
    }
    const auto attributesCookie = xcb_get_window_attributes(c, window);
    const auto geometryCookie = xcb_get_geometry(c, window);
    auto attributes = fetch<xcb_get_window_attributes_reply>(c, attributesCookie);
    auto geometry = fetch<xcb_get_geometry_reply>(c, geometryCookie);
    // Answered by now: the server handles requests in order.
    if (nameCookie && !answeredWithoutError(c, *nameCookie)) pixmap = XCB_PIXMAP_NONE;
    const auto letPixmapGo = [&] {
        if (pixmap != XCB_PIXMAP_NONE) xcb_discard_reply(c, xcb_free_pixmap_checked(c, pixmap).sequence);
        pixmap = XCB_PIXMAP_NONE;
    };
    if (!attributes || !geometry) {
        letPixmapGo();
        redirected_.erase(window);   // gone; its id may come back for another window
        watches_.erase(window);
        return std::nullopt;
    }
    if (const auto found = watches_.find(window); found != watches_.end()) found->second.captured = false;
    if (attributes->map_state != XCB_MAP_STATE_VIEWABLE) {
        letPixmapGo();
        return std::nullopt;
    }

    if (pixmap == XCB_PIXMAP_NONE) {
        keepContents(window, false);
        pixmap = nameContents(window);
    }
    if (pixmap == XCB_PIXMAP_NONE && x_.hasComposite()) {
        // The window may be new under a reused id, or was redirected by someone who let go.
        if (const auto found = watches_.find(window); found != watches_.end()) {
            xcb_discard_reply(c, xcb_damage_destroy_checked(c, found->second.damage).sequence);
            watches_.erase(found);
        }
        keepContents(window, true);
        pixmap = nameContents(window);
    }
    // Re-armed before the pixels are read: whatever is drawn from here on is reported.
    Watch* watched = watch(window);
    if (watched) {
        const auto rearm = xcb_damage_subtract_checked(c, watched->damage, XCB_NONE, XCB_NONE);
        xcb_discard_reply(c, rearm.sequence);
        watched->drawn = false;
        watched->armedAt = rearm.sequence;
        std::erase_if(watched->areas, [&](const DrawnArea& drawn) { return before(drawn.sequence, rearm.sequence); });
    }
    const int width = geometry->width;
    const int height = geometry->height;
    // A part of a doubled window needs only the window's pixels around it; any other scaling is
    // done on the whole window and then cut.
    const bool doubledPart = part && widthPixels == 2 * width && heightPixels == 2 * height;
    const PixelRect source = doubledPart ? doubledSource(taken, width, height) : PixelRect{0, 0, width, height};
    // Without Composite, the window itself: correct only where nothing covers it.
    const xcb_drawable_t drawable = pixmap != XCB_PIXMAP_NONE ? pixmap : window;
    const auto imageCookie =
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(source.x),
                      static_cast<std::int16_t>(source.y), static_cast<std::uint16_t>(source.width),
                      static_cast<std::uint16_t>(source.height), ~0u);
    letPixmapGo();
    // A named pixmap outlives its window: make sure the window was still there, shown and of the
    // same size once the pixels were read (asked at once, answered after the pixels).
    const auto afterAttributesCookie = xcb_get_window_attributes(c, window);
    const auto afterGeometryCookie = xcb_get_geometry(c, window);
    auto image = fetch<xcb_get_image_reply>(c, imageCookie);
    auto afterAttributes = fetch<xcb_get_window_attributes_reply>(c, afterAttributesCookie);
    auto afterGeometry = fetch<xcb_get_geometry_reply>(c, afterGeometryCookie);
    if (!image || !afterAttributes || !afterGeometry || afterAttributes->map_state != XCB_MAP_STATE_VIEWABLE ||
        afterGeometry->width != width || afterGeometry->height != height) {
        return std::nullopt;
    }

    const auto layout = layoutFor(x_, attributes->visual, geometry->depth, source.width);
    if (!layout) return std::nullopt;
    const std::span<const std::uint8_t> data(xcb_get_image_data(image.get()),
                                             static_cast<std::size_t>(xcb_get_image_data_length(image.get())));
    auto rgba = convertToRgba(data, source.width, source.height, *layout);
    if (!rgba) return std::nullopt;
    image.reset();
    if (const auto found = watches_.find(window); found != watches_.end()) {
        found->second.captured = true;
        found->second.width = width;
        found->second.height = height;
        found->second.requestedWidth = widthPixels;
        found->second.requestedHeight = heightPixels;
        found->second.part = taken;
    }
    if (doubledPart) {
        // The source doubled, then cut where the part lies in it.
        Image around(2 * source.width, 2 * source.height,
                     resizeRgba(*rgba, source.width, source.height, 2 * source.width, 2 * source.height));
        return around.cropped({taken.x - 2 * source.x, taken.y - 2 * source.y, taken.width, taken.height});
    }
    Image scaled(widthPixels, heightPixels, resizeRgba(*rgba, width, height, widthPixels, heightPixels));
    if (!part) return scaled;
    return scaled.cropped(taken);
}

}  // namespace platform::x11
