// The records of several inputs in file order: input after input, each from its first record
// until its first failed read, nothing reordered. A read that fails before the count an input's
// header announces means a damaged input: the source says so, and the next input goes on. An
// input that is done gives back its reading blocks at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "flow/FormatRecords.h"
#include "flow/RecordSource.h"
#include "record/CXcfCaptureRecord.h"

class CXcfPmCaptureFileParser;

namespace flow {

class FileOrderSource : public RecordSource {
  public:
    using Readers = std::vector<std::unique_ptr<CXcfPmCaptureFileParser>>;

    explicit FileOrderSource(const Readers& readers);
    // The records of one input from record `first` on.
    FileOrderSource(CXcfPmCaptureFileParser& reader, uint32_t first);

    const CXcfCaptureRecord* next() override;
    bool runsFrom(CaptureFormat& format) const override;
    uint32_t nextRun(uint32_t maxCount, uint64_t maxBytes, RecordRun& run) override;
    void giveBack(uint32_t records) override { nextNumber -= records; }

  private:
    void startInput(uint32_t first);

    std::vector<CXcfPmCaptureFileParser*> readers;
    size_t index = 0;
    uint32_t nextNumber = 1;
    FormatRecords records;
    CaptureFormat currentFormat = CaptureFormat::kB3;
    CXcfCaptureRecord* record = nullptr;
};

}  // namespace flow
