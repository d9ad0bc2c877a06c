#include <string>

#include "splicetrc/AppendRun.h"
#include "splicetrc/Banner.h"
#include "splicetrc/RunSettings.h"
#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/Signals.h"

int main(int argc, char* argv[]) {
    cli::installSignalHandlers();
    cli::raiseOpenFileLimit();
    RunSettings settings;
    printBanner(settings);
    if (!parseArguments(argc, argv, settings)) {
        return -1;
    }
    int status = -1;
    AppendRun run(settings);
    uint32_t count = 0;
    if (run.openAllInputs() && run.openOutputFile() && run.convertRecords(count)) {
        printLine("Total appended packets:\t" + std::to_string(count));
        status = 0;
    }
    run.cleanUp();
    if (run.interruptedBy() != 0) {
        cli::endBySignal(run.interruptedBy());
    }
    return status;
}
