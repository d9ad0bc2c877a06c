#include "support/BadInputCatalogue.h"

#include <utility>

#include "capfile/common/CXcfCaptureFileCommon.h"
#include "capfile/common/RecordLayout.h"

namespace testsupport {

namespace {

using xcf::layout::kIndexEntrySize;

constexpr int32_t kShortRead = CXcfCaptureFileCommon::kErrorCorruptFile;
constexpr int32_t kNotRecognised = CXcfCaptureFileCommon::kErrorFormatNotRecognised;
constexpr int32_t kBadHeader = CXcfCaptureFileCommon::kErrorCorruptHeader;

// Field positions that every tester-family file shares.
constexpr size_t kNumberOfRecords = 13;
constexpr size_t kRecordLength = 17;
constexpr size_t kMasterFormatFlags = 21;
constexpr size_t kOffsetToData = 23;
constexpr size_t kOffsetToIndex = 27;
constexpr size_t kRecordTypeEntry0 = CaptureFileLayout::kRecordTypeTable;
constexpr size_t kSourceSlot0 = CaptureFileLayout::kSourceNameTable;
constexpr size_t kHeaderString = CaptureFileLayout::kHeaderString;
constexpr uint32_t kRecordCount = 3;

// A header field of `width` bytes (2 or 4) at `at` set to `value`.
struct FieldCase {
    const char* field;
    size_t at;
    size_t width;
    uint32_t value;
    Expected expected;
};

DamagedCase withValue(const CatalogueSample& sample, const std::string& name, size_t at,
                      size_t width, uint32_t value, const Expected& expected) {
    DamagedCase c{name, sample.bytes, expected};
    putAt(c.bytes, at, width, value);
    return c;
}

std::vector<DamagedCase> fieldCases(const CatalogueSample& sample,
                                    const std::vector<FieldCase>& fields) {
    std::vector<DamagedCase> cases;
    for (const FieldCase& f : fields) {
        cases.push_back(withValue(sample, std::string(f.field) + " = " + std::to_string(f.value),
                                  f.at, f.width, f.value, f.expected));
    }
    return cases;
}

// What the file's reader must do with the file cut to `length` bytes.
Expected forTruncation(size_t length, const CaptureFileLayout& layout, size_t fullSize) {
    if (length < 8) {
        return Expected::refused(kShortRead);  // signature or format code incomplete
    }
    if (length < 13) {
        return Expected::refused(kNotRecognised);  // version text incomplete
    }
    if (length < layout.index) {
        return Expected::refused(kBadHeader);  // header incomplete, or the index lies beyond
    }
    if (length == fullSize) {
        return Expected::opens(kRecordCount);
    }
    // The index is cut: a record's length needs the next record's entry.
    const size_t wholeEntries = (length - layout.index) / kIndexEntrySize;
    return Expected::upTo(wholeEntries == 0 ? 0 : wholeEntries - 1);
}

std::vector<DamagedCase> truncated(const CatalogueSample& sample) {
    const size_t fileSize = sample.bytes.size();
    std::vector<size_t> lengths;
    // Every length through the prefix, the fixed header and into the record type table.
    for (size_t n = 0; n < 200; ++n) {
        lengths.push_back(n);
    }
    // A stride through the big tables, not a multiple of the source name slot size.
    for (size_t n = 200; n < kHeaderString; n += 127) {
        lengths.push_back(n);
    }
    // Every length from the end of the tables on: counted strings, capture times, records,
    // index.
    for (size_t n = kHeaderString - 8; n <= fileSize; ++n) {
        lengths.push_back(n);
    }
    std::vector<DamagedCase> cases;
    for (size_t length : lengths) {
        cases.push_back({"cut to " + std::to_string(length) + " bytes",
                         Bytes(sample.bytes.begin(), sample.bytes.begin() + length),
                         forTruncation(length, sample.layout, fileSize)});
    }
    return cases;
}

std::vector<DamagedCase> fixedHeaderFields(const CatalogueSample& sample) {
    const uint32_t pastEnd = static_cast<uint32_t>(sample.bytes.size() + 1);
    return fieldCases(
        sample,
        {
            // No records but an index: the layout check refuses it.
            {"numberOfRecords", kNumberOfRecords, 4, 0, Expected::refused(kBadHeader)},
            // One record: it runs up to the index, swallowing the other two.
            {"numberOfRecords", kNumberOfRecords, 4, 1, Expected::reshaped(1)},
            // More records than the index holds: entries past its end do not exist.
            {"numberOfRecords", kNumberOfRecords, 4, 0xFFFFFFFF, Expected::upTo(kRecordCount)},
            {"numberOfRecords", kNumberOfRecords, 4, pastEnd, Expected::upTo(kRecordCount)},
            {"numberOfRecords", kNumberOfRecords, 4, 0x80000000, Expected::upTo(kRecordCount)},
            {"recordLength", kRecordLength, 4, 0, Expected::opens(kRecordCount)},
            // Records of one byte hold no fields.
            {"recordLength", kRecordLength, 4, 1, Expected::opens(0)},
            {"recordLength", kRecordLength, 4, 0xFFFFFFFF, Expected::refused(kBadHeader)},
            {"recordLength", kRecordLength, 4, pastEnd, Expected::refused(kBadHeader)},
            {"masterFormatFlags", kMasterFormatFlags, 2, 0, Expected::opens(kRecordCount)},
            {"masterFormatFlags", kMasterFormatFlags, 2, 1, Expected::opens(kRecordCount)},
            {"masterFormatFlags", kMasterFormatFlags, 2, 0xFFFF, Expected::opens(kRecordCount)},
            {"masterFormatFlags", kMasterFormatFlags, 2, pastEnd, Expected::opens(kRecordCount)},
            {"offsetToData", kOffsetToData, 4, 0, Expected::refused(kBadHeader)},
            // The index still finds every record, and each lies after this start.
            {"offsetToData", kOffsetToData, 4, 1, Expected::opens(kRecordCount)},
            {"offsetToData", kOffsetToData, 4, 0xFFFFFFFF, Expected::refused(kBadHeader)},
            {"offsetToData", kOffsetToData, 4, pastEnd, Expected::refused(kBadHeader)},
            // Without an index no record can be found.
            {"offsetToIndex", kOffsetToIndex, 4, 0, Expected::opens(0)},
            {"offsetToIndex", kOffsetToIndex, 4, 1, Expected::refused(kBadHeader)},
            {"offsetToIndex", kOffsetToIndex, 4, 0xFFFFFFFF, Expected::refused(kBadHeader)},
            {"offsetToIndex", kOffsetToIndex, 4, pastEnd, Expected::refused(kBadHeader)},
        });
}

std::vector<DamagedCase> recordTypes(const CatalogueSample& sample) {
    const bool b4 = sample.format == Format::B4;
    const uint32_t pastEnd = static_cast<uint32_t>(sample.bytes.size() + 1);
    struct Case {
        uint32_t type;
        Expected expected;
    };
    // A B3 file of type 0 to 2 still has a layout: the extension shrinks and the frame grows.
    // A B4 reader reads only the type with all three single-byte fields.
    const std::vector<Case> types = {
        {0, b4 ? Expected::opens(0) : Expected::reshaped(kRecordCount)},
        {1, b4 ? Expected::opens(0) : Expected::reshaped(kRecordCount)},
        {5, Expected::opens(0)},
        {0xFFFF, Expected::opens(0)},
        {pastEnd & 0xFFFF, Expected::opens(0)},
    };
    std::vector<DamagedCase> cases;
    for (const Case& c : types) {
        cases.push_back(withValue(sample, "record type " + std::to_string(c.type),
                                  kRecordTypeEntry0, 2, c.type, c.expected));
    }
    return cases;
}

std::vector<DamagedCase> countedLengths(const CatalogueSample& sample) {
    const uint32_t pastEnd = static_cast<uint32_t>(sample.bytes.size() + 1);
    const size_t description = sample.layout.description;
    return fieldCases(
        sample,
        {
            // Source name slot 0 holds 126 characters at most; longer lengths stay in the
            // slot.
            {"source name length", kSourceSlot0, 2, 0, Expected::opens(kRecordCount)},
            {"source name length", kSourceSlot0, 2, 1, Expected::opens(kRecordCount)},
            {"source name length", kSourceSlot0, 2, 127, Expected::opens(kRecordCount)},
            {"source name length", kSourceSlot0, 2, 0xFFFF, Expected::opens(kRecordCount)},
            {"source name length", kSourceSlot0, 2, pastEnd, Expected::opens(kRecordCount)},
            // Too short: the text's first characters are read as the next length, too long.
            {"header string length", kHeaderString, 2, 0, Expected::refused(kBadHeader)},
            {"header string length", kHeaderString, 2, 1, Expected::refused(kBadHeader)},
            {"header string length", kHeaderString, 2, 0xFFFF, Expected::refused(kBadHeader)},
            {"header string length", kHeaderString, 2, pastEnd, Expected::refused(kBadHeader)},
            // Too short: the capture times come from the description's text; the records are
            // found through the header's offsets all the same.
            {"description length", description, 2, 0, Expected::opens(kRecordCount)},
            {"description length", description, 2, 1, Expected::opens(kRecordCount)},
            {"description length", description, 2, 0xFFFF, Expected::refused(kBadHeader)},
            {"description length", description, 2, pastEnd, Expected::refused(kBadHeader)},
        });
}

std::vector<DamagedCase> captureTimes(const CatalogueSample& sample) {
    const uint32_t pastEnd = static_cast<uint32_t>(sample.bytes.size() + 1);
    const size_t at = sample.layout.captureTimes;
    // Offset and width of each field of the capture times block.
    const std::vector<std::pair<size_t, size_t>> fields = {
        {0, 2}, {2, 2}, {4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 4}, {16, 4}, {20, 4},
    };
    std::vector<DamagedCase> cases;
    for (const auto& [offset, width] : fields) {
        const uint32_t max = width == 2 ? 0xFFFF : 0xFFFFFFFF;
        for (uint32_t value : {0u, 1u, max, pastEnd}) {
            cases.push_back(withValue(
                sample,
                "capture times byte " + std::to_string(offset) + " = " + std::to_string(value),
                at + offset, width, value, Expected::opens(kRecordCount)));
        }
    }
    return cases;
}

std::vector<DamagedCase> indexEntries(const CatalogueSample& sample) {
    const auto offsetOfRecord = [&sample](uint32_t k) {
        return sample.layout.recordOffsets.at(k - 1);
    };
    const uint32_t dataStart = static_cast<uint32_t>(sample.layout.data);
    std::vector<DamagedCase> cases;
    for (uint32_t k = 1; k <= kRecordCount; ++k) {
        const uint32_t previous = k == 1 ? offsetOfRecord(2) : offsetOfRecord(k - 1);
        struct Lie {
            const char* kind;
            uint32_t value;
        };
        const std::vector<Lie> lies = {
            {"into the header", 100},
            {"past the end", static_cast<uint32_t>(sample.bytes.size() + 10)},
            // Before the record in front of it (for record 1: before the data).
            {"backwards", k == 1 ? dataStart - 1 : previous - 1},
            // The same offset as its neighbour: a record of no bytes.
            {"duplicated", previous},
        };
        for (const Lie& lie : lies) {
            // Record k cannot be read, and neither can record k - 1, whose length ends at
            // entry k.
            cases.push_back(withValue(sample, "index entry " + std::to_string(k) + " " + lie.kind,
                                      sample.layout.index + kIndexEntrySize * (k - 1), 4, lie.value,
                                      Expected::opens(k >= 2 ? k - 2 : 0)));
        }
    }
    return cases;
}

}  // namespace

CatalogueSample makeCatalogueSample(Format format) {
    const bool b4 = format == Format::B4;
    CaptureFileBuilder builder = b4 ? CaptureFileBuilder::b4() : CaptureFileBuilder();
    // The text header starts with "#T": read from one or two bytes too early, its characters
    // make a length of over 9000 bytes, more than the rest of the file holds.
    builder.headerString = "#Test header\n";
    builder.sourceNames[0] = b4 ? "ETH,2/3,Rx" : "POS,1A,Rx";
    CatalogueSample sample;
    sample.format = format;
    for (uint32_t k = 1; k <= kRecordCount; ++k) {
        RecordCopy r;
        // Out of time order (102, 100, 101): a time-ordered merge must index the file and
        // read its records again by number, after whatever read failed.
        r.seconds = 100 + (k + 1) % kRecordCount;
        r.nanoseconds = 1000 * k;
        r.layer2Type = 2;
        r.extension = CaptureFileBuilder::pattern(xcf::layout::kExtensionWordsSize,
                                                  static_cast<uint8_t>(0xE0 + k));
        r.frame = CaptureFileBuilder::pattern(20 + 5 * k, static_cast<uint8_t>(k));
        if (b4) {
            r.portByte =
                static_cast<uint8_t>(k == 2 ? xcf::layout::kDamagedFrameBit | 5 : 0x20 + k);
            r.frameGood = (r.portByte & xcf::layout::kDamagedFrameBit) == 0;
            r.statusByte = static_cast<uint8_t>(0x10 + k);
            builder.records.push_back(
                CaptureFileBuilder::b4Record(r.seconds, r.nanoseconds, r.portByte, r.statusByte,
                                             r.layer2Type, r.extension, r.frame));
        } else {
            builder.records.push_back(CaptureFileBuilder::b3Record(
                r.seconds, r.nanoseconds, r.layer2Type, r.extension, r.frame));
        }
        sample.records.push_back(r);
    }
    sample.bytes = builder.build(&sample.layout);
    return sample;
}

const char* damageKindName(DamageKind kind) {
    switch (kind) {
        case DamageKind::kTruncated:
            return "truncated";
        case DamageKind::kFixedHeaderFields:
            return "header-field";
        case DamageKind::kRecordTypes:
            return "record-type";
        case DamageKind::kCountedLengths:
            return "counted-length";
        case DamageKind::kCaptureTimes:
            return "capture-times";
        case DamageKind::kIndexEntries:
            return "index-entry";
    }
    return "";
}

std::vector<DamagedCase> damagedCases(const CatalogueSample& sample, DamageKind kind) {
    switch (kind) {
        case DamageKind::kTruncated:
            return truncated(sample);
        case DamageKind::kFixedHeaderFields:
            return fixedHeaderFields(sample);
        case DamageKind::kRecordTypes:
            return recordTypes(sample);
        case DamageKind::kCountedLengths:
            return countedLengths(sample);
        case DamageKind::kCaptureTimes:
            return captureTimes(sample);
        case DamageKind::kIndexEntries:
            return indexEntries(sample);
    }
    return {};
}

}  // namespace testsupport
