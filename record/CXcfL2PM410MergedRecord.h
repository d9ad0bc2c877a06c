// The record form of B4 inputs (record type 4), whose port byte carries the port number
// in bits 0 to 4 and flags in bits 5 to 7.
#pragma once

#include "record/CXcfCaptureRecord.h"

class CXcfL2PM410MergedRecord : public CXcfCaptureRecord {
  public:
    CXcfL2PM410MergedRecord();
    ~CXcfL2PM410MergedRecord() override;

    uint8_t getPortLowBits() const override;
};
