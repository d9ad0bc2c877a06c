#include "trcedit/DuplicateWindow.h"

#include <algorithm>
#include <functional>
#include <string_view>

bool DuplicateWindow::repeats(const CXcfCaptureRecord& record, uint64_t time) {
    latest = std::max(latest, time);
    forgetBefore(latest);
    const std::string_view frame(reinterpret_cast<const char*>(record.getFrame()),
                                 record.getFrameStoredLength());
    const uint8_t port = record.getPortByte();
    const uint64_t hash = std::hash<std::string_view>()(frame) * 131 + port;
    const auto [first, last] = byHash.equal_range(hash);
    for (auto it = first; it != last; ++it) {
        const Kept& earlier = kept[it->second - firstNumber];
        // In file order a time may step back: only what lies at most the window before counts.
        if (earlier.port == port && earlier.time <= time && time - earlier.time <= window &&
            earlier.frame == frame) {
            ++droppedRecords;
            return true;
        }
    }
    // A record that lies more than the window behind the latest time (a step back in file
    // order) is kept in the output but not remembered: what the window holds stays bounded.
    if (time + window >= latest) {
        byHash.emplace(hash, firstNumber + kept.size());
        kept.push_back({time, hash, port, std::string(frame)});
    }
    return false;
}

void DuplicateWindow::forgetBefore(uint64_t time) {
    // Kept records come in the order of the sequence: in time order (-sort) the front is the
    // oldest; in file order a record behind a later one goes with it.
    while (!kept.empty() && kept.front().time + window < time) {
        const auto [first, last] = byHash.equal_range(kept.front().hash);
        for (auto it = first; it != last; ++it) {
            if (it->second == firstNumber) {
                byHash.erase(it);
                break;
            }
        }
        kept.pop_front();
        ++firstNumber;
    }
}
