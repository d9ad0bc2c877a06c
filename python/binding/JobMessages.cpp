#include "binding/JobMessages.h"

#include "cli/RunReport.h"

namespace py = pybind11;

namespace pysplicetrc {

namespace {

py::object errorsModule() {
    return py::module_::import("splicetrc._errors");
}

}  // namespace

void raiseError(const std::string& step, int32_t code, const std::string& message) {
    const py::object type = errorsModule().attr("Error");
    const py::object error = type(message, step, code);
    PyErr_SetObject(type.ptr(), error.ptr());
    throw py::error_already_set();
}

void warnDamaged(const std::string& text) {
    const py::object category = errorsModule().attr("DamagedInputWarning");
    if (PyErr_WarnEx(category.ptr(), text.c_str(), 2) != 0) {
        throw py::error_already_set();
    }
}

JobMessages::JobMessages() : taken([this](const std::string& line) { lines.push_back(line); }) {}

void JobMessages::deliver(bool succeeded, const std::string& fallbackStep) {
    const std::string errorStart = "ERROR (";
    for (const std::string& line : lines) {
        if (line.rfind("WARNING", 0) == 0) {
            warnDamaged(line);
        }
    }
    if (succeeded) {
        return;
    }
    for (const std::string& line : lines) {
        const size_t close = line.find(") - ");
        if (line.rfind(errorStart, 0) == 0 && close != std::string::npos) {
            raiseError(line.substr(errorStart.size(), close - errorStart.size()),
                       cli::RunReport::lastCode(), line.substr(close + 4));
        }
    }
    raiseError(fallbackStep, cli::RunReport::lastCode(), "The job failed without a message.");
}

}  // namespace pysplicetrc
