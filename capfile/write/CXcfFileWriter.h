// Base of every writer, of the tester formats and of the packet-analysis ones alike: what a
// writer does with the file it makes, whatever goes into it. It creates the file (only where
// nothing exists under its name when asked to), fails for good at the first error with the
// system's cause kept, and gives up what it made.
#pragma once

#include <cstdint>
#include <string>

#include "capfile/common/CXcfCaptureFileCommon.h"

class CXcfFileWriter : public CXcfCaptureFileCommon {
  public:
    CXcfFileWriter();
    ~CXcfFileWriter() override;

    bool hasFailed() const { return failed; }
    // When set, the output is created only where nothing exists under its name (never
    // following a link, never truncating), so that a program writing to a fresh temporary
    // name cannot touch anything else. Otherwise an existing output is truncated.
    void setCreateExclusively(bool exclusive) { createExclusively = exclusive; }

  protected:
    // Creates the output under fileName as setCreateExclusively says, or truncating it when
    // truncate is set (a file of this writer's own that is written anew). On failure the
    // system's cause is kept; no error code is set.
    bool createOutput(bool truncate = false);
    // Writes to an open descriptor that the process holds (standard output, a pipe) instead
    // of a file of its own: nothing is ever removed. On failure the system's cause is kept.
    bool adoptOutput(int descriptor);
    // The writer has failed: kErrorWriteFailure, with the system's cause and the detail of
    // the first failure kept until clearFailure. detailText overrides the detail made from
    // failureSource.
    void markFailed(const std::string& detailText = std::string());
    // The file a failure happened on and its system error; the output by default.
    virtual void failureSource(std::string& name, int32_t& error) const;
    // For a new file: no failure, no code, no cause.
    void clearFailure();
    // Closes the output without completing it and removes it when this writer made it
    // (always a regular file: created, or truncated).
    void discardOutput();

  private:
    bool failed = false;
    bool createExclusively = false;
    // The output under fileName was made by this writer and not yet discarded.
    bool outputMade = false;
};
