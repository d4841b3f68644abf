#include "container/modConvert.h"

#include "common/Errors.h"
#include "common/modGen.h"

#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

namespace modConvert {
namespace {

std::string signatureStorage;

// Start-up normally builds the codec's state; a reader or writer used before
// that must still see the real signature, never an empty one.
void EnsureInitialised() {
    if (signatureStorage.empty()) InitContainerCodec();
}

struct InflateEnd {
    void operator()(z_stream* s) const noexcept {
        inflateEnd(s);
        delete s;
    }
};
using InflateStream = std::unique_ptr<z_stream, InflateEnd>;

InflateStream StartInflate() {
    auto* s = new z_stream{};
    const int status = inflateInit(s);
    if (status != Z_OK) {
        delete s;
        throw kestrune::RunError(kestrune::ErrorNumber::OutOfMemory);
    }
    return InflateStream(s);
}

// CompressData without copying its input: out gets the stream.
int CompressInto(std::string_view data, std::string& out) {
    out.assign(OutputRoom(data.size()), '\0');
    uLongf length = out.size();
    const int status = compress(reinterpret_cast<Bytef*>(out.data()), &length,
                                reinterpret_cast<const Bytef*>(data.data()), data.size());
    out.resize(std::min<std::size_t>(length, out.size()));
    return status;
}

// UncompressData without copying its input: out gets what zlib produced.
int UncompressInto(std::string_view data, std::int32_t expectedSize, std::string& out) {
    if (expectedSize < 0) throw kestrune::RunError(kestrune::ErrorNumber::InvalidArgument);
    out.assign(OutputRoom(expectedSize == 0 ? 65536 : static_cast<std::uint64_t>(expectedSize)), '\0');
    uLongf length = out.size();
    const int status = uncompress(reinterpret_cast<Bytef*>(out.data()), &length,
                                  reinterpret_cast<const Bytef*>(data.data()), data.size());
    out.resize(std::min<std::size_t>(length, out.size()));
    return status;
}

std::string ZlibStatusText(int status) {
    return "zlib status " + std::to_string(status) + " (" + zError(status) + ")";
}

}  // namespace

const std::string& ContainerSignature = signatureStorage;

void InitContainerCodec() {
    signatureStorage = std::string("LMMC") + '\0' + '\3' + '\0' + '\0';
    InitCrcTable();
    InitMaskTable();
}

std::size_t OutputRoom(std::uint64_t size) {
    const auto s = static_cast<double>(size);
    return static_cast<std::size_t>(std::nearbyint(s + s * 0.01 + 12));
}

int CompressData(std::string& data) {
    std::string out;
    const int status = CompressInto(data, out);
    data = std::move(out);
    return status;
}

int UncompressData(std::string& data, std::int32_t expectedSize) {
    std::string out;
    const int status = UncompressInto(data, expectedSize, out);
    data = std::move(out);
    return status;
}

std::string ReaderRoomText() {
    const std::string digits = std::to_string(ReaderRoom);
    std::string text;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) text += ',';
        text += digits[i];
    }
    return text;
}

ReadResult ReadContainer(std::string_view containerBytes) {
    EnsureInitialised();
    ReadResult result;
    // A file shorter than the signature compares all its bytes, and so never matches.
    if (containerBytes.substr(0, ContainerSignature.size()) != ContainerSignature) {
        result.status = ReadStatus::NotRecognized;
        return result;
    }
    if (containerBytes.size() < HeaderSize) throw kestrune::RunError(kestrune::ErrorNumber::InvalidArgument);

    // The header's sizes and checksum are not trusted for anything: the
    // stream's own check decides whether the payload is sound.
    std::string data;
    result.zlibStatus = UncompressInto(containerBytes.substr(HeaderSize), 0, data);
    if (result.zlibStatus == Z_OK) {
        result.status = ReadStatus::Decompressed;
        result.xml = std::move(data);
    } else {
        // uncompress reports a full output buffer, and only that, as Z_BUF_ERROR.
        result.status = result.zlibStatus == Z_BUF_ERROR ? ReadStatus::TooLarge : ReadStatus::DamagedStream;
    }
    return result;
}

std::string BinToXml(const std::string& path, kestrune::UserInterface& ui) {
    ReadResult read = ReadContainer(modGen::ReadWholeFile(path));
    if (read.status == ReadStatus::NotRecognized) ui.ShowMessage(NotRecognizedMessage, kestrune::MessageIcon::Warning);
    return std::move(read.xml);
}

std::string XmlToBin(std::string_view text) {
    EnsureInitialised();
    // The header holds both sizes in 32 bits; a larger text would be packed
    // with a wrong size.
    if (text.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw kestrune::RunError(kestrune::ErrorNumber::ContainerTooLarge,
                                 "The XML text is too large for a config container");
    }
    std::string payload;
    const int status = CompressInto(text, payload);
    if (status != Z_OK) {
        throw kestrune::RunError(kestrune::ErrorNumber::CompressFailed,
                                 "The XML text could not be compressed: " + ZlibStatusText(status));
    }
    if (payload.size() > std::numeric_limits<std::uint32_t>::max()) {
        throw kestrune::RunError(kestrune::ErrorNumber::ContainerTooLarge,
                                 "The XML text is too large for a config container");
    }

    std::string bin;
    bin.reserve(HeaderSize + payload.size());
    bin += ContainerSignature;
    bin += LongToBytes(static_cast<std::int32_t>(payload.size()));
    bin += ContainerChecksum(payload);
    bin += LongToBytes(static_cast<std::int32_t>(text.size()));
    bin += payload;
    return bin;
}

PayloadFacts MeasurePayload(std::string_view payload, std::uint64_t limit) {
    PayloadFacts facts;
    const InflateStream stream = StartInflate();
    std::vector<unsigned char> out(1 << 16);
    // avail_in is 32 bits wide: feed a large payload in slices.
    constexpr std::size_t kSlice = std::size_t{1} << 30;
    const auto* next = reinterpret_cast<const Bytef*>(payload.data());
    std::size_t left = payload.size();

    for (;;) {
        if (stream->avail_in == 0 && left > 0) {
            const std::size_t slice = std::min(left, kSlice);
            stream->next_in = next;
            stream->avail_in = static_cast<uInt>(slice);
            next += slice;
            left -= slice;
        }
        stream->next_out = out.data();
        stream->avail_out = static_cast<uInt>(out.size());
        const int status = inflate(stream.get(), Z_NO_FLUSH);
        facts.xmlSize += out.size() - stream->avail_out;

        if (status == Z_STREAM_END) {
            facts.intact = true;
            facts.streamSize = stream->total_in;
            return facts;
        }
        if (status == Z_NEED_DICT) {
            facts.problem = "the zlib stream needs a preset dictionary";
            return facts;
        }
        if (status == Z_BUF_ERROR && stream->avail_in == 0 && left == 0) {
            facts.problem = payload.empty() ? "there is no payload after the header" : "the zlib stream ends early";
            return facts;
        }
        if (status != Z_OK && status != Z_BUF_ERROR) {
            const char* words = stream->msg != nullptr ? stream->msg : zError(status);
            facts.problem = std::string("the zlib stream is damaged (") + words + ")";
            return facts;
        }
        if (facts.xmlSize > limit) {
            facts.overLimit = true;
            return facts;
        }
    }
}

}  // namespace modConvert
