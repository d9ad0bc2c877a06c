// trcgen: writes a B3 or B4 capture file of generated records through the library's
// writer classes. Frames are pseudo-random but reproducible from the seed.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capfile/common/RecordLayout.h"
#include "capfile/write/CXcfPmB3CaptureFileWriter.h"
#include "capfile/write/CXcfPmB4CaptureFileWriter.h"
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
    "  -frame LEN|MIN:MAX  frame length, fixed or cycling through a range (default 60:1514)\n"
    "  -type T             record type of source 0 (default 3 for B3, 4 for B4)\n"
    "  -port TEXT          port type of source 0 (default POS)\n"
    "  -id TEXT            port id of source 0 (default 1A)\n"
    "  -dir TEXT           direction of source 0 (default Rx)\n"
    "  -time SECONDS       timestamp of the first record, with up to six decimals\n"
    "                      (default 1143136731); records follow 1 ms apart\n"
    "  -seed N             seed of the frame bytes (default 1)\n"
    "  -l2 CODE            layer-2 type code of the records (default 2, GbE)\n"
    "  -ports N            B4: records take port numbers 0 to N-1 in turn, each named in the\n"
    "                      source name table (port id ID/1, ID/2, ...)\n"
    "  -damaged K          B4 with -ports: every K-th record is a damaged frame\n";

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
    uint32_t firstSecond = 1143136731;
    uint32_t firstMicroseconds = 0;  // a start between the whole seconds
    uint64_t seed = 1;
    uint32_t layer2 = 2;
    uint32_t ports = 0;    // 0: the port bytes of the plain generator
    uint32_t damaged = 0;  // every K-th record damaged, with -ports
};

bool parseUnsigned(const char* text, uint64_t& value) {
    char* end = nullptr;
    errno = 0;
    unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0') {
        return false;
    }
    value = parsed;
    return true;
}

bool parseOptions(int argc, char* argv[], Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        if (i + 1 >= argc) {
            std::fprintf(stderr, "trcgen: %s needs a value\n", flag.c_str());
            return false;
        }
        const char* value = argv[++i];
        uint64_t number = 0;
        if (flag == "-out") {
            options.out = value;
        } else if (flag == "-format") {
            options.format = value;
            if (options.format != "B3" && options.format != "B4") {
                std::fprintf(stderr, "trcgen: format must be B3 or B4\n");
                return false;
            }
        } else if (flag == "-port") {
            options.port = value;
        } else if (flag == "-id") {
            options.id = value;
        } else if (flag == "-dir") {
            options.direction = value;
        } else if (flag == "-frame") {
            const char* colon = std::strchr(value, ':');
            uint64_t low = 0;
            uint64_t high = 0;
            std::string first = colon ? std::string(value, colon) : std::string(value);
            if (!parseUnsigned(first.c_str(), low) || (colon && !parseUnsigned(colon + 1, high)) ||
                low > 65535 || high > 65535) {
                std::fprintf(stderr, "trcgen: bad -frame value '%s'\n", value);
                return false;
            }
            options.frameMin = static_cast<uint32_t>(low);
            options.frameMax = colon ? static_cast<uint32_t>(high) : options.frameMin;
            if (options.frameMax < options.frameMin) {
                std::fprintf(stderr, "trcgen: -frame range runs backwards\n");
                return false;
            }
        } else if (flag == "-time" && std::strchr(value, '.') != nullptr) {
            const char* point = std::strchr(value, '.');
            std::string fraction = point + 1;
            uint64_t micro = 0;
            if (!parseUnsigned(std::string(value, point).c_str(), number) || number > 0xFFFFFFFFu ||
                fraction.empty() || fraction.size() > 6 ||
                !parseUnsigned((fraction + std::string(6 - fraction.size(), '0')).c_str(), micro)) {
                std::fprintf(stderr, "trcgen: bad -time value '%s'\n", value);
                return false;
            }
            options.firstSecond = static_cast<uint32_t>(number);
            options.firstMicroseconds = static_cast<uint32_t>(micro);
        } else if (parseUnsigned(value, number) && number <= 0xFFFFFFFFu) {
            if (flag == "-records") {
                options.records = static_cast<uint32_t>(number);
            } else if (flag == "-mb") {
                options.megabytes = number;
            } else if (flag == "-l2" && number <= 255) {
                options.layer2 = static_cast<uint32_t>(number);
            } else if (flag == "-ports" && number <= 128) {
                options.ports = static_cast<uint32_t>(number);
            } else if (flag == "-damaged") {
                options.damaged = static_cast<uint32_t>(number);
            } else if (flag == "-type") {
                options.type = static_cast<int32_t>(number);
            } else if (flag == "-time") {
                options.firstSecond = static_cast<uint32_t>(number);
            } else if (flag == "-seed") {
                options.seed = number;
            } else {
                std::fprintf(stderr, "trcgen: unknown option %s\n", flag.c_str());
                return false;
            }
        } else {
            std::fprintf(stderr, "trcgen: bad value '%s' for %s\n", value, flag.c_str());
            return false;
        }
    }
    if (options.out.empty()) {
        std::fprintf(stderr, "trcgen: -out is required\n");
        return false;
    }
    return true;
}

uint64_t nextRandom(uint64_t& state) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
}

}  // namespace

int main(int argc, char* argv[]) {
    cli::installSignalHandlers();
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
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
    for (uint32_t port = 0; port < options.ports; ++port) {
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
    for (uint32_t i = 0; i < options.records && cli::stopSignal() == 0; ++i) {
        const uint32_t length = options.frameMin + i % span;
        for (uint32_t j = 0; j < length; j += 8) {
            uint64_t bits = nextRandom(state);
            std::memcpy(frame.data() + j, &bits, std::min<uint32_t>(8, length - j));
        }
        const uint64_t offset =
            uint64_t{options.firstMicroseconds} * 1000 + (i % 1000) * 1000000ull;
        const uint32_t seconds =
            options.firstSecond + i / 1000 + static_cast<uint32_t>(offset / 1000000000);
        const uint32_t nanoseconds = static_cast<uint32_t>(offset % 1000000000);
        const uint32_t word0 = i;
        const uint32_t word1 = static_cast<uint32_t>(nextRandom(state));
        bool ok;
        if (b4) {
            auto& w = static_cast<CXcfPmB4CaptureFileWriter&>(*writer);
            // Every 97th frame is marked damaged, so the port byte's top bit is exercised.
            uint8_t high = static_cast<uint8_t>((i % 97 == 96 ? 4 : 0) | (i % 4));
            uint8_t low = static_cast<uint8_t>(i % 32);
            if (options.ports != 0) {
                const bool damaged =
                    options.damaged != 0 && i % options.damaged == options.damaged - 1;
                const uint32_t port = i % options.ports;
                high = static_cast<uint8_t>((damaged ? 4 : 0) | (port >> 5));
                low = static_cast<uint8_t>(port & 0x1F);
            }
            ok = w.writeRecordData(high, low, seconds, nanoseconds, static_cast<uint8_t>(i),
                                   static_cast<uint8_t>(options.layer2), word0, word1, length,
                                   frame.data());
        } else {
            auto& w = static_cast<CXcfPmB3CaptureFileWriter&>(*writer);
            ok = w.writeRecordData(seconds, nanoseconds, static_cast<uint8_t>(options.layer2),
                                   word0, word1, length, frame.data());
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
            CXcfTimestamp(static_cast<int32_t>(options.firstSecond + (written - 1) / 1000),
                          static_cast<int32_t>(((written - 1) % 1000) * 1000000u)));
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
