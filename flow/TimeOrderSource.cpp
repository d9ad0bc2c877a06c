#include "flow/TimeOrderSource.h"

#include <algorithm>
#include <string>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/InputFiles.h"
#include "cli/Signals.h"

namespace flow {

namespace {

// How many records pass between two looks at the stop signal while times are read.
constexpr uint32_t kSignalInterval = 4096;
// The times pass's runs: small enough that their bytes stay in the processor's cache.
constexpr uint32_t kTimesRunRecords = 65536;
constexpr uint64_t kTimesRunBytes = 256 * 1024;

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
        cursor.input = i;
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
    // Up to its first step back an input is in order and its times are not kept: those
    // records are read in file order later, their times with them. From the step back on, the
    // times go into the index. Grown as records are read, never sized from the header's
    // count: a damaged header may announce billions of records in a file that holds a handful.
    uint64_t previous = 0;
    auto note = [&](uint32_t number, uint64_t time) {
        // Every time a shift moves is checked here, before anything is given.
        if (shiftOf(input) != 0 && !shift(input, reader, number, time)) {
            return false;
        }
        if (!cursor.indexed && time < previous) {
            cursor.indexed = true;
            cursor.prefixEnd = number - 1;
        }
        if (cursor.indexed) {
            cursor.index.emplace_back(time, number);
        }
        previous = time;
        return true;
    };
    uint32_t number = 1;
    uint32_t nextSignalCheck = kSignalInterval;
    while (number <= total) {
        if (number >= nextSignalCheck) {
            if (cli::stopSignal() != 0) {
                return false;
            }
            nextSignalCheck = number + kSignalInterval;
        }
        // Records that lie as the writers lay them out: their extents checked as reading each
        // would check it, their bytes read in one piece and their times taken from there.
        const uint32_t planned =
            timesInRuns ? reader.planRun(number, kTimesRunRecords, kTimesRunBytes, timesRun) : 0;
        const uint32_t loaded = planned > 0 ? timesRun.load(0, planned) : 0;
        if (loaded > 0) {
            for (uint32_t i = 0; i < loaded; ++i) {
                if (!note(number + i, timesRun.timeAt(i))) {
                    return false;
                }
            }
            number += loaded;
            continue;
        }
        uint64_t time = 0;
        if (!timeOf(reader, number, time)) {
            reportDamage(reader, number);
            break;
        }
        if (!note(number, time)) {
            return false;
        }
        ++number;
    }
    timesRun.clear();
    cursor.readable = number - 1;
    if (cursor.indexed) {
        // Stable: equal times keep the records' order.
        std::stable_sort(cursor.index.begin(), cursor.index.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    return true;
}

void TimeOrderSource::readByNumber(size_t at) {
    // The records before the step back join the index after all: their times are read again.
    Cursor& cursor = cursors[at];
    std::vector<std::pair<uint64_t, uint32_t>> prefix;
    for (uint32_t number = 1; number <= cursor.prefixEnd; ++number) {
        uint64_t time = 0;
        if (!timeOf(*cursor.reader, number, time) ||
            (shiftOf(cursor.input) != 0 && !shift(cursor.input, *cursor.reader, number, time))) {
            // The file changed under us: what follows cannot be trusted.
            reportDamage(*cursor.reader, number);
            cursor.index.clear();
            break;
        }
        prefix.emplace_back(time, number);
    }
    std::vector<std::pair<uint64_t, uint32_t>> merged;
    merged.reserve(prefix.size() + cursor.index.size());
    // On equal times the prefix's records come first: they lie before the others.
    std::merge(prefix.begin(), prefix.end(), cursor.index.begin(), cursor.index.end(),
               std::back_inserter(merged),
               [](const auto& x, const auto& y) { return x.first < y.first; });
    cursor.index = std::move(merged);
    cursor.prefixEnd = 0;
}

size_t TimeOrderSource::lanesOf(size_t input) const {
    size_t lanes = 0;
    for (const Cursor& cursor : cursors) {
        lanes += cursor.input == input ? 1 : 0;
    }
    return lanes;
}

void TimeOrderSource::splitIntoLanes(size_t at) {
    // Each record in time order joins the lane whose last record lies closest before it in
    // the file; a record before every lane's last opens a lane. The fewest lanes that go
    // forwards, found in one pass. The records before the first step back are one more lane,
    // read in file order by the input's own reader.
    const std::vector<std::pair<uint64_t, uint32_t>>& sorted = cursors[at].index;
    std::vector<uint32_t> laneOf(sorted.size());
    std::vector<std::pair<uint32_t, size_t>> tails;  // last number, lane; by number
    bool fewLanes = true;
    for (size_t i = 0; i < sorted.size() && fewLanes; ++i) {
        const uint32_t number = sorted[i].second;
        auto after =
            std::lower_bound(tails.begin(), tails.end(), std::make_pair(number, size_t{0}));
        size_t lane = tails.size();
        if (after != tails.begin()) {
            --after;
            lane = after->second;
            tails.erase(after);
        } else if (tails.size() + 1 == kMaxLanesPerInput) {
            fewLanes = false;
            break;
        }
        laneOf[i] = static_cast<uint32_t>(lane);
        tails.insert(
            std::lower_bound(tails.begin(), tails.end(), std::make_pair(number, size_t{0})),
            {number, lane});
    }
    // Each lane, or the rest read by number, needs a reader of its own on the same file.
    const size_t lanes = fewLanes ? tails.size() : 1;
    std::vector<std::unique_ptr<CXcfPmCaptureFileParser>> laneReaders;
    for (size_t lane = 0; lane < lanes && extraLanes + lanes <= kMaxExtraLanes; ++lane) {
        std::string message;
        auto reader = cli::openTesterInput(cursors[at].reader->getFileName(), 1, message);
        if (!reader || reader->numberOfRecords != cursors[at].reader->numberOfRecords) {
            break;
        }
        laneReaders.push_back(std::move(reader));
    }
    if (laneReaders.size() < lanes) {
        readByNumber(at);
        return;
    }
    std::vector<std::vector<std::pair<uint64_t, uint32_t>>> laneIndex(lanes);
    if (fewLanes) {
        for (size_t i = 0; i < sorted.size(); ++i) {
            laneIndex[laneOf[i]].push_back(sorted[i]);
        }
    } else {
        laneIndex[0] = std::move(cursors[at].index);
    }
    // The input's own cursor keeps the records before the step back, in file order.
    cursors[at].index = {};
    cursors[at].indexed = false;
    cursors[at].readable = cursors[at].prefixEnd;
    for (size_t lane = 0; lane < lanes; ++lane) {
        Cursor cursor;
        cursor.input = cursors[at].input;
        cursor.ownReader = std::move(laneReaders[lane]);
        cursor.reader = cursor.ownReader.get();
        cursor.format = cursors[at].format;
        cursor.records = std::make_unique<FormatRecords>();
        cursor.record = &cursor.records->recordFor(cursor.format);
        cursor.index = std::move(laneIndex[lane]);
        cursor.indexed = true;
        cursors.push_back(std::move(cursor));
    }
    extraLanes += lanes;
}

bool TimeOrderSource::readTimes() {
    const size_t inputs = cursors.size();
    for (size_t i = 0; i < inputs; ++i) {
        if (!readTimes(i)) {
            return false;
        }
        if (cursors[i].indexed) {
            splitIntoLanes(i);
        }
        // Its block grew as its times were read (again, where it is read by number); the
        // records come in much later, and thousands of such blocks would all be held at once.
        cursors[i].reader->releaseBuffers();
    }
    const size_t share = readAheadBudget / std::max<size_t>(cursors.size(), 1);
    for (Cursor& cursor : cursors) {
        cursor.reader->inputFile().limitBlock(share);
    }
    for (size_t i = 0; i < cursors.size(); ++i) {
        if (advance(i)) {
            heads.push_back(headOf(i));
            std::push_heap(heads.begin(), heads.end(),
                           [](const Head& a, const Head& b) { return b < a; });
        }
    }
    return true;
}

TimeOrderSource::Head TimeOrderSource::headOf(size_t at) const {
    const Cursor& cursor = cursors[at];
    return {cursor.time, uint64_t{cursor.input} << 32 | cursor.number, at};
}

void TimeOrderSource::siftDown() {
    // The head that changed is the one just given, which mostly stays near the top: one pass
    // down instead of a removal and an insertion.
    const size_t size = heads.size();
    const Head moving = heads[0];
    size_t at = 0;
    for (;;) {
        size_t child = 2 * at + 1;
        if (child >= size) {
            break;
        }
        if (child + 1 < size && heads[child + 1] < heads[child]) {
            ++child;
        }
        if (!(heads[child] < moving)) {
            break;
        }
        heads[at] = heads[child];
        at = child;
    }
    heads[at] = moving;
}

void TimeOrderSource::endCursor(size_t at) {
    Cursor& cursor = cursors[at];
    cursor.index = {};
    cursor.reader->releaseBuffers();
    // A lane's own reader has done its part: its file goes at once.
    cursor.ownReader.reset();
}

bool TimeOrderSource::advance(size_t at) {
    Cursor& cursor = cursors[at];
    uint32_t number = 0;
    if (cursor.indexed) {
        if (cursor.position == cursor.index.size()) {
            endCursor(at);
            return false;
        }
        cursor.time = cursor.index[cursor.position].first;
        number = cursor.index[cursor.position++].second;
    } else {
        if (cursor.nextNumber > cursor.readable) {
            endCursor(at);
            return false;
        }
        number = cursor.nextNumber++;
    }
    if (!cursor.reader->readRecord(number, *cursor.record)) {
        // Its time could be read a moment ago: the file changed, or the system failed. The
        // input ends here, said as any damaged input's end is said.
        reportDamage(*cursor.reader, number);
        endCursor(at);
        return false;
    }
    if (!cursor.indexed) {
        cursor.time = recordTime(*cursor.record);
        // The times pass found every shifted time in range.
        if (shiftOf(cursor.input) != 0) {
            shift(cursor.input, *cursor.reader, number, cursor.time);
        }
    }
    if (shiftOf(cursor.input) != 0) {
        setTime(*cursor.record, cursor.time);
    }
    cursor.number = number;
    return true;
}

const CXcfCaptureRecord* TimeOrderSource::next() {
    if (!started) {
        started = true;
        if (!readTimes()) {
            heads.clear();
            return nullptr;
        }
    }
    // The record given last is still the heap's least: its cursor's next takes its place.
    if (delivered) {
        if (advance(current)) {
            heads[0] = headOf(current);
        } else {
            heads[0] = heads.back();
            heads.pop_back();
        }
        if (!heads.empty()) {
            siftDown();
        }
    }
    delivered = false;
    if (heads.empty()) {
        return nullptr;
    }
    current = heads[0].cursor;
    delivered = true;
    const Cursor& cursor = cursors[current];
    last = {cursor.format, cursor.input, cursor.reader, cursor.number};
    return cursor.record;
}

}  // namespace flow
