// How trcinfo shows what it found: as text for people, or as one JSON document for scripts.
// The inspector reads the files and tells a presenter what to show, file after file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "capfile/read/CXcfCaptureFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "trcinfo/CaptureStatistics.h"

// A record inside a file's count that could not be read: the pass over the records ends there.
struct ReadStop {
    std::string fileName;
    uint32_t record = 0;
    uint32_t total = 0;
    int32_t code = 0;
    std::string detail;  // which field or offset was wrong, where the reader says

    // The WARNING line, in the words of the record listing.
    std::string warning() const;
};

// The WARNING line for statistics asked for from a record beyond the file's last.
std::string statisticsBeyondTheEndWarning(uint32_t start, uint32_t total);

class InfoPresenter {
  public:
    virtual ~InfoPresenter() = default;

    virtual void openFailure(const std::string& fileName, const std::string& reason, int32_t code,
                             const std::vector<std::string>& moreReasons) = 0;
    // A file that opened: its header; the calls that follow, up to endFile, are about it.
    virtual void beginFile(const CXcfCaptureFileParser& parser) = 0;
    virtual void tables(const CXcfCaptureFileParser& parser) = 0;
    // The statistics of the records from first on; stop is null when every record selected
    // was read.
    virtual void statistics(const CXcfCaptureFileParser& parser, const CaptureStatistics& stats,
                            uint32_t first, const ReadStop* stop) = 0;
    // -start lies beyond the file's last record: no statistics.
    virtual void statisticsBeyondTheEnd(const CXcfCaptureFileParser& parser, uint32_t start,
                                        uint32_t total) = 0;
    // The records of the file are not read by its reader (tcpdump).
    virtual void recordsNotRead(const std::string& formatCode, bool forStatistics) = 0;
    // The listing: what it will show, then each record, then how it ended.
    virtual void recordsNone() = 0;
    virtual void startBeyondTheEnd(uint32_t start, uint32_t total) = 0;
    virtual void beginRecords(uint32_t first, uint64_t last, uint32_t total) = 0;
    virtual void record(uint32_t number, const CXcfCaptureRecord& record) = 0;
    virtual void endRecords(const ReadStop* stop) = 0;
    virtual void endFile() = 0;
    // After the last file.
    virtual void finish() {}
};
