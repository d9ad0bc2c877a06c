#include "capfile/common/CXcfCaptureFileCommon.h"

#include <array>
#include <cstdio>
#include <cstring>
#include <sstream>

namespace {

const std::array<const char*, 7> ErrorMessageTable = {
    "No error",
    "File not found, already open or no read permission",
    "File format not recognised or illegal version number",
    "Short or Corrupted capture file header section",
    "Short or Corrupted capture file",
    "File write failure, check permissions",
    "UNKOWN_FORMAT",
};

// Type 3 stands last so that a lookup that runs past the known types leaves it behind.
const std::array<int32_t, 4> KnownFormatTypes = {0, 1, 2, 3};
const std::array<const char*, 4> FormatNameTable = {"B3", "B4", "T1", "UNKOWN_FORMAT"};
constexpr uint32_t kFormatTypeCount = 3;

}  // namespace

namespace xcf {

std::string errorText(int32_t code) {
    if (code < 0 || static_cast<size_t>(code) >= ErrorMessageTable.size()) {
        return ErrorMessageTable.back();
    }
    return ErrorMessageTable[static_cast<size_t>(code)];
}

std::string hexText(uint32_t value, uint32_t digits, bool prefix) {
    if (digits < 1 || digits > 8) {
        return "??";
    }
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text(digits, '0');
    for (uint32_t i = 0; i < digits; ++i) {
        text[digits - 1 - i] = kDigits[(value >> (4 * i)) & 0xF];
    }
    return prefix ? "0x" + text : text;
}

std::string printableText(const char* bytes, size_t count) {
    // As the programs show file texts on a terminal, so that a detail needs no more escaping.
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '\\') {
            text += "\\\\";
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            text += "\\x";
            text += kDigits[byte >> 4];
            text += kDigits[byte & 0xF];
        }
    }
    return text;
}

std::string systemErrorText(int32_t error) {
    return std::strerror(error);
}

}  // namespace xcf

CXcfCaptureFileCommon::CXcfCaptureFileCommon() {
    CXcfCaptureFileCommon::reset();
}

CXcfCaptureFileCommon::~CXcfCaptureFileCommon() = default;

void CXcfCaptureFileCommon::reset() {
    fileName.clear();
    description.clear();
    inputStream.close();
    inputStream.clear();
    outputStream.close();
    fileSize = 0;
    lastSystemError = 0;
    lastErrorCode = kErrorNone;
    detailCode = kErrorNone;
    detail.clear();
    versionMajor = 0;
    versionMinor = 0;
    masterFormatFlags = 0;
    numberOfRecords = 0;
    recordLength = 0;
    offsetToData = 0;
    offsetToIndex = 0;
}

bool CXcfCaptureFileCommon::hasSignature(std::string text) const {
    return text == signature;
}

bool CXcfCaptureFileCommon::formatTypeFromName(std::string name, int32_t& formatType) const {
    for (uint32_t index = 0; formatTypeAt(index, formatType); ++index) {
        std::string candidate;
        if (formatName(formatType, candidate) && candidate == name) {
            return true;
        }
    }
    return false;
}

bool CXcfCaptureFileCommon::hasFormatFlag1() const {
    return (masterFormatFlags & 0x0002) != 0;
}

bool CXcfCaptureFileCommon::hasFormatFlag2() const {
    return (masterFormatFlags & 0x0004) != 0;
}

bool CXcfCaptureFileCommon::hasIndexFlag() const {
    return (masterFormatFlags & 0x0001) != 0;
}

std::string CXcfCaptureFileCommon::errorMessage() const {
    return xcf::errorText(lastErrorCode);
}

bool CXcfCaptureFileCommon::formatTypeAt(uint32_t index, int32_t& formatType) const {
    formatType = kFormatUnknown;
    if (index >= formatTypeCount()) {
        return false;
    }
    formatType = KnownFormatTypes[index];
    return true;
}

bool CXcfCaptureFileCommon::formatTypeIndex(int32_t formatType, uint32_t& index) const {
    for (index = 0; index < formatTypeCount(); ++index) {
        if (KnownFormatTypes[index] == formatType) {
            return true;
        }
    }
    return false;
}

bool CXcfCaptureFileCommon::formatName(int32_t formatType, std::string& name) const {
    name.clear();
    uint32_t index = 0;
    if (!formatTypeIndex(formatType, index)) {
        return false;
    }
    name = FormatNameTable[index];
    return true;
}

std::string CXcfCaptureFileCommon::report(std::string extra) const {
    std::ostringstream out;
    out << "Filename           : " << fileName << "\n"
        << "Signature          : " << signature << "\n"
        << "Format code        : " << formatCode << "\n"
        << "Version            : " << formatVersionText() << "\n"
        << "Master Format flags: " << xcf::hexText(masterFormatFlags, 4, true) << "\n"
        << "Number of records  : " << numberOfRecords << "\n"
        << "Record length      : " << recordLength << "\n"
        << "Offset to Data     : " << offsetToData << " (" << xcf::hexText(offsetToData, 8, true)
        << ")\n"
        << "Description string : '" << description << "'\n"
        << "Offset to Index    : " << offsetToIndex << " (" << xcf::hexText(offsetToIndex, 8, true)
        << ")\n"
        << "Last error code    : " << lastErrorCode << " = '" << errorMessage() << "'\n";
    if (!extra.empty()) {
        out << extra;
    }
    out << "\n";
    return out.str();
}

std::string CXcfCaptureFileCommon::report() const {
    return report(std::string());
}

uint32_t CXcfCaptureFileCommon::formatTypeCount() const {
    return kFormatTypeCount;
}

std::string CXcfCaptureFileCommon::formatVersionText() const {
    char text[32];
    std::snprintf(text, sizeof text, "%02d.%02d", static_cast<int>(versionMajor),
                  static_cast<int>(versionMinor));
    return text;
}

void CXcfCaptureFileCommon::setError(int32_t code, std::string text) {
    lastErrorCode = code;
    detailCode = code;
    detail = std::move(text);
}

std::string CXcfCaptureFileCommon::lastErrorDetail() const {
    // Callers set lastErrorCode themselves (to clear it before a read, say): a detail given
    // with another code no longer describes the failure at hand.
    if (lastErrorCode == kErrorNone || lastErrorCode != detailCode) {
        return std::string();
    }
    return detail;
}

CXcfCaptureFileCommon::OpenOutcome CXcfCaptureFileCommon::outcomeOfCode(int32_t code) {
    switch (code) {
        case kErrorNone:
            return OpenOutcome::kOpened;
        case kErrorFileNotFound:
            return OpenOutcome::kFileNotFound;
        case kErrorFormatNotRecognised:
            return OpenOutcome::kNotThisFormat;
        default:
            return OpenOutcome::kBroken;
    }
}

CXcfCaptureFileCommon::OpenOutcome CXcfCaptureFileCommon::openOutcome() const {
    return outcomeOfCode(lastErrorCode);
}

bool CXcfCaptureFileCommon::openInputStream() {
    // Already open where a reader was handed an open file (see openWith).
    return inputStream.isOpen() || inputStream.open(fileName);
}

int32_t CXcfCaptureFileCommon::systemError() const {
    if (lastSystemError != 0) {
        return lastSystemError;
    }
    return inputStream.systemError() != 0 ? inputStream.systemError() : outputStream.systemError();
}
