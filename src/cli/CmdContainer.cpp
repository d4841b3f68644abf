#include "cli/CmdContainer.h"

#include "cli/Cli.h"
#include "common/modGen.h"
#include "container/modConvert.h"

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <limits>
#include <string>

namespace kestrune::cli {

const char* const UnpackUsage =
    "Usage: kestrune-cli unpack CONTAINER [-o FILE]\n"
    "\n"
    "Writes the XML text inside the .bin config container CONTAINER to FILE,\n"
    "or to standard output without -o or with -o -.\n"
    "\n"
    "Exit status: 0 written; 1 not a container, a payload that does not\n"
    "decompress, or a file error (nothing is written then); 2 usage error.\n";

const char* const PackUsage =
    "Usage: kestrune-cli pack XMLFILE -o FILE\n"
    "\n"
    "Packs the bytes of XMLFILE, as they are, into a .bin config container\n"
    "and writes it to FILE (-o - writes to standard output).\n"
    "\n"
    "Exit status: 0 written; 1 a file or compression error (nothing is\n"
    "written then); 2 usage error.\n";

const char* const InfoUsage =
    "Usage: kestrune-cli info CONTAINER\n"
    "\n"
    "Shows the signature of CONTAINER and, for the compressed size, the\n"
    "checksum and the uncompressed size, the value its header stores, the\n"
    "actual value and whether they agree.\n"
    "\n"
    "Exit status: 0 the signature is right, all three agree and the payload\n"
    "decompresses; 1 otherwise; 2 usage error.\n";

namespace {

// The most a header field can state; measuring stops beyond it.
constexpr std::uint64_t kMeasureLimit = std::numeric_limits<std::uint32_t>::max();

// False, after the reader's warning, for bytes that are no container.
bool Recognised(const modConvert::ReadResult& result) {
    if (result.status != modConvert::ReadStatus::NotRecognized) return true;
    PrintMessage(modConvert::NotRecognizedMessage, MessageIcon::Warning);
    return false;
}

// Why the reader got no XML out of a recognised container.
std::string Cause(const modConvert::ReadResult& result, const modConvert::PayloadFacts& facts) {
    if (result.status == modConvert::ReadStatus::TooLarge) {
        if (facts.overLimit) return "its XML is larger than " + std::to_string(kMeasureLimit) + " bytes";
        if (facts.intact) {
            return "its XML has " + std::to_string(facts.xmlSize) +
                   " bytes, more than the " + modConvert::ReaderRoomText() + " bytes the reader has room for";
        }
    }
    if (!facts.problem.empty()) return facts.problem;
    return "zlib status " + std::to_string(result.zlibStatus);
}

std::string Hex32(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string HexBytes(std::string_view bytes) {
    static const char* const digits = "0123456789ABCDEF";
    std::string hex;
    for (const unsigned char b : bytes) {
        if (!hex.empty()) hex.push_back(' ');
        hex.push_back(digits[b >> 4]);
        hex.push_back(digits[b & 15]);
    }
    return hex;
}

void PrintRow(const std::string& label, const std::string& stored, const std::string& actual, bool agree) {
    std::cout << label << std::string(label.size() < 19 ? 19 - label.size() : 1, ' ') << "stored " << stored
              << ", actual " << actual << (agree ? ", agree" : ", differ") << '\n';
}

}  // namespace

int RunUnpack(const std::vector<std::string>& args) {
    const Arguments a = ParseArguments(args, {"-o"}, {}, 1, 1);
    modConvert::InitContainerCodec();
    const std::string bytes = modGen::ReadWholeFile(a.positional[0]);
    const modConvert::ReadResult result = modConvert::ReadContainer(bytes);
    if (!Recognised(result)) return ExitFailed;
    if (result.status != modConvert::ReadStatus::Decompressed) {
        const auto facts =
            modConvert::MeasurePayload(std::string_view(bytes).substr(modConvert::HeaderSize), kMeasureLimit);
        PrintMessage("The payload does not decompress: " + Cause(result, facts) + ".", MessageIcon::Critical);
        return ExitFailed;
    }
    WriteOutput(a.Value("-o"), result.xml, a.positional[0]);
    return ExitOk;
}

int RunPack(const std::vector<std::string>& args) {
    const Arguments a = ParseArguments(args, {"-o"}, {}, 1, 1);
    const auto destination = a.Value("-o");
    if (!destination || destination->empty()) throw UsageError("missing -o FILE");
    modConvert::InitContainerCodec();
    const std::string xml = modGen::ReadWholeFile(a.positional[0]);
    const std::string bin = modConvert::XmlToBin(xml);
    if (xml.size() > modConvert::ReaderRoom) {
        PrintMessage("The XML has " + std::to_string(xml.size()) +
                         " bytes, more than the " + modConvert::ReaderRoomText() + " bytes that unpack can read back.",
                     MessageIcon::Warning);
    }
    WriteOutput(destination, bin, a.positional[0]);
    return ExitOk;
}

int RunInfo(const std::vector<std::string>& args) {
    const Arguments a = ParseArguments(args, {}, {}, 1, 1);
    modConvert::InitContainerCodec();
    const std::string bytes = modGen::ReadWholeFile(a.positional[0]);
    const std::string_view view(bytes);

    const bool signatureRight = view.substr(0, 8) == modConvert::ContainerSignature;
    std::cout << "signature:         " << (bytes.empty() ? std::string("(empty file)") : HexBytes(view.substr(0, 8)))
              << (signatureRight ? "  right" : "  not recognized") << '\n';
    std::cout.flush();

    const modConvert::ReadResult result = modConvert::ReadContainer(bytes);
    if (!Recognised(result)) return ExitFailed;

    const std::string_view payload = view.substr(modConvert::HeaderSize);
    const auto facts = modConvert::MeasurePayload(payload, kMeasureLimit);
    // A sound stream ends where zlib says; bytes after it are not payload.
    const std::uint64_t compressed = facts.intact ? facts.streamSize : payload.size();
    const std::uint32_t storedCompressed = modConvert::BytesToLong(view, 8);
    const std::uint32_t storedChecksum = modConvert::BytesToLong(view, 12);
    const std::uint32_t storedUncompressed = modConvert::BytesToLong(view, 16);
    const std::uint32_t checksum = modConvert::ContainerChecksumValue(payload.substr(0, compressed));

    const bool compressedAgree = compressed == storedCompressed;
    const bool checksumAgree = checksum == storedChecksum;
    const bool uncompressedAgree = facts.intact && facts.xmlSize == storedUncompressed;
    PrintRow("compressed size:", std::to_string(storedCompressed), std::to_string(compressed), compressedAgree);
    PrintRow("checksum:", Hex32(storedChecksum), Hex32(checksum), checksumAgree);
    const std::string uncompressed = facts.intact      ? std::to_string(facts.xmlSize)
                                     : facts.overLimit ? "more than " + std::to_string(kMeasureLimit)
                                                       : "unknown";
    PrintRow("uncompressed size:", std::to_string(storedUncompressed), uncompressed, uncompressedAgree);
    if (facts.intact && compressed < payload.size()) {
        std::cout << "trailing bytes:    " << payload.size() - compressed << ", ignored by the reader\n";
    }
    const bool decompresses = result.status == modConvert::ReadStatus::Decompressed;
    std::cout << "payload:           "
              << (decompresses ? std::string("decompresses") : "does not decompress: " + Cause(result, facts))
              << '\n';
    std::cout.flush();
    return signatureRight && compressedAgree && checksumAgree && uncompressedAgree && decompresses ? ExitOk
                                                                                                    : ExitFailed;
}

}  // namespace kestrune::cli
