#include "cli/RunReport.h"

#include "cli/Console.h"
#include "cli/Signals.h"

namespace cli {

void RunReport::error(const std::string& step, const std::string& message) const {
    printLine("ERROR (" + step + ") - " + message);
}

bool RunReport::stopRequested(const std::string& step) {
    if (stopSignal == 0 && cli::stopSignal() != 0) {
        stopSignal = cli::stopSignal();
        error(step, "Interrupted by " + signalName(stopSignal) + "; the output file '" +
                        outputName + "' was left unchanged.");
    }
    return stopSignal != 0;
}

}  // namespace cli
