// Shows what one capture file holds: the header report of the reader that recognised it,
// optionally the tester-family tables, and a listing of a range of its records.
#pragma once

#include <cstdint>
#include <string>

#include "capfile/read/CXcfCaptureFileParser.h"
#include "record/CXcfCaptureRecord.h"
#include "trcinfo/InfoSettings.h"

class CXcfCaptureFileParserFactory;

class FileInspector {
  public:
    explicit FileInspector(const InfoSettings& settings);

    // Prints everything asked for about one file, ending with an empty line. False when no
    // reader accepted the file; a record that cannot be read is reported, not a failure.
    bool inspect(const std::string& fileName);

    // One line of the listing, and the column titles above such lines.
    static std::string recordLine(uint32_t number, const CXcfCaptureRecord& record,
                                  uint32_t hexBytes);
    static std::string titleLine(uint32_t hexBytes);

  private:
    void reportOpenFailure(CXcfCaptureFileParserFactory& factory, const std::string& fileName);
    void printTables(CXcfCaptureFileParser& parser);
    void listRecords(CXcfCaptureFileParser& parser);

    const InfoSettings& settings;
};
