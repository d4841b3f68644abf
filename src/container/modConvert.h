#pragma once

#include "common/UserInterface.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The router's .bin config container: a 20-byte header (signature, payload
// size, payload checksum, XML size; numbers little-endian) followed by the
// XML text compressed by zlib. All texts are byte strings.
namespace modConvert {

// The 8 bytes every container starts with, "LMMC" 00 03 00 00; empty until
// InitContainerCodec runs, unchanged after.
extern const std::string& ContainerSignature;

// The MSB-first CRC-32 remainders (generator 0x04C11DB7) of the bytes 0-255;
// all zero until InitContainerCodec runs.
extern const std::array<std::uint32_t, 256>& CrcTable;

// Entry i masks the i + 1 lowest bits; all zero until InitContainerCodec runs.
extern const std::array<std::uint32_t, 32>& MaskTable;

// Signature, compressed size, checksum, uncompressed size.
inline constexpr std::size_t HeaderSize = 20;

// The reader's output room: the XML of a container must not be larger.
inline constexpr std::size_t ReaderRoom = 66203;

// Builds ContainerSignature, then CrcTable, then MaskTable. Start-up calls it
// once; the reader and writer call it themselves if start-up has not.
void InitContainerCodec();

// Fills CrcTable.
void InitCrcTable();

// Fills MaskTable.
void InitMaskTable();

// The four bytes of value, least significant first, whatever the machine.
std::string LongToBytes(std::int32_t value);

// The four bytes of value at indexes 0-3, least significant first.
std::array<std::uint8_t, 4> LongToByteArray(std::int32_t value);

// One character per element, in index order.
std::string BytesToString(std::span<const std::uint8_t> bytes);

// The little-endian 32-bit number at offset; raises "Subscript out of range"
// (9) when fewer than four bytes lie there.
std::uint32_t BytesToLong(std::string_view bytes, std::size_t offset = 0);

// value shifted left by count (1-31) within 32 bits; any other count raises
// "Invalid procedure call or argument" (5).
std::uint32_t ShiftLeft32(std::uint32_t value, std::int16_t count);

// value shifted right by count (1-31) with zeros from the top; any other
// count raises "Invalid procedure call or argument" (5).
std::uint32_t ShiftRight32(std::uint32_t value, std::int16_t count);

// The CRC that the POSIX cksum program prints for data.
std::uint32_t ContainerChecksumValue(std::string_view data);

// The cksum CRC of data packed by LongToBytes, as the header stores it.
std::string ContainerChecksum(std::string_view data);

// The output room zlib gets for an input of size bytes: size + 1 % + 12,
// rounded to a whole number (halves to even).
std::size_t OutputRoom(std::uint64_t size);

// Replaces data by its zlib stream (default level), even when zlib fails.
// Returns zlib's status, 0 on success.
int CompressData(std::string& data);

// Replaces data by what zlib's uncompress made of it in the room for
// expectedSize bytes (0 means 65,536), even when zlib fails. Returns zlib's
// status, 0 on success; a negative expectedSize raises error 5.
int UncompressData(std::string& data, std::int32_t expectedSize);

// Why the reader gave the text it gave.
enum class ReadStatus {
    Decompressed,   // the XML is the text
    NotRecognized,  // the bytes do not start with the signature
    TooLarge,       // the XML fills the reader's room and goes on
    DamagedStream,  // zlib failed otherwise: damaged, truncated or missing payload
};

// The reader's text together with the reason for it.
struct ReadResult {
    ReadStatus status = ReadStatus::NotRecognized;
    int zlibStatus = 0;
    std::string xml;  // empty unless status is Decompressed
};

// The reader on container bytes in memory, telling why it failed. Shows
// "Bin file type not recognized." (warning) on a wrong signature; raises
// "Invalid procedure call or argument" (5) for a signature with less than a
// whole header after it.
ReadResult ReadContainer(std::string_view containerBytes, kestrune::UserInterface& ui);

// The XML text inside the container bytes, or an empty text when they are
// no container (after the warning "Bin file type not recognized.") or the
// payload does not decompress into the reader's room.
std::string BytesToXml(std::string_view containerBytes, kestrune::UserInterface& ui);

// BytesToXml of the whole file at path; file errors (53 ...) pass through.
std::string BinToXml(const std::string& path, kestrune::UserInterface& ui);

// The container bytes for the XML text. Raises a RunError (CompressFailed)
// rather than return a damaged container.
std::string XmlToBin(std::string_view text);

// What a payload holds, found by inflating it without a room limit.
struct PayloadFacts {
    bool intact = false;         // the zlib stream ends and its check matches
    bool overLimit = false;      // counting stopped after more than limit bytes
    std::uint64_t xmlSize = 0;   // bytes inflated (up to the damage or the limit)
    std::uint64_t streamSize = 0;  // length of the zlib stream when intact
    std::string problem;         // what is wrong, in zlib's words where it has them, when not intact
};

// Inflates payload, counting and discarding its output, and stops once more
// than limit bytes came out.
PayloadFacts MeasurePayload(std::string_view payload, std::uint64_t limit);

}  // namespace modConvert
