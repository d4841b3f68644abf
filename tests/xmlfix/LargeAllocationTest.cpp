#include "xmlfix/Arena.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace {

// This suite is linked with the programs' allocation functions, which hand
// pieces of 128 KiB and more to the document arena: around that bound and
// the arena's own (1 MiB, a mapping of its own), every piece must keep its
// bytes while the others are written, and go back whether it is freed with
// its size (a string) or without (an array).
TEST(LargeAllocations, PiecesKeepTheirBytesAndGoBackWithOrWithoutTheirSize) {
    const std::vector<std::size_t> sizes = {1, 4095, (128 << 10) - 1, 128 << 10, (1 << 20) - 40, (1 << 20) + 1,
                                            (5 << 20) + 3};
    for (int round = 0; round < 2; ++round) {
        std::vector<std::unique_ptr<char[]>> arrays;
        std::vector<std::string> strings;
        for (std::size_t k = 0; k < sizes.size(); ++k) {
            arrays.emplace_back(new char[sizes[k]]);
            std::fill_n(arrays.back().get(), sizes[k], static_cast<char>('a' + k));
            strings.emplace_back(sizes[k], static_cast<char>('A' + k));
        }
        for (std::size_t k = 0; k < sizes.size(); ++k) {
            const char* array = arrays[k].get();
            EXPECT_TRUE(std::all_of(array, array + sizes[k], [&](char c) { return c == static_cast<char>('a' + k); }))
                << sizes[k] << " bytes, round " << round;
            EXPECT_EQ(strings[k], std::string(sizes[k], static_cast<char>('A' + k))) << sizes[k] << " bytes";
        }
    }
}

// The arena's own lists of freed pieces grow past 128 KiB when tens of
// thousands of pieces of one size come back (a tree of some hundreds of
// megabytes frees that many pages); growing them must not call the arena
// again while it is busy.
TEST(LargeAllocations, TheArenaKeepsLongListsOfFreedPieces) {
    std::vector<void*> pieces(40000);
    for (void*& piece : pieces) {
        piece = modXML::detail::ArenaAllocate(100);
        ASSERT_NE(piece, nullptr);
    }
    for (void* piece : pieces) modXML::detail::ArenaFree(piece);
#if KESTRUNE_ARENA
    // They come back for pieces of their size.
    void* again = modXML::detail::ArenaAllocate(100);
    EXPECT_NE(std::find(pieces.begin(), pieces.end(), again), pieces.end());
    modXML::detail::ArenaFree(again);
#endif
}

}  // namespace
