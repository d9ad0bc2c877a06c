#include "cli/TextCleaning.h"

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>

namespace cli {

namespace {

// The length of the well-formed UTF-8 sequence at text[at], or 0 when the byte there does not
// start one (a stray continuation byte, an overlong form, a surrogate, beyond U+10FFFF, or a
// sequence cut short).
size_t sequenceLength(const std::string& text, size_t at) {
    const auto byte = [&text](size_t i) { return static_cast<uint8_t>(text[i]); };
    const uint8_t lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    size_t length = 0;
    uint8_t low = 0x80;  // the range of the second byte, narrower after some leads
    uint8_t high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (text.size() - at < length || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) {
            return 0;
        }
    }
    return length;
}

void appendEscaped(std::string& out, uint8_t byte) {
    static const char kDigits[] = "0123456789abcdef";
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

}  // namespace

std::string validUtf8(const std::string& text) {
    using Json = nlohmann::json;
    // Through the JSON serializer's own replacement and back, so that both outputs replace
    // the same bytes the same way.
    const Json parsed = Json::parse(Json(text).dump(-1, ' ', false, Json::error_handler_t::replace),
                                    nullptr, false);
    return parsed.is_string() ? parsed.get<std::string>() : std::string();
}

std::string visibleText(const std::string& text, bool keepLayout) {
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        const size_t length = sequenceLength(text, at);
        const auto lead = static_cast<uint8_t>(text[at]);
        if (length == 0) {
            appendEscaped(out, lead);
            ++at;
            continue;
        }
        // U+0080 to U+009F, the C1 controls, are C2 80 to C2 9F.
        const bool c1 = length == 2 && lead == 0xC2 && static_cast<uint8_t>(text[at + 1]) < 0xA0;
        const bool layout = keepLayout && (lead == '\n' || lead == '\t');
        if (lead == '\\') {
            out += "\\\\";
        } else if (c1 || (length == 1 && (lead < 0x20 || lead == 0x7F) && !layout)) {
            for (size_t i = 0; i < length; ++i) {
                appendEscaped(out, static_cast<uint8_t>(text[at + i]));
            }
        } else {
            out.append(text, at, length);
        }
        at += length;
    }
    return out;
}

}  // namespace cli
