// Shared by the writer tests: pieces of a written file as bytes or text.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "support/Formats.h"
#include "support/SampleCaptures.h"
#include "support/TestSupport.h"

namespace writertest {

using namespace testsupport;
namespace layout = xcf::layout;

inline Bytes slice(const Bytes& b, size_t offset, size_t length) {
    return Bytes(b.begin() + static_cast<long>(offset),
                 b.begin() + static_cast<long>(offset + length));
}

inline std::string text(const Bytes& b, size_t offset, size_t length) {
    return std::string(b.begin() + static_cast<long>(offset),
                       b.begin() + static_cast<long>(offset + length));
}

}  // namespace writertest
