// The command line of trcedit, and the forms of its time and size values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/OptionParser.h"

enum class SplitKind { kNone, kRecords, kBytes, kSeconds };

struct EditSettings {
    std::vector<std::string> inputFileNames;
    std::string outputFileName;
    uint32_t startRecord = 1;  // within what the time window keeps, from 1
    uint32_t recordLimit = 0;  // 0: all
    bool fromGiven = false;
    uint64_t fromNanoseconds = 0;  // keep records with from <= time < to
    bool toGiven = false;
    uint64_t toNanoseconds = 0;
    bool sort = false;
    // Nanoseconds added to every record time of each input (one per input, signed).
    std::vector<int64_t> inputShifts;
    bool dedupGiven = false;
    uint64_t dedupNanoseconds = 0;  // the window of -dedup
    SplitKind split = SplitKind::kNone;
    uint64_t splitValue = 0;  // records, bytes, or nanoseconds
    // Chunk names carry five digits, so that they sort in the order of their records. No
    // option sets it: tests lower it to reach it without writing a hundred thousand files.
    size_t maxChunks = 99999;
};

// Fills the settings from the command line. Prints the message and the usage text on an
// error, the usage text alone for -h.
cli::ParseOutcome parseEditArguments(int argc, char* argv[], EditSettings& settings);

// A time in nanoseconds since the epoch, from epoch seconds with up to nine decimals
// ("1143137000.25") or UTC ISO-8601 ("2006-03-23T18:03:20.25Z"), within the times a record
// can hold (up to 2106-02-07T06:28:15.999999999Z). False with the reason.
bool parseTime(const std::string& text, uint64_t& nanoseconds, std::string& reason);

// A signed number of seconds with up to nine decimals ("-0.000125", "+3600"), into
// nanoseconds, exactly. The refusal, or empty.
std::string parseShift(const std::string& text, int64_t& nanoseconds);

// A byte count above 0 with an optional suffix K, M or G (powers of 1024). False with the
// reason.
bool parseSize(const std::string& text, uint64_t& bytes, std::string& reason);
