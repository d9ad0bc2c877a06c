#include "capfile/common/RecordRun.h"

#include <algorithm>
#include <new>

#include "capfile/common/InputFile.h"
#include "capfile/common/RecordLayout.h"
#include "record/ByteOrder.h"

namespace xcf {

RecordRun::RecordRun() = default;

RecordRun::~RecordRun() = default;

uint64_t RecordRun::bytes(uint32_t from, uint32_t count) const {
    if (from >= recordCount) {
        return 0;
    }
    count = std::min(count, recordCount - from);
    return uint64_t{offsetSlots[from + count]} - offsetSlots[from];
}

uint32_t RecordRun::load(uint32_t from, uint32_t count) {
    loadedFrom = from;
    loadedCount = 0;
    if (input == nullptr || from >= recordCount) {
        return 0;
    }
    count = std::min(count, recordCount - from);
    // Planning bounded the run's bytes by what its caller allowed, so this is no more.
    const uint64_t want = bytes(from, count);
    if (want > loadedCapacity) {
        loaded.reset(new (std::nothrow) uint8_t[want]);
        loadedCapacity = loaded ? want : 0;
        if (!loaded) {
            return 0;
        }
    }
    const uint64_t got = input->readAt(offsetSlots[from], loaded.get(), want);
    const uint32_t start = offsetSlots[from];
    while (loadedCount < count && offsetSlots[from + loadedCount + 1] - start <= got) {
        ++loadedCount;
    }
    return loadedCount;
}

RunRecord RecordRun::view(uint32_t i) const {
    RunRecord record;
    if (!isLoaded(i)) {
        return record;
    }
    const uint8_t* bytes = bytesOf(i);
    const bool b4 = runLayout == Layout::kB4;
    const uint32_t fields = b4 ? layout::kB4WrittenFieldsSize : layout::kB3WrittenFieldsSize;
    record.seconds = load32(bytes);
    record.nanoseconds = load32(bytes + 4);
    record.portByte = b4 ? bytes[layout::kB4PortOffset] : 0;
    record.layer2Type = bytes[b4 ? layout::kB4Layer2Offset : layout::kB3Layer2Offset];
    record.recordType = recordType;
    record.extension = bytes + (b4 ? layout::kB4ExtensionOffset : layout::kB3ExtensionOffset);
    record.extensionLength = layout::kExtensionWordsSize;
    record.frame = bytes + fields;
    // Planning let only records with at least one frame byte into the run.
    record.frameLength = offsetSlots[i + 1] - offsetSlots[i] - fields;
    return record;
}

uint64_t RecordRun::timeAt(uint32_t i) const {
    if (!isLoaded(i)) {
        return 0;
    }
    const uint8_t* bytes = bytesOf(i);
    return uint64_t{load32(bytes)} * 1000000000u + load32(bytes + 4);
}

void RecordRun::truncate(uint32_t count) {
    recordCount = std::min(recordCount, count);
    if (recordCount == 0) {
        clear();
        return;
    }
    loadedCount = loadedFrom >= recordCount ? 0 : std::min(loadedCount, recordCount - loadedFrom);
}

void RecordRun::clear() {
    input = nullptr;
    firstRecord = 0;
    recordCount = 0;
    loadedFrom = 0;
    loadedCount = 0;
}

}  // namespace xcf
