// The lines a job of the programs prints, turned into what a Python caller expects: each
// WARNING line a DamagedInputWarning, the first ERROR line a splicetrc.Error.
#pragma once

#include <pybind11/pybind11.h>

#include <cstdint>
#include <string>
#include <vector>

#include "cli/Console.h"

namespace pysplicetrc {

// Raises splicetrc.Error with the step, the code and the message (the text after
// "ERROR (step) - ").
[[noreturn]] void raiseError(const std::string& step, int32_t code, const std::string& message);
// warnings.warn(text, DamagedInputWarning); throws when the warning filters make it an error.
void warnDamaged(const std::string& text);

class JobMessages {
  public:
    // Collects what this thread prints from now until delivered.
    JobMessages();

    // With the GIL held: warns for every WARNING line, then raises the first ERROR line when
    // the job failed (or a plain Error when it printed none).
    void deliver(bool succeeded, const std::string& fallbackStep);

  private:
    std::vector<std::string> lines;
    cli::LinesTaken taken;
};

}  // namespace pysplicetrc
