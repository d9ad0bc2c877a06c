// Writes the catalogue of damaged inputs to a folder, for readers that cannot take them from
// memory: FORMAT-KIND-NNN.cap for each case, and cases.tsv with one line per file: its name,
// the damage, and the records the file's reader must deliver (at least, at most; "refused"
// when it must refuse the file).
//   write_bad_inputs FOLDER [--sample]
// --sample writes a few cases of each kind, spread over the kind's list, instead of all.
#include <cstdio>
#include <fstream>
#include <string>

#include "support/BadInputCatalogue.h"

using namespace testsupport;

namespace {

// Whether case i of count is one of `picks` spread evenly from the first to the last.
bool picked(size_t i, size_t count, size_t picks) {
    for (size_t j = 0; j < picks; ++j) {
        if (i == j * (count - 1) / (picks - 1)) {
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2 || argc > 3 || (argc == 3 && std::string(argv[2]) != "--sample")) {
        std::fprintf(stderr, "usage: write_bad_inputs FOLDER [--sample]\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool sample = argc == 3;
    std::ofstream list(folder + "/cases.tsv");
    for (const Format format : {Format::B3, Format::B4}) {
        const CatalogueSample original = makeCatalogueSample(format);
        for (const DamageKind kind : kDamageKinds) {
            const std::vector<DamagedCase> cases = damagedCases(original, kind);
            // Truncation has most cases, and the most kinds of outcome along its lengths.
            const size_t picks = kind == DamageKind::kTruncated ? 6 : 3;
            for (size_t i = 0; i < cases.size(); ++i) {
                if (sample && cases.size() > picks && !picked(i, cases.size(), picks)) {
                    continue;
                }
                const DamagedCase& c = cases[i];
                char number[24];
                std::snprintf(number, sizeof number, "%03zu", i);
                const std::string name = std::string(formatCode(format)) + "-" +
                                         damageKindName(kind) + "-" + number + ".cap";
                writeFile(folder + "/" + name, c.bytes);
                list << name << '\t' << c.name << '\t';
                if (c.expected.refusedWith != 0) {
                    list << "refused\n";
                } else {
                    list << c.expected.minRecords << '\t' << c.expected.maxRecords << '\n';
                }
            }
        }
    }
    list.close();
    return list ? 0 : 1;
}
