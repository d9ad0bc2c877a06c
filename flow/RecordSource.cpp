#include "flow/RecordSource.h"

#include <string>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Console.h"

namespace flow {

void warnStoppedReading(const CXcfPmCaptureFileParser& reader, uint32_t record) {
    printLine("WARNING (appendRecords) - Stopped reading file: '" + reader.getFileName() +
              "' at record " + std::to_string(record) + " of " +
              std::to_string(reader.numberOfRecords) + "; its remaining records were skipped.");
}

void RecordSource::reportDamage(const CXcfPmCaptureFileParser& reader, uint32_t record) const {
    if (damageReport) {
        damageReport(reader, record);
    } else {
        warnStoppedReading(reader, record);
    }
}

void RecordSource::shiftTimes(std::vector<int64_t> inputShifts, ShiftRefusal refusal) {
    shifts = std::move(inputShifts);
    shiftRefusal = std::move(refusal);
}

bool RecordSource::shift(size_t input, const CXcfPmCaptureFileParser& reader, uint32_t record,
                         uint64_t& time) {
    const int64_t by = shiftOf(input);
    // The latest time a record holds: 32-bit seconds and a nanosecond below the next second.
    // A shift is never larger than it, so neither bound can wrap.
    constexpr uint64_t kLatest = 0xFFFFFFFFull * 1000000000 + 999999999;
    const uint64_t magnitude = by >= 0 ? static_cast<uint64_t>(by) : 0 - static_cast<uint64_t>(by);
    if (by >= 0 ? time > kLatest - magnitude : time < magnitude) {
        shiftRefused = true;
        if (shiftRefusal) {
            shiftRefusal(input, reader, record, time);
        }
        return false;
    }
    time = by >= 0 ? time + magnitude : time - magnitude;
    return true;
}

void RecordSource::setTime(CXcfCaptureRecord& record, uint64_t time) {
    record.setTimestamp(static_cast<uint32_t>(time / 1000000000),
                        static_cast<uint32_t>(time % 1000000000));
}

}  // namespace flow
