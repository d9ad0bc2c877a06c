#include "trcedit/EditSettings.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <limits>

#include "cli/Console.h"

namespace {

const char kUsage[] =
    "Usage: trcedit -in FILE [-in FILE ...] -out FILE [-start N] [-num N]\n"
    "               [-from TIME] [-to TIME] [-sort]\n"
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
    "  -start N           the first record to keep, counting from 1 through the records\n"
    "                     -from and -to left (default 1)\n"
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

EditParse fail(const std::string& message) {
    printLine(message);
    printLine("");
    printLine(kUsage);
    return EditParse::kError;
}

bool parseDigits(const std::string& text, uint64_t& value) {
    if (text.empty() || text.size() > 19 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

// Up to nine decimals after a point, as nanoseconds.
bool parseFraction(const std::string& digits, uint64_t& nanoseconds) {
    if (digits.empty() || digits.size() > 9 ||
        digits.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    std::string padded = digits;
    padded.resize(9, '0');
    nanoseconds = std::strtoull(padded.c_str(), nullptr, 10);
    return true;
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
        const size_t point = text.find('.');
        uint64_t seconds = 0;
        uint64_t fraction = 0;
        if (!parseDigits(text.substr(0, point), seconds) ||
            (point != std::string::npos && !parseFraction(text.substr(point + 1), fraction)) ||
            seconds > std::numeric_limits<uint64_t>::max() / kBillion - 1) {
            reason = "'" + text +
                     "' is neither epoch seconds (1143137000.25) nor a UTC time "
                     "(2006-03-23T18:03:20.25Z)";
            return false;
        }
        nanoseconds = seconds * kBillion + fraction;
        return true;
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
    uint64_t year = 0;
    uint64_t fraction = 0;
    const std::string body = text.substr(0, text.size() - 1);
    const size_t point = body.find('.', t);
    const bool good =
        t == 10 && parseDigits(body.substr(0, 4), year) && body[4] == '-' &&
        twoDigits(body, 5, month) && body[7] == '-' && twoDigits(body, 8, day) &&
        twoDigits(body, 11, hour) && body.size() >= 19 && body[13] == ':' &&
        twoDigits(body, 14, minute) && body[16] == ':' && twoDigits(body, 17, second) &&
        (point == std::string::npos ? body.size() == 19
                                    : point == 19 && parseFraction(body.substr(20), fraction)) &&
        year >= 1970 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour < 24 &&
        minute < 60 && second < 60;
    if (!good) {
        reason = "'" + text + "' is not a UTC time of the form 2006-03-23T18:03:20.25Z";
        return false;
    }
    const int64_t days = daysFromCivil(static_cast<int64_t>(year), month, day);
    const uint64_t seconds =
        static_cast<uint64_t>(days) * 86400 + hour * 3600 + minute * 60 + second;
    nanoseconds = seconds * kBillion + fraction;
    return true;
}

bool parseSize(const std::string& text, uint64_t& bytes) {
    if (text.empty()) {
        return false;
    }
    uint64_t unit = 1;
    std::string digits = text;
    switch (text.back()) {
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
    uint64_t value = 0;
    if (!parseDigits(digits, value) || value == 0 ||
        value > std::numeric_limits<uint64_t>::max() / unit) {
        return false;
    }
    bytes = value * unit;
    return true;
}

EditParse parseEditArguments(int argc, char* argv[], EditSettings& settings) {
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "-h" || flag == "-?" || flag == "--help") {
            printLine(kUsage);
            return EditParse::kUsage;
        }
        if (flag == "-sort") {
            settings.sort = true;
            continue;
        }
        const bool known = flag == "-in" || flag == "-out" || flag == "-start" || flag == "-num" ||
                           flag == "-from" || flag == "-to" || flag == "-split-records" ||
                           flag == "-split-bytes" || flag == "-split-seconds";
        if (!known) {
            return fail("Unrecognised flag: " + flag);
        }
        if (i + 1 >= argc) {
            return fail("Missing value for '" + flag + "' parameter.");
        }
        const std::string value = argv[++i];
        std::string reason;
        uint64_t number = 0;
        if (flag == "-in") {
            settings.inputFileNames.push_back(value);
        } else if (flag == "-out") {
            settings.outputFileName = value;
        } else if (flag == "-from" || flag == "-to") {
            uint64_t& target = flag == "-from" ? settings.fromNanoseconds : settings.toNanoseconds;
            if (!parseTime(value, target, reason)) {
                return fail("Invalid value for '" + flag + "': " + reason + ".");
            }
            (flag == "-from" ? settings.fromGiven : settings.toGiven) = true;
        } else if (flag.rfind("-split-", 0) == 0) {
            if (settings.split != SplitKind::kNone) {
                return fail("Give one split option only.");
            }
            if (flag == "-split-bytes") {
                if (!parseSize(value, number)) {
                    return fail("Invalid value for '-split-bytes': '" + value +
                                "' is not a byte count such as 500M.");
                }
                settings.split = SplitKind::kBytes;
            } else if (flag == "-split-seconds") {
                // Seconds with up to nine decimals, as epoch times are written.
                if (!parseTime(value, number, reason) || number == 0 ||
                    value.find('T') != std::string::npos) {
                    return fail("Invalid value for '-split-seconds': '" + value +
                                "' is not a number of seconds above 0.");
                }
                settings.split = SplitKind::kSeconds;
            } else {
                if (!parseDigits(value, number) || number == 0 || number > 0xFFFFFFFFull) {
                    return fail("Invalid value for '-split-records': '" + value +
                                "' is not a number of records above 0.");
                }
                settings.split = SplitKind::kRecords;
            }
            settings.splitValue = number;
        } else {
            if (!parseDigits(value, number) || number > 0xFFFFFFFFull) {
                return fail("The value of '" + flag + "' must be a decimal number, not '" + value +
                            "'.");
            }
            if (flag == "-start") {
                settings.startRecord = number == 0 ? 1 : static_cast<uint32_t>(number);
            } else {
                settings.recordLimit = static_cast<uint32_t>(number);
            }
        }
    }
    if (settings.inputFileNames.empty()) {
        return fail("Missing input filename: give at least one '-in'.");
    }
    if (settings.outputFileName.empty()) {
        return fail("Missing output filename: give '-out'.");
    }
    return EditParse::kRun;
}
