#include "splicetrc/AppendRun.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "cli/Console.h"
#include "cli/FormatRecords.h"
#include "cli/InputFiles.h"
#include "cli/RecordMapping.h"
#include "cli/RecordSequence.h"
#include "cli/Signals.h"

AppendRun::AppendRun(const RunSettings& settings)
    : settings(settings), report(settings.outputFileName) {}

AppendRun::~AppendRun() {
    cleanUp();
}

void AppendRun::reportError(const std::string& context, const std::string& message) const {
    report.error(context, message);
}

bool AppendRun::openAllInputs() {
    const bool opened = cli::openTesterInputs(settings.inputFileNames, report, readers);
    // One B4 input makes the output B4: a B3 output could not hold its records.
    for (const auto& reader : readers) {
        if (reader->getFormatCode() == "B4") {
            outputFormat = "B4";
        }
    }
    if (!opened) {
        return false;
    }
    if (!readers.empty()) {
        // Only the port type and id are kept; the output's direction is always "Rx".
        cli::outputPortOf(*readers.front(), portType, portId);
    }
    return true;
}

bool AppendRun::openTemporaryOutput(std::string& reason) {
    return output.createTemporary(
        [this](const std::string& temporaryName) {
            if (writer->open(temporaryName, "Merged records")) {
                return 0;
            }
            const int error = writer->systemError();
            return error != 0 ? error : EIO;
        },
        reason);
}

bool AppendRun::openOutputFile() {
    if (writer) {
        writer->discard();
        writer.reset();
    }
    const std::string& name = settings.outputFileName;
    if (report.stopRequested("openOutputFile")) {
        return false;
    }
    // Everything is checked before a file is created; the output name itself is only ever
    // replaced by a complete file.
    std::string reason;
    if (!output.prepare(name, reason)) {
        reportError("openOutputFile", "Failed to open file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    if (!output.sparesInputs(settings.inputFileNames, reason)) {
        reportError("openOutputFile", "Failed to open file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    outputKind = cli::captureFormatOf(outputFormat);
    if (outputKind == cli::CaptureFormat::kB3) {
        writer = std::make_unique<CXcfPmB3CaptureFileWriter>(portType, portId, "Rx", 3);
    } else {
        writer = std::make_unique<CXcfPmB4CaptureFileWriter>(portType, portId, "Rx", 4);
    }
    if (outputSizeLimit != 0) {
        writer->setFileSizeLimit(outputSizeLimit);
    }
    writer->setCreateExclusively(true);
    if (!openTemporaryOutput(reason)) {
        reportError("openOutputFile", "Failed to open file: '" + name + "'\nbecause: " + reason);
        writer.reset();
        return false;
    }
    return true;
}

bool AppendRun::convertRecords(uint32_t& count) {
    count = 0;
    if (readers.empty() || !writer) {
        return false;
    }
    const uint32_t first = readers.front()->numberOfRecords;
    if (first < settings.startRecord) {
        char message[160];
        std::snprintf(message, sizeof message,
                      "Requested first record %lu > %lu, the total number of records in the "
                      "source file.",
                      static_cast<unsigned long>(settings.startRecord),
                      static_cast<unsigned long>(first));
        reportError("convertRecords", message);
        return false;
    }
    printLine("Start from record:\t" + std::to_string(settings.startRecord));

    const uint32_t written = appendRecords();
    closeAllInputs();
    if (report.stopRequested("convertRecords")) {
        return false;
    }
    if (written > 0) {
        // The readers keep their header values after close.
        writer->setCaptureStartTimeOfDay(readers.front()->captureStartTimeOfDay);
        writer->setCaptureStopTimeOfDay(readers.back()->captureStopTimeOfDay);
        writer->setCaptureStopTimestamp(readers.back()->captureStopTimestamp);
        writer->setTriggerPacketNumber(written - 1);
    }
    writer->close();
    count = written;

    const std::string& name = settings.outputFileName;
    if (writer->hasFailed()) {
        report.writeFailure("convertRecords", name, *writer);
        return false;
    }
    // A run that wrote nothing leaves the output name as it was; so does a stop that came
    // while the file was being completed.
    if ((written == 0 && !writer->isSizeLimitReached()) || report.stopRequested("convertRecords")) {
        return false;
    }
    std::string reason;
    if (!output.commit(reason)) {
        reportError("convertRecords", "Failed to write file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    if (writer->isSizeLimitReached()) {
        reportError("convertRecords", "Output file '" + name +
                                          "' reached the 4 GiB limit of the format after " +
                                          std::to_string(written) +
                                          " records; the remaining records were not written.");
        return false;
    }
    return true;
}

uint32_t AppendRun::appendRecords() {
    cli::RecordSequence sequence(readers);
    std::vector<uint32_t> offsets;
    uint32_t seen = 0;
    uint32_t written = 0;
    while (settings.recordLimit == 0 || written < settings.recordLimit) {
        if (cli::stopSignal() != 0) {
            break;
        }
        // Records whose bytes are the output's bytes are copied in runs, from file to file;
        // the checks that reading them would make are made on their index entries. Those
        // before the start are only counted.
        if (bulkCopy) {
            const uint32_t skip =
                settings.startRecord > seen + 1 ? settings.startRecord - seen - 1 : 0;
            const uint32_t left =
                settings.recordLimit == 0 ? kMaxRun : settings.recordLimit - written;
            bool fromB3 = false;
            const uint32_t run = sequence.nextRun(
                outputKind, std::min(skip != 0 ? skip : left, kMaxRun), offsets, fromB3);
            if (run > 0 && skip != 0) {
                seen += run;
                continue;
            }
            if (run > 0) {
                const uint32_t copied =
                    writer->copyRecords(sequence.reader().inputFile(), offsets.data(), run, fromB3);
                seen += copied;
                written += copied;
                if (copied < run) {
                    if (writer->hasFailed() || writer->isSizeLimitReached()) {
                        break;
                    }
                    // The input could not be read: the rest go the usual way.
                    sequence.giveBack(run - copied);
                }
                continue;
            }
        }
        const CXcfCaptureRecord* record = sequence.next();
        if (record == nullptr) {
            break;
        }
        ++seen;
        if (seen < settings.startRecord) {
            continue;
        }
        if (!emitRecord(*record, sequence.format())) {
            break;
        }
        ++written;
    }
    return written;
}

bool AppendRun::emitRecord(const CXcfCaptureRecord& record, cli::CaptureFormat source) {
    return cli::writeMapped(*writer, outputKind, record, source);
}

void AppendRun::closeAllInputs() {
    for (auto& reader : readers) {
        reader->close();
    }
}

void AppendRun::cleanUp() {
    closeAllInputs();
    if (writer) {
        // Anything but a committed output is a temporary file that goes again.
        if (output.isCommitted()) {
            writer->close();
        } else {
            writer->discard();
        }
        writer.reset();
    }
}
