// Small capture files written through the library's writers, and whole files read back
// through its readers: the material of the end-to-end and driver tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/RecordCopy.h"
#include "support/TestSupport.h"

namespace testsupport {

struct SampleOptions {
    std::string format = "B3";  // "B3" or "B4"
    uint32_t records = 3;
    uint32_t tag = 0;  // makes the records of different files distinguishable
    std::string portType = "POS";
    std::string portId = "1A";
};

// Writes a file of options.records records whose contents derive from options.tag, and returns
// the records as a reader must give them back.
std::vector<RecordCopy> writeSample(const std::string& path, const SampleOptions& options);

struct ReadBack {
    bool opened = false;
    std::string formatCode;
    uint32_t numberOfRecords = 0;
    uint32_t triggerPacketNumber = 0;
    std::string sourceName0;
    std::string description;
    std::vector<RecordCopy> records;
};

// Opens a file through the parser factory and reads every record in order.
ReadBack readBack(const std::string& path);

// What a B3 record becomes in a B4 output: port and status bytes 0.
RecordCopy asB4(const RecordCopy& b3Record);

}  // namespace testsupport
