// The start-up banner shown on every run.
#pragma once

#include "splicetrc/RunSettings.h"

// Prints the banner with the version and the build date and time, then an empty line.
void printBanner(const RunSettings& settings);
