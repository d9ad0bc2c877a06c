// Tester-family writer: the record type and source name tables, the text header block, the
// whole file header laid out once with placeholders, the capture time values, and the index
// section appended at close.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

#include "capfile/common/CXcfPmCaptureFileCommon.h"
#include "capfile/write/CXcfCaptureFileWriter.h"
#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

class CXcfPmCaptureFileWriter : public CXcfCaptureFileWriter, public CXcfPmCaptureFileCommon {
  public:
    CXcfPmCaptureFileWriter(std::string formatName, int32_t versionMajorNumber,
                            int32_t versionMinorNumber, uint16_t formatFlags);
    ~CXcfPmCaptureFileWriter() override;

    // The file header report; the tables' report stays reachable through the second base.
    using CXcfCaptureFileCommon::report;

    void appendIndex() override;
    void writeHeader() override;

    virtual void setSourceRecordType(uint32_t index, uint32_t value) = 0;
    virtual void setSourceName(uint32_t index, std::string text) = 0;
    virtual void setCaptureStartTimeOfDay(const CXcfTimeOfDay& timeOfDay) = 0;
    virtual void setCaptureStopTimeOfDay(const CXcfTimeOfDay& timeOfDay) = 0;
    virtual void setCaptureStopTimestamp(int32_t seconds, int32_t nanoseconds) = 0;
    virtual void setCaptureStopTimestamp(const CXcfTimestamp& timestamp) = 0;
    virtual void setTriggerPacketNumber(uint32_t number) = 0;
    virtual void buildHeaderText();
    // A counted string: 16-bit length, then the characters. A length of 0 means "up to the
    // first zero byte".
    virtual void putString(std::ostream& stream, const char* characters, uint32_t length) = 0;
    virtual void putString(std::ostream& stream, const std::string& text, uint32_t length) = 0;
    virtual uint64_t patchRecordTypeTable() = 0;
    virtual uint64_t patchSourceNameTable() = 0;

    CXcfTimeOfDay captureStartTimeOfDay;
    CXcfTimeOfDay captureStopTimeOfDay;
    CXcfTimestamp captureStopTimestamp;
    uint32_t triggerPacketNumber = 0;

  protected:
    uint64_t recordTypeTablePos = 0;
    uint64_t sourceNameTablePos = 0;
    uint64_t captureStartTimeOfDayPos = 0;
    uint64_t captureStopTimeOfDayPos = 0;
    uint64_t captureStopTimestampPos = 0;
    uint64_t triggerPacketNumberPos = 0;
};
