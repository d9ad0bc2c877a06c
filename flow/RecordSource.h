// Where the records of a run come from: the records of the inputs one after another, each with
// where it came from. A source may also hand out runs, records whose bytes a sink can take as
// they lie, and takes back what a sink did not take of one. An input whose records end before
// the count its header announces is damaged: the source says so once, on the WARNING line the
// programs share unless its user has words of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "capfile/common/RecordRun.h"
#include "flow/FormatRecords.h"
#include "record/CXcfCaptureRecord.h"

class CXcfPmCaptureFileParser;

namespace flow {

using xcf::RecordRun;

// Where the last record (or the first record of the last run) came from.
struct RecordOrigin {
    CaptureFormat format = CaptureFormat::kB3;
    size_t input = 0;  // among the source's inputs, from 0
    CXcfPmCaptureFileParser* reader = nullptr;
    uint32_t number = 0;  // within its input, from 1
};

// The WARNING line for an input whose record `record`, inside the count its header announces,
// could not be read: its remaining records are skipped.
void warnStoppedReading(const CXcfPmCaptureFileParser& reader, uint32_t record);

class RecordSource {
  public:
    // Told about a damaged input: its reader and the first record inside the header's count
    // that could not be read.
    using DamageReport = std::function<void(const CXcfPmCaptureFileParser&, uint32_t record)>;

    virtual ~RecordSource() = default;

    // The next record, or nullptr when every input is done. Valid until the next call.
    virtual const CXcfCaptureRecord* next() = 0;
    const RecordOrigin& origin() const { return last; }

    // Whether the next records may come as a run, and the format of their input.
    virtual bool runsFrom(CaptureFormat& format) const {
        (void)format;
        return false;
    }
    // Plans a run of at most maxCount records and maxBytes bytes from the next record on and
    // moves past it; origin() then tells where its first record lies. 0 when the next record
    // must come from next().
    virtual uint32_t nextRun(uint32_t maxCount, uint64_t maxBytes, RecordRun& run) {
        (void)maxCount, (void)maxBytes, (void)run;
        return 0;
    }
    // Takes back the last `records` of the last run: next() delivers them.
    virtual void giveBack(uint32_t records) { (void)records; }

    // Replaces the WARNING line (trcinfo says it in its own words).
    void reportDamageWith(DamageReport report) { damageReport = std::move(report); }

    // Told about a record whose time a shift takes out of the times a record can hold: its
    // input, its reader, its number, and its time before the shift.
    using ShiftRefusal = std::function<void(size_t input, const CXcfPmCaptureFileParser&,
                                            uint32_t record, uint64_t time)>;
    // The records of input i come with their times moved by shifts[i] nanoseconds (an input
    // beyond the list keeps its times), before anything else sees them. A record the shift
    // would take out of range ends the source: refusal is told, and shiftFailed() says so.
    void shiftTimes(std::vector<int64_t> shifts, ShiftRefusal refusal);
    bool shiftFailed() const { return shiftRefused; }

  protected:
    void reportDamage(const CXcfPmCaptureFileParser& reader, uint32_t record) const;
    int64_t shiftOf(size_t input) const { return input < shifts.size() ? shifts[input] : 0; }
    // Moves time, the time of record `record` of input `input`, by the input's shift; false
    // (after telling the refusal) when the result lies outside what a record can hold.
    bool shift(size_t input, const CXcfPmCaptureFileParser& reader, uint32_t record,
               uint64_t& time);
    // Gives the record the time (nanoseconds since the epoch) a shift made.
    static void setTime(CXcfCaptureRecord& record, uint64_t time);

    RecordOrigin last;

  private:
    DamageReport damageReport;
    std::vector<int64_t> shifts;
    ShiftRefusal shiftRefusal;
    bool shiftRefused = false;
};

}  // namespace flow
