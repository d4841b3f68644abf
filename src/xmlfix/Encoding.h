#pragma once

#include "xmlfix/modXML.h"

#include <cstddef>
#include <string>
#include <string_view>

// Conversions between the bytes of a document, the UTF-8 the tree holds and
// the Latin-1 byte strings of the engine's interface.
namespace modXML::detail {

// A document's bytes as UTF-8, with what is needed to write them back.
struct DecodedDocument {
    DocumentEncoding encoding = DocumentEncoding::Utf8;
    std::string byteOrderMark;  // the bytes of the mark, written back before the text
    std::string utf8;           // the text after the mark
    bool ok = true;
    std::string problem;        // why the bytes are not text of their encoding
    std::size_t problemOffset = 0;
};

// Detects the encoding (mark, layout of "<", Latin-1 declared, else UTF-8) and decodes without loss.
// A declared encoding other than UTF-8 (or US-ASCII), UTF-16, UTF-32, Latin-1
// or windows-1252 is refused: it could not be written back as it came.
DecodedDocument DecodeDocument(std::string bytes);

// The UTF-8 text in the given encoding, without a byte order mark.
std::string EncodeDocument(std::string_view utf8, DocumentEncoding encoding);

// A Latin-1 byte string as UTF-8.
std::string Latin1ToUtf8(std::string_view bytes);

// UTF-8 as a Latin-1 byte string.
std::string Utf8ToLatin1(std::string_view utf8);

// The character at i of UTF-8 text, with i moved past it. A byte that starts
// no valid sequence is the Latin-1 character of its value, as Utf8ToLatin1
// takes it.
char32_t NextCharacter(std::string_view utf8, std::size_t& i);

}  // namespace modXML::detail
