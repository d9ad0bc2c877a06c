// What every program's main does around its own work, in one place: the signal handlers, the
// open-file limit, the command line, the steps, the clean-up on every path, and the end by a
// stop signal as the shell expects. A program fills in the steps.
#pragma once

#include <string>

#include "cli/OptionParser.h"

namespace cli {

class Program {
  public:
    virtual ~Program() = default;

    // Reads the command line into the program's settings.
    virtual ParseOutcome parse(int argc, char* argv[]) = 0;
    // The program's steps, with their messages and results printed; false when the run
    // failed or was stopped.
    virtual bool run() = 0;
    // Runs whether the steps succeeded, failed or were stopped.
    virtual void cleanUp() {}
    // The stop signal that ended the run early, 0 when none did.
    virtual int stoppedBy() const;
    // Printed before the command line is read (splicetrc's banner).
    virtual void greet() {}
};

// Runs the program and returns its exit status: 0 when it succeeded or printed its usage,
// 255 (-1) otherwise. A stop signal ends the process by that signal instead; running out of
// memory is reported as an error under the program's name rather than ending it abnormally.
int runProgram(const std::string& name, Program& program, int argc, char* argv[]);

}  // namespace cli
