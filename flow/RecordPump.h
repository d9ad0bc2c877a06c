// What every program does between its inputs and its output: records from a source into a
// sink, from a start position and for a count, through an optional filter, until a stop
// signal. Where the source and the sink can, records travel as runs: those before the start
// are counted without being read, and a run the sink takes only in part goes back to the
// source, whose next record then comes one by one, so that a record that cannot travel in a
// run is handled, and reported, the usual way.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "flow/RecordSink.h"
#include "flow/RecordSource.h"
#include "record/CXcfCaptureRecord.h"

namespace flow {

class RecordPump {
  public:
    // True to keep the record. Records it drops do not count towards the start.
    using Filter = std::function<bool(const CXcfCaptureRecord&)>;
    enum class End {
        kSourceDone,    // every record was delivered
        kCountReached,  // the sink took as many records as asked for
        kStopped,       // a stop signal came
        kSinkStopped,   // the sink refused a record or a run
    };

    RecordPump(RecordSource& source, RecordSink& sink) : source(source), sink(sink) {}

    // The first record the sink gets, counted from 1 among the records the filter keeps.
    void startAt(uint64_t position) { start = position; }
    // How many records the sink takes at most; 0 for all.
    void limitTo(uint64_t records) { limit = records; }
    void filterWith(Filter keep) { filter = std::move(keep); }
    // Whether records may travel as runs (the default); the sink gets the same either way.
    void useRuns(bool enabled) { runs = enabled; }
    // A progress line on the terminal, as the program's: records delivered of total.
    void showProgress(std::string program, uint64_t totalRecords) {
        progressName = std::move(program);
        progressTotal = totalRecords;
    }

    End run();
    // Records the sink took.
    uint64_t taken() const { return takenRecords; }

  private:
    // Records per run: their index entries and offsets pass through memory.
    static constexpr uint32_t kMaxRun = 65536;

    RecordSource& source;
    RecordSink& sink;
    uint64_t start = 1;
    uint64_t limit = 0;
    Filter filter;
    bool runs = true;
    std::string progressName;
    uint64_t progressTotal = 0;
    uint64_t takenRecords = 0;
};

}  // namespace flow
