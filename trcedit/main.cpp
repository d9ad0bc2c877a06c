// trcedit: cuts B3 and B4 captures by time and position, splits them into chunks, and merges
// them in time order.
#include <string>

#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/Signals.h"
#include "trcedit/EditRun.h"
#include "trcedit/EditSettings.h"

int main(int argc, char* argv[]) {
    cli::installSignalHandlers();
    cli::raiseOpenFileLimit();
    EditSettings settings;
    switch (parseEditArguments(argc, argv, settings)) {
        case EditParse::kUsage:
            return 0;
        case EditParse::kError:
            return -1;
        case EditParse::kRun:
            break;
    }
    int status = -1;
    EditRun run(settings);
    uint64_t count = 0;
    size_t files = 0;
    if (run.openAllInputs() && run.prepareOutput() && run.editRecords(count, files)) {
        printLine("Wrote " + std::to_string(count) + " records into " + std::to_string(files) +
                  (files == 1 ? " file." : " files."));
        status = 0;
    }
    run.cleanUp();
    if (run.interruptedBy() != 0) {
        cli::endBySignal(run.interruptedBy());
    }
    return status;
}
