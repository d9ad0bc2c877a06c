#include "trcinfo/IoGraph.h"

#include <algorithm>

IoGraph::IoGraph(uint64_t firstTime, uint64_t lastTime)
    : origin(firstTime), step(intervalFor(lastTime > firstTime ? lastTime - firstTime : 0)) {
    origin -= origin % step;
}

uint64_t IoGraph::intervalFor(uint64_t span) {
    uint64_t power = 1;
    while (true) {
        for (const uint64_t factor : {1, 2, 5}) {
            const uint64_t candidate = factor * power;
            if (span / candidate < static_cast<uint64_t>(kMostIntervals)) {
                return candidate;
            }
        }
        power *= 10;
    }
}

void IoGraph::add(uint64_t time, uint8_t port, uint32_t frameLength, bool damaged) {
    int64_t index = indexOf(time);
    if (lastBin == nullptr || index != lastIndex) {
        while (!bins.empty() &&
               std::max(bins.rbegin()->first, index) - std::min(bins.begin()->first, index) >=
                   kMostIntervals) {
            coarsen();
            index = indexOf(time);
        }
        lastIndex = index;
        lastBin = &bins[index];
    }
    port &= kPorts - 1;
    lastBin->bytes[port] += frameLength;
    lastBin->damaged += damaged ? 1 : 0;
    seenPorts.set(port);
    if (any && time > previous) {
        const Gap gap{previous, time - previous};
        if (gaps.size() < kGapsKept || gap.length > gaps.front().length) {
            gaps.push_back(gap);
            std::sort(gaps.begin(), gaps.end(),
                      [](const Gap& a, const Gap& b) { return a.length < b.length; });
            if (gaps.size() > kGapsKept) {
                gaps.erase(gaps.begin());
            }
        }
    }
    any = true;
    previous = time;
}

int64_t IoGraph::indexOf(uint64_t time) const {
    // Floor division: a record before the origin lies in a negative interval.
    const auto length = static_cast<int64_t>(step);
    const int64_t offset = static_cast<int64_t>(time) - static_cast<int64_t>(origin);
    return offset >= 0 ? offset / length : -((-offset + length - 1) / length);
}

void IoGraph::coarsen() {
    // Intervals of twice the length, from an origin that stays a multiple of the new length.
    std::map<int64_t, Interval> merged;
    const bool shift = (origin / step) % 2 != 0;
    for (auto& [index, bin] : bins) {
        const int64_t at = index + (shift ? 1 : 0);
        const int64_t half = at >= 0 ? at / 2 : -((-at + 1) / 2);
        Interval& into = merged[half];
        for (size_t port = 0; port < kPorts; ++port) {
            into.bytes[port] += bin.bytes[port];
        }
        into.damaged += bin.damaged;
    }
    if (shift) {
        origin -= step;
    }
    step *= 2;
    bins = std::move(merged);
    lastBin = nullptr;
}

std::vector<uint8_t> IoGraph::ports() const {
    std::vector<uint8_t> seen;
    for (size_t port = 0; port < kPorts; ++port) {
        if (seenPorts.test(port)) {
            seen.push_back(static_cast<uint8_t>(port));
        }
    }
    return seen;
}

std::vector<IoGraph::Gap> IoGraph::largestGaps() const {
    return std::vector<Gap>(gaps.rbegin(), gaps.rend());
}
