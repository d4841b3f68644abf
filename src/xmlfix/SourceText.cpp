#include "xmlfix/SourceText.h"

#include <zlib.h>

#include <algorithm>
#include <new>

namespace modXML::detail {
namespace {

// Raw deflate streams: no header and no checksum, since the text never
// leaves memory.
constexpr int RawWindowBits = -15;

}  // namespace

// Fast compression: the point is only not to hold the text twice while the
// tree holds it too, and it is read back once per serialising.
SourceText::SourceText(std::string_view text) : size_(text.size()) {
    if (text.size() < LargeSize) {
        whole_ = MakeArenaBuffer(text.size());
        std::copy(text.begin(), text.end(), whole_.get());
        return;
    }
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, RawWindowBits, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
    for (std::size_t from = 0; from < text.size(); from += BlockSize) {
        const std::size_t size = std::min(BlockSize, text.size() - from);
        std::string block(deflateBound(&stream, size), '\0');
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data() + from));
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = reinterpret_cast<Bytef*>(block.data());
        stream.avail_out = static_cast<uInt>(block.size());
        const int status = deflate(&stream, Z_FINISH);
        block.resize(block.size() - stream.avail_out);
        if (status != Z_STREAM_END || deflateReset(&stream) != Z_OK) {
            deflateEnd(&stream);
            throw std::bad_alloc();
        }
        block.shrink_to_fit();
        packed_.push_back(std::move(block));
    }
    deflateEnd(&stream);
}

std::size_t SourceText::Open(std::size_t pos) const {
    const std::size_t k = older_;
    older_ = 1 - older_;
    std::string& text = opened_[k];
    const std::string& packed = packed_[pos / BlockSize];
    openedBegin_[k] = pos / BlockSize * BlockSize;
    text.resize(std::min(BlockSize, size_ - openedBegin_[k]));
    z_stream stream{};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(text.data());
    stream.avail_out = static_cast<uInt>(text.size());
    const bool opened = inflateInit2(&stream, RawWindowBits) == Z_OK && inflate(&stream, Z_FINISH) == Z_STREAM_END;
    inflateEnd(&stream);
    if (!opened) throw std::bad_alloc();
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
