// Turns a file name into an open reader of the right class. The caller names no format:
// the readers are tried in a fixed order and the first whose open accepts the file wins.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/common/CXcfCaptureFileCommon.h"
#include "capfile/read/CXcfCaptureFileParser.h"

class CXcfCaptureFileParserFactory : public CXcfCaptureFileCommon {
  public:
    CXcfCaptureFileParserFactory() = default;
    ~CXcfCaptureFileParserFactory() override;

    // An open reader for the file, or null with the reason in lastErrorCode. The reader
    // belongs to the caller and does not depend on the factory.
    std::unique_ptr<CXcfCaptureFileParser> createParser(std::string fileName);

    // Tries B3, then B4, then tcpdump on the stored file name. On failure the code of the
    // last attempt is kept; on success lastErrorCode is what it was before the call.
    bool tryAllFormats(std::unique_ptr<CXcfCaptureFileParser>& parser);

    // One attempt with the reader class of formatType; parser is left null on failure.
    bool tryFormat(int32_t formatType, std::unique_ptr<CXcfCaptureFileParser>& parser);

    // A reader that refused the file, and why.
    struct Refusal {
        int32_t formatType = kFormatUnknown;
        int32_t code = kErrorNone;
        int32_t systemError = 0;
        std::string detail;
    };
    // The refusals of the last createParser or tryAllFormats, in the order the readers were
    // tried: what a message needs, without trying the readers again.
    const std::vector<Refusal>& refusals() const { return refused; }

  private:
    std::vector<Refusal> refused;
};
