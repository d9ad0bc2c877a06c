// A record's values and bytes copied out of a record object before it is refilled, for
// comparing what readers deliver, and what such a record becomes when it is written again.
#pragma once

#include <cstdint>
#include <vector>

#include "record/CXcfCaptureRecord.h"
#include "support/Formats.h"

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

// What a record read from an input of one format reads back as from an output of the other
// (or the same) format: both writers store the extension as two 32-bit words, a word the
// extension is too short for being 0, and a record that was or becomes B3 has port and status
// byte 0 and a good frame.
RecordCopy asOutputRecord(const RecordCopy& input, Format from, Format to);

}  // namespace testsupport
