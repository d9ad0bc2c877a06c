#include "flow/RecordPump.h"

#include <algorithm>
#include <cstdint>
#include <optional>

#include "cli/Progress.h"
#include "cli/Signals.h"

namespace flow {

RecordPump::End RecordPump::run() {
    std::optional<cli::Progress> progress;
    if (!progressName.empty()) {
        progress.emplace(progressName, progressTotal);
    }
    auto update = [&progress, this](uint64_t delivered) {
        if (progress) {
            progress->update(delivered, sink.bytesWritten());
        }
    };
    RecordRun planned;
    uint64_t delivered = 0;
    uint64_t kept = 0;  // records the filter kept, taken or before the start
    bool oneByOne = false;
    takenRecords = 0;
    while (limit == 0 || takenRecords < limit) {
        if (cli::stopSignal() != 0) {
            return End::kStopped;
        }
        CaptureFormat format = CaptureFormat::kOther;
        if (runs && !filter && !oneByOne && source.runsFrom(format)) {
            // Records before the start are only counted: their run is planned, never read.
            const uint64_t skip = start > kept + 1 ? start - kept - 1 : 0;
            const uint64_t maxBytes = skip != 0 ? UINT64_MAX : sink.runBytes(format);
            const uint64_t wanted = skip != 0 ? skip : limit == 0 ? kMaxRun : limit - takenRecords;
            const uint32_t count =
                maxBytes == 0
                    ? 0
                    : source.nextRun(static_cast<uint32_t>(std::min<uint64_t>(wanted, kMaxRun)),
                                     maxBytes, planned);
            if (count > 0 && skip != 0) {
                kept += count;
                delivered += count;
                update(delivered);
                continue;
            }
            if (count > 0) {
                bool stop = false;
                const uint32_t done = sink.takeRun(planned, source.origin(), stop);
                kept += done;
                delivered += done;
                takenRecords += done;
                update(delivered);
                if (stop) {
                    return End::kSinkStopped;
                }
                if (done < count) {
                    // The record the sink left takes the usual way, where it is handled and
                    // reported as it would be without runs; a run planned on it again would
                    // only fail again.
                    source.giveBack(count - done);
                    oneByOne = true;
                }
                continue;
            }
        }
        oneByOne = false;
        const CXcfCaptureRecord* record = source.next();
        if (record == nullptr) {
            return End::kSourceDone;
        }
        update(++delivered);
        if ((filter && !filter(*record)) || ++kept < start) {
            continue;
        }
        if (!sink.take(*record, source.origin())) {
            return End::kSinkStopped;
        }
        ++takenRecords;
    }
    return End::kCountReached;
}

}  // namespace flow
