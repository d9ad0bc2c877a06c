// The records of several inputs in time order: a stable merge, so that equal times keep the
// order of the inputs, then the order of the records within an input.
//
// An input read in file order costs one record object and no memory per record; the merge
// cannot know in advance that an input is in time order, so it notes any step back it meets,
// and the caller runs the merge again with such inputs indexed: their records' times and
// numbers, sorted, 16 bytes per record, read back by number in time order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <queue>
#include <utility>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/FormatRecords.h"
#include "record/CXcfCaptureRecord.h"

class TimeOrderedMerge {
  public:
    using Readers = std::vector<std::unique_ptr<CXcfPmCaptureFileParser>>;

    // indexed[i]: read input i through a sorted index. warned[i] is set once the WARNING
    // line for a damaged input i has been printed, so that a second merge does not repeat it.
    TimeOrderedMerge(Readers& readers, const std::vector<bool>& indexed, std::vector<bool>& warned);

    // The next record in time order, or nullptr at the end. Valid until the next call.
    CXcfCaptureRecord* next();
    cli::CaptureFormat format() const { return cursors[current].format; }
    size_t inputIndex() const { return current; }

    // Reads what is left of the inputs read in file order, without delivering it, and tells
    // whether every one of them was in time order; disordered() then names those that were
    // not. For a caller that stops before the end.
    bool finishAndCheckOrder();
    const std::vector<bool>& disordered() const { return disorder; }
    // True once any input read in file order stepped back in time: what was merged so far is
    // not in order, and the caller can stop at once.
    bool sawDisorder() const { return anyDisorder; }

  private:
    struct Cursor {
        CXcfPmCaptureFileParser* reader = nullptr;
        cli::CaptureFormat format = cli::CaptureFormat::kB3;
        std::unique_ptr<cli::FormatRecords> records;
        CXcfCaptureRecord* record = nullptr;
        std::vector<std::pair<uint64_t, uint32_t>> index;  // when read through an index
        bool indexed = false;
        size_t position = 0;  // in the index
        uint32_t nextNumber = 1;
        uint64_t time = 0;  // of the record it holds
        bool holds = false;
        bool started = false;
    };
    using Head = std::pair<uint64_t, size_t>;  // time, input: smaller input first on a tie

    // Reads the cursor's next record; false at its end.
    bool advance(size_t input);
    void buildIndex(size_t input);
    void endInput(size_t input, uint32_t failedRecord);

    std::vector<bool>& warned;
    std::vector<Cursor> cursors;
    std::vector<bool> disorder;
    std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
    size_t current = 0;
    bool delivered = false;
    bool anyDisorder = false;
};
