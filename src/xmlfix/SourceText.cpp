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
        open_[0].text.assign(text);
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
    for (Block& block : open_) block.begin = size_;  // nothing open yet
}

const SourceText::Block& SourceText::Open(std::size_t pos) const {
    Block& block = open_[older_];
    older_ = 1 - older_;
    const std::string& packed = packed_[pos / BlockSize];
    block.begin = pos / BlockSize * BlockSize;
    block.text.resize(std::min(BlockSize, size_ - block.begin));
    z_stream stream{};
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    stream.next_out = reinterpret_cast<Bytef*>(block.text.data());
    stream.avail_out = static_cast<uInt>(block.text.size());
    const bool opened = inflateInit2(&stream, RawWindowBits) == Z_OK && inflate(&stream, Z_FINISH) == Z_STREAM_END;
    inflateEnd(&stream);
    if (!opened) throw std::bad_alloc();
    return block;
}

void SourceText::AppendTo(std::string& out, std::size_t from, std::size_t to) const {
    while (from < to) {
        const Block* block = nullptr;
        for (const Block& b : open_) {
            if (from - b.begin < b.text.size()) block = &b;
        }
        if (block == nullptr) block = &Open(from);
        const std::size_t end = std::min(to, block->begin + block->text.size());
        out.append(block->text, from - block->begin, end - from);
        from = end;
    }
}

}  // namespace modXML::detail
