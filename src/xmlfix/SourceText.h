#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace modXML::detail {

// A text that is read back byte by byte and range by range, mostly from
// front to back: held as it is, or, when it is large, as separately
// compressed blocks, of which the two read last are kept open.
class SourceText {
public:
    // Texts from this size on are compressed.
    static constexpr std::size_t LargeSize = std::size_t{1} << 20;

    SourceText() = default;
    // text as it is when small, else compressed.
    explicit SourceText(std::string_view text);

    std::size_t Size() const { return size_; }
    char At(std::size_t pos) const {
        for (const Block& block : open_) {
            if (pos - block.begin < block.text.size()) return block.text[pos - block.begin];
        }
        return Open(pos).text[pos % BlockSize];
    }
    void AppendTo(std::string& out, std::size_t from, std::size_t to) const;

private:
    static constexpr std::size_t BlockSize = std::size_t{1} << 16;
    struct Block {
        std::size_t begin = 0;
        std::string text;
    };
    // The block that holds pos, opened in place of the one used less recently.
    const Block& Open(std::size_t pos) const;

    std::size_t size_ = 0;
    std::vector<std::string> packed_;  // the blocks compressed; empty when the text is held as it is
    mutable std::array<Block, 2> open_;
    mutable std::size_t older_ = 0;
};

}  // namespace modXML::detail
