#include "cli/OutputOpener.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "capfile/common/CXcfCaptureFileCommon.h"

namespace cli {

bool OutputOpener::check(SafeOutput& output, const std::string& name) const {
    std::string reason;
    if (!output.prepare(name, reason) || !output.sparesInputs(inputs, reason)) {
        refuse(name, reason);
        return false;
    }
    return true;
}

bool OutputOpener::create(SafeOutput& output, const std::string& name,
                          const CXcfCaptureFileCommon& writer,
                          const std::function<bool(const std::string&)>& create) const {
    std::string reason;
    const bool created = output.createTemporary(
        [&writer, &create](const std::string& temporaryName) {
            if (create(temporaryName)) {
                return 0;
            }
            const int error = writer.systemError();
            return error != 0 ? error : EIO;
        },
        reason);
    if (!created) {
        refuse(name, reason);
    }
    return created;
}

bool OutputOpener::checkStandardOutput(const std::string& data) const {
    if (isatty(STDOUT_FILENO)) {
        report.error(step, "Standard output is a terminal, which is no place for " + data +
                               ": pipe it into a program ('-out - | tshark -r -') or redirect "
                               "it into a file, or give '-out FILE'.");
        return false;
    }
    struct stat out {};
    if (fstat(STDOUT_FILENO, &out) != 0) {
        refuse("-", std::string("standard output is not open (") + std::strerror(errno) + ")");
        return false;
    }
    for (const std::string& input : inputs) {
        struct stat in {};
        if (S_ISREG(out.st_mode) && stat(input.c_str(), &in) == 0 && in.st_dev == out.st_dev &&
            in.st_ino == out.st_ino) {
            refuse("-", "standard output is the input file '" + input + "'");
            return false;
        }
    }
    return true;
}

void OutputOpener::refuse(const std::string& name, const std::string& reason) const {
    report.error(step, "Failed to open file: '" + name + "'\nbecause: " + reason);
}

}  // namespace cli
