// A record's values and bytes copied out of a record object before it is refilled, for
// comparing what readers deliver. Shared by the test suites and the fuzz targets.
#pragma once

#include <cstdint>
#include <vector>

#include "record/CXcfCaptureRecord.h"

namespace testsupport {

struct RecordCopy {
    uint32_t seconds = 0;
    uint32_t nanoseconds = 0;
    uint8_t portByte = 0;
    bool frameGood = true;
    uint8_t statusByte = 0;
    uint8_t layer2Type = 0;
    std::vector<uint8_t> extension;
    std::vector<uint8_t> frame;

    bool operator==(const RecordCopy& other) const;
    bool operator!=(const RecordCopy& other) const { return !(*this == other); }
};

// The extension's and the frame's stored bytes are copied when the record holds them.
RecordCopy copyOf(const CXcfCaptureRecord& record);

}  // namespace testsupport
