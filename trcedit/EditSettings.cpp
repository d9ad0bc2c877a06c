#include "trcedit/EditSettings.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <limits>
#include <utility>

#include "cli/NumberText.h"
#include "cli/OptionParser.h"

namespace {

const char kUsage[] =
    "Usage: trcedit [-shift SECONDS] -in FILE [[-shift SECONDS] -in FILE ...] -out FILE\n"
    "               [-start N] [-num N] [-from TIME] [-to TIME] [-sort] [-dedup SECONDS]\n"
    "               [-split-records N | -split-bytes N | -split-seconds S]\n"
    "\n"
    "Cuts, splits and merges B3 and B4 capture files. The output is B3 when every input is B3,\n"
    "B4 as soon as one input is B4.\n"
    "\n"
    "  -in FILE           an input capture file, B3 or B4; records are taken input after\n"
    "                     input, in the order given\n"
    "  -out FILE          the output file; with a split option the chunks are named after\n"
    "                     it with a sequence number: cut.cap gives cut-00001.cap, ...\n"
    "  -sort              take the records of all inputs in time order (equal times keep\n"
    "                     the order of the inputs, then of the records)\n"
    "  -from TIME         keep records at or after TIME\n"
    "  -to TIME           keep records before TIME\n"
    "  -shift SECONDS     add SECONDS (signed, up to nine decimals) to every record time of\n"
    "                     the inputs that follow, up to the next -shift\n"
    "  -dedup SECONDS     drop a record whose port and frame bytes equal those of a record\n"
    "                     kept at most SECONDS before it\n"
    "  -start N           the first record to keep, counting from 1 through the records\n"
    "                     -from, -to and -dedup left (default 1)\n"
    "  -num N             how many records to keep (default 0: all)\n"
    "  -split-records N   chunks of N records\n"
    "  -split-bytes N     chunks of at most N bytes (suffix K, M or G allowed)\n"
    "  -split-seconds S   a new chunk when a record is S seconds or more after the first\n"
    "                     record of the current chunk\n"
    "  -h                 this text\n"
    "\n"
    "TIME is UTC: epoch seconds with up to nine decimals (1143137000.25) or ISO-8601 ending\n"
    "in Z (2006-03-23T18:03:20.25Z). Local time and other zones are not accepted.\n";

constexpr uint64_t kBillion = 1000000000;
// A record holds its time in seconds of 32 bits: no time in a capture file lies later.
constexpr uint64_t kLatestSeconds = 0xFFFFFFFF;

bool allDigits(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

std::string beyondTheRange(const std::string& text) {
    return cli::quoted(text) +
           " is outside the times a capture file can hold: 1970-01-01T00:00:00Z to "
           "2106-02-07T06:28:15.999999999Z (0 to 4294967295.999999999)";
}

bool isLeapYear(uint64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(uint64_t year, unsigned month) {
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Days since 1970-01-01 of a date in the proleptic Gregorian calendar.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

bool twoDigits(const std::string& text, size_t at, unsigned& value) {
    if (at + 2 > text.size() || !std::isdigit(static_cast<unsigned char>(text[at])) ||
        !std::isdigit(static_cast<unsigned char>(text[at + 1]))) {
        return false;
    }
    value = static_cast<unsigned>((text[at] - '0') * 10 + (text[at + 1] - '0'));
    return true;
}

}  // namespace

bool parseTime(const std::string& text, uint64_t& nanoseconds, std::string& reason) {
    const size_t t = text.find('T');
    if (t == std::string::npos) {
        // Epoch seconds.
        switch (cli::parseSeconds(text, nanoseconds)) {
            case cli::Seconds::kGood:
                return true;
            case cli::Seconds::kTooManyDecimals:
                reason = cli::tooManyDecimals(text);
                return false;
            case cli::Seconds::kTooLarge:
                reason = beyondTheRange(text);
                return false;
            case cli::Seconds::kNotANumber:
                break;
        }
        reason = cli::quoted(text) +
                 " is neither epoch seconds (1143137000.25) nor a UTC time "
                 "(2006-03-23T18:03:20.25Z)";
        return false;
    }
    const char last = text.empty() ? '\0' : text.back();
    if (last != 'Z') {
        reason = "'" + text +
                 "' is not in UTC: end the time with Z; local time and other zones "
                 "are not accepted";
        return false;
    }
    // YYYY-MM-DDTHH:MM:SS[.fraction]Z
    unsigned month = 0;
    unsigned day = 0;
    unsigned hour = 0;
    unsigned minute = 0;
    unsigned second = 0;
    const std::string body = text.substr(0, text.size() - 1);
    const size_t point = body.find('.', t);
    const std::string year = body.substr(0, 4);
    const std::string decimals = point == std::string::npos ? "0" : body.substr(point + 1);
    const bool good = t == 10 && allDigits(year) && body[4] == '-' && twoDigits(body, 5, month) &&
                      body[7] == '-' && twoDigits(body, 8, day) && twoDigits(body, 11, hour) &&
                      body.size() >= 19 && body[13] == ':' && twoDigits(body, 14, minute) &&
                      body[16] == ':' && twoDigits(body, 17, second) &&
                      (point == std::string::npos ? body.size() == 19 : point == 19) &&
                      allDigits(decimals);
    if (!good) {
        reason = "'" + text + "' is not a UTC time of the form 2006-03-23T18:03:20.25Z";
        return false;
    }
    if (decimals.size() > 9) {
        reason = cli::tooManyDecimals(text);
        return false;
    }
    const uint64_t years = std::strtoull(year.c_str(), nullptr, 10);
    if (month < 1 || month > 12) {
        reason = cli::quoted(text) + " has no such month: months run from 01 to 12";
        return false;
    }
    if (day < 1 || day > daysInMonth(years, month)) {
        static const char* const kMonths[] = {"January",   "February", "March",    "April",
                                              "May",       "June",     "July",     "August",
                                              "September", "October",  "November", "December"};
        reason = cli::quoted(text) + " has no such day: " + kMonths[month - 1] + " " + year +
                 " has " + std::to_string(daysInMonth(years, month)) + " days";
        return false;
    }
    if (hour > 23 || minute > 59 || second > 59) {
        reason = cli::quoted(text) +
                 " has no such time of day: hours run from 00 to 23, minutes and seconds from "
                 "00 to 59";
        return false;
    }
    const int64_t days = daysFromCivil(static_cast<int64_t>(years), month, day);
    const int64_t seconds = days * 86400 + hour * 3600 + minute * 60 + second;
    if (seconds < 0 || static_cast<uint64_t>(seconds) > kLatestSeconds) {
        reason = beyondTheRange(text);
        return false;
    }
    std::string padded = decimals;
    padded.resize(9, '0');
    nanoseconds =
        static_cast<uint64_t>(seconds) * kBillion + std::strtoull(padded.c_str(), nullptr, 10);
    return true;
}

namespace {

// Seconds with up to nine decimals, as epoch times are written, into nanoseconds; the
// refusal, or empty. text is what the refusal quotes.
std::string secondsValue(const std::string& value, uint64_t& nanoseconds, const std::string& text,
                         const std::string& largest) {
    switch (cli::parseSeconds(value, nanoseconds)) {
        case cli::Seconds::kGood:
            return std::string();
        case cli::Seconds::kNotANumber:
            return cli::quoted(text) + " is not a number of seconds";
        case cli::Seconds::kTooManyDecimals:
            return cli::tooManyDecimals(text);
        case cli::Seconds::kTooLarge:
            break;
    }
    return cli::tooLarge(text, largest);
}

std::string secondsValue(const std::string& value, uint64_t& nanoseconds) {
    return secondsValue(value, nanoseconds, value, "4294967295.999999999");
}

}  // namespace

std::string parseShift(const std::string& text, int64_t& nanoseconds) {
    const bool negative = !text.empty() && text[0] == '-';
    const bool sign = negative || (!text.empty() && text[0] == '+');
    uint64_t magnitude = 0;
    std::string reason =
        secondsValue(sign ? text.substr(1) : text, magnitude, text, "4294967295.999999999");
    if (negative && cli::parseSeconds(text.substr(1), magnitude) == cli::Seconds::kTooLarge) {
        reason = cli::tooSmall(text, "-4294967295.999999999");
    }
    if (reason.empty()) {
        nanoseconds = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
    }
    return reason;
}

bool parseSize(const std::string& text, uint64_t& bytes, std::string& reason) {
    uint64_t unit = 1;
    std::string digits = text;
    switch (text.empty() ? '\0' : text.back()) {
        case 'K':
        case 'k':
            unit = 1024;
            break;
        case 'M':
        case 'm':
            unit = 1024 * 1024;
            break;
        case 'G':
        case 'g':
            unit = 1024 * 1024 * 1024;
            break;
        default:
            break;
    }
    if (unit != 1) {
        digits.pop_back();
    }
    if (!allDigits(digits)) {
        reason = cli::quoted(text) + " is not a byte count such as 500M";
        return false;
    }
    const uint64_t largest = std::numeric_limits<uint64_t>::max() / unit;
    uint64_t value = 0;
    if (!cli::parseCount(digits, 1, largest, value, reason)) {
        // Said in the unit the value was given in.
        const std::string suffix = text.substr(digits.size());
        reason = digits.find_first_not_of('0') == std::string::npos
                     ? cli::tooSmall(text, "1" + suffix)
                     : cli::tooLarge(text, std::to_string(largest) + suffix);
        return false;
    }
    bytes = value * unit;
    return true;
}

cli::ParseOutcome parseEditArguments(int argc, char* argv[], EditSettings& settings) {
    cli::OptionParser parser(kUsage);
    parser.help({"-h", "-?", "--help"});
    parser.flag("-sort", [&settings] { settings.sort = true; });
    cli::inputAndOutputOptions(parser, settings.inputFileNames, settings.outputFileName);
    parser.option("-start", cli::countInto(settings.startRecord, "-start", true));
    parser.option("-num", cli::countInto(settings.recordLimit, "-num"));
    auto time = [](const std::string& flag, uint64_t& nanoseconds, bool& given) {
        return [flag, &nanoseconds, &given](const std::string& value) {
            std::string reason;
            if (!parseTime(value, nanoseconds, reason)) {
                return cli::invalidValue(flag, reason);
            }
            given = true;
            return std::string();
        };
    };
    parser.option("-from", time("-from", settings.fromNanoseconds, settings.fromGiven));
    parser.option("-to", time("-to", settings.toNanoseconds, settings.toGiven));
    // Each split option reads its value into nanoseconds, bytes or records.
    auto split = [&settings](const std::string& flag, SplitKind kind,
                             std::function<std::string(const std::string&, uint64_t&)> read) {
        return [&settings, flag, kind, read](const std::string& value) {
            if (settings.split != SplitKind::kNone) {
                return std::string("Give one split option only.");
            }
            uint64_t number = 0;
            const std::string reason = read(value, number);
            if (!reason.empty()) {
                return cli::invalidValue(flag, reason);
            }
            settings.split = kind;
            settings.splitValue = number;
            return std::string();
        };
    };
    parser.option("-split-bytes", split("-split-bytes", SplitKind::kBytes,
                                        [](const std::string& value, uint64_t& number) {
                                            std::string reason;
                                            parseSize(value, number, reason);
                                            return reason;
                                        }));
    parser.option("-split-seconds", split("-split-seconds", SplitKind::kSeconds,
                                          [](const std::string& value, uint64_t& number) {
                                              const std::string reason =
                                                  secondsValue(value, number);
                                              return reason.empty() && number == 0
                                                         ? cli::tooSmall(value, "0.000000001")
                                                         : reason;
                                          }));
    parser.option("-split-records", split("-split-records", SplitKind::kRecords,
                                          [](const std::string& value, uint64_t& number) {
                                              std::string reason;
                                              cli::parseCount(value, 1, 0xFFFFFFFF, number, reason);
                                              return reason;
                                          }));
    // A shift holds for the inputs after it: where each began, by the count of inputs then.
    std::vector<std::pair<size_t, int64_t>> shifts;
    parser.option("-shift", [&settings, &shifts](const std::string& value) {
        int64_t shift = 0;
        const std::string reason = parseShift(value, shift);
        if (!reason.empty()) {
            return cli::invalidValue("-shift", reason);
        }
        shifts.emplace_back(settings.inputFileNames.size(), shift);
        return std::string();
    });
    parser.option("-dedup", [&settings](const std::string& value) {
        std::string reason = secondsValue(value, settings.dedupNanoseconds);
        if (!reason.empty()) {
            return cli::invalidValue("-dedup", reason);
        }
        settings.dedupGiven = true;
        return std::string();
    });
    const cli::ParseOutcome outcome = parser.readWithInputs(argc, argv, settings.inputFileNames);
    if (outcome != cli::ParseOutcome::kRun) {
        return outcome;
    }
    settings.inputShifts.assign(settings.inputFileNames.size(), 0);
    for (const auto& [from, shift] : shifts) {
        std::fill(settings.inputShifts.begin() +
                      static_cast<std::ptrdiff_t>(std::min(from, settings.inputShifts.size())),
                  settings.inputShifts.end(), shift);
    }
    if (!shifts.empty() && shifts.back().first == settings.inputFileNames.size()) {
        return parser.refuse("'-shift' applies to the inputs after it: give '-in' after it.");
    }
    if (settings.outputFileName.empty()) {
        return parser.refuse("Missing output filename: give '-out'.");
    }
    return cli::ParseOutcome::kRun;
}
