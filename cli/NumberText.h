// Numbers as the programs' options take them, and the words every program uses for a value it
// refuses, so that one fault reads the same in each of them.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

namespace cli {

// The line that refuses the value of an option; reason starts with the value in quotes.
inline std::string invalidValue(const std::string& option, const std::string& reason) {
    return "Invalid value for '" + option + "': " + reason + ".";
}

// Nanoseconds as seconds with nine decimals: "1143137000.000125000".
inline std::string secondsText(uint64_t nanoseconds) {
    std::string fraction = std::to_string(nanoseconds % 1000000000);
    fraction.insert(0, 9 - fraction.size(), '0');
    return std::to_string(nanoseconds / 1000000000) + "." + fraction;
}

inline std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

inline std::string tooLarge(const std::string& text, const std::string& largest) {
    return quoted(text) + " is too large; the largest is " + largest;
}

inline std::string tooSmall(const std::string& text, const std::string& smallest) {
    return quoted(text) + " is too small; the smallest is " + smallest;
}

inline std::string notDecimal(const std::string& text) {
    return quoted(text) + " is not a decimal number";
}

inline std::string tooManyDecimals(const std::string& text) {
    return quoted(text) + " has more than nine decimals";
}

// A decimal count from smallest to largest, digits only. False with the reason.
inline bool parseCount(const std::string& text, uint64_t smallest, uint64_t largest,
                       uint64_t& value, std::string& reason) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        reason = notDecimal(text);
        return false;
    }
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || parsed > largest) {
        reason = tooLarge(text, std::to_string(largest));
        return false;
    }
    if (parsed < smallest) {
        reason = tooSmall(text, std::to_string(smallest));
        return false;
    }
    value = parsed;
    return true;
}

// The value of -start, -num and the like: 0 to 4294967295, digits only, so that a sign, a
// space or a suffix is refused rather than read as something the user did not write.
inline bool parseCount(const std::string& text, uint32_t& value, std::string& reason) {
    uint64_t parsed = 0;
    if (!parseCount(text, 0, 0xFFFFFFFFull, parsed, reason)) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

// Reads the value of a count option (-start, -num and the like) into `into`, for
// OptionParser: the refusal line, or empty. A start of 0 is the first record, as splicetrc
// takes it.
inline std::function<std::string(const std::string&)> countInto(uint32_t& into,
                                                                const std::string& option,
                                                                bool zeroIsOne = false) {
    return [&into, option, zeroIsOne](const std::string& value) {
        uint32_t count = 0;
        std::string reason;
        if (!parseCount(value, count, reason)) {
            return invalidValue(option, reason);
        }
        into = zeroIsOne && count == 0 ? 1 : count;
        return std::string();
    };
}

enum class Seconds { kGood, kNotANumber, kTooManyDecimals, kTooLarge };

// Seconds with up to nine decimals ("1143137000.25"), digits and one point only, as
// nanoseconds, up to the latest time a record can hold (32-bit seconds): exact, with no
// floating point on the way.
inline Seconds parseSeconds(const std::string& text, uint64_t& nanoseconds) {
    constexpr uint64_t kLatestSeconds = 0xFFFFFFFF;
    auto allDigits = [](const std::string& digits) {
        return !digits.empty() && digits.find_first_not_of("0123456789") == std::string::npos;
    };
    const size_t point = text.find('.');
    const std::string whole = text.substr(0, point);
    const std::string decimals = point == std::string::npos ? "0" : text.substr(point + 1);
    if (!allDigits(whole) || !allDigits(decimals)) {
        return Seconds::kNotANumber;
    }
    if (decimals.size() > 9) {
        return Seconds::kTooManyDecimals;
    }
    errno = 0;
    const unsigned long long seconds = std::strtoull(whole.c_str(), nullptr, 10);
    if (errno != 0 || seconds > kLatestSeconds) {
        return Seconds::kTooLarge;
    }
    std::string padded = decimals;
    padded.resize(9, '0');
    nanoseconds = seconds * 1000000000 + std::strtoull(padded.c_str(), nullptr, 10);
    return Seconds::kGood;
}

}  // namespace cli
