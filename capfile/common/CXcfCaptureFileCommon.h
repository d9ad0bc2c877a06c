// Root of every capture file object (readers, writers, the parser factory): the file's
// name and streams, the header values, the last error code with a detail text beside it, the
// fixed error and format name tables, and the header report.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "capfile/common/InputFile.h"
#include "capfile/common/OutputFile.h"

class CXcfCaptureFileCommon {
  public:
    // Error codes; errorText turns each into its fixed message.
    static constexpr int32_t kErrorNone = 0;
    static constexpr int32_t kErrorFileNotFound = 1;
    static constexpr int32_t kErrorFormatNotRecognised = 2;
    static constexpr int32_t kErrorCorruptHeader = 3;
    static constexpr int32_t kErrorCorruptFile = 4;
    static constexpr int32_t kErrorWriteFailure = 5;
    static constexpr int32_t kErrorUnknownFormat = 6;

    // Format type codes, in the order the parser factory tries them.
    static constexpr int32_t kFormatB3 = 0;
    static constexpr int32_t kFormatB4 = 1;
    static constexpr int32_t kFormatTcpdump = 2;
    static constexpr int32_t kFormatUnknown = 3;

    // How opening a file ended: opened, the file could not be opened at all, the file is not
    // of this object's format, or it is of this format but broken.
    enum class OpenOutcome { kOpened, kFileNotFound, kNotThisFormat, kBroken };

    CXcfCaptureFileCommon();
    virtual ~CXcfCaptureFileCommon();
    CXcfCaptureFileCommon(const CXcfCaptureFileCommon&) = delete;
    CXcfCaptureFileCommon& operator=(const CXcfCaptureFileCommon&) = delete;

    virtual void reset();
    virtual bool hasSignature(std::string text) const;
    virtual bool formatTypeFromName(std::string name, int32_t& formatType) const;
    virtual bool hasFormatFlag1() const;
    virtual bool hasFormatFlag2() const;
    virtual bool hasIndexFlag() const;
    virtual std::string errorMessage() const;
    virtual bool formatTypeAt(uint32_t index, int32_t& formatType) const;
    virtual bool formatTypeIndex(int32_t formatType, uint32_t& index) const;
    virtual bool formatName(int32_t formatType, std::string& name) const;
    virtual std::string report(std::string extra) const;
    virtual std::string report() const;
    virtual uint32_t formatTypeCount() const;

    std::string getFileName() const { return fileName; }
    void setFileName(std::string name) { fileName = std::move(name); }
    std::string getFormatCode() const { return formatCode; }
    std::string formatVersionText() const;
    // The operating system's error number behind the last failure of this object's files
    // (ENOENT, EIO, EMFILE, ENOSPC, ...); 0 when there was none or when the bytes, not the
    // file, were at fault.
    int32_t systemError() const;
    // What was wrong beside the fixed text of lastErrorCode: which field, record or offset,
    // and what it held ("offsetToIndex 1234 lies past the end of the file (1000 bytes)").
    // Empty when the failure gave none, and once lastErrorCode no longer holds the code the
    // detail was given with.
    std::string lastErrorDetail() const;
    // The outcome lastErrorCode stands for after an open: kErrorFormatNotRecognised is "not
    // this format", kErrorFileNotFound its own case, any other failure "broken".
    virtual OpenOutcome openOutcome() const;
    static OpenOutcome outcomeOfCode(int32_t code);

    // The file state. Readers fill it from a file's header, writers from their settings.
    std::string fileName;
    int64_t fileSize = 0;  // 64 bits: files of 4 GiB or more must not wrap
    int32_t lastErrorCode = kErrorNone;
    std::string signature;
    std::string formatCode;
    uint32_t versionMajor = 0;
    uint32_t versionMinor = 0;
    uint16_t masterFormatFlags = 0;
    uint32_t numberOfRecords = 0;
    uint32_t recordLength = 0;
    uint32_t offsetToData = 0;
    uint32_t offsetToIndex = 0;
    std::string description;
    // Set where a failure is handed on from another file object (the parser factory keeps
    // the one of the last reader it tried); systemError prefers it to the streams' own.
    int32_t lastSystemError = 0;

  protected:
    // Sets lastErrorCode and the detail that goes with it.
    void setError(int32_t code, std::string detail);
    // Opens inputStream on fileName for reading, unless it is open already.
    bool openInputStream();
    xcf::InputFile inputStream;
    xcf::OutputFile outputStream;

  private:
    int32_t detailCode = kErrorNone;
    std::string detail;
};

namespace xcf {

// The fixed message of an error code ("UNKOWN_FORMAT" for codes it does not know).
std::string errorText(int32_t code);

// The low `digits` nibbles of value in upper-case hexadecimal, "??" for a digit count
// outside 1 to 8.
std::string hexText(uint32_t value, uint32_t digits, bool prefix);

// Bytes of a file as they may be shown in a message: printable ASCII as it is, a backslash
// doubled, every other byte as \xnn (lower-case hexadecimal).
std::string printableText(const char* bytes, size_t count);

// The operating system's text for an error number ("No space left on device").
std::string systemErrorText(int32_t error);

}  // namespace xcf
