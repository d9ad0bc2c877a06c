#include "support/SampleCaptures.h"

#include <memory>

#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "record/CXcfL2PM410MergedRecord.h"

namespace testsupport {

namespace {

Bytes wordsAsBytes(uint32_t word0, uint32_t word1) {
    ByteBuilder b;
    b.u32(word0).u32(word1);
    return b.data();
}

}  // namespace

std::vector<RecordCopy> writeSample(const std::string& path, const SampleOptions& options) {
    const bool b4 = options.format == "B4";
    std::unique_ptr<CXcfPmBinaryCaptureFileWriter> writer;
    if (b4) {
        writer =
            std::make_unique<CXcfPmB4CaptureFileWriter>(options.portType, options.portId, "Rx", 4);
    } else {
        writer =
            std::make_unique<CXcfPmB3CaptureFileWriter>(options.portType, options.portId, "Rx", 3);
    }
    std::vector<RecordCopy> expected;
    if (!writer->open(path, "sample")) {
        return expected;
    }
    for (uint32_t i = 0; i < options.records; ++i) {
        RecordCopy r;
        r.seconds = 1000 * options.tag + i;
        r.nanoseconds = 1000 * i + options.tag;
        r.layer2Type = static_cast<uint8_t>(i % 3);
        const uint32_t word0 = (options.tag << 16) | i;
        const uint32_t word1 = ~word0;
        r.extension = wordsAsBytes(word0, word1);
        r.frame.resize(20 + (i * 7 + options.tag) % 50);
        for (size_t j = 0; j < r.frame.size(); ++j) {
            r.frame[j] = static_cast<uint8_t>(options.tag * 31 + i * 7 + j);
        }
        if (b4) {
            r.portByte =
                static_cast<uint8_t>((i % 5 == 4 ? 0x80 : 0) | (options.tag % 4) << 5 | i % 32);
            r.frameGood = (r.portByte & 0x80) == 0;
            r.statusByte = static_cast<uint8_t>(i + options.tag);
            static_cast<CXcfPmB4CaptureFileWriter&>(*writer).writeRecordData(
                r.portByte >> 5, r.portByte & 0x1F, r.seconds, r.nanoseconds, r.statusByte,
                r.layer2Type, word0, word1, static_cast<uint32_t>(r.frame.size()), r.frame.data());
        } else {
            static_cast<CXcfPmB3CaptureFileWriter&>(*writer).writeRecordData(
                r.seconds, r.nanoseconds, r.layer2Type, word0, word1,
                static_cast<uint32_t>(r.frame.size()), r.frame.data());
        }
        expected.push_back(r);
    }
    CXcfTimeOfDay start;
    start.set(static_cast<uint16_t>(options.tag % 24), 1, 2000);
    CXcfTimeOfDay stop;
    stop.set(static_cast<uint16_t>(options.tag % 24), 2, 3000);
    writer->setCaptureStartTimeOfDay(start);
    writer->setCaptureStopTimeOfDay(stop);
    writer->setCaptureStopTimestamp(
        CXcfTimestamp(static_cast<int32_t>(1000 * options.tag + 99), 5));
    writer->setTriggerPacketNumber(options.records == 0 ? 0 : options.records - 1);
    writer->close();
    return expected;
}

ReadBack readBack(const std::string& path) {
    ReadBack result;
    CXcfCaptureFileParserFactory factory;
    std::unique_ptr<CXcfCaptureFileParser> parser = factory.createParser(path);
    if (!parser) {
        return result;
    }
    result.opened = true;
    result.formatCode = parser->getFormatCode();
    result.numberOfRecords = parser->numberOfRecords;
    result.description = parser->description;
    if (auto* b3 = dynamic_cast<CXcfPmB3CaptureFileParser*>(parser.get())) {
        result.triggerPacketNumber = b3->triggerPacketNumber;
        result.sourceName0 = b3->getSourceName(0);
    } else if (auto* b4 = dynamic_cast<CXcfPmB4CaptureFileParser*>(parser.get())) {
        result.triggerPacketNumber = b4->triggerPacketNumber;
        result.sourceName0 = b4->getSourceName(0);
    }
    CXcfL2PM410MergedRecord record;
    for (uint32_t n = 1; parser->readRecord(n, record); ++n) {
        result.records.push_back(copyOf(record));
    }
    return result;
}

RecordCopy asB4(const RecordCopy& b3Record) {
    RecordCopy r = b3Record;
    r.portByte = 0;
    r.frameGood = true;
    r.statusByte = 0;
    return r;
}

}  // namespace testsupport
