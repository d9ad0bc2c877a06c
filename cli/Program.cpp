#include "cli/Program.h"

#include <exception>

#include "cli/Console.h"
#include "cli/InputFiles.h"
#include "cli/Signals.h"

namespace cli {

int Program::stoppedBy() const {
    return stopSignal();
}

int runProgram(const std::string& name, Program& program, int argc, char* argv[]) {
    installSignalHandlers();
    // A merge keeps every input open at once.
    raiseOpenFileLimit();
    int status = -1;
    try {
        program.greet();
        switch (program.parse(argc, argv)) {
            case ParseOutcome::kUsage:
                return 0;
            case ParseOutcome::kError:
                return -1;
            case ParseOutcome::kRun:
                break;
        }
        status = program.run() ? 0 : -1;
    } catch (const std::exception& failure) {
        // Only memory can run out in the programs (a frame as large as a file allows).
        printLine("ERROR (" + name + ") - " + failure.what());
        status = -1;
    }
    program.cleanUp();
    if (program.stoppedBy() != 0) {
        endBySignal(program.stoppedBy());
    }
    return status;
}

}  // namespace cli
