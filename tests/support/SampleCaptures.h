// Capture files written through the library's writers, and whole files read back through its
// readers: the material of the writer, end-to-end and driver tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/read/CXcfPmBinaryCaptureFileParser.h"
#include "capfile/write/CXcfPmBinaryCaptureFileWriter.h"
#include "support/Formats.h"
#include "support/RecordCopy.h"
#include "support/TestSupport.h"

namespace testsupport {

std::unique_ptr<CXcfPmBinaryCaptureFileParser> makeReader(Format format);
// A writer of one source, direction Rx, of the record type its format writes.
std::unique_ptr<CXcfPmBinaryCaptureFileWriter> makeWriter(Format format,
                                                          const std::string& portType = "POS",
                                                          const std::string& portId = "1A");

struct RecordValues {
    uint32_t seconds = 0, nanoseconds = 0;
    uint8_t portByte = 0, statusByte = 0, layer2Type = 0;  // port and status: B4 only
    uint32_t word0 = 0, word1 = 0;
};

// writeRecordData of the writer's format; the B4 port byte goes in as its two parts.
bool writeData(CXcfPmBinaryCaptureFileWriter& writer, Format format, const RecordValues& v,
               const Bytes& frame);

struct SampleOptions {
    Format format = Format::B3;
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
    std::vector<std::string> sourceNames;  // every slot of a B3 or B4 file's table
    std::string description;
    std::vector<RecordCopy> records;
};

// Opens a file through the parser factory and reads every record in order.
ReadBack readBack(const std::string& path);

}  // namespace testsupport
