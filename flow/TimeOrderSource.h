// The records of several inputs in time order: a stable merge, so that equal times keep the
// order of the inputs, then the order of the records within an input.
//
// Before the first record is given, each input's times are read alone (its index entries and
// the timestamps, never a frame), one input after another. That pass tells where a damaged
// input ends and whether an input is in time order, and builds the index of one that is not:
// its records' times and numbers from its first step back on, sorted (16 bytes a record). An
// input in order is read in file order and keeps nothing. Nothing is
// given before the order of every input is known, so no output is ever written and thrown
// away, and each input is read once for its times and once for its records.
//
// An input out of order is mostly a few time lines one after another (captures appended, a
// tester's ports written in turn): its records up to the first step back are read in file
// order, their times not kept, and the rest, in time order, fall into a few lanes, each going
// forwards through the file. Each lane is read by a reader of its own, so that every record is
// read where its reader's read-ahead already stands; records that would need more lanes than
// that are read by number, a jump a record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include "flow/FormatRecords.h"
#include "flow/RecordSource.h"
#include "record/CXcfCaptureRecord.h"

class CXcfPmCaptureFileParser;

namespace flow {

class TimeOrderSource : public RecordSource {
  public:
    using Readers = std::vector<std::unique_ptr<CXcfPmCaptureFileParser>>;

    // Lanes an input out of order may be read in (besides the records before its first step
    // back), and readers of their own (each an open file and a read-ahead block) that all
    // inputs together may hold.
    static constexpr size_t kMaxLanesPerInput = 8;
    static constexpr size_t kMaxExtraLanes = 64;
    // Read-ahead blocks of all readers together, while records are given: a merge of
    // thousands of inputs holds one per input. Each gets its share, at most the usual block.
    static constexpr size_t kReadAheadBudget = 48 * 1024 * 1024;

    explicit TimeOrderSource(const Readers& readers);
    ~TimeOrderSource() override;

    const CXcfCaptureRecord* next() override;
    // Whether times are read in runs from the records' bytes where the records lie as the
    // writers lay them out (the default), before the first next(); the order is the same
    // either way.
    void useRuns(bool enabled) { timesInRuns = enabled; }
    // The read-ahead budget, before the first next() (tests give a small one).
    void shareReadAhead(size_t bytes) { readAheadBudget = bytes; }

    // After the first next(): in how many lanes input i is read (1 for one in order or read
    // by number).
    size_t lanesOf(size_t input) const;

  private:
    struct Cursor {
        size_t input = 0;
        CXcfPmCaptureFileParser* reader = nullptr;
        std::unique_ptr<CXcfPmCaptureFileParser> ownReader;  // a lane's second reader
        CaptureFormat format = CaptureFormat::kB3;
        std::unique_ptr<FormatRecords> records;
        CXcfCaptureRecord* record = nullptr;
        // The records it gives, in time order (time, number); empty in file order.
        std::vector<std::pair<uint64_t, uint32_t>> index;
        bool indexed = false;
        size_t position = 0;      // in the index
        uint32_t nextNumber = 1;  // in file order
        uint32_t readable = 0;    // records before the first that cannot be read
        uint32_t prefixEnd = 0;   // out of order: the records before its first step back
        uint64_t time = 0;        // of the record it holds
        uint32_t number = 0;      // of the record it holds
    };
    // The record a cursor holds, by time, then input, then record number: equal times keep
    // the inputs' order, then the records'.
    struct Head {
        uint64_t time;
        uint64_t order;  // input, then record number
        size_t cursor;
        bool operator<(const Head& other) const {
            return time != other.time ? time < other.time : order < other.order;
        }
    };
    Head headOf(size_t cursor) const;
    // The heads form a heap whose least is heads[0]; restores it after heads[0] changed.
    void siftDown();

    // Reads the times of every input; false when a stop signal ended it.
    bool readTimes();
    bool readTimes(size_t input);
    // Gives the sorted index of the cursor to lanes of their own where few enough do, or to
    // one cursor of its own that reads by number; appends them. Where no reader of its own can
    // be had, the cursor reads its whole input by number.
    void splitIntoLanes(size_t cursor);
    void readByNumber(size_t cursor);
    // Reads the cursor's next record; false at its end.
    bool advance(size_t cursor);
    void endCursor(size_t cursor);

    std::vector<Cursor> cursors;
    size_t extraLanes = 0;
    size_t readAheadBudget = kReadAheadBudget;
    bool timesInRuns = true;
    // The times pass's run, one for every input in turn.
    RecordRun timesRun;
    std::vector<Head> heads;
    size_t current = 0;
    bool started = false;
    bool delivered = false;
};

}  // namespace flow
