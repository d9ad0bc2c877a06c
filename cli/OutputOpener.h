// The one way the programs open an output that appears only when complete: the name is
// checked before anything is created (what it is, and that it is none of the inputs), then the
// writer creates a temporary file beside it. A failure is reported as
// "Failed to open file: 'NAME'\nbecause: REASON" under the program's step.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli/RunReport.h"
#include "cli/SafeOutput.h"

class CXcfCaptureFileCommon;

namespace cli {

class OutputOpener {
  public:
    OutputOpener(const RunReport& report, const std::vector<std::string>& inputs,
                 std::string step = "openOutputFile")
        : report(report), inputs(inputs), step(std::move(step)) {}

    // Prepares output for name and makes sure it is none of the inputs; false after
    // reporting why.
    bool check(SafeOutput& output, const std::string& name) const;
    // Creates the temporary file of a checked output: create(temporaryName) has the writer
    // create it where nothing exists under that name, and the writer's system error says why
    // it could not. False after reporting why.
    bool create(SafeOutput& output, const std::string& name, const CXcfCaptureFileCommon& writer,
                const std::function<bool(const std::string&)>& create) const;
    // check, then create.
    bool open(SafeOutput& output, const std::string& name, const CXcfCaptureFileCommon& writer,
              const std::function<bool(const std::string&)>& create) const {
        return check(output, name) && this->create(output, name, writer, create);
    }
    // For data written to standard output: refuses a terminal (binary data there helps no
    // one) and an input that standard output leads to. data names what would be written
    // ("pcapng data"). False after reporting why.
    bool checkStandardOutput(const std::string& data) const;
    // Reports that name cannot be opened, for the reason given.
    void refuse(const std::string& name, const std::string& reason) const;

  private:
    const RunReport& report;
    const std::vector<std::string>& inputs;
    std::string step;
};

}  // namespace cli
