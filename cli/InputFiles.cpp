#include "cli/InputFiles.h"

#include <sys/resource.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "capfile/common/CXcfCaptureFileCommon.h"
#include "capfile/read/CXcfCaptureFileParserFactory.h"
#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/RunReport.h"

namespace cli {

namespace fs = std::filesystem;

void raiseOpenFileLimit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

uint64_t openFileLimit() {
    struct rlimit limit {};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) {
        return 0;
    }
    return limit.rlim_cur;
}

std::string fileTypeText(fs::file_type type) {
    switch (type) {
        case fs::file_type::directory:
            return "it is a folder";
        case fs::file_type::fifo:
            return "it is a pipe or FIFO";
        case fs::file_type::socket:
            return "it is a socket";
        case fs::file_type::block:
        case fs::file_type::character:
            return "it is a device";
        default:
            return "it is not a file";
    }
}

std::string inputRefusal(const std::string& name) {
    std::error_code ignored;
    const fs::file_type type = fs::status(name, ignored).type();
    switch (type) {
        case fs::file_type::regular:
        case fs::file_type::not_found:
        case fs::file_type::none:
        case fs::file_type::unknown:
            return std::string();
        case fs::file_type::directory:
            return fileTypeText(type) + ", not a file";
        default:
            return fileTypeText(type) +
                   ", not a regular file: capture files are read at random, so save it to a "
                   "file first";
    }
}

std::string openFailureReason(const CXcfCaptureFileCommon& factory, size_t inputCount) {
    const int error = factory.systemError();
    switch (error) {
        case EMFILE:
        case ENFILE:
            return "too many open files: " + std::to_string(inputCount) +
                   " input files were given, and this process may have at most " +
                   std::to_string(openFileLimit()) + " files open at once";
        case 0:
        case ENOENT:
        case ENOTDIR:
        case EACCES:
        case EPERM:
        case ENAMETOOLONG:
        case ELOOP:
            // What the factory's own message says.
            return factory.errorMessage();
        default:
            return std::string("it cannot be read: ") + std::strerror(error);
    }
}

std::unique_ptr<CXcfPmCaptureFileParser> openTesterInput(const std::string& name, size_t inputCount,
                                                         std::string& message, int32_t* code) {
    int32_t ignored = 0;
    int32_t& failure = code != nullptr ? *code : ignored;
    failure = CXcfCaptureFileCommon::kErrorNone;
    const std::string refusal = inputRefusal(name);
    if (!refusal.empty()) {
        message = "Failed to open file: '" + name + "'\nbecause: " + refusal;
        failure = CXcfCaptureFileCommon::kErrorFileNotFound;
        return nullptr;
    }
    std::unique_ptr<CXcfCaptureFileParser> parser;
    {
        CXcfCaptureFileParserFactory factory;
        parser = factory.createParser(name);
        if (!parser) {
            message = "Failed to open file: '" + name +
                      "'\nbecause: " + openFailureReason(factory, inputCount);
            failure = factory.lastErrorCode;
            return nullptr;
        }
    }
    const std::string format = parser->getFormatCode();
    auto* family = dynamic_cast<CXcfPmCaptureFileParser*>(parser.get());
    if ((format != "B3" && format != "B4") || family == nullptr) {
        message = "Cannot parse file: '" + name + "'\nbecause: The file format (" + format +
                  ") is neither B3 nor B4 so cannot be processed further.";
        failure = CXcfCaptureFileCommon::kErrorFormatNotRecognised;
        return nullptr;
    }
    parser.release();
    return std::unique_ptr<CXcfPmCaptureFileParser>(family);
}

bool openTesterInputs(const std::vector<std::string>& names, RunReport& report,
                      std::vector<std::unique_ptr<CXcfPmCaptureFileParser>>& readers) {
    for (const std::string& name : names) {
        if (report.stopRequested("openInputFile")) {
            return false;
        }
        std::string message;
        int32_t code = 0;
        auto reader = openTesterInput(name, names.size(), message, &code);
        if (!reader) {
            report.error("openInputFile", message, code);
            return false;
        }
        reader->releaseBuffers();
        readers.push_back(std::move(reader));
    }
    return true;
}

}  // namespace cli
