#include "support/SampleCaptures.h"

#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "record/CXcfL2PM410MergedRecord.h"

namespace testsupport {

using xcf::layout::kDamagedFrameBit;

std::unique_ptr<CXcfPmBinaryCaptureFileParser> makeReader(Format format) {
    if (format == Format::B3) {
        return std::make_unique<CXcfPmB3CaptureFileParser>();
    }
    return std::make_unique<CXcfPmB4CaptureFileParser>();
}

std::unique_ptr<CXcfPmBinaryCaptureFileWriter> makeWriter(Format format,
                                                          const std::string& portType,
                                                          const std::string& portId) {
    if (format == Format::B3) {
        return std::make_unique<CXcfPmB3CaptureFileWriter>(portType, portId, "Rx",
                                                           xcf::layout::kB3WrittenRecordType);
    }
    return std::make_unique<CXcfPmB4CaptureFileWriter>(portType, portId, "Rx",
                                                       xcf::layout::kB4WrittenRecordType);
}

bool writeData(CXcfPmBinaryCaptureFileWriter& writer, Format format, const RecordValues& v,
               const Bytes& frame) {
    const auto length = static_cast<uint32_t>(frame.size());
    if (format == Format::B3) {
        return static_cast<CXcfPmB3CaptureFileWriter&>(writer).writeRecordData(
            v.seconds, v.nanoseconds, v.layer2Type, v.word0, v.word1, length, frame.data());
    }
    return static_cast<CXcfPmB4CaptureFileWriter&>(writer).writeRecordData(
        static_cast<uint8_t>(v.portByte >> 5), static_cast<uint8_t>(v.portByte & 0x1F), v.seconds,
        v.nanoseconds, v.statusByte, v.layer2Type, v.word0, v.word1, length, frame.data());
}

std::vector<RecordCopy> writeSample(const std::string& path, const SampleOptions& options) {
    const bool b4 = options.format == Format::B4;
    auto writer = makeWriter(options.format, options.portType, options.portId);
    std::vector<RecordCopy> expected;
    if (!writer->open(path, "sample")) {
        return expected;
    }
    for (uint32_t i = 0; i < options.records; ++i) {
        RecordValues v;
        v.seconds = 1000 * options.tag + i;
        v.nanoseconds = 1000 * i + options.tag;
        v.layer2Type = static_cast<uint8_t>(i % 3);
        v.word0 = (options.tag << 16) | i;
        v.word1 = ~v.word0;
        if (b4) {
            v.portByte = static_cast<uint8_t>((i % 5 == 4 ? kDamagedFrameBit : 0) |
                                              (options.tag % 4) << 5 | i % 32);
            v.statusByte = static_cast<uint8_t>(i + options.tag);
        }
        RecordCopy r;
        r.seconds = v.seconds;
        r.nanoseconds = v.nanoseconds;
        r.portByte = v.portByte;
        r.frameGood = (v.portByte & kDamagedFrameBit) == 0;
        r.statusByte = v.statusByte;
        r.layer2Type = v.layer2Type;
        r.extension = ByteBuilder().u32(v.word0).u32(v.word1).data();
        r.frame.resize(20 + (i * 7 + options.tag) % 50);
        for (size_t j = 0; j < r.frame.size(); ++j) {
            r.frame[j] = static_cast<uint8_t>(options.tag * 31 + i * 7 + j);
        }
        writeData(*writer, options.format, v, r.frame);
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
    if (auto* tester = dynamic_cast<CXcfPmCaptureFileParser*>(parser.get())) {
        for (uint32_t slot = 0; slot < 256; ++slot) {
            result.sourceNames.push_back(tester->getSourceName(slot));
        }
    }
    CXcfL2PM410MergedRecord record;
    for (uint32_t n = 1; parser->readRecord(n, record); ++n) {
        result.records.push_back(copyOf(record));
    }
    return result;
}

}  // namespace testsupport
