// The tester family's two formats as test parameters, and what differs between them in a
// record the writers write.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "capfile/common/RecordLayout.h"

namespace testsupport {

enum class Format { B3, B4 };

inline const char* formatCode(Format format) {
    return format == Format::B3 ? "B3" : "B4";
}

// Names the format in test names and messages instead of dumping its bytes.
inline void PrintTo(Format format, std::ostream* out) {
    *out << formatCode(format);
}

// Bytes in front of the frame in a record as the writers write it.
inline size_t writtenFieldsSize(Format format) {
    return format == Format::B3 ? xcf::layout::kB3WrittenFieldsSize
                                : xcf::layout::kB4WrittenFieldsSize;
}

}  // namespace testsupport

// For GoogleTest suites parameterised by Format: one instance per format, named by it.
#define INSTANTIATE_FOR_BOTH_FORMATS(Suite)                                                       \
    INSTANTIATE_TEST_SUITE_P(Formats, Suite,                                                      \
                             ::testing::Values(testsupport::Format::B3, testsupport::Format::B4), \
                             ::testing::PrintToStringParamName())
