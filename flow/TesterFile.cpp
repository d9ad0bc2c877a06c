#include "flow/TesterFile.h"

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "flow/RecordMapping.h"

namespace flow {

namespace {

// Converted records pass through memory, a loaded run at a time; copied ones go from file to
// file and cost no memory however many bytes they are.
constexpr uint64_t kCopiedRunBytes = 64 * 1024 * 1024;

}  // namespace

TesterFile::TesterFile(CaptureFormat format, const std::string& portType, const std::string& portId)
    : outputFormat(format == CaptureFormat::kB4 ? CaptureFormat::kB4 : CaptureFormat::kB3) {
    if (outputFormat == CaptureFormat::kB3) {
        fileWriter = std::make_unique<CXcfPmB3CaptureFileWriter>(portType, portId, "Rx", 3);
    } else {
        fileWriter = std::make_unique<CXcfPmB4CaptureFileWriter>(portType, portId, "Rx", 4);
    }
    fileWriter->setCreateExclusively(true);
}

TesterFile::~TesterFile() = default;

void TesterFile::setSizeLimit(uint64_t bytes) {
    if (bytes != 0) {
        fileWriter->setFileSizeLimit(bytes);
    }
}

bool TesterFile::create(cli::SafeOutput& output, const std::string& name,
                        const cli::OutputOpener& opener, const std::string& description) {
    return opener.create(output, name, *fileWriter,
                         [this, &description](const std::string& temporaryName) {
                             return fileWriter->open(temporaryName, description);
                         });
}

uint64_t TesterFile::runBytesFor(CaptureFormat output, CaptureFormat input) {
    if (input == output) {
        return kCopiedRunBytes;
    }
    // B3 records gain their port and status bytes on the way into a B4 file; B4 records
    // cannot go into a B3 file as they lie.
    return input == CaptureFormat::kB3 && output == CaptureFormat::kB4 ? kLoadedRunBytes : 0;
}

uint32_t TesterFile::takeRun(RecordRun& run, const RecordOrigin& /*origin*/, bool& stop) {
    const uint32_t copied = copy(run, 0, run.count());
    // Fewer without a full writer: the input could not be read there, which reading the
    // record says again the usual way.
    stop = copied < run.count() && isFull();
    return copied;
}

void outputPortOf(CXcfPmCaptureFileParser& first, std::string& portType, std::string& portId) {
    // Record 0 never exists: a B3 reader answers from its source 0 name, a B4 reader with its
    // defaults alone.
    std::string direction;
    first.getPortDescription(0, portType, portId, direction);
    if (captureFormatOf(first.getFormatCode()) != CaptureFormat::kB4) {
        return;
    }
    FormatRecords records;
    CXcfCaptureRecord& record = records.recordFor(CaptureFormat::kB4);
    std::string name;
    if (!first.readRecord(1, record) || !first.sourceNameOfRecord(record, name) || name.empty()) {
        name = first.getSourceName(0);
    }
    first.releaseBuffers();
    // "type,id,direction", as the B4 writer names a port.
    const size_t typeEnd = name.find(',');
    const std::string type = name.substr(0, typeEnd);
    if (type.empty() || type == "Unknown") {
        return;
    }
    portType = type;
    if (typeEnd != std::string::npos) {
        const size_t idEnd = name.find(',', typeEnd + 1);
        const std::string id = name.substr(
            typeEnd + 1, idEnd == std::string::npos ? std::string::npos : idEnd - typeEnd - 1);
        if (!id.empty()) {
            portId = id;
        }
    }
}

}  // namespace flow
