// A run of consecutive records of one file whose bytes lie as the writers lay them out (B3
// version 1.1 records of type 3, B4 records of type 4), planned by a reader from its index
// entries so that the records can be copied as bytes or decoded straight from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class CXcfPmBinaryCaptureFileParser;

namespace xcf {

class InputFile;

// One record of a loaded run, decoded from its bytes.
struct RunRecord {
    uint32_t seconds = 0;
    uint32_t nanoseconds = 0;
    uint8_t portByte = 0;  // B4: port number and the damaged-frame bit; B3: 0
    uint8_t layer2Type = 0;
    uint8_t recordType = 0;  // as the file's records carry it
    const uint8_t* extension = nullptr;
    uint32_t extensionLength = 0;
    const uint8_t* frame = nullptr;
    uint32_t frameLength = 0;  // stored bytes
};

class RecordRun {
  public:
    enum class Layout : uint8_t { kB3, kB4 };

    RecordRun();
    ~RecordRun();
    RecordRun(const RecordRun&) = delete;
    RecordRun& operator=(const RecordRun&) = delete;

    Layout layout() const { return runLayout; }
    // Number of the run's first record in its file, from 1.
    uint32_t first() const { return firstRecord; }
    uint32_t count() const { return recordCount; }
    uint64_t bytes() const { return bytes(0, recordCount); }
    // Bytes of records [from, from + count), clipped to the run.
    uint64_t bytes(uint32_t from, uint32_t count) const;
    // count() + 1 file offsets: each record's start, then the last one's end.
    const uint32_t* offsets() const { return offsetSlots.data(); }
    // Where its bytes lie; nullptr when empty.
    InputFile* file() const { return input; }

    // Reads the bytes of records [from, from + count) into the run's memory (replacing what
    // was loaded); how many records, from `from` on, were read whole (fewer where the file
    // ends early or fails).
    uint32_t load(uint32_t from, uint32_t count);
    // Record i of the run, which the last load read whole: decoded, with the writers' layout.
    // An empty record for any other i.
    RunRecord view(uint32_t i) const;
    // Of a loaded record: seconds * 1e9 + nanoseconds; 0 for any other.
    uint64_t timeAt(uint32_t i) const;

    // Keeps the first `count` records (the rest were given back).
    void truncate(uint32_t count);
    void clear();

  private:
    // The reader fills the offsets in place: a run holds up to tens of thousands of them,
    // planned afresh for every run.
    friend class ::CXcfPmBinaryCaptureFileParser;

    bool isLoaded(uint32_t i) const { return i >= loadedFrom && i - loadedFrom < loadedCount; }
    const uint8_t* bytesOf(uint32_t i) const {
        return loaded.get() + (offsetSlots[i] - offsetSlots[loadedFrom]);
    }

    Layout runLayout = Layout::kB3;
    uint8_t recordType = 0;
    uint32_t firstRecord = 0;
    uint32_t recordCount = 0;
    InputFile* input = nullptr;
    // Grown only, here and for the loaded bytes: sized down and up again, every run would
    // clear them anew.
    std::vector<uint32_t> offsetSlots;
    std::unique_ptr<uint8_t[]> loaded;
    size_t loadedCapacity = 0;
    uint32_t loadedFrom = 0;
    uint32_t loadedCount = 0;
};

}  // namespace xcf
