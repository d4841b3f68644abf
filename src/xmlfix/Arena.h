#pragma once

#include <cstddef>
#include <memory>

namespace modXML::detail {

// The memory of documents: the tree library's pages and the engine's own
// copies of texts, carved from large blocks that the kernel may back with
// huge pages. Touching a document's memory then costs one page fault per
// 2 MiB instead of one per 4 KiB, and in a virtual machine a fault costs
// more than the parsing done in the page. Memory freed is kept for the
// next document the process loads (or the check of a saved one).

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
