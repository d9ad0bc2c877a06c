// How a program's run reports on its steps: "ERROR (step) - message" lines, and, once, when a
// stop signal has come, the line that says the run was interrupted and its output left as it
// was.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

class CXcfCaptureFileCommon;

namespace cli {

class RunReport {
  public:
    // outputName: the output as the user named it.
    explicit RunReport(const std::string& outputName) : outputName(outputName) {}

    // For an output written as a series of files: the pattern of their names
    // (cut-NNNNN.cap), which the interruption line names instead.
    void nameOutputFiles(std::string pattern) { outputFiles = std::move(pattern); }
    // For an output written into a stream (standard output), which no stop can leave as it
    // was: the interruption line says what the stream got instead.
    void writeIntoStream(std::string streamName) { stream = std::move(streamName); }

    // code: the library's error code of the file at fault, 0 for a refusal of the program's
    // own.
    void error(const std::string& step, const std::string& message, int32_t code = 0) const;
    // The code of the last error reported on this thread, for a front end that hands it on.
    static int32_t lastCode();
    // The error for a writer that failed on output name: its own message, then the system's
    // words for the cause when it knows one.
    void writeFailure(const std::string& step, const std::string& name,
                      const CXcfCaptureFileCommon& file) const;
    // True once a stop signal has come; the first call that sees it says so under step.
    bool stopRequested(const std::string& step);
    // The stop signal reported, 0 for none.
    int stoppedBy() const { return stopSignal; }

  private:
    const std::string& outputName;
    std::string outputFiles;
    std::string stream;
    int stopSignal = 0;
};

}  // namespace cli
