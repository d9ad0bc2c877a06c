#include "trcedit/TimeOrderedMerge.h"

#include <algorithm>

#include "cli/RecordSequence.h"

TimeOrderedMerge::TimeOrderedMerge(Readers& readers, const std::vector<bool>& indexed,
                                   std::vector<bool>& warned)
    : warned(warned), cursors(readers.size()), disorder(readers.size()) {
    for (size_t i = 0; i < readers.size(); ++i) {
        Cursor& cursor = cursors[i];
        cursor.reader = readers[i].get();
        cursor.format = cli::captureFormatOf(cursor.reader->getFormatCode());
        cursor.records = std::make_unique<cli::FormatRecords>();
        cursor.record = &cursor.records->recordFor(cursor.format);
        cursor.indexed = i < indexed.size() && indexed[i];
        if (cursor.indexed) {
            buildIndex(i);
        }
        if (advance(i)) {
            heads.emplace(cursor.time, i);
        }
    }
}

void TimeOrderedMerge::endInput(size_t input, uint32_t failedRecord) {
    Cursor& cursor = cursors[input];
    cursor.holds = false;
    if (failedRecord != 0 && failedRecord <= cursor.reader->numberOfRecords && !warned[input]) {
        cli::warnStoppedReading(*cursor.reader, failedRecord);
        warned[input] = true;
    }
    cursor.reader->releaseBuffers();
}

void TimeOrderedMerge::buildIndex(size_t input) {
    Cursor& cursor = cursors[input];
    // Grown as records are read, never sized from the header's count: a damaged header may
    // announce billions of records in a file that holds a handful.
    const uint32_t total = cursor.reader->numberOfRecords;
    for (uint32_t number = 1; number <= total; ++number) {
        if (!cursor.reader->readRecord(number, *cursor.record)) {
            endInput(input, number);
            break;
        }
        cursor.index.emplace_back(cli::recordTime(*cursor.record), number);
    }
    // Stable: equal times keep the records' order.
    std::stable_sort(cursor.index.begin(), cursor.index.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
}

bool TimeOrderedMerge::advance(size_t input) {
    Cursor& cursor = cursors[input];
    if (cursor.indexed) {
        if (cursor.position == cursor.index.size() ||
            !cursor.reader->readRecord(cursor.index[cursor.position].second, *cursor.record)) {
            endInput(input, 0);
            return false;
        }
        cursor.time = cursor.index[cursor.position++].first;
        cursor.holds = true;
        return true;
    }
    if (!cursor.reader->readRecord(cursor.nextNumber, *cursor.record)) {
        endInput(input, cursor.nextNumber);
        return false;
    }
    ++cursor.nextNumber;
    const uint64_t time = cli::recordTime(*cursor.record);
    if (cursor.started && time < cursor.time) {
        disorder[input] = true;
        anyDisorder = true;
    }
    cursor.time = time;
    cursor.started = true;
    cursor.holds = true;
    return true;
}

CXcfCaptureRecord* TimeOrderedMerge::next() {
    if (delivered && advance(current)) {
        heads.emplace(cursors[current].time, current);
    }
    delivered = false;
    if (heads.empty()) {
        return nullptr;
    }
    current = heads.top().second;
    heads.pop();
    delivered = true;
    return cursors[current].record;
}

bool TimeOrderedMerge::finishAndCheckOrder() {
    if (delivered) {
        advance(current);
        delivered = false;
    }
    for (size_t i = 0; i < cursors.size(); ++i) {
        while (!cursors[i].indexed && cursors[i].holds && advance(i)) {
        }
    }
    heads = {};
    return !anyDisorder;
}
