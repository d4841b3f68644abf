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

// "LMMC" 00 03 00 00, the start of every container; empty until InitContainerCodec.
extern const std::string& ContainerSignature;

// MSB-first CRC-32 remainders (0x04C11DB7) of the bytes 0-255; zero until InitContainerCodec.
extern const std::array<std::uint32_t, 256>& CrcTable;

// Entry i masks the i + 1 lowest bits; zero until InitContainerCodec.
extern const std::array<std::uint32_t, 32>& MaskTable;

// Signature, compressed size, checksum, uncompressed size.
inline constexpr std::size_t HeaderSize = 20;

// The reader's output room: the XML of a container must not be larger.
inline constexpr std::size_t ReaderRoom = 66203;
// ReaderRoom as messages write it, digits grouped by commas: "66,203".
std::string ReaderRoomText();

// Start-up calls it once; the reader and writer call it themselves if start-up has not.
void InitContainerCodec();

// Copies the 256 constants, checked at build time against the generator, into CrcTable.
void InitCrcTable();

// Builds MaskTable as running sums of the powers of two.
void InitMaskTable();

// The four bytes of value, least significant first, whatever the machine.
std::string LongToBytes(std::int32_t value);

// The four bytes of value at indexes 0-3, least significant first.
std::array<std::uint8_t, 4> LongToByteArray(std::int32_t value);

// One character per element, in index order.
std::string BytesToString(std::span<const std::uint8_t> bytes);

// The little-endian number at offset; fewer than four bytes there raise error 9.
std::uint32_t BytesToLong(std::string_view bytes, std::size_t offset = 0);

// A logical shift within 32 bits; a count outside 1-31 raises error 5.
std::uint32_t ShiftLeft32(std::uint32_t value, std::int16_t count);

// A logical shift (zeros from the top); a count outside 1-31 raises error 5.
std::uint32_t ShiftRight32(std::uint32_t value, std::int16_t count);

// The CRC that the POSIX cksum program prints for data.
std::uint32_t ContainerChecksumValue(std::string_view data);

// The cksum CRC of data packed by LongToBytes, as the header stores it.
std::string ContainerChecksum(std::string_view data);

// The room zlib gets for size bytes: size + 1 % + 12, rounded (halves to even).
std::size_t OutputRoom(std::uint64_t size);

// Replaces data by its zlib stream, even when zlib fails; returns zlib's status.
int CompressData(std::string& data);

// Replaces data by what fits of its inflation in the room for expectedSize (0: 65,536); returns zlib's status.
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

// The XML of a container, or "" when the payload does not decompress or the
// bytes are no container, with the reason; raises error 5 for a signature
// without a whole header.
ReadResult ReadContainer(std::string_view containerBytes);

// The warning shown for bytes that are no container.
inline const std::string NotRecognizedMessage = "Bin file type not recognized.";

// The XML of the container file at path, as ReadContainer reads it, after
// showing NotRecognizedMessage when the file is no container; file errors
// (53 ...) pass through.
std::string BinToXml(const std::string& path, kestrune::UserInterface& ui);

// The container for the text; a zlib failure raises CompressFailed rather than give damaged bytes.
std::string XmlToBin(std::string_view text);

// What a payload holds, found by inflating it without a room limit.
struct PayloadFacts {
    bool intact = false;           // the zlib stream ends and its check matches
    bool overLimit = false;        // counting stopped after more than limit bytes
    std::uint64_t xmlSize = 0;     // bytes inflated, up to the end, the damage or the limit
    std::uint64_t streamSize = 0;  // length of the zlib stream when intact
    std::string problem;           // what is wrong when not intact, in zlib's words where it has them
};

// Inflates payload without keeping the output, stopping once more than limit bytes came out.
PayloadFacts MeasurePayload(std::string_view payload, std::uint64_t limit);

}  // namespace modConvert
