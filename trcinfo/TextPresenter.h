// trcinfo's text: the header report, the tables, the statistics block and the listing, each
// followed by an empty line.
#pragma once

#include "trcinfo/InfoPresenter.h"
#include "trcinfo/InfoSettings.h"

class TextPresenter : public InfoPresenter {
  public:
    explicit TextPresenter(const InfoSettings& settings) : settings(settings) {}

    void openFailure(const std::string& fileName, const std::string& reason, int32_t code,
                     const std::vector<std::string>& moreReasons) override;
    void beginFile(const CXcfCaptureFileParser& parser) override;
    void tables(const CXcfCaptureFileParser& parser) override;
    void statistics(const CXcfCaptureFileParser& parser, const CaptureStatistics& stats,
                    uint32_t first, const ReadStop* stop) override;
    void statisticsBeyondTheEnd(const CXcfCaptureFileParser& parser, uint32_t start,
                                uint32_t total) override;
    void recordsNotRead(const std::string& formatCode, bool forStatistics) override;
    void recordsNone() override;
    void startBeyondTheEnd(uint32_t start, uint32_t total) override;
    void beginRecords(uint32_t first, uint64_t last, uint32_t total) override;
    void record(uint32_t number, const CXcfCaptureRecord& record) override;
    void endRecords(const ReadStop* stop) override;
    void endFile() override {}

    // One line of the listing, and the column titles above such lines.
    static std::string recordLine(uint32_t number, const CXcfCaptureRecord& record,
                                  uint32_t hexBytes);
    static std::string titleLine(uint32_t hexBytes);

  private:
    const InfoSettings& settings;
};
