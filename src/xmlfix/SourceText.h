#pragma once

#include "xmlfix/Arena.h"

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
        if (whole_) return whole_[pos];
        for (std::size_t k = 0; k < opened_.size(); ++k) {
            if (pos - openedBegin_[k] < opened_[k].size()) return opened_[k][pos - openedBegin_[k]];
        }
        const std::size_t k = Open(pos);
        return opened_[k][pos - openedBegin_[k]];
    }
    void AppendTo(std::string& out, std::size_t from, std::size_t to) const;
    // The whole text into out, which has room for it.
    void CopyTo(char* out) const;

private:
    static constexpr std::size_t BlockSize = std::size_t{1} << 16;
    // Opens the block that holds pos in place of the one used less recently; which one it took.
    std::size_t Open(std::size_t pos) const;

    std::size_t size_ = 0;
    ArenaBuffer whole_;                // the text, when it is held as it is
    std::vector<std::string> packed_;  // else its blocks, compressed
    mutable std::array<std::string, 2> opened_;
    mutable std::array<std::size_t, 2> openedBegin_{};
    mutable std::size_t older_ = 0;
};

}  // namespace modXML::detail
