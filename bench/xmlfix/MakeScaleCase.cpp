// Writes a generated configuration and its edits for bench/compare.sh: the
// XML, and the edits as a fix file for kestrune-cli and as "xpath<TAB>value"
// lines for xmlstarlet ed.
//
//   kestrune_scale_case BYTES EDITS XML-FILE FIX-FILE EDITS-FILE

#include "ScaleConfig.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "Usage: kestrune_scale_case BYTES EDITS XML-FILE FIX-FILE EDITS-FILE\n");
        return 2;
    }
    const auto c = kestrune::bench::MakeScaleCase(std::strtoull(argv[1], nullptr, 10), std::strtoull(argv[2], nullptr, 10));
    std::ofstream xml(argv[3], std::ios::binary);
    xml << c.xml;
    return xml.good() && kestrune::bench::WriteEditFiles(c.edits, argv[4], argv[5]) ? 0 : 1;
}
