#include "xmlfix/Arena.h"

#include <pugixml.hpp>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>
#include <vector>

namespace modXML::detail {
namespace {

std::size_t RoundUp(std::size_t n, std::size_t unit) { return (n + unit - 1) / unit * unit; }

#if KESTRUNE_ARENA

constexpr std::size_t SmallPage = 4096;
constexpr std::size_t HugePage = std::size_t{2} << 20;
constexpr std::size_t BlockSize = 2 * HugePage;
// Larger pieces get a mapping of their own, unmapped when freed.
constexpr std::size_t LargePiece = BlockSize / 4;
// Sizes are rounded up so that a freed piece fits the next of about its
// size: the tree library's pages come in one size, texts vary a little
// (a document and the XML saved from it).
constexpr std::size_t SmallGranule = 64;
constexpr std::size_t LargeGranule = 4096;

// The arena's own lists are kept with the C library's allocator: in the
// programs, large allocations come to the arena (LargeAllocations.cpp), and
// a list that grew past that size would call the arena again while it
// holds its lock.
template <typename T>
struct LibraryAllocator {
    using value_type = T;
    LibraryAllocator() = default;
    template <typename U>
    LibraryAllocator(const LibraryAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) {
        if (void* memory = std::malloc(n * sizeof(T))) return static_cast<T*>(memory);
        throw std::bad_alloc();
    }
    void deallocate(T* memory, std::size_t) noexcept { std::free(memory); }
    friend bool operator==(const LibraryAllocator&, const LibraryAllocator&) { return true; }
};

template <typename T>
using List = std::vector<T, LibraryAllocator<T>>;

struct Header {
    std::size_t size;    // of the piece, header included
    std::size_t mapped;  // the size of its own mapping, or 0 inside a block
};

class Arena {
public:
    void* Allocate(std::size_t size) {
        const std::size_t total =
            RoundUp(size + sizeof(Header), size < 16 * LargeGranule ? SmallGranule : LargeGranule);
        const std::lock_guard<std::mutex> lock(mutex_);
        if (total > LargePiece) {
            // Huge pages for the whole 2 MiB in it only: a huge page for its
            // end would hold memory nothing asked for.
            const std::size_t mapped = RoundUp(total, SmallPage);
            auto* header = reinterpret_cast<Header*>(Map(mapped, total / HugePage * HugePage));
            if (header == nullptr) return nullptr;
            *header = {total, mapped};
            return header + 1;
        }
        List<Header*>& freed = free_[total];
        if (!freed.empty()) {
            Header* header = freed.back();
            freed.pop_back();
            return header + 1;
        }
        if (static_cast<std::size_t>(end_ - next_) < total) {
            next_ = Map(BlockSize, BlockSize);
            end_ = next_ == nullptr ? nullptr : next_ + BlockSize;
            if (next_ == nullptr) return nullptr;
        }
        auto* header = reinterpret_cast<Header*>(next_);
        next_ += total;
        *header = {total, 0};
        return header + 1;
    }

    void Free(void* memory) {
        if (memory == nullptr) return;
        const std::lock_guard<std::mutex> lock(mutex_);
        const auto range = RangeOf(memory);
        if (range == ranges_.end()) {
            // From before the arena was in use.
            std::free(memory);
            return;
        }
        Header* header = static_cast<Header*>(memory) - 1;
        if (header->mapped == 0) {
            free_[header->size].push_back(header);
            return;
        }
        ::munmap(header, header->mapped);
        ranges_.erase(range);
    }

private:
    using Range = std::pair<std::uintptr_t, std::uintptr_t>;

    // size bytes on a huge-page boundary, huge pages asked for the first huge bytes.
    char* Map(std::size_t size, std::size_t huge) {
        void* raw = ::mmap(nullptr, size + HugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (raw == MAP_FAILED) return nullptr;
        const auto begin = reinterpret_cast<std::uintptr_t>(raw);
        const std::uintptr_t aligned = RoundUp(begin, HugePage);
        if (aligned > begin) ::munmap(raw, aligned - begin);
        ::munmap(reinterpret_cast<void*>(aligned + size), begin + HugePage - aligned);
        if (huge > 0) ::madvise(reinterpret_cast<void*>(aligned), huge, MADV_HUGEPAGE);
        const Range range{aligned, aligned + size};
        ranges_.insert(std::upper_bound(ranges_.begin(), ranges_.end(), range), range);
        return reinterpret_cast<char*>(aligned);
    }

    List<Range>::iterator RangeOf(const void* memory) {
        const auto p = reinterpret_cast<std::uintptr_t>(memory);
        auto after = std::upper_bound(ranges_.begin(), ranges_.end(), p,
                                      [](std::uintptr_t x, const Range& r) { return x < r.first; });
        if (after == ranges_.begin() || p >= std::prev(after)->second) return ranges_.end();
        return std::prev(after);
    }

    std::mutex mutex_;
    List<Range> ranges_;  // blocks and mappings, in address order
    std::unordered_map<std::size_t, List<Header*>, std::hash<std::size_t>, std::equal_to<>,
                       LibraryAllocator<std::pair<const std::size_t, List<Header*>>>>
        free_;  // pieces freed, by size
    char* next_ = nullptr;
    char* end_ = nullptr;
};

Arena& TheArena() {
    // Never destroyed: trees may be freed during the program's exit.
    static Arena* const arena = new Arena;
    return *arena;
}

#endif

}  // namespace

#if KESTRUNE_ARENA

void* ArenaAllocate(std::size_t size) { return TheArena().Allocate(size); }

void ArenaFree(void* memory) { TheArena().Free(memory); }

#else

void* ArenaAllocate(std::size_t size) { return std::malloc(size); }

void ArenaFree(void* memory) { std::free(memory); }

#endif

void UseArenaForTrees() {
    static const bool installed = (pugi::set_memory_management_functions(ArenaAllocate, ArenaFree), true);
    static_cast<void>(installed);
}

void Prefault(void* memory, std::size_t size) {
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = RoundUp(reinterpret_cast<std::uintptr_t>(memory), page);
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(memory) + size) / page * page;
    // Only an optimisation: kernels without it fault page by page as before.
    if (end > begin) ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
}

ArenaBuffer MakeArenaBuffer(std::size_t size) {
    auto* memory = static_cast<char*>(ArenaAllocate(std::max<std::size_t>(size, 1)));
    if (memory == nullptr) throw std::bad_alloc();
    return ArenaBuffer(memory);
}

}  // namespace modXML::detail
