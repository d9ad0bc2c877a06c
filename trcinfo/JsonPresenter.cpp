#include "trcinfo/JsonPresenter.h"

#include <algorithm>

#include "capfile/common/CXcfPmCaptureFileCommon.h"
#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "capfile/read/CXcfTcpdumpFileParser.h"
#include "cli/Console.h"
#include "flow/FormatRecords.h"

using Json = JsonPresenter::Json;

std::string JsonPresenter::text(const Json& value) {
    return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void JsonPresenter::printFile(const std::string& text) {
    printLine(std::string(anyFile ? "," : "[") + text);
    anyFile = true;
}

void JsonPresenter::openFailure(const std::string& fileName, const std::string& reason,
                                int32_t code, const std::vector<std::string>& moreReasons) {
    Json error;
    error["step"] = "openInputFile";
    error["message"] = "Failed to open file: '" + fileName + "'\nbecause: " + reason;
    error["code"] = code;
    error["details"] = moreReasons;
    Json file;
    file["file_name"] = fileName;
    file["error"] = error;
    printFile(text(file));
}

Json JsonPresenter::header(const CXcfCaptureFileParser& parser) {
    Json h;
    h["signature"] = parser.signature;
    h["format_code"] = parser.formatCode;
    h["version"] = parser.formatVersionText();
    h["master_format_flags"] = parser.masterFormatFlags;
    h["number_of_records"] = parser.numberOfRecords;
    h["record_length"] = parser.recordLength;
    h["offset_to_data"] = parser.offsetToData;
    h["offset_to_index"] = parser.offsetToIndex;
    h["description"] = parser.description;
    h["file_size"] = parser.fileSize;
    h["last_error_code"] = parser.lastErrorCode;
    h["last_error_message"] = parser.errorMessage();
    if (const auto* family = dynamic_cast<const CXcfPmCaptureFileParser*>(&parser)) {
        h["capture_start_time_of_day"] = family->captureStartTimeOfDay.toString();
        h["capture_stop_time_of_day"] = family->captureStopTimeOfDay.toString();
        h["capture_stop_timestamp"] = {
            {"seconds", family->captureStopTimestamp.getSeconds()},
            {"nanoseconds", family->captureStopTimestamp.getNanoseconds()}};
        if (const auto* b3 = dynamic_cast<const CXcfPmB3CaptureFileParser*>(&parser)) {
            h["trigger_packet_number"] = b3->triggerPacketNumber;
        } else if (const auto* b4 = dynamic_cast<const CXcfPmB4CaptureFileParser*>(&parser)) {
            h["trigger_packet_number"] = b4->triggerPacketNumber;
        }
    }
    if (const auto* pcap = dynamic_cast<const CXcfTcpdumpFileParser*>(&parser)) {
        h["big_endian"] = pcap->swapBytes;
        h["nanosecond_timestamps"] = pcap->nanoseconds;
        h["thiszone"] = pcap->thisZone;
        h["sigfigs"] = pcap->sigFigs;
        h["snaplen"] = pcap->snapLength;
        h["network"] = pcap->network;
    }
    return h;
}

void JsonPresenter::beginFile(const CXcfCaptureFileParser& parser) {
    current = Json::object();
    warnings = Json::array();
    recordsOpen = false;
    firstRecord = true;
    current["file_name"] = parser.getFileName();
    current["format_code"] = parser.getFormatCode();
    current["header"] = header(parser);
}

void JsonPresenter::tables(const CXcfCaptureFileParser& parser) {
    const auto* family = dynamic_cast<const CXcfPmCaptureFileParser*>(&parser);
    if (family == nullptr) {
        current["tables"] = nullptr;
        return;
    }
    Json types = Json::array();
    Json names = Json::array();
    for (size_t i = 0; i < CXcfPmCaptureFileCommon::kRecordTypeEntries; ++i) {
        types.push_back(family->recordTypeEntry(static_cast<uint8_t>(i)));
    }
    for (size_t i = 0; i < CXcfPmCaptureFileCommon::kSourceNameSlots; ++i) {
        names.push_back(family->getSourceName(static_cast<uint32_t>(i)));
    }
    current["tables"] = {{"record_types", types}, {"source_names", names}};
}

Json JsonPresenter::statistics(const CXcfCaptureFileParser& parser, const CaptureStatistics& s) {
    Json j;
    j["records"] = s.records;
    j["frame_bytes"] = s.frameBytes;
    j["stored_bytes"] = s.storedBytes;
    if (s.empty()) {
        return j;
    }
    j["first_time_ns"] = s.earliest;
    j["first_time"] = CaptureStatistics::isoText(s.earliest);
    j["last_time_ns"] = s.latest;
    j["last_time"] = CaptureStatistics::isoText(s.latest);
    j["duration_ns"] = s.duration();
    double bytesPerSecond = 0;
    double bitsPerSecond = 0;
    double recordsPerSecond = 0;
    if (s.rates(bytesPerSecond, bitsPerSecond, recordsPerSecond)) {
        j["data_rate_bytes_per_second"] = bytesPerSecond;
        j["data_rate_bits_per_second"] = bitsPerSecond;
        j["record_rate_per_second"] = recordsPerSecond;
    } else {
        j["data_rate_bytes_per_second"] = nullptr;
        j["data_rate_bits_per_second"] = nullptr;
        j["record_rate_per_second"] = nullptr;
    }
    j["frame_length_min"] = s.shortestFrame;
    j["frame_length_average"] = s.averageFrameLength();
    j["frame_length_max"] = s.longestFrame;
    Json buckets = Json::array();
    for (size_t i = 0; i < s.buckets.size(); ++i) {
        Json bucket;
        bucket["from"] = CaptureStatistics::kBucketStarts[i];
        if (i + 1 < s.buckets.size()) {
            bucket["to"] = CaptureStatistics::kBucketStarts[i + 1] - 1;
        } else {
            bucket["to"] = nullptr;
        }
        bucket["records"] = s.buckets[i];
        bucket["share"] = static_cast<double>(s.buckets[i]) / static_cast<double>(s.records);
        buckets.push_back(bucket);
    }
    j["frame_length_buckets"] = buckets;
    j["damaged_frames"] = s.damagedFrames;
    const auto* family = dynamic_cast<const CXcfPmCaptureFileParser*>(&parser);
    Json ports = Json::array();
    for (const auto& [port, count] : s.recordsPerPort) {
        ports.push_back({{"port", port},
                         {"source_name", family != nullptr ? family->getSourceName(port) : ""},
                         {"records", count}});
    }
    j["records_per_port"] = ports;
    Json types = Json::array();
    for (const auto& [code, count] : s.recordsPerLayer2Type) {
        types.push_back(
            {{"code", code}, {"name", CaptureStatistics::layer2Name(code)}, {"records", count}});
    }
    j["records_per_layer2_type"] = types;
    j["in_time_order"] = s.outOfOrder == 0;
    j["records_out_of_order"] = s.outOfOrder;
    j["largest_step_back_ns"] = s.largestStepBack;
    j["largest_gap_ns"] = s.largestGap;
    return j;
}

void JsonPresenter::statistics(const CXcfCaptureFileParser& parser, const CaptureStatistics& s,
                               uint32_t first, const ReadStop* stop) {
    Json j = statistics(parser, s);
    j["first_record"] = first;
    j["complete"] = stop == nullptr;
    if (stop != nullptr) {
        warnings.push_back(stop->warning());
    }
    current["statistics"] = j;
}

void JsonPresenter::statisticsBeyondTheEnd(const CXcfCaptureFileParser& parser, uint32_t start,
                                           uint32_t total) {
    Json j = statistics(parser, CaptureStatistics());
    j["first_record"] = start;
    j["complete"] = true;
    current["statistics"] = j;
    warnings.push_back(statisticsBeyondTheEndWarning(start, total));
}

void JsonPresenter::recordsNotRead(const std::string& formatCode, bool forStatistics) {
    current[forStatistics ? "statistics" : "records"] = nullptr;
    warnings.push_back(std::string(forStatistics ? "Statistics" : "Records") + ": not " +
                       (forStatistics ? "computed" : "listed") + "; the reader of format " +
                       formatCode + " reads the header only");
}

void JsonPresenter::recordsNone() {
    current["records"] = Json::array();
}

void JsonPresenter::startBeyondTheEnd(uint32_t start, uint32_t total) {
    current["records"] = Json::array();
    warnings.push_back("WARNING (listRecords) - Requested first record " + std::to_string(start) +
                       " > " + std::to_string(total) +
                       ", the total number of records in the source file.");
}

void JsonPresenter::beginRecords(uint32_t, uint64_t, uint32_t) {
    openRecords();
}

void JsonPresenter::openRecords() {
    // The object so far without its closing brace, then the records as they come.
    std::string head = text(current);
    head.pop_back();
    printFile(head + (current.empty() ? "" : ",") + "\"records\":[");
    recordsOpen = true;
    firstRecord = true;
}

Json JsonPresenter::record(uint32_t number, const CXcfCaptureRecord& r, uint32_t hexBytes) {
    Json j;
    j["number"] = number;
    j["time_ns"] = flow::recordTime(r);
    j["time"] = CaptureStatistics::isoText(flow::recordTime(r));
    j["seconds"] = r.getTimestampSeconds();
    j["nanoseconds"] = r.getTimestampNanoseconds();
    j["port_byte"] = r.getPortByte();
    j["frame_good"] = r.isFrameGood();
    j["status_byte"] = r.getStatusByte();
    j["layer2_type"] = r.getLayer2Type();
    j["extension_length"] = r.getExtensionLength();
    j["frame_length"] = r.getFrameLength();
    j["frame_stored_length"] = r.getFrameStoredLength();
    if (hexBytes > 0) {
        static const char kDigits[] = "0123456789abcdef";
        const uint32_t shown = std::min(hexBytes, r.getFrameStoredLength());
        std::string hex;
        for (uint32_t i = 0; i < shown && r.getFrame() != nullptr; ++i) {
            hex += kDigits[r.getFrame()[i] >> 4];
            hex += kDigits[r.getFrame()[i] & 0xF];
        }
        j["frame_hex"] = hex;
    }
    return j;
}

void JsonPresenter::record(uint32_t number, const CXcfCaptureRecord& r) {
    printLine((firstRecord ? "" : ",") + text(record(number, r, settings.hexBytes)));
    firstRecord = false;
}

void JsonPresenter::endRecords(const ReadStop* stop) {
    if (stop != nullptr) {
        warnings.push_back(stop->warning());
    }
}

void JsonPresenter::endFile() {
    if (recordsOpen) {
        printLine("],\"warnings\":" + text(warnings) + "}");
        recordsOpen = false;
        return;
    }
    current["warnings"] = warnings;
    printFile(text(current));
}

void JsonPresenter::finish() {
    printLine(anyFile ? "]" : "[]");
}
