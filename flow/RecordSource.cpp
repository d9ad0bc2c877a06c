#include "flow/RecordSource.h"

#include <string>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "cli/Console.h"

namespace flow {

void warnStoppedReading(const CXcfPmCaptureFileParser& reader, uint32_t record) {
    printLine("WARNING (appendRecords) - Stopped reading file: '" + reader.getFileName() +
              "' at record " + std::to_string(record) + " of " +
              std::to_string(reader.numberOfRecords) + "; its remaining records were skipped.");
}

void RecordSource::reportDamage(const CXcfPmCaptureFileParser& reader, uint32_t record) const {
    if (damageReport) {
        damageReport(reader, record);
    } else {
        warnStoppedReading(reader, record);
    }
}

}  // namespace flow
