#include "app/Banner.h"
#include "app/RunSettings.h"

int main(int argc, char* argv[]) {
    RunSettings settings;
    printBanner(settings);
    if (!parseArguments(argc, argv, settings)) {
        return -1;
    }
    // Opening the inputs and the output, copying the records and the clean-up come next;
    // until then no run can succeed.
    return -1;
}
