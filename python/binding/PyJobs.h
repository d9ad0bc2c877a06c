// splicetrc.merge, splicetrc.export and splicetrc.edit: the jobs of splicetrc, trc2pcap and
// trcedit, run by the programs' own code on the options their command lines take, so that
// they write the same bytes with the same safety and say the same things.
#pragma once

#include <pybind11/pybind11.h>

namespace pysplicetrc {

void addJobs(pybind11::module_& module);

}  // namespace pysplicetrc
