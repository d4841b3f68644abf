#include "xmlfix/Arena.h"

#include <cstdlib>
#include <new>

// Linked into the programs, not the libraries: it replaces the global
// allocation functions, so that the large texts of a run (the config as
// read, the XML written from the tree, the fix entries) come from the
// arena's huge pages, as the tree does. In a virtual machine a page fault
// costs microseconds: a 3 MB config read into 4 KiB pages took 733 of them.
// Small pieces stay with the C library, whose pages they share anyway.

#if KESTRUNE_ARENA

namespace {

constexpr std::size_t LargeAllocation = std::size_t{128} << 10;

void* Allocate(std::size_t size) {
    void* memory = size >= LargeAllocation ? modXML::detail::ArenaAllocate(size) : std::malloc(size == 0 ? 1 : size);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
}

void Free(void* memory, std::size_t size) {
    if (size >= LargeAllocation) {
        modXML::detail::ArenaFree(memory);
    } else {
        std::free(memory);
    }
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
// Without a size, the arena tells its own pieces from the C library's.
void operator delete(void* memory) noexcept { modXML::detail::ArenaFree(memory); }
void operator delete[](void* memory) noexcept { modXML::detail::ArenaFree(memory); }
void operator delete(void* memory, std::size_t size) noexcept { Free(memory, size); }
void operator delete[](void* memory, std::size_t size) noexcept { Free(memory, size); }

#endif
