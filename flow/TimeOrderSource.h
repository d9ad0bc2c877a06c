// The records of several inputs in time order: a stable merge, so that equal times keep the
// order of the inputs, then the order of the records within an input.
//
// Before the first record is given, each input's times are read alone (its index entries and
// the timestamps, never a frame), one input after another. That pass tells where a damaged
// input ends and whether an input is in time order, and builds the index of one that is not:
// its records' times and numbers, sorted (16 bytes a record), by which it is then read in
// time order. An input in order is read in file order and keeps nothing once its pass is
// done (during it, 8 bytes a record). Nothing is given before the order of every input is
// known, so no output is ever written and thrown away, and each input is read once for its
// times and once for its records.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <queue>
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

    explicit TimeOrderSource(const Readers& readers);
    ~TimeOrderSource() override;

    const CXcfCaptureRecord* next() override;

    // After the first next(): whether input i was read through a sorted index.
    bool indexed(size_t input) const { return cursors[input].indexed; }

  private:
    struct Cursor {
        CXcfPmCaptureFileParser* reader = nullptr;
        CaptureFormat format = CaptureFormat::kB3;
        std::unique_ptr<FormatRecords> records;
        CXcfCaptureRecord* record = nullptr;
        std::vector<std::pair<uint64_t, uint32_t>> index;  // time, number
        bool indexed = false;
        size_t position = 0;      // in the index
        uint32_t nextNumber = 1;  // in file order
        uint32_t readable = 0;    // records before the first that cannot be read
        uint64_t time = 0;        // of the record it holds
        uint32_t number = 0;      // of the record it holds
    };
    using Head = std::pair<uint64_t, size_t>;  // time, input: smaller input first on a tie

    // Reads the times of every input; false when a stop signal ended it.
    bool readTimes();
    bool readTimes(size_t input);
    // Reads the cursor's next record; false at its end.
    bool advance(size_t input);
    void endInput(size_t input);

    std::vector<Cursor> cursors;
    std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
    size_t current = 0;
    bool started = false;
    bool delivered = false;
};

}  // namespace flow
