#include "cli/RunReport.h"

#include <cstring>

#include "capfile/common/CXcfCaptureFileCommon.h"
#include "cli/Console.h"
#include "cli/Signals.h"

namespace cli {

namespace {

thread_local int32_t lastReportedCode = 0;

}  // namespace

void RunReport::error(const std::string& step, const std::string& message, int32_t code) const {
    lastReportedCode = code;
    printLine("ERROR (" + step + ") - " + message);
}

int32_t RunReport::lastCode() {
    return lastReportedCode;
}

void RunReport::writeFailure(const std::string& step, const std::string& name,
                             const CXcfCaptureFileCommon& file) const {
    const int cause = file.systemError();
    error(step,
          "Failed to write file: '" + name + "'\nbecause: " + file.errorMessage() +
              (cause != 0 ? std::string(" (") + std::strerror(cause) + ")" : std::string()),
          file.lastErrorCode);
}

bool RunReport::stopRequested(const std::string& step) {
    if (stopSignal == 0 && cli::stopSignal() != 0) {
        stopSignal = cli::stopSignal();
        std::string outcome;
        if (!stream.empty()) {
            outcome = "; " + stream + " got an incomplete export.";
        } else if (!outputFiles.empty()) {
            outcome = "; the output files '" + outputFiles + "' were left unchanged.";
        } else {
            outcome = "; the output file '" + outputName + "' was left unchanged.";
        }
        error(step, "Interrupted by " + signalName(stopSignal) + outcome);
    }
    return stopSignal != 0;
}

}  // namespace cli
