#include "cipher/clsBlowfish.h"

#include "common/Errors.h"
#include "common/SafeWrite.h"
#include "common/modGen.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

// The enciphered layout: two random values, the plaintext length as a signed
// little-endian 32-bit number, the plaintext and zero fill to a multiple of 8,
// chained block by block from a zero start; the random first block stands in
// for a random starting value. The object keeps its working state in itself,
// so a Progress listener must not call back into the same object.
namespace kestrune {
namespace {

constexpr std::size_t HeaderSize = 12;  // two random values, then the size descriptor
constexpr std::size_t SizeDescriptorOffset = 8;
constexpr std::size_t BlockSize = 8;

const char* const SizeDescriptorError = "Incorrect size descriptor in Blowfish decryption";
const char* const SourceMissingError = "Error in Skipjack EncryptFile procedure (Source file does not exist).";

std::uint32_t LoadBig(const std::uint8_t* p) { return blowfish::LoadBigEndian(p); }

void StoreBig(std::uint32_t word, std::uint8_t* p) { blowfish::StoreBigEndian(word, p); }

void StoreLittle(std::uint32_t word, std::uint8_t* p) {
    p[0] = static_cast<std::uint8_t>(word);
    p[1] = static_cast<std::uint8_t>(word >> 8);
    p[2] = static_cast<std::uint8_t>(word >> 16);
    p[3] = static_cast<std::uint8_t>(word >> 24);
}

std::int32_t LoadLittleSigned(const std::uint8_t* p) {
    const std::uint32_t word =
        std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
    return static_cast<std::int32_t>(word);
}

// The enciphered length for n plaintext bytes: the header, the data and the
// zero fill up to a multiple of 8. The size descriptor is a signed 32-bit
// number, so longer data could not be deciphered again and is refused.
std::size_t EncipheredSize(std::size_t n) {
    if (n > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        throw RunError(ErrorNumber::InvalidArgument);
    }
    return (n + HeaderSize + BlockSize - 1) / BlockSize * BlockSize;
}

// A fraction in [0, 1) scaled to 0 .. 2^31 - 1, from a generator seeded anew
// for every call, so no two layouts share their first block by design.
void WriteHeader(std::uint8_t* data, std::size_t n) {
    std::random_device device;
    std::mt19937 generator(device());
    std::uniform_real_distribution<double> fraction(0.0, 1.0);
    const auto randomValue = [&] {
        return static_cast<std::uint32_t>(std::nearbyint(fraction(generator) * 2147483647.0));
    };
    StoreLittle(static_cast<std::uint32_t>(n), data + SizeDescriptorOffset);
    StoreLittle(randomValue(), data);
    StoreLittle(randomValue(), data + 4);
}

}  // namespace

// Decides after which blocks Progress is raised: the first block always,
// then roughly once per percent of the data, and 100 once at the end.
class clsBlowfish::ProgressSchedule {
public:
    ProgressSchedule(std::function<void(std::int32_t)> listener, std::size_t total)
        : listener_(std::move(listener)), total_(total) {
        if (!listener_) next_ = std::numeric_limits<std::size_t>::max();
    }

    void AfterBlock(std::size_t offset) {
        if (offset < next_) return;
        const double total = static_cast<double>(total_);
        const auto percent = static_cast<std::int32_t>(std::floor(static_cast<double>(offset) / total * 100.0));
        // nearbyint rounds halves to even under the default rounding mode.
        next_ = static_cast<std::size_t>(std::nearbyint((percent + 1) / 100.0 * total + 1.0));
        Raise(percent);
    }

    void Finish() {
        if (last_ != 100) Raise(100);
    }

private:
    void Raise(std::int32_t percent) {
        last_ = percent;
        if (listener_) listener_(percent);
    }

    std::function<void(std::int32_t)> listener_;
    std::size_t total_;
    std::size_t next_ = 0;
    std::int32_t last_ = -1;
};

clsBlowfish::clsBlowfish() { blowfish::LoadInitialTables(tables_, blowfish::Variant::Kestrune); }

void clsBlowfish::Key(const std::string& New_Value) {
    // No key byte to read: a schedule over an empty key cannot run.
    if (New_Value.empty()) throw RunError(ErrorNumber::InvalidArgument);
    if (New_Value == currentKey_) return;
    blowfish::LoadInitialTables(tables_, blowfish::Variant::Kestrune);
    blowfish::ScheduleKey(tables_, New_Value, blowfish::Variant::Kestrune);
    currentKey_ = New_Value;
    ++schedulesRun_;
}

void clsBlowfish::UseKey(const std::string& key) {
    if (!key.empty()) Key(key);
}

// Writes the header of a buffer whose plaintext already lies at offset 12,
// followed by zero fill, then chains the whole buffer.
void clsBlowfish::Encipher(std::uint8_t* data, std::size_t plainSize, ProgressSchedule& progress) {
    const std::size_t size = EncipheredSize(plainSize);
    WriteHeader(data, plainSize);
    const auto afterBlock = [&progress](std::size_t offset) { progress.AfterBlock(offset); };
#ifdef KESTRUNE_BLOWFISH_BEXTR
    if (blowfish::HasBextr()) {
        blowfish::EncipherChain<blowfish::BextrIndex>(tables_, data, size, afterBlock);
        return;
    }
#endif
    blowfish::EncipherChain<blowfish::PortableIndex>(tables_, data, size, afterBlock);
}

namespace {

// Deciphers the whole blocks among the first `whole` bytes in place, calling
// afterBlock(offset) after each block, in order.
template <class Index, class AfterBlock>
void DecipherBlocks(const blowfish::Tables& t, std::uint8_t* data, std::size_t whole, AfterBlock&& afterBlock) {
    std::uint32_t chainL = 0;
    std::uint32_t chainR = 0;
    std::size_t offset = 0;
    // Unlike enciphering, deciphered blocks do not depend on each other, so
    // four at a time keep the processor busy while table lookups wait.
    constexpr std::size_t Lanes = 4;
    for (; whole - offset >= Lanes * BlockSize; offset += Lanes * BlockSize) {
        std::uint8_t* block = data + offset;
        std::uint32_t cipher[2 * Lanes];
#pragma GCC unroll 8
        for (std::size_t i = 0; i < 2 * Lanes; ++i) cipher[i] = LoadBig(block + 4 * i);
        std::uint32_t l[Lanes];
        std::uint32_t r[Lanes];
#pragma GCC unroll 8
        for (std::size_t k = 0; k < Lanes; ++k) {
            l[k] = cipher[2 * k];
            r[k] = cipher[2 * k + 1];
        }
        blowfish::DecryptBlocks<Lanes, Index>(t, l, r);
        StoreBig(l[0] ^ chainL, block);
        StoreBig(r[0] ^ chainR, block + 4);
#pragma GCC unroll 8
        for (std::size_t k = 1; k < Lanes; ++k) {
            StoreBig(l[k] ^ cipher[2 * k - 2], block + 8 * k);
            StoreBig(r[k] ^ cipher[2 * k - 1], block + 8 * k + 4);
        }
        chainL = cipher[2 * Lanes - 2];
        chainR = cipher[2 * Lanes - 1];
#pragma GCC unroll 8
        for (std::size_t k = 0; k < Lanes; ++k) afterBlock(offset + k * BlockSize);
    }
    for (; offset < whole; offset += BlockSize) {
        std::uint8_t* block = data + offset;
        const std::uint32_t cipherL = LoadBig(block);
        const std::uint32_t cipherR = LoadBig(block + 4);
        std::uint32_t l = cipherL;
        std::uint32_t r = cipherR;
        blowfish::DecryptBlock(t, l, r);
        StoreBig(l ^ chainL, block);
        StoreBig(r ^ chainR, block + 4);
        chainL = cipherL;
        chainR = cipherR;
        afterBlock(offset);
    }
}

}  // namespace

// Deciphers every whole block in place, then checks the length and the size
// descriptor; returns the plaintext length, whose bytes start at offset 12.
std::size_t clsBlowfish::Decipher(std::uint8_t* data, std::size_t size, ProgressSchedule& progress) {
    const std::size_t whole = size - size % BlockSize;
    const auto afterBlock = [&progress](std::size_t offset) { progress.AfterBlock(offset); };
#ifdef KESTRUNE_BLOWFISH_BEXTR
    if (blowfish::HasBextr()) {
        DecipherBlocks<blowfish::BextrIndex>(tables_, data, whole, afterBlock);
    } else {
        DecipherBlocks<blowfish::PortableIndex>(tables_, data, whole, afterBlock);
    }
#else
    DecipherBlocks<blowfish::PortableIndex>(tables_, data, whole, afterBlock);
#endif
    // An incomplete last block, or no room for the size descriptor.
    if (whole != size || size < 2 * BlockSize) throw RunError(ErrorNumber::SubscriptOutOfRange);

    const std::int32_t n = LoadLittleSigned(data + SizeDescriptorOffset);
    const auto fill = static_cast<std::int64_t>(size) - n;
    // A negative descriptor could still leave the difference in range for a
    // short buffer; it is as wrong as any other.
    if (n < 0 || fill < 12 || fill > 19) throw RunError(ErrorNumber::ComponentBase, SizeDescriptorError);
    return static_cast<std::size_t>(n);
}

void clsBlowfish::EncryptByte(std::vector<std::uint8_t>& ByteArray, const std::string& Key) {
    UseKey(Key);
    const std::size_t n = ByteArray.size();
    const std::size_t size = EncipheredSize(n);
    ByteArray.resize(size);
    std::memmove(ByteArray.data() + HeaderSize, ByteArray.data(), n);
    ProgressSchedule progress(Progress, size);
    Encipher(ByteArray.data(), n, progress);
    progress.Finish();
}

void clsBlowfish::DecryptByte(std::vector<std::uint8_t>& ByteArray, const std::string& Key) {
    UseKey(Key);
    ProgressSchedule progress(Progress, ByteArray.size());
    const std::size_t n = Decipher(ByteArray.data(), ByteArray.size(), progress);
    std::memmove(ByteArray.data(), ByteArray.data() + HeaderSize, n);
    ByteArray.resize(n);
    progress.Finish();
}

std::string clsBlowfish::EncryptString(const std::string& Text, const std::string& Key) {
    UseKey(Key);
    const std::size_t size = EncipheredSize(Text.size());
    // Each byte written once: room for the header, the text, the zero fill.
    std::string result;
    result.reserve(size);
    result.append(HeaderSize, '\0');
    result.append(Text);
    result.append(size - result.size(), '\0');
    auto* data = reinterpret_cast<std::uint8_t*>(result.data());
    ProgressSchedule progress(Progress, size);
    Encipher(data, Text.size(), progress);
    progress.Finish();
    return result;
}

std::string clsBlowfish::DecryptString(const std::string& Text, const std::string& Key) {
    UseKey(Key);
    std::string result = Text;
    ProgressSchedule progress(Progress, result.size());
    const std::size_t n = Decipher(reinterpret_cast<std::uint8_t*>(result.data()), result.size(), progress);
    result.erase(0, HeaderSize);
    result.resize(n);
    progress.Finish();
    return result;
}

void clsBlowfish::TransformFile(const std::string& SourceFile, const std::string& DestFile, const std::string& Key,
                                bool encipher) {
    struct stat st {};
    if (::stat(SourceFile.c_str(), &st) != 0) throw RunError(ErrorNumber::ComponentBase, SourceMissingError);
    const std::string source = modGen::ReadWholeFile(SourceFile);
    const std::string result = encipher ? EncryptString(source, Key) : DecryptString(source, Key);
    // Replacing through a temporary file keeps the old DestFile whole when
    // the write fails, and makes SourceFile == DestFile safe.
    WriteFileSafely(DestFile, result, WriteMode::Replace);
}

void clsBlowfish::EncryptFile(const std::string& SourceFile, const std::string& DestFile, const std::string& Key) {
    TransformFile(SourceFile, DestFile, Key, true);
}

void clsBlowfish::DecryptFile(const std::string& SourceFile, const std::string& DestFile, const std::string& Key) {
    TransformFile(SourceFile, DestFile, Key, false);
}

}  // namespace kestrune
