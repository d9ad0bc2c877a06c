#include "capfile/read/CXcfCaptureFileParserFactory.h"

#include "capfile/read/CXcfPmB3CaptureFileParser.h"
#include "capfile/read/CXcfPmB4CaptureFileParser.h"
#include "capfile/read/CXcfTcpdumpFileParser.h"

namespace {

std::unique_ptr<CXcfCaptureFileParser> makeReader(int32_t formatType) {
    switch (formatType) {
        case CXcfCaptureFileCommon::kFormatB3:
            return std::make_unique<CXcfPmB3CaptureFileParser>();
        case CXcfCaptureFileCommon::kFormatB4:
            return std::make_unique<CXcfPmB4CaptureFileParser>();
        case CXcfCaptureFileCommon::kFormatTcpdump:
            return std::make_unique<CXcfTcpdumpFileParser>();
        default:
            return nullptr;
    }
}

}  // namespace

CXcfCaptureFileParserFactory::~CXcfCaptureFileParserFactory() = default;

std::unique_ptr<CXcfCaptureFileParser> CXcfCaptureFileParserFactory::createParser(
    std::string name) {
    std::unique_ptr<CXcfCaptureFileParser> parser;

    // The file is opened once, here, so that a missing or unreadable file is reported as
    // such rather than as the last reader's refusal; each reader then tries the same open
    // file. What is not a regular file (a folder, a FIFO, a device) counts as not openable:
    // no reader can read it at random.
    lastSystemError = 0;
    refused.clear();
    if (!inputStream.open(name)) {
        lastErrorCode = kErrorFileNotFound;
        lastSystemError = inputStream.systemError();
        inputStream.clear();
        return parser;
    }

    setFileName(std::move(name));
    tryAllFormats(parser);
    // A reader that accepted the file took it; after refusals it is still here.
    inputStream.close();
    inputStream.clear();
    return parser;
}

bool CXcfCaptureFileParserFactory::tryAllFormats(std::unique_ptr<CXcfCaptureFileParser>& parser) {
    // The refusals of the readers tried before the one that accepts the file are no
    // failure of this call.
    const int32_t codeBefore = lastErrorCode;
    refused.clear();
    int32_t formatType = kFormatUnknown;
    for (uint32_t index = 0; formatTypeAt(index, formatType); ++index) {
        if (tryFormat(formatType, parser)) {
            lastErrorCode = codeBefore;
            return true;
        }
    }
    return false;
}

bool CXcfCaptureFileParserFactory::tryFormat(int32_t formatType,
                                             std::unique_ptr<CXcfCaptureFileParser>& parser) {
    uint32_t index = 0;
    if (!formatTypeIndex(formatType, index)) {
        return false;
    }
    parser = makeReader(formatType);
    if (!parser) {
        return false;
    }
    const bool opened = inputStream.isOpen() ? parser->openWith(inputStream, getFileName())
                                             : parser->open(getFileName());
    if (opened) {
        return true;
    }
    setError(parser->lastErrorCode, parser->lastErrorDetail());
    lastSystemError = parser->systemError();
    refused.push_back({formatType, lastErrorCode, lastSystemError, parser->lastErrorDetail()});
    parser.reset();
    return false;
}
