// trcgen: writes a B3 or B4 capture file of generated records through the library's
// writer classes. Frames are pseudo-random but reproducible from the seed.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "capfile/common/RecordLayout.h"
#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
#include "cli/NumberText.h"
#include "cli/OptionParser.h"
#include "cli/SafeOutput.h"
#include "cli/Signals.h"
#include "record/CXcfTimeOfDay.h"
#include "record/CXcfTimestamp.h"

namespace {

const char kUsage[] =
    "Usage: trcgen -out file [options]\n"
    "  -format B3|B4       output format (default B3)\n"
    "  -records N          number of records (default 10)\n"
    "  -mb N               instead of -records: as many records as make N megabytes\n"
    "  -frame LEN|MIN:MAX  frame length, fixed or cycling through a range, at least 1 byte\n"
    "                      (default 60:1514)\n"
    "  -type T             record type of source 0 (default 3 for B3, 4 for B4)\n"
    "  -port TEXT          port type of source 0 (default POS)\n"
    "  -id TEXT            port id of source 0 (default 1A)\n"
    "  -dir TEXT           direction of source 0 (default Rx)\n"
    "  -time SECONDS       time of the first record, epoch seconds with up to nine decimals\n"
    "                      (default 1143136731)\n"
    "  -step SECONDS       time from one record to the next, up to nine decimals, 0 for\n"
    "                      equal times (default 0.001)\n"
    "  -repeat N           each time is given to N records in a row (default 1)\n"
    "  -back K:SECONDS     every K-th record lies SECONDS before the time it would have,\n"
    "                      a step back in time\n"
    "  -seed N             seed of the frame bytes (default 1)\n"
    "  -l2 CODE[,CODE...]  layer-2 type code of the records (default 2, GbE); several codes\n"
    "                      are given to the records in turn\n"
    "  -l2-run N           with several -l2 codes: each is given to N records in a row\n"
    "                      (default 1)\n"
    "  -ports N            B4: records take port numbers 0 to N-1 in turn, each named in the\n"
    "                      source name table (port id ID/1, ID/2, ...). Without it, B4\n"
    "                      records cycle through port numbers 0, 33, 66, 99, 4, 37, ... and\n"
    "                      only source 0 is named\n"
    "  -first-port P       B4 with -ports: the port numbers start at P (default 0)\n"
    "  -damaged K          B4: every K-th record is a damaged frame (default: every 97th\n"
    "                      without -ports, none with it; 0 for none)\n"
    "  -h, --help          this text\n";

struct Options {
    std::string out;
    std::string format = "B3";
    uint32_t records = 10;
    uint64_t megabytes = 0;  // when set, decides the number of records
    uint32_t frameMin = 60;
    uint32_t frameMax = 1514;
    int32_t type = -1;
    std::string port = "POS";
    std::string id = "1A";
    std::string direction = "Rx";
    uint64_t firstTime = 1143136731ull * 1000000000;  // nanoseconds since the epoch
    uint64_t step = 1000000;                          // nanoseconds
    uint32_t repeat = 1;
    uint32_t backEvery = 0;
    uint64_t back = 0;  // nanoseconds
    uint64_t seed = 1;
    std::vector<uint8_t> layer2 = {2};
    uint32_t layer2Run = 1;
    uint32_t ports = 0;  // 0: the port bytes of the plain generator
    uint32_t firstPort = 0;
    int64_t damaged = -1;  // every K-th record damaged; -1: the plain generator's
};

// "Invalid value for '-time': ..." for a refused number of seconds.
std::string secondsInto(const std::string& option, const std::string& text, uint64_t& into) {
    switch (cli::parseSeconds(text, into)) {
        case cli::Seconds::kGood:
            return std::string();
        case cli::Seconds::kTooManyDecimals:
            return cli::invalidValue(option, cli::tooManyDecimals(text));
        case cli::Seconds::kTooLarge:
            return cli::invalidValue(option, cli::tooLarge(text, "4294967295.999999999"));
        case cli::Seconds::kNotANumber:
            break;
    }
    return cli::invalidValue(option, cli::quoted(text) + " is not a number of seconds");
}

std::function<std::string(const std::string&)> numberInto(const std::string& option,
                                                          uint64_t smallest, uint64_t largest,
                                                          std::function<void(uint64_t)> set) {
    return [option, smallest, largest, set](const std::string& value) {
        uint64_t number = 0;
        std::string reason;
        if (!cli::parseCount(value, smallest, largest, number, reason)) {
            return cli::invalidValue(option, reason);
        }
        set(number);
        return std::string();
    };
}

cli::ParseOutcome parseOptions(int argc, char* argv[], Options& options) {
    cli::OptionParser parser(kUsage);
    parser.help({"-h", "-?", "--help"});
    parser.option("-out", [&options](const std::string& value) {
        options.out = value;
        return std::string();
    });
    parser.option("-format", [&options](const std::string& value) {
        options.format = value;
        return value == "B3" || value == "B4"
                   ? std::string()
                   : cli::invalidValue("-format", cli::quoted(value) + " is neither B3 nor B4");
    });
    parser.option("-port", [&options](const std::string& value) {
        options.port = value;
        return std::string();
    });
    parser.option("-id", [&options](const std::string& value) {
        options.id = value;
        return std::string();
    });
    parser.option("-dir", [&options](const std::string& value) {
        options.direction = value;
        return std::string();
    });
    parser.option("-frame", [&options](const std::string& value) {
        const size_t colon = value.find(':');
        uint64_t low = 0;
        uint64_t high = 0;
        std::string reason;
        // The readers refuse a record without a frame byte: none is written.
        if (!cli::parseCount(value.substr(0, colon), 1, 65535, low, reason) ||
            (colon != std::string::npos &&
             !cli::parseCount(value.substr(colon + 1), 1, 65535, high, reason))) {
            return cli::invalidValue("-frame", reason);
        }
        options.frameMin = static_cast<uint32_t>(low);
        options.frameMax =
            colon != std::string::npos ? static_cast<uint32_t>(high) : options.frameMin;
        return options.frameMax < options.frameMin
                   ? cli::invalidValue("-frame", cli::quoted(value) + " runs backwards")
                   : std::string();
    });
    parser.option("-time", [&options](const std::string& value) {
        return secondsInto("-time", value, options.firstTime);
    });
    parser.option("-step", [&options](const std::string& value) {
        return secondsInto("-step", value, options.step);
    });
    parser.option("-back", [&options](const std::string& value) {
        const size_t colon = value.find(':');
        uint64_t every = 0;
        std::string reason;
        if (colon == std::string::npos) {
            return cli::invalidValue("-back", cli::quoted(value) + " is not K:SECONDS");
        }
        if (!cli::parseCount(value.substr(0, colon), 1, 0xFFFFFFFFu, every, reason)) {
            return cli::invalidValue("-back", reason);
        }
        options.backEvery = static_cast<uint32_t>(every);
        return secondsInto("-back", value.substr(colon + 1), options.back);
    });
    parser.option("-records", numberInto("-records", 0, 0xFFFFFFFFu, [&options](uint64_t n) {
                      options.records = static_cast<uint32_t>(n);
                  }));
    parser.option("-mb",
                  numberInto("-mb", 1, 1000000, [&options](uint64_t n) { options.megabytes = n; }));
    parser.option("-repeat", numberInto("-repeat", 1, 0xFFFFFFFFu, [&options](uint64_t n) {
                      options.repeat = static_cast<uint32_t>(n);
                  }));
    parser.option("-l2", [&options](const std::string& value) {
        options.layer2.clear();
        size_t start = 0;
        while (start <= value.size()) {
            const size_t comma = std::min(value.find(',', start), value.size());
            uint64_t code = 0;
            std::string reason;
            if (!cli::parseCount(value.substr(start, comma - start), 0, 255, code, reason)) {
                return cli::invalidValue("-l2", reason);
            }
            options.layer2.push_back(static_cast<uint8_t>(code));
            start = comma + 1;
        }
        return std::string();
    });
    parser.option("-l2-run", numberInto("-l2-run", 1, 0xFFFFFFFFu, [&options](uint64_t n) {
                      options.layer2Run = static_cast<uint32_t>(n);
                  }));
    parser.option("-first-port", numberInto("-first-port", 0, 127, [&options](uint64_t n) {
                      options.firstPort = static_cast<uint32_t>(n);
                  }));
    parser.option("-ports", numberInto("-ports", 0, 128, [&options](uint64_t n) {
                      options.ports = static_cast<uint32_t>(n);
                  }));
    parser.option("-damaged", numberInto("-damaged", 0, 0xFFFFFFFFu, [&options](uint64_t n) {
                      options.damaged = static_cast<int64_t>(n);
                  }));
    parser.option("-type", numberInto("-type", 0, 0x7FFFFFFF, [&options](uint64_t n) {
                      options.type = static_cast<int32_t>(n);
                  }));
    parser.option("-seed",
                  numberInto("-seed", 0, UINT64_MAX, [&options](uint64_t n) { options.seed = n; }));
    std::string error;
    cli::ParseOutcome outcome = parser.read(argc, argv, error);
    if (outcome == cli::ParseOutcome::kRun && error.empty() && options.out.empty()) {
        error = "Missing value for '-out' parameter.";
    }
    return error.empty() ? outcome : parser.refuse(error);
}

uint64_t nextRandom(uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

// The time of record i (from 0): the first time, a step per group of `repeat` records, and a
// step back on every backEvery-th record. False when it lies outside 32-bit seconds.
bool timeOf(const Options& options, uint32_t i, uint64_t& time) {
    constexpr uint64_t kLatest = 4294967296ull * 1000000000 - 1;
    uint64_t steps = 0;
    uint64_t at = 0;
    if (__builtin_mul_overflow(uint64_t{i / options.repeat}, options.step, &steps) ||
        __builtin_add_overflow(options.firstTime, steps, &at)) {
        return false;
    }
    if (options.backEvery != 0 && (i + 1) % options.backEvery == 0) {
        if (at < options.back) {
            return false;
        }
        at -= options.back;
    }
    time = at;
    return at <= kLatest;
}

}  // namespace

int main(int argc, char* argv[]) {
    cli::installSignalHandlers();
    Options options;
    switch (parseOptions(argc, argv, options)) {
        case cli::ParseOutcome::kRun:
            break;
        case cli::ParseOutcome::kUsage:
            return 0;
        case cli::ParseOutcome::kError:
            return 2;
    }
    const bool b4 = options.format == "B4";
    const int32_t type = options.type >= 0 ? options.type : (b4 ? 4 : 3);
    if (options.megabytes != 0) {
        // A record's bytes in the file: its fields, its frame (on average) and its index entry.
        const uint64_t perRecord =
            (b4 ? xcf::layout::kB4WrittenFieldsSize : xcf::layout::kB3WrittenFieldsSize) +
            (uint64_t{options.frameMin} + options.frameMax) / 2 + xcf::layout::kIndexEntrySize;
        options.records = static_cast<uint32_t>(
            std::min<uint64_t>(options.megabytes * 1000 * 1000 / perRecord, 0xFFFFFFFFu));
    }
    std::unique_ptr<CXcfPmBinaryCaptureFileWriter> writer;
    if (b4) {
        writer = std::make_unique<CXcfPmB4CaptureFileWriter>(options.port, options.id,
                                                             options.direction, type);
    } else {
        writer = std::make_unique<CXcfPmB3CaptureFileWriter>(options.port, options.id,
                                                             options.direction, type);
    }
    if (options.firstPort + options.ports > 128) {
        std::fprintf(stderr, "trcgen: -first-port and -ports go past port 127\n");
        return 2;
    }
    for (uint32_t port = options.firstPort; port < options.firstPort + options.ports; ++port) {
        writer->setSourceName(port, options.port + "," + options.id + "/" +
                                        std::to_string(port + 1) + "," + options.direction);
    }
    // The file appears under its name only when it is complete.
    cli::SafeOutput output;
    std::string reason;
    writer->setCreateExclusively(true);
    if (!output.prepare(options.out, reason) ||
        !output.createTemporary(
            [&writer](const std::string& name) {
                return writer->open(name, "Generated records")
                           ? 0
                           : (writer->systemError() != 0 ? writer->systemError() : EIO);
            },
            reason)) {
        std::fprintf(stderr, "trcgen: cannot create %s: %s\n", options.out.c_str(), reason.c_str());
        return 1;
    }

    uint64_t state = options.seed * 0x9E3779B97F4A7C15ull + 1;
    std::vector<uint8_t> frame(options.frameMax);
    const uint32_t span = options.frameMax - options.frameMin + 1;
    uint32_t written = 0;
    uint64_t lastTime = 0;
    for (uint32_t i = 0; i < options.records && cli::stopSignal() == 0; ++i) {
        const uint32_t length = options.frameMin + i % span;
        for (uint32_t j = 0; j < length; j += 8) {
            uint64_t bits = nextRandom(state);
            std::memcpy(frame.data() + j, &bits, std::min<uint32_t>(8, length - j));
        }
        uint64_t time = 0;
        if (!timeOf(options, i, time)) {
            std::fprintf(stderr,
                         "trcgen: record %u would lie outside the times a capture file can "
                         "hold (0 to 4294967295.999999999 s)\n",
                         i + 1);
            writer->discard();
            return 1;
        }
        const auto seconds = static_cast<uint32_t>(time / 1000000000);
        const auto nanoseconds = static_cast<uint32_t>(time % 1000000000);
        lastTime = time;
        const uint8_t layer2 = options.layer2[i / options.layer2Run % options.layer2.size()];
        const uint32_t word0 = i;
        const uint32_t word1 = static_cast<uint32_t>(nextRandom(state));
        bool ok;
        if (b4) {
            auto& w = static_cast<CXcfPmB4CaptureFileWriter&>(*writer);
            // Without -ports every 97th frame is marked damaged, so that the port byte's top
            // bit is exercised.
            const int64_t every = options.damaged >= 0 ? options.damaged
                                  : options.ports == 0 ? 97
                                                       : 0;
            const bool damaged = every != 0 && (i + 1) % every == 0;
            uint8_t high = static_cast<uint8_t>((damaged ? 4 : 0) | (i % 4));
            uint8_t low = static_cast<uint8_t>(i % 32);
            if (options.ports != 0) {
                const uint32_t port = options.firstPort + i % options.ports;
                high = static_cast<uint8_t>((damaged ? 4 : 0) | (port >> 5));
                low = static_cast<uint8_t>(port & 0x1F);
            }
            ok = w.writeRecordData(high, low, seconds, nanoseconds, static_cast<uint8_t>(i), layer2,
                                   word0, word1, length, frame.data());
        } else {
            auto& w = static_cast<CXcfPmB3CaptureFileWriter&>(*writer);
            ok =
                w.writeRecordData(seconds, nanoseconds, layer2, word0, word1, length, frame.data());
        }
        if (!ok) {
            break;
        }
        ++written;
    }

    CXcfTimeOfDay start;
    start.set(9, 30, 0);
    CXcfTimeOfDay stop;
    const uint32_t minutes = 30 + options.records / 60000;
    stop.set(static_cast<uint16_t>(9 + minutes / 60), static_cast<uint16_t>(minutes % 60),
             static_cast<uint16_t>(options.records % 60000));
    writer->setCaptureStartTimeOfDay(start);
    writer->setCaptureStopTimeOfDay(stop);
    if (written > 0) {
        writer->setCaptureStopTimestamp(
            CXcfTimestamp(static_cast<int32_t>(static_cast<uint32_t>(lastTime / 1000000000)),
                          static_cast<int32_t>(lastTime % 1000000000)));
        writer->setTriggerPacketNumber(written - 1);
    }
    writer->close();
    if (const int signal = cli::stopSignal()) {
        writer->discard();
        cli::endBySignal(signal);
    }
    if (writer->hasFailed() || written != options.records) {
        std::fprintf(stderr, "trcgen: writing %s failed after %u records: %s %s\n",
                     options.out.c_str(), written, writer->errorMessage().c_str(),
                     std::strerror(writer->systemError()));
        writer->discard();
        return 1;
    }
    if (!output.commit(reason)) {
        std::fprintf(stderr, "trcgen: cannot write %s: %s\n", options.out.c_str(), reason.c_str());
        writer->discard();
        return 1;
    }
    return 0;
}
