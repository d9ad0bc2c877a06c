// benchfloor: the least each of the benchmark's jobs can cost on this machine. Every
// subcommand moves the same bytes as the program it stands beside, the plainest way there is:
// no checks beyond what keeps it from writing nonsense, no record objects, no options, one
// layout (the one trcgen writes). bench.py times it in the same rounds as the program, so that
// "vs floor" says how far a program is from what its job costs here, where "ratio" against
// cat leaves out what the job adds to a copy (an index, two bytes a record, packet blocks).
//
//   benchfloor copy OUT DATA_OFFSET IN...        records copied in the kernel, index shifted
//   benchfloor convert OUT DATA_OFFSET B3 B4     B3 records gain their two bytes, B4 copied
//   benchfloor pcapng OUT IN...                  one enhanced packet block a record
//   benchfloor sort OUT DATA_OFFSET IN...        a pass over the times, then a k-way merge
//   benchfloor read IN...                        every byte read once, nothing done with it
//
// DATA_OFFSET is the size of the real output's header, so that records land at the same page
// offsets as the program puts them. Each subcommand ends with "bytes N": what it wrote (read,
// for read), for bench.py to hold against the output's size.
#include <fcntl.h>
#include <unistd.h>

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
#include "record/ByteOrder.h"

namespace {

constexpr size_t kReadPiece = 128 * 1024;
constexpr size_t kWritePiece = 256 * 1024;

// The fixed header's fields, big-endian, after the 13 bytes of text ("#MVCF:B301.01").
constexpr size_t kFormatCodeAt = 6;
constexpr size_t kRecordsAt = 13;
constexpr size_t kOffsetToDataAt = 23;
constexpr size_t kOffsetToIndexAt = 27;
constexpr size_t kFixedHeaderSize = 31;

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "benchfloor: %s\n", what.c_str());
    std::exit(1);
}

[[noreturn]] void failErrno(const std::string& what) {
    fail(what + ": " + std::strerror(errno));
}

void readAt(int fd, uint8_t* into, size_t size, uint64_t offset) {
    while (size > 0) {
        const ssize_t got = pread(fd, into, size, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            got < 0 ? failErrno("read") : fail("a file ends before its header says");
        }
        into += got;
        offset += static_cast<uint64_t>(got);
        size -= static_cast<size_t>(got);
    }
}

void writeAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t put = write(fd, bytes, size);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put <= 0) {
            failErrno("write");
        }
        bytes += put;
        size -= static_cast<size_t>(put);
    }
}

struct Input {
    std::string path;
    int fd = -1;
    uint32_t records = 0;
    uint32_t offsetToData = 0;
    uint32_t offsetToIndex = 0;
    size_t fieldsSize = 0;  // what precedes the frame in a written record

    uint64_t dataSize() const { return uint64_t{offsetToIndex} - offsetToData; }
};

Input openInput(const std::string& path) {
    Input in;
    in.path = path;
    in.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (in.fd < 0) {
        failErrno(path);
    }
    uint8_t head[kFixedHeaderSize];
    readAt(in.fd, head, sizeof head, 0);
    if (std::memcmp(head, "#MVCF:B", 7) != 0 || (head[7] != '3' && head[7] != '4')) {
        fail(path + ": not a B3 or B4 file");
    }
    in.records = xcf::load32(head + kRecordsAt);
    in.offsetToData = xcf::load32(head + kOffsetToDataAt);
    in.offsetToIndex = xcf::load32(head + kOffsetToIndexAt);
    in.fieldsSize = head[kFormatCodeAt + 1] == '3' ? xcf::layout::kB3WrittenFieldsSize
                                                   : xcf::layout::kB4WrittenFieldsSize;
    if (in.offsetToIndex < in.offsetToData) {
        fail(path + ": index before the records");
    }
    return in;
}

// The output: small pieces gathered in one reused block, written when it is full; large runs
// go from file to file in the kernel.
class Output {
  public:
    explicit Output(const std::string& path) : block(new uint8_t[kWritePiece]) {
        fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            failErrno(path);
        }
    }

    uint8_t* reserve(size_t size) {
        if (used + size > kWritePiece) {
            flush();
        }
        uint8_t* at = block.get() + used;
        used += size;
        return at;
    }

    void put(const uint8_t* bytes, size_t size) {
        if (size > kWritePiece) {
            flush();
            writeAll(fd, bytes, size);
            written += size;
            return;
        }
        std::memcpy(reserve(size), bytes, size);
    }

    void zeros(uint64_t size) {
        while (size > 0) {
            const size_t piece = static_cast<size_t>(std::min<uint64_t>(size, kWritePiece / 2));
            std::memset(reserve(piece), 0, piece);
            size -= piece;
        }
    }

    // copy_file_range, or a plain read and write where the two files' file systems cannot.
    void copyFrom(int in, uint64_t offset, uint64_t size) {
        flush();
        while (size > 0) {
            loff_t from = static_cast<loff_t>(offset);
            const ssize_t moved = copy_file_range(in, &from, fd, nullptr, size, 0);
            if (moved < 0 && errno == EINTR) {
                continue;
            }
            if (moved < 0 &&
                (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
                readAndWrite(in, offset, size);
                return;
            }
            if (moved <= 0) {
                moved < 0 ? failErrno("copy_file_range") : fail("an input ends early");
            }
            offset += static_cast<uint64_t>(moved);
            size -= static_cast<uint64_t>(moved);
            written += static_cast<uint64_t>(moved);
        }
    }

    void flush() {
        writeAll(fd, block.get(), used);
        written += used;
        used = 0;
    }

    uint64_t position() const { return written + used; }

    void close() {
        flush();
        if (::close(fd) != 0) {
            failErrno("close");
        }
    }

  private:
    void readAndWrite(int in, uint64_t offset, uint64_t size) {
        std::unique_ptr<uint8_t[]> piece(new uint8_t[kReadPiece]);
        while (size > 0) {
            const size_t part = static_cast<size_t>(std::min<uint64_t>(size, kReadPiece));
            readAt(in, piece.get(), part, offset);
            writeAll(fd, piece.get(), part);
            offset += part;
            size -= part;
            written += part;
        }
    }

    int fd = -1;
    std::unique_ptr<uint8_t[]> block;
    size_t used = 0;
    uint64_t written = 0;
};

// A stretch of one file read front to back in pieces of a fixed size; what a record or an
// entry needs is handed out from the piece, the few bytes left at its end moved to the front
// before the next read.
class Stream {
  public:
    Stream(int fd, uint64_t begin, uint64_t end, size_t capacity)
        : fd(fd),
          next(begin),
          end(end),
          capacity(static_cast<size_t>(std::min<uint64_t>(capacity, end - begin))),
          buffer(new uint8_t[std::max<size_t>(this->capacity, 16)]) {}

    // size bytes in one piece, left in the stream; size is at most the capacity.
    const uint8_t* peek(size_t size) {
        if (length - at < size) {
            refill(size);
        }
        return buffer.get() + at;
    }

    const uint8_t* take(size_t size) {
        const uint8_t* bytes = peek(size);
        at += size;
        return bytes;
    }

    void copyTo(Output& out, uint64_t size) {
        while (size > 0) {
            if (at == length) {
                refill(1);
            }
            const size_t part = static_cast<size_t>(std::min<uint64_t>(size, length - at));
            out.put(buffer.get() + at, part);
            at += part;
            size -= part;
        }
    }

    // Read, not jumped over: the pass it stands for reads the whole file.
    void skip(uint64_t size) {
        while (size > 0) {
            if (at == length) {
                refill(1);
            }
            const size_t part = static_cast<size_t>(std::min<uint64_t>(size, length - at));
            at += part;
            size -= part;
        }
    }

    uint32_t entry() { return xcf::load32(take(xcf::layout::kIndexEntrySize)); }

  private:
    void refill(size_t wanted) {
        const size_t left = length - at;
        if (wanted > capacity) {
            fail("a record larger than the read piece");
        }
        std::memmove(buffer.get(), buffer.get() + at, left);
        at = 0;
        length = left;
        const size_t room = static_cast<size_t>(std::min<uint64_t>(capacity - left, end - next));
        if (left + room < wanted) {
            fail("a record runs past the end of the records");
        }
        readAt(fd, buffer.get() + left, room, next);
        next += room;
        length += room;
    }

    int fd;
    uint64_t next;
    uint64_t end;
    size_t capacity;
    std::unique_ptr<uint8_t[]> buffer;
    size_t at = 0;
    size_t length = 0;
};

// Records one after the other with their lengths from the index: an entry gives where a
// record starts, the next entry (or the index itself, for the last) where it ends.
class RecordWalk {
  public:
    RecordWalk(const Input& in, size_t dataPiece, size_t indexPiece)
        : data(in.fd, in.offsetToData, in.offsetToIndex, dataPiece),
          in(in),
          index(in.fd, in.offsetToIndex,
                in.offsetToIndex + uint64_t{xcf::layout::kIndexEntrySize} * in.records,
                indexPiece) {
        if (in.records > 0) {
            start = index.entry();
            if (start != in.offsetToData) {
                fail(in.path + ": the records do not start where the header says");
            }
        }
    }

    // The next record's length, or false after the last.
    bool next(uint32_t& length) {
        if (taken == in.records) {
            return false;
        }
        ++taken;
        const uint32_t end = taken == in.records ? in.offsetToIndex : index.entry();
        if (end < start + xcf::layout::kTimestampSize) {
            fail(in.path + ": a record shorter than its timestamp");
        }
        length = end - start;
        start = end;
        return true;
    }

    Stream data;  // standing at the record next() gave last

  private:
    const Input& in;
    Stream index;
    uint32_t taken = 0;
    uint32_t start = 0;
};

// A record's time as one number that orders as the time does: seconds, then nanoseconds.
uint64_t timeKey(const uint8_t* timestamp) {
    return uint64_t{xcf::load32(timestamp)} << 32 | xcf::load32(timestamp + 4);
}

// Index entries of an input moved by shift, as a merge writes them.
void writeShiftedIndex(Output& out, const Input& in, uint32_t shift) {
    Stream index(in.fd, in.offsetToIndex,
                 in.offsetToIndex + uint64_t{xcf::layout::kIndexEntrySize} * in.records,
                 kReadPiece);
    for (uint32_t i = 0; i < in.records; ++i) {
        xcf::store32(out.reserve(xcf::layout::kIndexEntrySize), index.entry() + shift);
    }
}

uint32_t outputOffset(uint64_t position) {
    if (position > UINT32_MAX) {
        fail("the output passes 4 GiB, beyond what an index entry holds");
    }
    return static_cast<uint32_t>(position);
}

uint64_t parseSize(const char* text) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (end == text || *end != '\0') {
        fail(std::string("not a number: ") + text);
    }
    return value;
}

std::vector<Input> openInputs(int argc, char** argv, int first) {
    std::vector<Input> inputs;
    for (int i = first; i < argc; ++i) {
        inputs.push_back(openInput(argv[i]));
    }
    if (inputs.empty()) {
        fail("no inputs");
    }
    return inputs;
}

uint64_t copy(Output& out, uint64_t dataOffset, const std::vector<Input>& inputs) {
    out.zeros(dataOffset);
    std::vector<uint64_t> starts;
    for (const Input& in : inputs) {
        starts.push_back(out.position());
        out.copyFrom(in.fd, in.offsetToData, in.dataSize());
    }
    outputOffset(out.position());
    for (size_t i = 0; i < inputs.size(); ++i) {
        writeShiftedIndex(out, inputs[i],
                          static_cast<uint32_t>(starts[i] - inputs[i].offsetToData));
    }
    return out.position();
}

uint64_t convert(Output& out, uint64_t dataOffset, const Input& b3, const Input& b4) {
    static const uint8_t kPortAndStatus[2] = {0, 0};
    out.zeros(dataOffset);
    RecordWalk walk(b3, kReadPiece, kReadPiece);
    uint32_t length = 0;
    while (walk.next(length)) {
        out.put(walk.data.take(xcf::layout::kTimestampSize), xcf::layout::kTimestampSize);
        out.put(kPortAndStatus, sizeof kPortAndStatus);
        walk.data.copyTo(out, length - xcf::layout::kTimestampSize);
    }
    const uint64_t b4Start = out.position();
    out.copyFrom(b4.fd, b4.offsetToData, b4.dataSize());
    outputOffset(out.position());

    // The B3 records moved by where they now start and by the two bytes of each before them.
    Stream index(b3.fd, b3.offsetToIndex,
                 b3.offsetToIndex + uint64_t{xcf::layout::kIndexEntrySize} * b3.records,
                 kReadPiece);
    const uint32_t shift = static_cast<uint32_t>(dataOffset - b3.offsetToData);
    for (uint32_t i = 0; i < b3.records; ++i) {
        xcf::store32(out.reserve(xcf::layout::kIndexEntrySize), index.entry() + shift + 2 * i);
    }
    writeShiftedIndex(out, b4, static_cast<uint32_t>(b4Start - b4.offsetToData));
    return out.position();
}

void store32le(uint8_t* at, uint32_t value) {
    xcf::store32LittleEndian(at, value);
}

uint64_t pcapng(Output& out, const std::vector<Input>& inputs) {
    // Section header: byte-order magic, version 1.0, section length not given, no options.
    uint8_t* section = out.reserve(28);
    store32le(section, 0x0A0D0D0Au);
    store32le(section + 4, 28);
    store32le(section + 8, 0x1A2B3C4Du);
    xcf::store16LittleEndian(section + 12, 1);
    xcf::store16LittleEndian(section + 14, 0);
    store32le(section + 16, 0xFFFFFFFFu);
    store32le(section + 20, 0xFFFFFFFFu);
    store32le(section + 24, 28);
    // One Ethernet interface with nanosecond times (if_tsresol 9).
    uint8_t* interface = out.reserve(32);
    store32le(interface, 1);
    store32le(interface + 4, 32);
    xcf::store16LittleEndian(interface + 8, 1);
    xcf::store16LittleEndian(interface + 10, 0);
    store32le(interface + 12, 0);
    xcf::store16LittleEndian(interface + 16, 9);
    xcf::store16LittleEndian(interface + 18, 1);
    store32le(interface + 20, 9);
    store32le(interface + 24, 0);
    store32le(interface + 28, 32);

    static const uint8_t kZeros[4] = {0, 0, 0, 0};
    for (const Input& in : inputs) {
        RecordWalk walk(in, kReadPiece, kReadPiece);
        uint32_t length = 0;
        while (walk.next(length)) {
            if (length < in.fieldsSize) {
                fail(in.path + ": a record shorter than its fields");
            }
            const uint8_t* fields = walk.data.take(in.fieldsSize);
            const uint64_t time =
                uint64_t{xcf::load32(fields)} * 1000000000u + xcf::load32(fields + 4);
            const uint32_t frame = length - static_cast<uint32_t>(in.fieldsSize);
            const uint32_t padding = (4 - (frame & 3)) & 3;
            // 28 fixed bytes, the frame padded to 4, epb_flags, opt_endofopt, the length again.
            const uint32_t total = 28 + frame + padding + 16;
            uint8_t* head = out.reserve(28);
            store32le(head, 6);
            store32le(head + 4, total);
            store32le(head + 8, 0);
            store32le(head + 12, static_cast<uint32_t>(time >> 32));
            store32le(head + 16, static_cast<uint32_t>(time));
            store32le(head + 20, frame);
            store32le(head + 24, frame);
            walk.data.copyTo(out, frame);
            out.put(kZeros, padding);
            uint8_t* tail = out.reserve(16);
            xcf::store16LittleEndian(tail, 2);
            xcf::store16LittleEndian(tail + 2, 4);
            store32le(tail + 4, 1);
            store32le(tail + 8, 0);
            store32le(tail + 12, total);
        }
    }
    return out.position();
}

// One input's place in the merge: its records in order and the length of the one at its head.
struct Lane {
    std::unique_ptr<RecordWalk> walk;
    uint32_t length = 0;

    // The time of the record at the head, or false after the last record.
    bool advance(uint64_t& key) {
        if (!walk->next(length)) {
            return false;
        }
        key = timeKey(walk->data.peek(xcf::layout::kTimestampSize));
        return true;
    }
};

// A heap entry carries its lane's time, so that ordering the heap reads no lane.
struct Head {
    uint64_t key;
    uint32_t lane;

    bool operator<(const Head& other) const {
        return key != other.key ? key < other.key : lane < other.lane;
    }
};

uint64_t sort(Output& out, uint64_t dataOffset, const std::vector<Input>& inputs) {
    // The times pass: every input read once, front to back, each record's time taken where
    // the index puts it; inputs out of order are not what this floor stands for.
    uint64_t total = 0;
    for (const Input& in : inputs) {
        RecordWalk walk(in, kReadPiece, kReadPiece);
        uint32_t length = 0;
        uint64_t last = 0;
        while (walk.next(length)) {
            const uint64_t key = timeKey(walk.data.take(xcf::layout::kTimestampSize));
            if (key < last) {
                fail(in.path + ": not in time order");
            }
            last = key;
            walk.data.skip(length - xcf::layout::kTimestampSize);
        }
        total += in.records;
    }

    // Thousands of inputs each with a 128 KiB piece would touch hundreds of megabytes of fresh
    // pages, which costs more than the smaller reads (3,000 inputs: 1.8 s against 0.6 s): the
    // pieces share 32 MiB, 16 KiB at least, room for a jumbo frame.
    const size_t shared = (size_t{32} << 20) / inputs.size() / 4096 * 4096;
    const size_t piece = std::clamp<size_t>(shared, 16 * 1024, kReadPiece);
    std::vector<Lane> lanes(inputs.size());
    std::vector<Head> heap;  // the earliest at the top
    for (uint32_t i = 0; i < inputs.size(); ++i) {
        lanes[i].walk.reset(new RecordWalk(inputs[i], piece, std::min<size_t>(piece, 4096)));
        Head head{0, i};
        if (lanes[i].advance(head.key)) {
            heap.push_back(head);
        }
    }
    std::sort(heap.begin(), heap.end());
    // The top lane moves on after each record: it sinks to its place, one path down.
    const auto sink = [&heap]() {
        const size_t count = heap.size();
        size_t at = 0;
        for (;;) {
            size_t child = 2 * at + 1;
            if (child >= count) {
                break;
            }
            if (child + 1 < count && heap[child + 1] < heap[child]) {
                ++child;
            }
            if (!(heap[child] < heap[at])) {
                break;
            }
            std::swap(heap[child], heap[at]);
            at = child;
        }
    };

    std::vector<uint32_t> index;  // the output's entries, big-endian already
    index.reserve(total);
    out.zeros(dataOffset);
    while (!heap.empty()) {
        Lane& lane = lanes[heap.front().lane];
        uint8_t entry[4];
        xcf::store32(entry, outputOffset(out.position()));
        uint32_t stored;
        std::memcpy(&stored, entry, sizeof stored);
        index.push_back(stored);
        lane.walk->data.copyTo(out, lane.length);
        if (!lane.advance(heap.front().key)) {
            heap.front() = heap.back();
            heap.pop_back();
        }
        sink();
    }
    outputOffset(out.position());
    out.put(reinterpret_cast<const uint8_t*>(index.data()), index.size() * sizeof index[0]);
    return out.position();
}

uint64_t readAll(const std::vector<std::string>& paths) {
    std::unique_ptr<uint8_t[]> piece(new uint8_t[kReadPiece]);
    uint64_t total = 0;
    for (const std::string& path : paths) {
        const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            failErrno(path);
        }
        uint64_t offset = 0;
        for (;;) {
            const ssize_t got = pread(fd, piece.get(), kReadPiece, static_cast<off_t>(offset));
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                failErrno(path);
            }
            if (got == 0) {
                break;
            }
            offset += static_cast<uint64_t>(got);
        }
        total += offset;
        close(fd);
    }
    return total;
}

const char kUsage[] =
    "Usage: benchfloor copy OUT DATA_OFFSET IN...\n"
    "       benchfloor convert OUT DATA_OFFSET IN_B3 IN_B4\n"
    "       benchfloor pcapng OUT IN...\n"
    "       benchfloor sort OUT DATA_OFFSET IN...\n"
    "       benchfloor read IN...\n";

}  // namespace

int main(int argc, char** argv) {
    const std::string command = argc > 1 ? argv[1] : "";
    uint64_t bytes = 0;
    if (command == "read" && argc > 2) {
        bytes = readAll(std::vector<std::string>(argv + 2, argv + argc));
    } else if (command == "pcapng" && argc > 3) {
        const std::vector<Input> inputs = openInputs(argc, argv, 3);
        Output out(argv[2]);
        bytes = pcapng(out, inputs);
        out.close();
    } else if ((command == "copy" || command == "sort") && argc > 4) {
        const uint64_t dataOffset = parseSize(argv[3]);
        const std::vector<Input> inputs = openInputs(argc, argv, 4);
        Output out(argv[2]);
        bytes = command == "copy" ? copy(out, dataOffset, inputs) : sort(out, dataOffset, inputs);
        out.close();
    } else if (command == "convert" && argc == 6) {
        const uint64_t dataOffset = parseSize(argv[3]);
        const std::vector<Input> inputs = openInputs(argc, argv, 4);
        if (inputs[0].fieldsSize != xcf::layout::kB3WrittenFieldsSize ||
            inputs[1].fieldsSize != xcf::layout::kB4WrittenFieldsSize) {
            fail("convert takes a B3 input, then a B4 input");
        }
        Output out(argv[2]);
        bytes = convert(out, dataOffset, inputs[0], inputs[1]);
        out.close();
    } else {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::printf("bytes %llu\n", static_cast<unsigned long long>(bytes));
    return 0;
}
