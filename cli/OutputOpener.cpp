#include "cli/OutputOpener.h"

#include <cerrno>

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

void OutputOpener::refuse(const std::string& name, const std::string& reason) const {
    report.error(step, "Failed to open file: '" + name + "'\nbecause: " + reason);
}

}  // namespace cli
