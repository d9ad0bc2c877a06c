// Numbers as the programs' options take them.
#pragma once

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace cli {

// A decimal count of 0 to 4294967295: digits only, so that a sign, a space or a suffix is
// refused rather than read as something the user did not write.
inline bool parseCount(const std::string& text, uint32_t& value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    errno = 0;
    const unsigned long long parsed = std::strtoull(text.c_str(), nullptr, 10);
    if (errno != 0 || parsed > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<uint32_t>(parsed);
    return true;
}

}  // namespace cli
