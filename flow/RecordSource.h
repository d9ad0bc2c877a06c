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

  protected:
    void reportDamage(const CXcfPmCaptureFileParser& reader, uint32_t record) const;

    RecordOrigin last;

  private:
    DamageReport damageReport;
};

}  // namespace flow
