// Shows what capture files hold: the header report of the reader that recognised each one,
// and as asked the tester-family tables, statistics over all records, and a listing of a range
// of them, through a presenter that writes text or JSON.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "capfile/common/RecordRun.h"
#include "capfile/read/CXcfCaptureFileParser.h"
#include "trcinfo/CaptureStatistics.h"
#include "trcinfo/InfoPresenter.h"
#include "trcinfo/InfoSettings.h"

class CXcfCaptureFileParserFactory;

class FileInspector {
  public:
    FileInspector(const InfoSettings& settings, InfoPresenter& presenter);

    // Shows everything asked for about one file. False when no reader accepted the file; a
    // record that cannot be read is reported, not a failure.
    bool inspect(const std::string& fileName);

    // One pass over every record of an open tester-family reader. False, with where it
    // stopped, when a record inside the count could not be read.
    static bool gatherStatistics(CXcfCaptureFileParser& parser, CaptureStatistics& stats,
                                 ReadStop& stop);
    // The same over records first to last (cut at the file's count).
    static bool gatherStatistics(CXcfCaptureFileParser& parser, uint32_t first, uint32_t last,
                                 CaptureStatistics& stats, ReadStop& stop);

    // Records first to last (cut at the file's count) of a tester-family reader, in order, each
    // to visit until it returns false. False, with where it stopped, when a record inside the
    // count could not be read.
    // With runVisit, records that lie as the writers lay them out come to it as they lie, in
    // runs (the same records, read faster). With progress, a progress line on the terminal
    // names that program.
    using Visit = std::function<bool(uint32_t, const CXcfCaptureRecord&)>;
    using RunVisit = std::function<void(uint32_t, const xcf::RunRecord&)>;
    static bool visitRecords(CXcfCaptureFileParser& parser, uint32_t first, uint32_t last,
                             ReadStop& stop, const Visit& visit,
                             const RunVisit& runVisit = RunVisit(), const char* progress = nullptr);

  private:
    void reportOpenFailure(CXcfCaptureFileParserFactory& factory, const std::string& fileName);
    void showStatistics(CXcfCaptureFileParser& parser);
    void listRecords(CXcfCaptureFileParser& parser);
    // The last record that -start and -num select in a file of total records.
    uint32_t lastSelected(uint32_t total) const;

    const InfoSettings& settings;
    InfoPresenter& presenter;
};
