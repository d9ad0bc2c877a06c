#include "trcedit/ChunkedOutput.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Console.h"
#include "cli/OutputOpener.h"
#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

namespace {

// The UTC time of day of a record time, as the header's capture times hold it.
CXcfTimeOfDay timeOfDay(uint32_t seconds, uint32_t nanoseconds) {
    const uint32_t inDay = seconds % 86400;
    CXcfTimeOfDay time;
    time.set(static_cast<uint16_t>(inDay / 3600), static_cast<uint16_t>(inDay % 3600 / 60),
             static_cast<uint16_t>(inDay % 60 * 1000 + nanoseconds / 1000000 % 1000));
    return time;
}

}  // namespace

ChunkedOutput::ChunkedOutput(const EditSettings& settings, flow::CaptureFormat format,
                             std::string portType, std::string portId, cli::RunReport& report)
    : settings(settings),
      format(format),
      portType(std::move(portType)),
      portId(std::move(portId)),
      report(report) {}

ChunkedOutput::~ChunkedOutput() {
    discard();
}

std::string ChunkedOutput::chunkName(const std::string& outputName, size_t number) {
    const std::filesystem::path path(outputName);
    char sequence[32];
    std::snprintf(sequence, sizeof sequence, "-%05zu", number);
    return (path.parent_path() / (path.stem().string() + sequence + path.extension().string()))
        .string();
}

std::string ChunkedOutput::chunkPattern(const std::string& outputName) {
    const std::filesystem::path path(outputName);
    return (path.parent_path() / (path.stem().string() + "-NNNNN" + path.extension().string()))
        .string();
}

std::string ChunkedOutput::nameOf(size_t number) const {
    return settings.split == SplitKind::kNone ? settings.outputFileName
                                              : chunkName(settings.outputFileName, number);
}

void ChunkedOutput::reportTooManyChunks() {
    const char* option = settings.split == SplitKind::kRecords ? "-split-records"
                         : settings.split == SplitKind::kBytes ? "-split-bytes"
                                                               : "-split-seconds";
    report.error("editRecords", "The split needs more than " + std::to_string(settings.maxChunks) +
                                    " chunks, and their names end at '" +
                                    chunkName(settings.outputFileName, settings.maxChunks) +
                                    "'; give '" + option + "' a larger value.");
}

bool ChunkedOutput::prepare(uint64_t recordsAtMost) {
    // The first file's name is checked now; later chunks' names as they start.
    const std::string name = nameOf(1);
    cli::SafeOutput probe;
    std::string reason;
    if (!probe.prepare(name, reason)) {
        report.error("openOutputFile", "Failed to open file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    // Without a time window, a split by records knows its chunks before the first is written.
    if (settings.split == SplitKind::kRecords && !settings.fromGiven && !settings.toGiven) {
        const uint64_t skipped = std::min<uint64_t>(settings.startRecord - 1, recordsAtMost);
        uint64_t records = recordsAtMost - skipped;
        if (settings.recordLimit != 0) {
            records = std::min<uint64_t>(records, settings.recordLimit);
        }
        if ((records + settings.splitValue - 1) / settings.splitValue > settings.maxChunks) {
            reportTooManyChunks();
            return false;
        }
    }
    return true;
}

bool ChunkedOutput::startFile() {
    current = Pending();
    if (settings.split != SplitKind::kNone && written.size() >= settings.maxChunks) {
        reportTooManyChunks();
        return false;
    }
    current.name = nameOf(written.size() + 1);
    const cli::OutputOpener opener(report, settings.inputFileNames);
    if (!opener.check(current.output, current.name)) {
        return false;
    }
    const auto taken = targets.emplace(current.output.targetKey(), current.name);
    if (!taken.second) {
        opener.refuse(current.name, "it leads to the same file as '" + taken.first->second +
                                        "', which this run writes too");
        return false;
    }
    file = std::make_unique<flow::TesterFile>(format, portType, portId);
    if (settings.split == SplitKind::kBytes &&
        settings.splitValue < file->writer().fileSizeLimit()) {
        file->setSizeLimit(settings.splitValue);
    }
    if (!file->create(current.output, current.name, opener, "Edited records")) {
        file.reset();
        return false;
    }
    chunkRecords = 0;
    return true;
}

bool ChunkedOutput::finishFile() {
    CXcfPmBinaryCaptureFileWriter* writer = &file->writer();
    if (chunkRecords > 0) {
        writer->setCaptureStartTimeOfDay(timeOfDay(firstSeconds, firstNanoseconds));
        writer->setCaptureStopTimeOfDay(timeOfDay(lastSeconds, lastNanoseconds));
        writer->setCaptureStopTimestamp(CXcfTimestamp(static_cast<int32_t>(lastSeconds),
                                                      static_cast<int32_t>(lastNanoseconds)));
        writer->setTriggerPacketNumber(chunkRecords - 1);
    }
    writer->close();
    if (writer->hasFailed()) {
        report.writeFailure("editRecords", current.name, *writer);
        return false;
    }
    written.push_back(std::move(current));
    file.reset();
    return true;
}

bool ChunkedOutput::needsNewChunk(uint64_t time) const {
    switch (settings.split) {
        case SplitKind::kRecords:
            return chunkRecords >= settings.splitValue;
        case SplitKind::kSeconds: {
            const uint64_t chunkFirstTime = flow::recordTime(firstSeconds, firstNanoseconds);
            return time >= chunkFirstTime && time - chunkFirstTime >= settings.splitValue;
        }
        default:
            return false;
    }
}

bool ChunkedOutput::handleRefusal() {
    const CXcfPmBinaryCaptureFileWriter& writer = file->writer();
    if (writer.hasFailed() || !writer.isSizeLimitReached()) {
        report.writeFailure("editRecords", current.name, writer);
        return false;
    }
    if (settings.split == SplitKind::kBytes && chunkRecords > 0) {
        // The chunk is full: the record opens the next one.
        return finishFile() && startFile();
    }
    if (settings.split == SplitKind::kBytes) {
        report.error("editRecords",
                     "'-split-bytes " + std::to_string(settings.splitValue) +
                         "' is too small for a file of one record: its header and record " +
                         std::to_string(totalRecords + 1) + " do not fit.");
        return false;
    }
    report.error("editRecords",
                 "Output file '" + current.name + "' reached the 4 GiB limit of the format after " +
                     std::to_string(chunkRecords) +
                     " records; the remaining records were not written. Give '-split-bytes' to "
                     "cut the output into files below the limit.");
    sizeLimitStop = true;
    return false;
}

bool ChunkedOutput::write(const CXcfCaptureRecord& record, flow::CaptureFormat source) {
    const uint64_t time = flow::recordTime(record);
    if (file && chunkRecords > 0 && needsNewChunk(time) && !finishFile()) {
        return false;
    }
    if (!file && !startFile()) {
        return false;
    }
    if (!file->write(record, source)) {
        const bool nextChunk = handleRefusal();
        if (!nextChunk || !file->write(record, source)) {
            if (nextChunk) {
                handleRefusal();
            }
            return false;
        }
    }
    if (chunkRecords == 0) {
        firstSeconds = record.getTimestampSeconds();
        firstNanoseconds = record.getTimestampNanoseconds();
    }
    lastSeconds = record.getTimestampSeconds();
    lastNanoseconds = record.getTimestampNanoseconds();
    ++chunkRecords;
    ++totalRecords;
    return true;
}

uint64_t ChunkedOutput::runBytes(flow::CaptureFormat input) const {
    // A split by time needs each record's time: such records come one by one.
    return settings.split == SplitKind::kSeconds ? 0 : flow::TesterFile::runBytesFor(format, input);
}

uint32_t ChunkedOutput::takeRun(flow::RecordRun& run, const flow::RecordOrigin&, bool& stop) {
    stop = false;
    const uint32_t count = run.count();
    uint32_t done = 0;
    // The copied records are not decoded: a chunk's first and last record are read again for
    // the header's capture times.
    auto timeAt = [&run](uint32_t i, uint32_t& seconds, uint32_t& nanoseconds) {
        if (run.load(i, 1) != 1) {
            return false;
        }
        const xcf::RunRecord record = run.view(i);
        seconds = record.seconds;
        nanoseconds = record.nanoseconds;
        return true;
    };
    while (done < count) {
        if (file && settings.split == SplitKind::kRecords && chunkRecords >= settings.splitValue &&
            !finishFile()) {
            stop = true;
            return done;
        }
        if (!file && !startFile()) {
            stop = true;
            return done;
        }
        uint32_t wanted = count - done;
        if (settings.split == SplitKind::kRecords) {
            wanted = static_cast<uint32_t>(
                std::min<uint64_t>(wanted, settings.splitValue - chunkRecords));
        }
        const uint32_t copied = file->copy(run, done, wanted);
        uint32_t seconds = 0;
        uint32_t nanoseconds = 0;
        if (copied == 0 && !timeAt(done, seconds, nanoseconds)) {
            // The input cannot be read: the usual way says so. Checked before a refusal is
            // handled, so that a record that can be neither read nor fitted is not taken for
            // a full chunk.
            return done;
        }
        if (copied > 0) {
            if (chunkRecords == 0) {
                // Its bytes were just copied: the read cannot fail where the copy did not.
                timeAt(done, firstSeconds, firstNanoseconds);
            }
            timeAt(done + copied - 1, lastSeconds, lastNanoseconds);
            chunkRecords += copied;
            totalRecords += copied;
            done += copied;
        }
        if (copied < wanted) {
            if (!file->isFull()) {
                return done;  // the input could not be read from here on
            }
            if (!handleRefusal()) {
                stop = true;
                return done;
            }
        }
    }
    return done;
}

bool ChunkedOutput::commit() {
    if (file && !finishFile()) {
        return false;
    }
    // One file is replaced in one step; a series keeps what it replaces until all are in.
    const bool series = written.size() > 1;
    for (size_t i = 0; i < written.size(); ++i) {
        std::string reason;
        if (!(series ? written[i].output.commitKeepingOld(reason)
                     : written[i].output.commit(reason))) {
            report.error("editRecords",
                         "Failed to write file: '" + written[i].name + "'\nbecause: " + reason);
            // The files already in place give way to what they replaced.
            while (i-- > 0) {
                if (!written[i].output.restore(reason)) {
                    report.error("editRecords", "Failed to restore file: '" + written[i].name +
                                                    "'\nbecause: " + reason);
                }
            }
            return false;
        }
    }
    for (Pending& file : written) {
        file.output.release();
    }
    // Chunks of an earlier run may follow under the next numbers: they are not this run's.
    if (settings.split != SplitKind::kNone) {
        const std::string next = chunkName(settings.outputFileName, written.size() + 1);
        std::error_code ignored;
        if (std::filesystem::exists(next, ignored)) {
            printLine("WARNING (editRecords) - '" + next +
                      "' and any chunks after it are not part of this output; they were there "
                      "before.");
        }
    }
    return true;
}

void ChunkedOutput::discard() {
    if (file) {
        file->writer().discard();
        file.reset();
    }
    for (const Pending& file : written) {
        if (!file.output.isCommitted() && !file.output.temporaryName().empty()) {
            std::remove(file.output.temporaryName().c_str());
        }
    }
    written.clear();
    targets.clear();
    totalRecords = 0;
    chunkRecords = 0;
    sizeLimitStop = false;
}
