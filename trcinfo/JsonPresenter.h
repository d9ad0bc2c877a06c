// trcinfo's JSON: one array with one object per file, in command-line order, written as it
// goes so that the records of a large file never sit in memory. Keys are lower_snake_case and
// stable (man trcinfo lists them); counts and sizes are integers; texts that are not UTF-8
// have their bad bytes replaced by U+FFFD.
#pragma once

#include <nlohmann/json.hpp>

#include "trcinfo/InfoPresenter.h"
#include "trcinfo/InfoSettings.h"

class JsonPresenter : public InfoPresenter {
  public:
    using Json = nlohmann::ordered_json;

    explicit JsonPresenter(const InfoSettings& settings) : settings(settings) {}

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
    void endFile() override;
    void finish() override;

    // The parts of the document, for whoever needs them without a console.
    static Json header(const CXcfCaptureFileParser& parser);
    static Json statistics(const CXcfCaptureFileParser& parser, const CaptureStatistics& stats);
    static Json record(uint32_t number, const CXcfCaptureRecord& record, uint32_t hexBytes);
    static std::string text(const Json& value);

  private:
    // Prints the file object so far, open for its records to follow.
    void openRecords();
    void printFile(const std::string& text);

    const InfoSettings& settings;
    Json current;
    Json warnings = Json::array();
    bool recordsOpen = false;
    bool firstRecord = true;
    bool anyFile = false;
};
