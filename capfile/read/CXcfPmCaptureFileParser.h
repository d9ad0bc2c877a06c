// What every reader of the tester family shares: recognising the family's prefix, a window
// of up to 1000 record offsets taken from the index section, the names of the sources
// records came from, and the capture times of the header.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capfile/common/CXcfPmCaptureFileCommon.h"
#include "capfile/common/RecordRun.h"
#include "capfile/read/CXcfCaptureFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

class CXcfPmCaptureFileParser : public CXcfCaptureFileParser, public CXcfPmCaptureFileCommon {
  public:
    static constexpr uint32_t kIndexWindowSize = 1000;
    static constexpr const char* kFamilySignature = "#MVCF:";
    static constexpr size_t kSignatureLength = 6;
    static constexpr size_t kFormatCodeLength = 2;
    static constexpr size_t kVersionTextLength = 5;

    CXcfPmCaptureFileParser();
    ~CXcfPmCaptureFileParser() override;

    // The file state's report; the tables' report stays reachable through the mix-in.
    using CXcfCaptureFileCommon::report;

    void reset() override;
    bool open(std::string fileName) override;
    bool lookupRecordOffset(uint32_t recordNumber, uint32_t& offset) override;

    virtual bool getPortDescription(uint32_t recordNumber, std::string& portType,
                                    std::string& portId, std::string& direction) = 0;
    virtual uint32_t getSourceCount() const = 0;
    virtual std::string getSourceName(uint32_t index) const = 0;
    virtual bool getRecordSourceName(uint32_t recordNumber, std::string& name);
    virtual bool sourceNameOfRecord(const CXcfCaptureRecord& record, std::string& name);
    virtual bool loadIndexCache(uint32_t firstRecord) = 0;
    virtual uint32_t readIndexEntry(uint32_t recordNumber) = 0;
    virtual void clearIndexCache();
    virtual bool checkPrefix();
    virtual bool checkFormatCode();
    virtual bool readVersion();
    virtual bool checkSignature();

    // For copying records as bytes: how many records from `first` on (at most maxCount, and
    // at most maxBytes of them: a larger record is read the usual way) readRecord would read,
    // found without reading them, planned into `run`, which then names this reader's file,
    // the records' layout and their offsets. Each one's extent comes from the index and passes
    // the checks readRecord makes: inside the data section, at least one frame byte behind the
    // writers' fields. 0, with the run cleared, where a record must be read the usual way (it
    // fails, the layout is another, the file failed).
    virtual uint32_t planRun(uint32_t first, uint32_t maxCount, uint64_t maxBytes,
                             xcf::RecordRun& run) {
        (void)first, (void)maxCount, (void)maxBytes;
        run.clear();
        return 0;
    }
    // The time of record recordNumber, true exactly when readRecord would read it (with the
    // same error code when not), without reading its frame.
    virtual bool readRecordTime(uint32_t recordNumber, uint32_t& seconds, uint32_t& nanoseconds);

    // Gives back the memory that only reading records needs (the read-ahead block and the
    // index window); the next read takes it again. Lets a program keep many inputs open
    // while it reads one of them.
    void releaseBuffers();

    // The records the index window holds; both 0 when it is empty.
    uint32_t getIndexWindowFirst() const { return indexWindowFirst; }
    uint32_t getIndexWindowLast() const { return indexWindowLast; }

    CXcfTimeOfDay captureStartTimeOfDay;
    CXcfTimeOfDay captureStopTimeOfDay;
    CXcfTimestamp captureStopTimestamp{0, 0};

  protected:
    std::unique_ptr<uint32_t[]> indexWindow;  // kIndexWindowSize entries once first cleared
    uint32_t indexWindowFirst = 0;
    uint32_t indexWindowLast = 0;
    uint32_t sourceCount = 0;
};
