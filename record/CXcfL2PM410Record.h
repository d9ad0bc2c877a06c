// The record form of B3 inputs (record type 3).
#pragma once

#include "record/CXcfCaptureRecord.h"

class CXcfL2PM410Record : public CXcfCaptureRecord {
  public:
    CXcfL2PM410Record();
    ~CXcfL2PM410Record() override;
};
