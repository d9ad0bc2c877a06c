// How a record read from a B3 or B4 input is written into a B3 or B4 output: the mapping every
// program that writes tester files shares, so that a record reads back the same whichever
// program wrote it.
#pragma once

#include "capfile/write/CXcfPmBinaryCaptureFileWriter.h"
#include "flow/FormatRecords.h"
#include "record/CXcfCaptureRecord.h"

namespace flow {

// A B3 output takes the B3 fields; a B4 output keeps a B4 record's port and status bytes and
// gives a B3 record port and status 0. Extension bytes beyond the eighth are not passed on,
// and the writer never gets more frame bytes than the record holds. False when the writer
// refused the record (failed, or its size limit reached).
bool writeMapped(CXcfPmBinaryCaptureFileWriter& writer, CaptureFormat output,
                 const CXcfCaptureRecord& record, CaptureFormat source);

}  // namespace flow
