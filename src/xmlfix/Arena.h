#pragma once

#include <cstddef>
#include <memory>

// AddressSanitizer watches the C library's allocator; behind the arena it
// would not see the documents' memory, so a build with it has no arena.
#if defined(__SANITIZE_ADDRESS__)
#define KESTRUNE_ARENA 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KESTRUNE_ARENA 0
#endif
#endif
#ifndef KESTRUNE_ARENA
#define KESTRUNE_ARENA 1
#endif

namespace modXML::detail {

// The memory of documents: the tree library's pages, the engine's own
// copies of texts and, in the programs, every large allocation (see
// LargeAllocations.cpp), carved from large blocks that the kernel may back
// with huge pages. Touching a document's memory then costs one page fault
// per 2 MiB instead of one per 4 KiB, and in a virtual machine a fault
// costs more than the parsing done in the page. Pieces up to 1 MiB that are
// freed are kept for the next of their size; larger ones are unmapped.

// Makes the tree library take its memory from the arena; called once, before any tree is made.
void UseArenaForTrees();

void* ArenaAllocate(std::size_t size);
// Memory from ArenaAllocate, or from the C library's allocator, which it is handed back to.
void ArenaFree(void* memory);

// Has the kernel give memory about to be written all its pages in one
// call, rather than one fault at a time.
void Prefault(void* memory, std::size_t size);

// A buffer of bytes in the arena.
struct ArenaDeleter {
    void operator()(char* memory) const { ArenaFree(memory); }
};
using ArenaBuffer = std::unique_ptr<char[], ArenaDeleter>;
ArenaBuffer MakeArenaBuffer(std::size_t size);

}  // namespace modXML::detail
