#include "trcinfo/CaptureStatistics.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "cli/NumberText.h"
#include "flow/FormatRecords.h"

namespace {

constexpr uint64_t kNanosecondsPerSecond = 1000000000;

}  // namespace

void CaptureStatistics::add(const CXcfCaptureRecord& record) {
    add(flow::recordTime(record), record.getFrameLength(), record.getFrameStoredLength(),
        record.getPortByte(), record.getLayer2Type());
}

void CaptureStatistics::add(const xcf::RunRecord& record) {
    add(flow::recordTime(record.seconds, record.nanoseconds), record.frameLength,
        record.frameLength, record.portByte, record.layer2Type);
}

void CaptureStatistics::add(uint64_t time, uint32_t length, uint32_t stored, uint8_t portByte,
                            uint8_t layer2) {
    if (records == 0) {
        earliest = latest = time;
        shortestFrame = longestFrame = length;
    } else {
        earliest = std::min(earliest, time);
        latest = std::max(latest, time);
        shortestFrame = std::min(shortestFrame, length);
        longestFrame = std::max(longestFrame, length);
        if (time < previous) {
            ++outOfOrder;
            largestStepBack = std::max(largestStepBack, previous - time);
        } else {
            largestGap = std::max(largestGap, time - previous);
        }
    }
    previous = time;
    ++records;
    frameBytes += length;
    storedBytes += stored;
    size_t bucket = kBucketStarts.size() - 1;
    while (length < kBucketStarts[bucket]) {
        --bucket;
    }
    ++buckets[bucket];
    if ((portByte & CXcfCaptureRecord::kDamagedFrameBit) != 0) {
        ++damagedFrames;
    }
    ++recordsPerPort[portByte & static_cast<uint8_t>(~CXcfCaptureRecord::kDamagedFrameBit)];
    ++recordsPerLayer2Type[layer2];
}

double CaptureStatistics::averageFrameLength() const {
    return records == 0 ? 0.0 : static_cast<double>(frameBytes) / static_cast<double>(records);
}

bool CaptureStatistics::rates(double& bytesPerSecond, double& bitsPerSecond,
                              double& recordsPerSecond) const {
    if (duration() == 0) {
        bytesPerSecond = bitsPerSecond = recordsPerSecond = 0.0;
        return false;
    }
    const double seconds = static_cast<double>(duration()) / kNanosecondsPerSecond;
    bytesPerSecond = static_cast<double>(frameBytes) / seconds;
    bitsPerSecond = bytesPerSecond * 8;
    recordsPerSecond = static_cast<double>(records) / seconds;
    return true;
}

std::string CaptureStatistics::isoText(uint64_t nanoseconds) {
    const std::time_t seconds = static_cast<std::time_t>(nanoseconds / kNanosecondsPerSecond);
    std::tm utc{};
    if (gmtime_r(&seconds, &utc) == nullptr) {
        return epochText(nanoseconds);
    }
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09llu", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<unsigned long long>(nanoseconds % kNanosecondsPerSecond));
    return std::string(text) + "Z";
}

std::string CaptureStatistics::epochText(uint64_t nanoseconds) {
    return cli::secondsText(nanoseconds);
}

std::string CaptureStatistics::secondsText(uint64_t nanoseconds) {
    return epochText(nanoseconds) + " s";
}

std::string CaptureStatistics::layer2Name(uint32_t code) {
    switch (code) {
        case 0:
            return "POS PPP";
        case 1:
            return "POS Cisco HDLC";
        case 2:
            return "GbE";
        default:
            return "code " + std::to_string(code);
    }
}
