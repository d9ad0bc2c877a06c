#include "support/CaptureFileBuilder.h"

#include <algorithm>

namespace testsupport {

Bytes CaptureFileBuilder::build(CaptureFileLayout* layout) const {
    CaptureFileLayout where;
    ByteBuilder out;
    out.text(signature).text(formatCode).text(versionText);

    const size_t fixedHeader = out.size();
    out.u32(numberOfRecords.value_or(static_cast<uint32_t>(records.size())))
        .u32(recordLength)
        .u16(masterFormatFlags)
        .u32(0)   // offsetToData, patched below
        .u32(0);  // offsetToIndex, patched below

    out.u16(recordType).fill(255 * 2);

    Bytes table(256 * 128, 0);
    for (const auto& [slot, name] : sourceNames) {
        uint8_t* at = table.data() + size_t{slot} * 128;
        at[0] = static_cast<uint8_t>(name.size() >> 8);
        at[1] = static_cast<uint8_t>(name.size());
        std::copy_n(name.begin(), std::min<size_t>(name.size(), 126), at + 2);
    }
    for (const auto& [slot, raw] : rawSourceSlots) {
        std::copy_n(raw.begin(), std::min<size_t>(raw.size(), 128),
                    table.data() + size_t{slot} * 128);
    }
    out.bytes(table);

    out.counted(headerString);
    where.description = out.size();
    out.counted(description);
    where.captureTimes = out.size();
    if (writeCaptureTimes) {
        out.u16(startHours).u16(startMinutes).u16(startMilliseconds);
        out.u16(stopHours).u16(stopMinutes).u16(stopMilliseconds);
        out.u32(stopSeconds).u32(stopNanoseconds).u32(triggerPacketNumber);
    }
    out.bytes(gapAfterHeader);

    where.data = out.size();
    for (const Bytes& record : records) {
        where.recordOffsets.push_back(static_cast<uint32_t>(out.size()));
        out.bytes(record);
    }

    if (writeIndex && !records.empty()) {
        where.index = out.size();
        const size_t entries =
            std::min(indexEntriesWritten.value_or(records.size()), records.size());
        for (size_t k = 1; k <= entries; ++k) {
            auto overridden = indexOverrides.find(static_cast<uint32_t>(k));
            out.u32(overridden != indexOverrides.end() ? overridden->second
                                                       : where.recordOffsets[k - 1]);
        }
    }
    out.bytes(trailer);

    putAt(out.data(), fixedHeader + 10, 4,
          offsetToData.value_or(static_cast<uint32_t>(where.data)));
    putAt(out.data(), fixedHeader + 14, 4,
          offsetToIndex.value_or(static_cast<uint32_t>(where.index)));

    Bytes bytes = out.data();
    if (truncateAt && *truncateAt < bytes.size()) {
        bytes.resize(*truncateAt);
    }
    where.fileSize = bytes.size();
    if (layout != nullptr) {
        *layout = where;
    }
    return bytes;
}

CaptureFileLayout CaptureFileBuilder::writeTo(const std::string& path) const {
    CaptureFileLayout layout;
    writeFile(path, build(&layout));
    return layout;
}

CaptureFileBuilder CaptureFileBuilder::b4() {
    CaptureFileBuilder builder;
    builder.formatCode = "B4";
    builder.versionText = "01.00";
    builder.recordType = 4;
    builder.masterFormatFlags = 1;
    return builder;
}

Bytes CaptureFileBuilder::b3Record(uint32_t seconds, uint32_t nanoseconds,
                                   std::optional<uint8_t> layer2, const Bytes& extension,
                                   const Bytes& frame) {
    ByteBuilder out;
    out.u32(seconds).u32(nanoseconds);
    if (layer2) {
        out.u8(*layer2);
    }
    return out.bytes(extension).bytes(frame).data();
}

Bytes CaptureFileBuilder::b4Record(uint32_t seconds, uint32_t nanoseconds, uint8_t portByte,
                                   uint8_t statusByte, uint8_t layer2, const Bytes& extension,
                                   const Bytes& frame) {
    ByteBuilder out;
    out.u32(seconds).u32(nanoseconds).u8(portByte).u8(statusByte).u8(layer2);
    return out.bytes(extension).bytes(frame).data();
}

Bytes CaptureFileBuilder::pattern(size_t count, uint8_t first) {
    Bytes bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(first + i);
    }
    return bytes;
}

}  // namespace testsupport
