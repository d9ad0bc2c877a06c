#include "splicetrc/AppendRun.h"

#include <cstdio>

#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/OutputOpener.h"
#include "flow/FileOrderSource.h"
#include "flow/RecordPump.h"

AppendRun::AppendRun(const RunSettings& settings)
    : settings(settings), report(settings.outputFileName) {}

AppendRun::~AppendRun() {
    cleanUp();
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
        flow::outputPortOf(*readers.front(), portType, portId);
    }
    return true;
}

bool AppendRun::openOutputFile() {
    if (file) {
        file->writer().discard();
        file.reset();
    }
    if (report.stopRequested("openOutputFile")) {
        return false;
    }
    // Everything is checked before a file is created; the output name itself is only ever
    // replaced by a complete file.
    const cli::OutputOpener opener(report, settings.inputFileNames);
    if (!opener.check(output, settings.outputFileName)) {
        return false;
    }
    file =
        std::make_unique<flow::TesterFile>(flow::captureFormatOf(outputFormat), portType, portId);
    file->setSizeLimit(outputSizeLimit);
    if (!file->create(output, settings.outputFileName, opener, "Merged records")) {
        file.reset();
        return false;
    }
    return true;
}

bool AppendRun::convertRecords(uint32_t& count) {
    count = 0;
    if (readers.empty() || !file) {
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
        report.error("convertRecords", message);
        return false;
    }
    printLine("Start from record:\t" + std::to_string(settings.startRecord));

    flow::FileOrderSource source(readers);
    flow::RecordPump pump(source, *file);
    pump.startAt(settings.startRecord);
    pump.limitTo(settings.recordLimit);
    pump.useRuns(bulkCopy);
    pump.run();
    const auto written = static_cast<uint32_t>(pump.taken());
    closeAllInputs();
    if (report.stopRequested("convertRecords")) {
        return false;
    }
    CXcfPmBinaryCaptureFileWriter& writer = file->writer();
    if (written > 0) {
        // The readers keep their header values after close.
        writer.setCaptureStartTimeOfDay(readers.front()->captureStartTimeOfDay);
        writer.setCaptureStopTimeOfDay(readers.back()->captureStopTimeOfDay);
        writer.setCaptureStopTimestamp(readers.back()->captureStopTimestamp);
        writer.setTriggerPacketNumber(written - 1);
    }
    writer.close();
    count = written;

    const std::string& name = settings.outputFileName;
    if (writer.hasFailed()) {
        report.writeFailure("convertRecords", name, writer);
        return false;
    }
    // A run that wrote nothing leaves the output name as it was; so does a stop that came
    // while the file was being completed.
    if ((written == 0 && !writer.isSizeLimitReached()) || report.stopRequested("convertRecords")) {
        return false;
    }
    std::string reason;
    if (!output.commit(reason)) {
        report.error("convertRecords", "Failed to write file: '" + name + "'\nbecause: " + reason);
        return false;
    }
    if (writer.isSizeLimitReached()) {
        report.error("convertRecords", "Output file '" + name +
                                           "' reached the 4 GiB limit of the format after " +
                                           std::to_string(written) +
                                           " records; the remaining records were not written.");
        return false;
    }
    return true;
}

void AppendRun::closeAllInputs() {
    for (auto& reader : readers) {
        reader->close();
    }
}

void AppendRun::cleanUp() {
    closeAllInputs();
    if (file) {
        // Anything but a committed output is a temporary file that goes again.
        if (output.isCommitted()) {
            file->writer().close();
        } else {
            file->writer().discard();
        }
        file.reset();
    }
}
