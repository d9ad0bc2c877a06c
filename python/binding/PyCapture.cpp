#include "binding/PyCapture.h"

#include <pybind11/stl.h>

#include <algorithm>
#include <utility>

#include "binding/JobMessages.h"
#include "cli/InputFiles.h"
#include "cli/TextCleaning.h"
#include "flow/FileOrderSource.h"
#include "flow/FormatRecords.h"
#include "flow/RecordPump.h"
#include "flow/RecordSink.h"
#include "trcinfo/FileInspector.h"
#include "trcinfo/JsonPresenter.h"

namespace py = pybind11;

namespace pysplicetrc {

namespace {

constexpr uint32_t kSourceSlots = 256;

std::string because(const CXcfCaptureFileCommon& file, int32_t code) {
    const std::string detail = file.lastErrorDetail();
    return xcf::errorText(code) + (detail.empty() ? std::string() : ": " + detail);
}

int32_t failureCode(const CXcfCaptureFileCommon& file) {
    return file.lastErrorCode != CXcfCaptureFileCommon::kErrorNone
               ? file.lastErrorCode
               : CXcfCaptureFileCommon::kErrorCorruptFile;
}

// The columns of every record, written straight into the arrays that Python gets: from runs
// where the records lie as the writers lay them out, record by record elsewhere.
class ColumnsSink : public flow::RecordSink {
  public:
    struct Columns {
        uint32_t* number;
        int64_t* timeNs;
        uint32_t* frameLength;
        uint32_t* storedLength;
        uint8_t* port;
        bool* damaged;
        uint8_t* layer2;
    };
    ColumnsSink(const Columns& into, size_t capacity) : into(into), capacity(capacity) {}

    bool take(const CXcfCaptureRecord& record, const flow::RecordOrigin& origin) override {
        return add(origin.number, flow::recordTime(record), record.getFrameLength(),
                   record.getFrameStoredLength(), record.getPortByte(), record.getLayer2Type());
    }
    uint64_t runBytes(flow::CaptureFormat input) const override {
        return input == flow::CaptureFormat::kOther ? 0 : flow::kLoadedRunBytes;
    }
    uint32_t takeRun(flow::RecordRun& run, const flow::RecordOrigin& origin, bool& stop) override {
        stop = false;
        const uint32_t loaded = run.load(0, run.count());
        uint32_t done = 0;
        for (; done < loaded; ++done) {
            const xcf::RunRecord r = run.view(done);
            if (!add(origin.number + done, flow::recordTime(r.seconds, r.nanoseconds),
                     r.frameLength, r.frameLength, r.portByte, r.layer2Type)) {
                stop = true;
                break;
            }
        }
        return done;
    }
    size_t count() const { return filled; }

  private:
    bool add(uint32_t n, uint64_t time, uint32_t length, uint32_t stored, uint8_t portByte,
             uint8_t layer2Type) {
        if (filled == capacity) {
            return false;  // the header declared no more
        }
        into.number[filled] = n;
        into.timeNs[filled] = static_cast<int64_t>(time);
        into.frameLength[filled] = length;
        into.storedLength[filled] = stored;
        into.port[filled] = static_cast<uint8_t>(portByte & ~CXcfCaptureRecord::kDamagedFrameBit);
        into.damaged[filled] = (portByte & CXcfCaptureRecord::kDamagedFrameBit) != 0;
        into.layer2[filled] = layer2Type;
        ++filled;
        return true;
    }

    Columns into;
    size_t capacity;
    size_t filled = 0;
};

py::object fromJson(const JsonPresenter::Json& value) {
    return py::module_::import("json").attr("loads")(JsonPresenter::text(value));
}

}  // namespace

PyCapture::PyCapture(const std::string& path) : fileName(path) {
    std::string message;
    int32_t code = 0;
    reader = cli::openTesterInput(path, 1, message, &code);
    if (!reader) {
        raiseError("openInputFile", code, message);
    }
}

CXcfPmCaptureFileParser& PyCapture::open() const {
    if (!reader) {
        raiseError("readRecord", CXcfCaptureFileCommon::kErrorNone,
                   "The capture '" + fileName + "' is closed.");
    }
    return *reader;
}

std::string PyCapture::format() const {
    return open().getFormatCode();
}

py::object PyCapture::header() const {
    return fromJson(JsonPresenter::header(open()));
}

std::vector<std::string> PyCapture::sources() const {
    CXcfPmCaptureFileParser& file = open();
    std::vector<std::string> names;
    for (uint32_t slot = 0; slot < kSourceSlots; ++slot) {
        names.push_back(cli::validUtf8(file.getSourceName(slot)));
    }
    return names;
}

uint32_t PyCapture::size() const {
    return open().numberOfRecords;
}

void PyCapture::raiseUnreadable(uint32_t number) const {
    const int32_t code = failureCode(*reader);
    raiseError("readRecord", code,
               "Record " + std::to_string(number) + " of " +
                   std::to_string(reader->numberOfRecords) + " of '" + fileName +
                   "' cannot be read\nbecause: " + because(*reader, code));
}

PyRecord PyCapture::read(uint32_t number) {
    CXcfPmCaptureFileParser& file = open();
    CXcfL2PM410MergedRecord record;
    {
        const std::lock_guard<std::mutex> hold(turn);
        file.lastErrorCode = CXcfCaptureFileCommon::kErrorNone;
        if (!file.readRecord(number, record)) {
            raiseUnreadable(number);
        }
    }
    PyRecord out;
    out.number = number;
    out.timeNs = flow::recordTime(record);
    out.port = record.getPortNumber();
    out.damaged = record.isDamagedFrame();
    out.layer2 = record.getLayer2Type();
    out.recordType = record.getRecordType();
    out.frameLength = record.getFrameLength();
    out.frame.assign(reinterpret_cast<const char*>(record.getFrame()),
                     record.getFrameStoredLength());
    out.extension.assign(reinterpret_cast<const char*>(record.getExtension()),
                         record.getExtensionLength());
    return out;
}

PyRecord PyCapture::at(int64_t index) {
    const int64_t count = size();
    const int64_t position = index < 0 ? index + count : index;
    if (position < 0 || position >= count) {
        throw py::index_error("record index " + std::to_string(index) + " out of range (" +
                              std::to_string(count) + " records)");
    }
    return read(static_cast<uint32_t>(position + 1));
}

py::dict PyCapture::columns() {
    CXcfPmCaptureFileParser& file = open();
    // Arrays for every record the header declares, but no more than the file can hold: a
    // record takes at least an index entry's four bytes.
    const uint64_t fileBound = static_cast<uint64_t>(std::max<int64_t>(file.fileSize, 0)) / 4;
    const auto capacity =
        static_cast<py::ssize_t>(std::min<uint64_t>(file.numberOfRecords, fileBound));
    py::array_t<uint32_t> number(capacity);
    py::array_t<int64_t> timeNs(capacity);
    py::array_t<uint32_t> frameLength(capacity);
    py::array_t<uint32_t> storedLength(capacity);
    py::array_t<uint8_t> port(capacity);
    py::array_t<bool> damaged(capacity);
    py::array_t<uint8_t> layer2(capacity);
    ColumnsSink sink({number.mutable_data(), timeNs.mutable_data(), frameLength.mutable_data(),
                      storedLength.mutable_data(), port.mutable_data(), damaged.mutable_data(),
                      layer2.mutable_data()},
                     static_cast<size_t>(capacity));
    bool stopped = false;
    uint32_t stoppedAt = 0;
    {
        py::gil_scoped_release free;
        const std::lock_guard<std::mutex> hold(turn);
        flow::FileOrderSource source(file, 1);
        source.reportDamageWith([&](const CXcfPmCaptureFileParser&, uint32_t record) {
            stopped = true;
            stoppedAt = record;
        });
        flow::RecordPump pump(source, sink);
        file.lastErrorCode = CXcfCaptureFileCommon::kErrorNone;
        pump.run();
    }
    py::dict columns;
    const auto kept = static_cast<py::ssize_t>(sink.count());
    // Fewer records than declared (a damaged file): copies of the part read, so that the
    // arrays hold no more memory than their records.
    auto cut = [kept, capacity](const py::array& full) -> py::object {
        if (kept == capacity) {
            return full;
        }
        return full[py::slice(0, kept, 1)].attr("copy")();
    };
    columns["number"] = cut(number);
    columns["time_ns"] = cut(timeNs);
    columns["frame_length"] = cut(frameLength);
    columns["stored_length"] = cut(storedLength);
    columns["port"] = cut(port);
    columns["damaged"] = cut(damaged);
    columns["l2"] = cut(layer2);
    if (stopped) {
        warnDamaged("WARNING (columns) - Stopped reading file: '" + fileName + "' at record " +
                    std::to_string(stoppedAt) + " of " + std::to_string(file.numberOfRecords) +
                    "; the records after it are not in the columns.\nbecause: " +
                    because(file, failureCode(file)));
    }
    return columns;
}

py::object PyCapture::stats() {
    CXcfPmCaptureFileParser& file = open();
    CaptureStatistics statistics;
    ReadStop stop;
    bool complete = true;
    {
        py::gil_scoped_release free;
        const std::lock_guard<std::mutex> hold(turn);
        complete = FileInspector::gatherStatistics(file, statistics, stop);
    }
    JsonPresenter::Json figures = JsonPresenter::statistics(file, statistics);
    figures["first_record"] = 1;
    figures["complete"] = complete;
    py::object result = fromJson(figures);
    if (!complete) {
        warnDamaged(stop.warning());
    }
    return result;
}

void PyCapture::close() {
    const std::lock_guard<std::mutex> hold(turn);
    if (reader) {
        reader->close();
        reader.reset();
    }
}

PyRecord PyRecordIterator::next() {
    if (number > capture.size()) {
        throw py::stop_iteration();
    }
    return capture.read(number++);
}

void addCapture(py::module_& module) {
    py::class_<PyRecord>(module, "Record", "One record of a capture, copied out of the file.")
        .def_readonly("number", &PyRecord::number, "The record's number, counted from 1.")
        .def_property_readonly(
            "time_ns", [](const PyRecord& r) { return r.timeNs; },
            "The record's time in nanoseconds since the epoch (an int).")
        .def_property_readonly(
            "timestamp", [](const PyRecord& r) { return static_cast<double>(r.timeNs) / 1e9; },
            "The record's time in seconds since the epoch (a float: about a microsecond of "
            "precision today; time_ns is exact).")
        .def_readonly("port", &PyRecord::port, "The port number, 0 to 127.")
        .def_readonly("damaged", &PyRecord::damaged,
                      "True for a damaged frame (bit 7 of the port byte).")
        .def_readonly("l2", &PyRecord::layer2,
                      "The layer-2 type code: 0 POS PPP, 1 POS Cisco HDLC, 2 GbE.")
        .def_readonly("record_type", &PyRecord::recordType, "The record type code.")
        .def_property_readonly(
            "frame", [](const PyRecord& r) { return py::bytes(r.frame); },
            "The frame's stored bytes.")
        .def_readonly("frame_length", &PyRecord::frameLength,
                      "The frame's original length, as it was on the wire.")
        .def_property_readonly(
            "extension", [](const PyRecord& r) { return py::bytes(r.extension); },
            "The record's extension bytes.")
        .def("__repr__", [](const PyRecord& r) {
            return "<splicetrc.Record " + std::to_string(r.number) +
                   " time_ns=" + std::to_string(r.timeNs) + " port=" + std::to_string(r.port) +
                   " frame_length=" + std::to_string(r.frameLength) +
                   (r.damaged ? " damaged>" : ">");
        });

    py::class_<PyRecordIterator>(module, "RecordIterator",
                                 "The records of a capture in file order.")
        .def("__iter__", [](PyRecordIterator& it) -> PyRecordIterator& { return it; })
        .def("__next__", &PyRecordIterator::next);

    py::class_<PyCapture>(module, "Capture",
                          "A B3 or B4 capture file open for reading: splicetrc.open(path).\n\n"
                          "len(cap) is the number of records the header declares; cap[i] is "
                          "record i, from 0 (negative from the end); iterating gives the records "
                          "in file order. A context manager: the file is closed on leaving.")
        .def(py::init<const std::string&>(), py::arg("path"))
        .def_property_readonly("path", &PyCapture::path, "The path the capture was opened with.")
        .def_property_readonly("format", &PyCapture::format, "\"B3\" or \"B4\".")
        .def_property_readonly("header", &PyCapture::header,
                               "The header as a dict, with the keys and values of the header "
                               "object of trcinfo -json.")
        .def_property_readonly("sources", &PyCapture::sources,
                               "The 256 texts of the source name table (empty for an empty "
                               "slot), as trcinfo -tables lists them.")
        .def_property_readonly("closed", &PyCapture::closed, "True once closed.")
        .def("__len__", &PyCapture::size)
        .def("__getitem__", &PyCapture::at, py::arg("index"))
        .def(
            "__iter__", [](PyCapture& capture) { return PyRecordIterator(capture); },
            py::keep_alive<0, 1>())
        .def("columns", &PyCapture::columns,
             "Every record's fields as NumPy arrays, read in one pass without the GIL: number "
             "(uint32), time_ns (int64), frame_length (uint32), stored_length (uint32), port "
             "(uint8), damaged (bool), l2 (uint8). Ready for pandas.DataFrame(cap.columns()). "
             "A record that cannot be read ends the columns with a DamagedInputWarning.")
        .def("stats", &PyCapture::stats,
             "Statistics over every record as a dict, with the keys and values of the "
             "statistics object of trcinfo -json -stats. A record that cannot be read ends them "
             "with a DamagedInputWarning carrying trcinfo's WARNING line.")
        .def("close", &PyCapture::close, "Closes the file; closing twice is harmless.")
        .def("__enter__", [](PyCapture& capture) -> PyCapture& { return capture; })
        .def("__exit__", [](PyCapture& capture, const py::args&) { capture.close(); });
}

}  // namespace pysplicetrc
