#include "capfile/write/CXcfPmCaptureFileWriter.h"

#include <cstring>
#include <ctime>
#include <iomanip>
#include <locale>
#include <sstream>

namespace {

// The creation time in the fixed 24-character form "Thu Mar 23 07:58:53 2006", in the classic
// locale so that the names are always the English ones whatever the user's settings.
std::string creationTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        local = std::tm{};
        local.tm_mday = 1;
        local.tm_year = 70;
    }
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text << std::put_time(&local, "%a %b %e %H:%M:%S %Y");
    return text.str();
}

}  // namespace

CXcfPmCaptureFileWriter::CXcfPmCaptureFileWriter(std::string formatName, int32_t versionMajorNumber,
                                                 int32_t versionMinorNumber, uint16_t formatFlags)
    : CXcfCaptureFileWriter(std::move(formatName), versionMajorNumber, versionMinorNumber,
                            formatFlags) {
    signature = "#MVCF:";
    // Not through the virtual table: the derived parts are not built yet.
    CXcfPmCaptureFileWriter::buildHeaderText();
}

CXcfPmCaptureFileWriter::~CXcfPmCaptureFileWriter() = default;

void CXcfPmCaptureFileWriter::buildHeaderText() {
    headerString = "#Corvane Technologies Capture Data File\n#Format : ";
    headerString += formatCodeChars;
    headerString += "\n#Version: ";
    headerString += versionChars;
    headerString += "\n#Date created: ";
    headerString += creationTimeText();
    headerString += "\n";
}

void CXcfPmCaptureFileWriter::writeHeader() {
    // An output that open has just created is empty already. Truncating it once more would
    // change nothing in the file, but it makes ext4 write the whole file out when it is
    // closed (its guard for files rewritten in place), which costs a merge a tenth of its time.
    const bool justCreated = outputStream.isOpen() && !outputStream.failed() && outputEnd() == 0;
    if (!justCreated && !createOutputStream(true)) {
        markFailed();
        return;
    }
    emit(outputStream, signature.data(), signature.size());
    emit(outputStream, formatCodeChars, std::strlen(formatCodeChars));
    emit(outputStream, versionChars, std::strlen(versionChars));

    // Each patchable field is laid out by its own patch operation, called while the output
    // stands at the field: the placeholder is the field's current value.
    numberOfRecordsPos = outputPosition();
    patchNumberOfRecords();
    putUint32(outputStream, recordLength);
    putUint16(outputStream, masterFormatFlags);
    offsetToDataPos = outputPosition();
    patchOffsetToData();
    offsetToIndexPos = outputPosition();
    patchOffsetToIndex();
    recordTypeTablePos = outputPosition();
    patchRecordTypeTable();
    sourceNameTablePos = outputPosition();
    patchSourceNameTable();
    putString(outputStream, headerString, static_cast<uint32_t>(headerString.size()));
    putString(outputStream, description, static_cast<uint32_t>(description.size()));

    offsetToData = static_cast<uint32_t>(outputPosition());
    seekOutput(patchOffsetToData());
    headerLaidOut = true;
}

void CXcfPmCaptureFileWriter::appendIndex() {
    if (numberOfRecords == 0) {
        offsetToIndex = 0;
        seekOutput(patchOffsetToIndex());
        return;
    }
    seekOutput(outputEnd());
    // The size limit keeps the end below 4 GiB, so the offset fits its field.
    offsetToIndex = static_cast<uint32_t>(outputEnd());
    seekOutput(patchOffsetToIndex());

    if (!flushStream(indexStream) || !indexStream.close()) {
        markFailed();
    }
    if (!hasFailed()) {
        // A record whose output write failed may have left its index entry behind; only the
        // entries of the records counted belong to the file.
        copyIndexFileToOutput(uint64_t{numberOfRecords} * kIndexEntrySize);
    }
}
