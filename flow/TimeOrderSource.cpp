#include "flow/TimeOrderSource.h"

#include <algorithm>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Signals.h"

namespace flow {

namespace {

// How many records pass between two looks at the stop signal while times are read.
constexpr uint32_t kSignalInterval = 4096;

// A record's time alone: its index entries and its timestamp, never its frame. False exactly
// where reading the record would fail.
bool timeOf(CXcfPmCaptureFileParser& reader, uint32_t number, uint64_t& time) {
    uint32_t seconds = 0;
    uint32_t nanoseconds = 0;
    if (!reader.readRecordTime(number, seconds, nanoseconds)) {
        return false;
    }
    time = recordTime(seconds, nanoseconds);
    return true;
}

}  // namespace

TimeOrderSource::TimeOrderSource(const Readers& readers) : cursors(readers.size()) {
    for (size_t i = 0; i < readers.size(); ++i) {
        Cursor& cursor = cursors[i];
        cursor.reader = readers[i].get();
        cursor.format = captureFormatOf(cursor.reader->getFormatCode());
        cursor.records = std::make_unique<FormatRecords>();
        cursor.record = &cursor.records->recordFor(cursor.format);
    }
}

TimeOrderSource::~TimeOrderSource() = default;

bool TimeOrderSource::readTimes(size_t input) {
    Cursor& cursor = cursors[input];
    CXcfPmCaptureFileParser& reader = *cursor.reader;
    const uint32_t total = reader.numberOfRecords;
    // The times in file order, kept until the input proves to be in order; at its first step
    // back they become the index, which takes the rest as they come. Grown as records are
    // read, never sized from the header's count: a damaged header may announce billions of
    // records in a file that holds a handful.
    std::vector<uint64_t> times;
    uint32_t number = 1;
    for (; number <= total; ++number) {
        if (number % kSignalInterval == 0 && cli::stopSignal() != 0) {
            return false;
        }
        uint64_t time = 0;
        if (!timeOf(reader, number, time)) {
            reportDamage(reader, number);
            break;
        }
        if (cursor.indexed) {
            cursor.index.emplace_back(time, number);
            continue;
        }
        if (!times.empty() && time < times.back()) {
            cursor.indexed = true;
            cursor.index.reserve(times.size() + 1);
            for (size_t i = 0; i < times.size(); ++i) {
                cursor.index.emplace_back(times[i], static_cast<uint32_t>(i + 1));
            }
            times = {};
            cursor.index.emplace_back(time, number);
            continue;
        }
        times.push_back(time);
    }
    cursor.readable = number - 1;
    if (cursor.indexed) {
        // Stable: equal times keep the records' order.
        std::stable_sort(cursor.index.begin(), cursor.index.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    return true;
}

bool TimeOrderSource::readTimes() {
    for (size_t i = 0; i < cursors.size(); ++i) {
        if (!readTimes(i)) {
            return false;
        }
    }
    for (size_t i = 0; i < cursors.size(); ++i) {
        if (advance(i)) {
            heads.emplace(cursors[i].time, i);
        }
    }
    return true;
}

void TimeOrderSource::endInput(size_t input) {
    Cursor& cursor = cursors[input];
    cursor.index = {};
    cursor.reader->releaseBuffers();
}

bool TimeOrderSource::advance(size_t input) {
    Cursor& cursor = cursors[input];
    uint32_t number = 0;
    if (cursor.indexed) {
        if (cursor.position == cursor.index.size()) {
            endInput(input);
            return false;
        }
        cursor.time = cursor.index[cursor.position].first;
        number = cursor.index[cursor.position++].second;
    } else {
        if (cursor.nextNumber > cursor.readable) {
            endInput(input);
            return false;
        }
        number = cursor.nextNumber++;
    }
    if (!cursor.reader->readRecord(number, *cursor.record)) {
        // Its time could be read a moment ago: the file changed, or the system failed. The
        // input ends here, said as any damaged input's end is said.
        reportDamage(*cursor.reader, number);
        endInput(input);
        return false;
    }
    if (!cursor.indexed) {
        cursor.time = recordTime(*cursor.record);
    }
    cursor.number = number;
    return true;
}

const CXcfCaptureRecord* TimeOrderSource::next() {
    if (!started) {
        started = true;
        if (!readTimes()) {
            heads = {};
            return nullptr;
        }
    }
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
    const Cursor& cursor = cursors[current];
    last = {cursor.format, current, cursor.reader, cursor.number};
    return cursor.record;
}

}  // namespace flow
