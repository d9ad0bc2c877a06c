#include "trcedit/EditRun.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/Progress.h"
#include "cli/RecordSequence.h"
#include "cli/Signals.h"
#include "trcedit/TimeOrderedMerge.h"

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
            outputFormat = cli::CaptureFormat::kB4;
        }
    }
    // The output's port type and id are the first input's, as a merge takes them.
    cli::outputPortOf(*readers.front(), portType, portId);
    warned.assign(readers.size(), false);
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

bool EditRun::selected(const CXcfCaptureRecord& record) {
    const uint64_t time = cli::recordTime(record);
    if ((settings.fromGiven && time < settings.fromNanoseconds) ||
        (settings.toGiven && time >= settings.toNanoseconds)) {
        return false;
    }
    return ++kept >= settings.startRecord;
}

EditRun::Pass EditRun::writeSelected(std::vector<bool>& indexed) {
    kept = 0;
    written = 0;
    uint64_t total = 0;
    for (const auto& reader : readers) {
        total += reader->numberOfRecords;
    }
    cli::Progress progress("trcedit", total);
    uint64_t seen = 0;
    std::unique_ptr<TimeOrderedMerge> merge;
    std::unique_ptr<cli::RecordSequence> sequence;
    if (settings.sort) {
        merge = std::make_unique<TimeOrderedMerge>(readers, indexed, warned);
    } else {
        sequence = std::make_unique<cli::RecordSequence>(readers);
    }
    // Without a time order, a time window or a split by time, records whose bytes are the
    // output's own are copied in runs, as splicetrc copies them.
    const bool bulk = !settings.sort && !settings.fromGiven && !settings.toGiven &&
                      settings.split != SplitKind::kSeconds;
    std::vector<uint32_t> offsets;
    while (settings.recordLimit == 0 || written < settings.recordLimit) {
        if (cli::stopSignal() != 0) {
            break;
        }
        if (bulk) {
            const uint64_t skip =
                settings.startRecord > kept + 1 ? settings.startRecord - kept - 1 : 0;
            const uint64_t left =
                settings.recordLimit == 0 ? kMaxRun : settings.recordLimit - written;
            bool fromB3 = false;
            const uint32_t run = sequence->nextRun(
                outputFormat,
                static_cast<uint32_t>(std::min<uint64_t>(skip != 0 ? skip : left, kMaxRun)),
                offsets, fromB3);
            if (run > 0 && skip != 0) {
                kept += run;
                seen += run;
                continue;
            }
            if (run > 0) {
                bool failed = false;
                const uint32_t copied = output->writeRun(sequence->reader().inputFile(),
                                                         offsets.data(), run, fromB3, failed);
                kept += copied;
                seen += copied;
                written += copied;
                if (failed) {
                    return Pass::kFailed;
                }
                if (copied < run) {
                    sequence->giveBack(run - copied);
                }
                progress.update(seen, 0);
                continue;
            }
        }
        const CXcfCaptureRecord* record = merge ? merge->next() : sequence->next();
        if (record == nullptr || (merge && merge->sawDisorder())) {
            break;
        }
        progress.update(++seen, 0);
        if (!selected(*record)) {
            continue;
        }
        const cli::CaptureFormat source = merge ? merge->format() : sequence->format();
        if (!output->write(*record, source)) {
            return Pass::kFailed;
        }
        ++written;
    }
    progress.finish();
    if (merge && !merge->finishAndCheckOrder()) {
        // Some input stepped back in time: what was written is not in order. Start again with
        // those inputs read through an index of their records' times.
        for (size_t i = 0; i < indexed.size(); ++i) {
            indexed[i] = indexed[i] || merge->disordered()[i];
        }
        return Pass::kAgain;
    }
    return Pass::kDone;
}

bool EditRun::editRecords(uint64_t& count, size_t& files) {
    count = 0;
    files = 0;
    std::vector<bool> indexed(readers.size(), false);
    Pass pass = writeSelected(indexed);
    if (pass == Pass::kAgain) {
        output->discard();
        pass = writeSelected(indexed);
    }
    if (report.stopRequested("editRecords")) {
        return false;
    }
    if (pass == Pass::kFailed && !output->stoppedAtSizeLimit()) {
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
    return pass == Pass::kDone;
}

void EditRun::cleanUp() {
    for (auto& reader : readers) {
        reader->close();
    }
    if (output) {
        output->discard();
    }
}
