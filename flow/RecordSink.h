// Where the records of a run go: an output file, a series of chunks, a packet file, statistics.
// A sink takes records one by one; one that can take records as their bytes lie says how many
// bytes of a run it takes from an input of each format, and takes such runs, or the first
// records of one.
#pragma once

#include <cstdint>

#include "flow/FormatRecords.h"
#include "flow/RecordSource.h"
#include "record/CXcfCaptureRecord.h"

namespace flow {

// The most bytes of a run that a sink loading runs into memory takes at once: a read of this
// size costs little a record, and the memory stays small beside the files' own blocks.
constexpr uint64_t kLoadedRunBytes = 1024 * 1024;

class RecordSink {
  public:
    virtual ~RecordSink() = default;

    // Takes the record; false ends the run (the sink has said why where there is a reason).
    virtual bool take(const CXcfCaptureRecord& record, const RecordOrigin& origin) = 0;

    // The most bytes of a run of an input of this format that the sink takes; 0 for none:
    // its records come one by one.
    virtual uint64_t runBytes(CaptureFormat input) const {
        (void)input;
        return 0;
    }
    // Takes the first records of the run, as many as it can; a record it leaves comes again
    // one by one. stop is set when the run must end (the sink has said why). The sink may
    // load the run's records to read them.
    virtual uint32_t takeRun(RecordRun& run, const RecordOrigin& origin, bool& stop) {
        (void)run, (void)origin;
        stop = false;
        return 0;
    }

    // For the progress line: the bytes written so far, 0 where the sink does not count them.
    virtual uint64_t bytesWritten() const { return 0; }
};

}  // namespace flow
