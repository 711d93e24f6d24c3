#include "linewarden/app/DialerCatalogue.h"

namespace linewarden {

namespace {
constexpr std::array<std::pair<DialerType, std::string_view>, 4> kNames{{
    {DialerType::zoom, "zoom"},
    {DialerType::kixie, "kixie"},
    {DialerType::ringcentral, "ringcentral"},
    {DialerType::trellus, "trellus"},
}};
}  // namespace

std::optional<DialerType> dialerTypeFromRawValue(std::string_view name) {
    for (const auto& [type, raw] : kNames) {
        if (raw == name) return type;
    }
    return std::nullopt;
}

std::string_view rawValue(DialerType type) {
    for (const auto& [candidate, raw] : kNames) {
        if (candidate == type) return raw;
    }
    return {};
}

std::optional<std::string_view> appBundleId(DialerType type) {
    if (type == DialerType::zoom) return ZOOM_BUNDLE_ID;
    return std::nullopt;
}

std::vector<std::string_view> windowTitles(DialerType type) {
    switch (type) {
        case DialerType::zoom: return {};
        case DialerType::kixie: return {"Kixie PowerCall"};
        case DialerType::ringcentral: return {"RingCentral for Google"};
        case DialerType::trellus: return {"Trellus"};
    }
    return {};
}

}  // namespace linewarden
