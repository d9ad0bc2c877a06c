// splicetrc.Capture: one B3 or B4 file open for reading, its header as trcinfo -json shows it,
// its records by number (from 0, as Python counts) and in order, its columns as NumPy arrays
// and its statistics.
#pragma once

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "capfile/read/CXcfPmCaptureFileParser.h"
#include "record/CXcfL2PM410MergedRecord.h"

namespace pysplicetrc {

// One record, copied out of the file: it outlives the capture and the next read.
struct PyRecord {
    uint32_t number = 0;  // from 1, as the tools count
    uint64_t timeNs = 0;
    uint8_t port = 0;
    bool damaged = false;
    uint8_t layer2 = 0;
    int32_t recordType = 0;
    uint32_t frameLength = 0;
    std::string frame;
    std::string extension;
};

class PyCapture {
  public:
    explicit PyCapture(const std::string& path);

    const std::string& path() const { return fileName; }
    std::string format() const;
    pybind11::object header() const;
    std::vector<std::string> sources() const;
    uint32_t size() const;
    // Record i from 0; negative counts from the end. IndexError beyond the records,
    // splicetrc.Error for a record that cannot be read.
    PyRecord at(int64_t index);
    // Record number (from 1), or splicetrc.Error naming it.
    PyRecord read(uint32_t number);
    pybind11::dict columns();
    pybind11::object stats();
    void close();
    bool closed() const { return !reader; }

  private:
    CXcfPmCaptureFileParser& open() const;
    // Reads record number into record without the GIL's help; false when it cannot be read.
    bool readInto(uint32_t number, CXcfL2PM410MergedRecord& into);
    [[noreturn]] void raiseUnreadable(uint32_t number) const;

    std::string fileName;
    std::unique_ptr<CXcfPmCaptureFileParser> reader;
    // A reader is one position in one file: calls from several Python threads, which the
    // released GIL lets run together, take turns.
    std::mutex turn;
};

// Iteration in file order, through one capture.
class PyRecordIterator {
  public:
    explicit PyRecordIterator(PyCapture& capture) : capture(capture) {}
    PyRecord next();

  private:
    PyCapture& capture;
    uint32_t number = 1;
};

void addCapture(pybind11::module_& module);

}  // namespace pysplicetrc
