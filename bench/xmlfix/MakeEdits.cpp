// Writes the 500 corpus edits for bench/compare.sh: as a fix file for
// kestrune-cli, and as "xpath<TAB>value" lines for xmlstarlet ed.
//
//   kestrune_corpus_edits CORPUS-FILE FIX-FILE EDITS-FILE

#include "CorpusEdits.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "Usage: kestrune_corpus_edits CORPUS-FILE FIX-FILE EDITS-FILE\n");
        return 2;
    }
    const auto edits = kestrune::bench::ChooseEdits(argv[1]);
    if (edits.size() != 500) {
        std::fprintf(stderr, "kestrune_corpus_edits: %s has fewer than 500 editable DM elements\n", argv[1]);
        return 1;
    }
    return kestrune::bench::WriteEditFiles(edits, argv[2], argv[3]) ? 0 : 1;
}
