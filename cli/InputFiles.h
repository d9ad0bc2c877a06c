// What the programs tell a user about an input that cannot be opened, in the words of the
// real cause, and the open-file limit that many inputs at once need.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <memory>

class CXcfCaptureFileCommon;
class CXcfPmCaptureFileParser;

namespace cli {

// Raises the soft limit of open files to the hard one: a merge keeps every input open.
void raiseOpenFileLimit();
// The number of files a process may have open now.
uint64_t openFileLimit();

// "it is a folder", "it is a pipe or FIFO", ...: what a file that is not a regular file is.
std::string fileTypeText(std::filesystem::file_type type);

// Why name cannot be an input, found before any reader opens it: empty for a regular file
// and for a name that cannot be examined (the readers tell why then).
std::string inputRefusal(const std::string& name);

// The reason to print after the parser factory failed on an input: the factory's message,
// or the system's cause where that message would name a wrong one (too many open files, an
// I/O error). inputCount is the number of inputs the run was given.
std::string openFailureReason(const CXcfCaptureFileCommon& factory, size_t inputCount);

// Opens a B3 or B4 input through the parser factory, with every check the programs make.
// On failure null, and message holds what follows "ERROR (openInputFile) - ": the reason the
// file cannot be opened, or that its format is neither B3 nor B4; code the factory's error
// code (kErrorFormatNotRecognised for a format other than B3 and B4).
std::unique_ptr<CXcfPmCaptureFileParser> openTesterInput(const std::string& name, size_t inputCount,
                                                         std::string& message,
                                                         int32_t* code = nullptr);

class RunReport;

// Opens every input in order as openTesterInput does, reporting a failure under the step
// openInputFile and stopping there (or at a stop signal). Each reader holds only its header
// until its records are read.
bool openTesterInputs(const std::vector<std::string>& names, RunReport& report,
                      std::vector<std::unique_ptr<CXcfPmCaptureFileParser>>& readers);

}  // namespace cli
