#pragma once

#include "CorpusEdits.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Configurations of the corpus's shape at any size, made from a seed, with
// attribute edits spread over them at random; nothing is stored on disk.
namespace kestrune::bench {

struct ScaleCase {
    std::string xml;          // <DB><Tbl name=..><Row No=..><DM name=.. val=../>, one element a line
    std::vector<Edit> edits;  // each addresses one DM of its own, in random order
};

// Tables of 8 rows of 10 fields until the text has at least bytes bytes,
// then edits distinct fields picked at random. Field names and values are
// drawn so that a DM line averages what the corpus's largest file has
// (about 37 bytes). The same arguments give the same case.
ScaleCase MakeScaleCase(std::size_t bytes, std::size_t edits, std::uint32_t seed = 14);

}  // namespace kestrune::bench
