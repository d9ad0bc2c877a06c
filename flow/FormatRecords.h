// The two formats the programs read and write, and the record object that holds a record of
// each: what a run derives once from a reader's format code instead of comparing texts per
// record.
#pragma once

#include <cstdint>
#include <string>

#include "record/CXcfCaptureRecord.h"
#include "record/CXcfL2PM410MergedRecord.h"
#include "record/CXcfL2PM410Record.h"

namespace flow {

enum class CaptureFormat { kB3, kB4, kOther };

// kB3 for "B3", kB4 for "B4", kOther for any other code (tcpdump's "X1").
inline CaptureFormat captureFormatOf(const std::string& formatCode) {
    if (formatCode == "B3") {
        return CaptureFormat::kB3;
    }
    return formatCode == "B4" ? CaptureFormat::kB4 : CaptureFormat::kOther;
}

// A record's time in nanoseconds since the epoch, from its two timestamp fields: the one
// scale every program compares, splits and exports times on.
inline uint64_t recordTime(uint32_t seconds, uint32_t nanoseconds) {
    return uint64_t{seconds} * 1000000000 + nanoseconds;
}

inline uint64_t recordTime(const CXcfCaptureRecord& record) {
    return recordTime(record.getTimestampSeconds(), record.getTimestampNanoseconds());
}

// One record object per format, reused for every record: a layer-2 record for B3 files and
// a merged record for B4 files (records of other formats are not read).
class FormatRecords {
  public:
    CXcfCaptureRecord& recordFor(CaptureFormat format) {
        return format == CaptureFormat::kB4 ? static_cast<CXcfCaptureRecord&>(merged)
                                            : static_cast<CXcfCaptureRecord&>(layer2);
    }

  private:
    CXcfL2PM410Record layer2;
    CXcfL2PM410MergedRecord merged;
};

}  // namespace flow
