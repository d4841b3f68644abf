#include "xmlfix/SourceText.h"

#include <lz4.h>

#include <algorithm>
#include <new>

namespace modXML::detail {

// Fast compression: the point is only not to hold the text twice while the
// tree holds it too, and it is read back once or twice per serialising.
SourceText::SourceText(std::string_view text) : size_(text.size()) {
    if (text.size() < LargeSize) {
        whole_ = MakeArenaBuffer(text.size());
        std::copy(text.begin(), text.end(), whole_.get());
        return;
    }
    for (std::size_t from = 0; from < text.size(); from += BlockSize) {
        const auto size = static_cast<int>(std::min(BlockSize, text.size() - from));
        std::string block(static_cast<std::size_t>(LZ4_compressBound(size)), '\0');
        const int packed = LZ4_compress_default(text.data() + from, block.data(), size, static_cast<int>(block.size()));
        if (packed <= 0) throw std::bad_alloc();
        block.resize(static_cast<std::size_t>(packed));
        block.shrink_to_fit();
        packed_.push_back(std::move(block));
    }
}

std::size_t SourceText::Open(std::size_t pos) const {
    const std::size_t k = older_;
    older_ = 1 - older_;
    std::string& text = opened_[k];
    const std::string& packed = packed_[pos / BlockSize];
    openedBegin_[k] = pos / BlockSize * BlockSize;
    text.resize(std::min(BlockSize, size_ - openedBegin_[k]));
    if (LZ4_decompress_safe(packed.data(), text.data(), static_cast<int>(packed.size()), static_cast<int>(text.size())) !=
        static_cast<int>(text.size())) {
        throw std::bad_alloc();
    }
    return k;
}
void SourceText::AppendTo(std::string& out, std::size_t from, std::size_t to) const {
    if (whole_) {
        out.append(whole_.get() + from, to - from);
        return;
    }
    while (from < to) {
        std::size_t k = 0;
        while (k < opened_.size() && from - openedBegin_[k] >= opened_[k].size()) ++k;
        if (k == opened_.size()) k = Open(from);
        const std::size_t end = std::min(to, openedBegin_[k] + opened_[k].size());
        out.append(opened_[k], from - openedBegin_[k], end - from);
        from = end;
    }
}

void SourceText::CopyTo(char* out) const {
    if (whole_) {
        std::copy(whole_.get(), whole_.get() + size_, out);
        return;
    }
    std::string block;
    for (std::size_t from = 0; from < size_; from += BlockSize) {
        block.clear();
        AppendTo(block, from, std::min(size_, from + BlockSize));
        std::copy(block.begin(), block.end(), out + from);
    }
}

}  // namespace modXML::detail
