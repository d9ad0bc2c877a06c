// splicetrc._core: the library and the programs' jobs for Python; the package splicetrc
// re-exports it with its errors and docstrings.
#include <pybind11/pybind11.h>

#include "binding/PyCapture.h"
#include "binding/PyJobs.h"

PYBIND11_MODULE(_core, module) {
    module.doc() = "The C++ core of the splicetrc package.";
    module.attr("__version__") = SPLICETRC_VERSION;
    pysplicetrc::addCapture(module);
    pysplicetrc::addJobs(module);
}
