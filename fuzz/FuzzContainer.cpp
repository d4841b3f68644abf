// The container reader on arbitrary bytes: it never crashes, refuses only a
// signature without a whole header by an error, and whatever it reads, the
// writer packs into a container that reads back the same.
#include "FuzzSupport.h"

#include "common/Errors.h"
#include "container/modConvert.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>

using kestrune::fuzz::Require;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    modConvert::InitContainerCodec();
    const bool signed_ = bytes.substr(0, modConvert::ContainerSignature.size()) == modConvert::ContainerSignature;

    modConvert::ReadResult read;
    try {
        read = modConvert::ReadContainer(bytes);
    } catch (const kestrune::RunError& e) {
        Require(e.number() == kestrune::ErrorNumber::InvalidArgument && signed_ && size < modConvert::HeaderSize,
                "only a signature without a whole header raises");
        return 0;
    }
    Require((read.status == modConvert::ReadStatus::NotRecognized) == !signed_,
            "bytes are not recognised exactly when they lack the signature");
    const std::string& xml = read.xml;
    if (read.status != modConvert::ReadStatus::Decompressed) {
        Require(xml.empty(), "no text without a decompressed payload");
        if (signed_ && read.status == modConvert::ReadStatus::TooLarge) {
            const auto facts = modConvert::MeasurePayload(bytes.substr(modConvert::HeaderSize), modConvert::ReaderRoom);
            Require(facts.overLimit || !facts.intact, "a payload called too large does not fit the room");
        }
        return 0;
    }
    Require(xml.size() <= modConvert::ReaderRoom, "the text fits the reader's room");
    const auto facts = modConvert::MeasurePayload(bytes.substr(modConvert::HeaderSize),
                                                  std::numeric_limits<std::uint32_t>::max());
    Require(facts.intact && facts.xmlSize == xml.size(), "the measure agrees with the reader");

    const modConvert::ReadResult back = modConvert::ReadContainer(modConvert::XmlToBin(xml));
    Require(back.status == modConvert::ReadStatus::Decompressed && back.xml == xml,
            "a packed text reads back as itself");
    return 0;
}
