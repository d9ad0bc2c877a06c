#include "trcedit/EditRun.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli/InputFiles.h"
#include "cli/NumberText.h"
#include "flow/FileOrderSource.h"
#include "flow/RecordPump.h"
#include "flow/TimeOrderSource.h"

EditRun::EditRun(const EditSettings& settings)
    : settings(settings), report(settings.outputFileName) {
    if (settings.split != SplitKind::kNone) {
        report.nameOutputFiles(ChunkedOutput::chunkPattern(settings.outputFileName));
    }
}

EditRun::~EditRun() {
    cleanUp();
}

bool EditRun::openAllInputs() {
    if (!cli::openTesterInputs(settings.inputFileNames, report, readers)) {
        return false;
    }
    for (const auto& reader : readers) {
        if (reader->getFormatCode() == "B4") {
            outputFormat = flow::CaptureFormat::kB4;
        }
    }
    // The output's port type and id are the first input's, as a merge takes them.
    flow::outputPortOf(*readers.front(), portType, portId);
    return true;
}

bool EditRun::prepareOutput() {
    output = std::make_unique<ChunkedOutput>(settings, outputFormat, portType, portId, report);
    // No input gives more records than its header announces, nor more than its 4-byte index
    // entries can address.
    uint64_t recordsAtMost = 0;
    for (size_t i = 0; i < readers.size(); ++i) {
        std::error_code error;
        const uintmax_t size = std::filesystem::file_size(settings.inputFileNames[i], error);
        recordsAtMost += std::min<uint64_t>(readers[i]->numberOfRecords, error ? 0 : size / 4);
    }
    return output->prepare(recordsAtMost);
}

bool EditRun::editRecords(uint64_t& count, size_t& files) {
    count = 0;
    files = 0;
    uint64_t total = 0;
    for (const auto& reader : readers) {
        total += reader->numberOfRecords;
    }
    std::unique_ptr<flow::RecordSource> source;
    if (settings.sort) {
        source = std::make_unique<flow::TimeOrderSource>(readers);
    } else {
        source = std::make_unique<flow::FileOrderSource>(readers);
    }
    if (std::any_of(settings.inputShifts.begin(), settings.inputShifts.end(),
                    [](int64_t shift) { return shift != 0; })) {
        source->shiftTimes(
            settings.inputShifts, [this](size_t input, const CXcfPmCaptureFileParser& reader,
                                         uint32_t record, uint64_t time) {
                const int64_t by = settings.inputShifts[input];
                report.error("editRecords",
                             "Record " + std::to_string(record) + " of '" + reader.getFileName() +
                                 "' has the time " + cli::secondsText(time) + "; shifted by " +
                                 (by < 0 ? "-" : "+") +
                                 cli::secondsText(by < 0 ? 0 - static_cast<uint64_t>(by)
                                                         : static_cast<uint64_t>(by)) +
                                 " s it would lie outside the times a capture "
                                 "file can hold (0 to 4294967295.999999999).");
            });
    }
    flow::RecordPump pump(*source, *output);
    pump.startAt(settings.startRecord);
    pump.limitTo(settings.recordLimit);
    pump.showProgress("trcedit", total);
    if (settings.dedupGiven) {
        duplicates = std::make_unique<DuplicateWindow>(settings.dedupNanoseconds);
    }
    if (settings.fromGiven || settings.toGiven || duplicates) {
        // The time window first: a record outside it is no duplicate of one inside.
        pump.filterWith([this](const CXcfCaptureRecord& record) {
            const uint64_t time = flow::recordTime(record);
            return (!settings.fromGiven || time >= settings.fromNanoseconds) &&
                   (!settings.toGiven || time < settings.toNanoseconds) &&
                   (!duplicates || !duplicates->repeats(record, time));
        });
    }
    const flow::RecordPump::End end = pump.run();
    if (report.stopRequested("editRecords") || source->shiftFailed()) {
        return false;
    }
    const bool failed = end == flow::RecordPump::End::kSinkStopped;
    if (failed && !output->stoppedAtSizeLimit()) {
        return false;
    }
    if (output->records() == 0) {
        report.error("editRecords", "No record was selected; the output file '" +
                                        settings.outputFileName + "' was not written.");
        return false;
    }
    if (!output->commit()) {
        return false;
    }
    count = output->records();
    files = output->files();
    // A run cut short by the format's size limit wrote complete files, but not all records.
    return !failed;
}

void EditRun::cleanUp() {
    for (auto& reader : readers) {
        reader->close();
    }
    if (output) {
        output->discard();
    }
}
