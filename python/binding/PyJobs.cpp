#include "binding/PyJobs.h"

#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "binding/JobMessages.h"
#include "cli/OptionParser.h"
#include "splicetrc/AppendRun.h"
#include "splicetrc/RunSettings.h"
#include "trc2pcap/ExportRun.h"
#include "trc2pcap/ExportSettings.h"
#include "trcedit/ChunkedOutput.h"
#include "trcedit/EditRun.h"
#include "trcedit/EditSettings.h"

namespace py = pybind11;

namespace pysplicetrc {

namespace {

// A command line for a program's own parser: the words of each option, built from Python
// values as a user would type them.
class CommandLine {
  public:
    explicit CommandLine(const std::string& program) { words.push_back(program); }

    void add(const std::string& option, const std::string& value) {
        words.push_back(option);
        words.push_back(value);
    }
    void flag(const std::string& option) { words.push_back(option); }
    void inputs(const std::vector<std::string>& names) {
        if (names.empty()) {
            throw py::value_error("give at least one input");
        }
        for (const std::string& name : names) {
            add("-in", name);
        }
    }
    // An int as decimal text; a str as it is.
    void number(const std::string& option, const py::object& value) {
        if (py::isinstance<py::bool_>(value)) {
            throw py::type_error(option.substr(1) + " takes an int, not a bool");
        }
        add(option, py::str(value).cast<std::string>());
    }
    // Seconds as text with up to nine decimals: a float through its shortest exact text
    // (0.001, not 0.001000000000000000020816...), an int, or a str as it is.
    void seconds(const std::string& option, const py::object& value) {
        if (py::isinstance<py::float_>(value)) {
            const double seconds = value.cast<double>();
            if (!std::isfinite(seconds)) {
                throw py::value_error(option.substr(1) + " must be finite");
            }
            add(option, py::repr(value).cast<std::string>());
            return;
        }
        number(option, value);
    }
    // A time: nanoseconds since the epoch as an int, or the text forms of the command line.
    void time(const std::string& option, const py::object& value) {
        if (py::isinstance<py::int_>(value) && !py::isinstance<py::bool_>(value)) {
            const py::int_ billion(1000000000);
            const py::object whole = value.attr("__floordiv__")(billion);
            const std::string fraction = py::str(value.attr("__mod__")(billion));
            if (value.attr("__lt__")(py::int_(0)).cast<bool>()) {
                throw py::value_error(option.substr(1) + " must not be negative");
            }
            add(option, py::str(whole).cast<std::string>() + "." +
                            std::string(9 - fraction.size(), '0') + fraction);
            return;
        }
        add(option, py::str(value).cast<std::string>());
    }

    // Parses with parse(argc, argv, settings); a refusal becomes a ValueError with the
    // program's first line about it.
    template <typename Parse>
    void parseWith(Parse parse) {
        std::vector<char*> argv;
        for (std::string& word : words) {
            argv.push_back(word.data());
        }
        argv.push_back(nullptr);
        std::vector<std::string> said;
        bool accepted = false;
        {
            cli::LinesTaken taken([&said](const std::string& line) { said.push_back(line); });
            accepted = parse(static_cast<int>(argv.size() - 1), argv.data());
        }
        if (!accepted) {
            throw py::value_error(said.empty() ? "the options were refused" : said.front());
        }
    }

  private:
    std::vector<std::string> words;
};

bool given(const py::object& value) {
    return !value.is_none();
}

// Runs a program's job on its settings without the GIL (steps calls its steps in order on a
// Run made for them; the clean-up runs on every path), then hands on what it printed.
template <typename Run, typename Settings, typename Steps>
void runJob(const Settings& settings, const std::string& step, Steps steps) {
    bool done = false;
    JobMessages messages;
    {
        py::gil_scoped_release free;
        Run run(settings);
        done = steps(run);
        run.cleanUp();
    }
    messages.deliver(done, step);
}

uint64_t merge(const std::vector<std::string>& inputs, const std::string& output,
               const py::object& start, const py::object& num) {
    CommandLine line("splicetrc");
    line.inputs(inputs);
    line.add("-out", output);
    line.number("-start", start);
    line.number("-num", num);
    RunSettings settings;
    line.parseWith(
        [&settings](int argc, char** argv) { return parseArguments(argc, argv, settings); });
    uint32_t count = 0;
    runJob<AppendRun>(settings, "convertRecords", [&count](AppendRun& run) {
        return run.openAllInputs() && run.openOutputFile() && run.convertRecords(count);
    });
    return count;
}

uint64_t exportPackets(const std::vector<std::string>& inputs, const std::string& output,
                       const py::object& format, bool usec, const py::object& linktype,
                       const py::object& start, const py::object& num) {
    if (output == ExportSettings::kStandardOutput) {
        throw py::value_error("export writes files: '-' (standard output) is for trc2pcap");
    }
    CommandLine line("trc2pcap");
    line.inputs(inputs);
    line.add("-out", output);
    if (given(format)) {
        line.add("-format", py::str(format));
    }
    if (usec) {
        line.flag("-usec");
    }
    if (given(linktype)) {
        line.number("-linktype", linktype);
    }
    line.number("-start", start);
    line.number("-num", num);
    ExportSettings settings;
    line.parseWith([&settings](int argc, char** argv) {
        return parseExportArguments(argc, argv, settings) == cli::ParseOutcome::kRun;
    });
    uint64_t count = 0;
    runJob<ExportRun>(settings, "exportRecords", [&count](ExportRun& run) {
        return run.openAllInputs() && run.prepareOutput() && run.exportRecords(count);
    });
    return count;
}

std::vector<std::string> edit(const std::vector<std::string>& inputs, const std::string& output,
                              const py::object& start, const py::object& num,
                              const py::object& from, const py::object& to, bool sort,
                              const py::object& splitRecords, const py::object& splitBytes,
                              const py::object& splitSeconds) {
    CommandLine line("trcedit");
    line.inputs(inputs);
    line.add("-out", output);
    line.number("-start", start);
    line.number("-num", num);
    if (given(from)) {
        line.time("-from", from);
    }
    if (given(to)) {
        line.time("-to", to);
    }
    if (sort) {
        line.flag("-sort");
    }
    if (given(splitRecords)) {
        line.number("-split-records", splitRecords);
    }
    if (given(splitBytes)) {
        line.number("-split-bytes", splitBytes);
    }
    if (given(splitSeconds)) {
        line.seconds("-split-seconds", splitSeconds);
    }
    EditSettings settings;
    line.parseWith([&settings](int argc, char** argv) {
        return parseEditArguments(argc, argv, settings) == cli::ParseOutcome::kRun;
    });
    uint64_t count = 0;
    size_t files = 0;
    runJob<EditRun>(settings, "editRecords", [&count, &files](EditRun& run) {
        return run.openAllInputs() && run.prepareOutput() && run.editRecords(count, files);
    });
    std::vector<std::string> written;
    for (size_t n = 1; n <= files; ++n) {
        written.push_back(settings.split == SplitKind::kNone
                              ? settings.outputFileName
                              : ChunkedOutput::chunkName(settings.outputFileName, n));
    }
    return written;
}

}  // namespace

void addJobs(py::module_& module) {
    module.def("merge", &merge, py::arg("inputs"), py::arg("output"), py::arg("start") = 1,
               py::arg("num") = 0,
               "Appends the records of the inputs (B3 or B4 files, in order) into output, as "
               "splicetrc -in ... -out OUTPUT -start START -num NUM does: B4 as soon as one input "
               "is B4, the output complete or absent. Returns the number of records written. "
               "A damaged input warns with DamagedInputWarning and the merge goes on; a failure "
               "raises splicetrc.Error. The GIL is released while it runs.");
    module.def("export", &exportPackets, py::arg("inputs"), py::arg("output"),
               py::arg("format") = py::none(), py::arg("usec") = false,
               py::arg("linktype") = py::none(), py::arg("start") = 1, py::arg("num") = 0,
               "Exports the records of the inputs into a pcapng or pcap file, as trc2pcap does: "
               "format 'pcapng' or 'pcap' (default: pcap for a name ending in .pcap), usec for "
               "microsecond pcap times, linktype for every record. Returns the number of records "
               "written; warnings and errors as merge.");
    module.def("edit", &edit, py::arg("inputs"), py::arg("output"), py::arg("start") = 1,
               py::arg("num") = 0, py::arg("from_") = py::none(), py::arg("to") = py::none(),
               py::arg("sort") = false, py::arg("split_records") = py::none(),
               py::arg("split_bytes") = py::none(), py::arg("split_seconds") = py::none(),
               "Cuts, merges in time order and splits, as trcedit does. from_ and to take "
               "nanoseconds since the epoch (int) or trcedit's text forms (epoch seconds with up "
               "to nine decimals, UTC ISO-8601); split_bytes an int or a text with K, M or G; "
               "split_seconds a float or a text. Returns the list of files written; warnings and "
               "errors as merge.");
}

}  // namespace pysplicetrc
