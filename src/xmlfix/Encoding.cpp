#include "xmlfix/Encoding.h"

#include "common/Latin1.h"

#include <algorithm>
#include <initializer_list>

namespace modXML::detail {
namespace {

// Reads the code point at i and moves past it. A byte that starts no valid
// sequence is stepped over alone and false is returned. Encoded surrogates
// are accepted, so that lone UTF-16 surrogates survive a round trip.
bool NextCodePoint(std::string_view s, std::size_t& i, char32_t& cp) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        cp = b0;
        ++i;
        return true;
    }
    std::size_t length = 0;
    char32_t smallest = 0;
    if ((b0 & 0xE0) == 0xC0) {
        length = 2, cp = b0 & 0x1F, smallest = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        length = 3, cp = b0 & 0x0F, smallest = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        length = 4, cp = b0 & 0x07, smallest = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (i + length > s.size()) {
        ++i;
        return false;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < smallest || cp > 0x10FFFF) {
        ++i;
        return false;
    }
    i += length;
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

void AppendUnit(std::string& out, std::uint32_t unit, std::size_t width, bool bigEndian) {
    for (std::size_t k = 0; k < width; ++k) {
        const std::size_t shift = 8 * (bigEndian ? width - 1 - k : k);
        out.push_back(static_cast<char>((unit >> shift) & 0xFF));
    }
}

std::uint32_t ReadUnit(std::string_view s, std::size_t at, std::size_t width, bool bigEndian) {
    std::uint32_t unit = 0;
    for (std::size_t k = 0; k < width; ++k) {
        const std::size_t shift = 8 * (bigEndian ? width - 1 - k : k);
        unit |= static_cast<std::uint32_t>(static_cast<unsigned char>(s[at + k])) << shift;
    }
    return unit;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The value of encoding="..." in an XML declaration at the start of text,
// as written, and where it starts; an empty name when there is none.
struct Declared {
    std::string name;
    std::size_t offset = 0;
};

Declared DeclaredEncoding(std::string_view text) {
    if (!text.starts_with("<?xml") || text.size() < 6 || !IsXmlSpace(text[5])) return {};
    const auto end = text.find("?>");
    if (end == std::string_view::npos) return {};
    const std::string_view declaration = text.substr(0, end);
    auto pos = declaration.find("encoding");
    if (pos == std::string_view::npos) return {};
    pos += 8;
    while (pos < declaration.size() && IsXmlSpace(declaration[pos])) ++pos;
    if (pos >= declaration.size() || declaration[pos] != '=') return {};
    ++pos;
    while (pos < declaration.size() && IsXmlSpace(declaration[pos])) ++pos;
    if (pos >= declaration.size() || (declaration[pos] != '"' && declaration[pos] != '\'')) return {};
    const auto close = declaration.find(declaration[pos], pos + 1);
    if (close == std::string_view::npos) return {};
    return {std::string(declaration.substr(pos + 1, close - pos - 1)), pos + 1};
}

bool IsOneOf(const Declared& declared, std::initializer_list<std::string_view> names) {
    std::string lower = declared.name;
    for (char& c : lower) c = Lower(c);
    return std::find(names.begin(), names.end(), lower) != names.end();
}

// Windows-1252 is read as Latin-1 as well: the interface's byte strings are
// Latin-1, so each byte still comes back as itself.
bool IsLatin1(const Declared& declared) {
    return IsOneOf(declared, {"iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1", "windows-1252",
                              "cp1252", "ibm819", "cp819", "iso-ir-100", "csisolatin1"});
}

// UTF-8 and its subset US-ASCII, UTF-16 and UTF-32, by any of their names.
bool IsUnicode(const Declared& declared) {
    return IsOneOf(declared, {"utf-8", "utf8", "us-ascii", "ascii", "ansi_x3.4-1968", "iso646-us", "csascii",
                              "utf-16", "utf-16le", "utf-16be", "utf16", "ucs-2", "iso-10646-ucs-2", "csunicode",
                              "utf-32", "utf-32le", "utf-32be", "utf32", "ucs-4", "iso-10646-ucs-4"});
}

std::size_t UnitWidth(DocumentEncoding encoding) {
    switch (encoding) {
    case DocumentEncoding::Utf16LE:
    case DocumentEncoding::Utf16BE:
        return 2;
    case DocumentEncoding::Utf32LE:
    case DocumentEncoding::Utf32BE:
        return 4;
    default:
        return 1;
    }
}

// Any other encoding would be read as UTF-8 and written back with its own
// characters and UTF-8 ones mixed: such a document is not loaded at all.
void RefuseUnsupportedEncoding(DecodedDocument& doc) {
    const Declared declared = DeclaredEncoding(doc.utf8);
    if (declared.name.empty() || IsUnicode(declared) || IsLatin1(declared)) return;
    doc.ok = false;
    doc.problem = "Unsupported encoding \"" + declared.name +
                  "\" declared; only UTF-8, UTF-16, UTF-32, ISO-8859-1 and windows-1252 can be fixed";
    // The declaration is ASCII: one unit per character up to the name.
    doc.problemOffset = doc.byteOrderMark.size() + declared.offset * UnitWidth(doc.encoding);
}

void DecodeUnits(DecodedDocument& doc, std::string_view body, std::size_t width, bool bigEndian) {
    const std::size_t base = doc.byteOrderMark.size();
    const std::size_t whole = body.size() - body.size() % width;
    doc.utf8.reserve(whole / width + whole / 8);
    for (std::size_t at = 0; at < whole; at += width) {
        std::uint32_t unit = ReadUnit(body, at, width, bigEndian);
        if (width == 2 && unit >= 0xD800 && unit < 0xDC00 && at + 2 < whole) {
            const std::uint32_t low = ReadUnit(body, at + 2, width, bigEndian);
            if (low >= 0xDC00 && low < 0xE000) {
                unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
                at += 2;
            }
        }
        if (unit > 0x10FFFF) {
            doc.ok = false;
            doc.problem = "Invalid UTF-32 character";
            doc.problemOffset = base + at;
            return;
        }
        AppendUtf8(doc.utf8, unit);
    }
    if (whole != body.size()) {
        doc.ok = false;
        doc.problem = width == 2 ? "Incomplete UTF-16 character at the end" : "Incomplete UTF-32 character at the end";
        doc.problemOffset = base + whole;
    }
}

// The encoding the first bytes show (a byte order mark, or how "<" is
// encoded), else Latin-1 where the declaration names it, else UTF-8.
void DetectEncoding(std::string_view b, DecodedDocument& doc) {
    struct Mark {
        std::string_view bytes;
        DocumentEncoding encoding;
        bool isMark;  // false: the first characters, "<" or "<?", not a mark
    };
    using namespace std::string_view_literals;
    static const Mark marks[] = {
        {"\xEF\xBB\xBF"sv, DocumentEncoding::Utf8, true},
        {"\x00\x00\xFE\xFF"sv, DocumentEncoding::Utf32BE, true},
        {"\xFF\xFE\x00\x00"sv, DocumentEncoding::Utf32LE, true},
        {"\xFE\xFF"sv, DocumentEncoding::Utf16BE, true},
        {"\xFF\xFE"sv, DocumentEncoding::Utf16LE, true},
        {"\x00\x00\x00\x3C"sv, DocumentEncoding::Utf32BE, false},
        {"\x3C\x00\x00\x00"sv, DocumentEncoding::Utf32LE, false},
        {"\x00\x3C"sv, DocumentEncoding::Utf16BE, false},
        {"\x3C\x00"sv, DocumentEncoding::Utf16LE, false},
    };
    for (const auto& mark : marks) {
        if (b.starts_with(mark.bytes)) {
            doc.encoding = mark.encoding;
            if (mark.isMark) doc.byteOrderMark = std::string(mark.bytes);
            return;
        }
    }
    if (IsLatin1(DeclaredEncoding(b))) doc.encoding = DocumentEncoding::Latin1;
}

}  // namespace

DecodedDocument DecodeDocument(std::string bytes) {
    DecodedDocument doc;
    const std::string_view b(bytes);
    DetectEncoding(b, doc);

    const std::string_view body = b.substr(doc.byteOrderMark.size());
    switch (doc.encoding) {
    case DocumentEncoding::Utf8:
        if (doc.byteOrderMark.empty()) {
            doc.utf8 = std::move(bytes);
        } else {
            doc.utf8 = std::string(body);
        }
        break;
    case DocumentEncoding::Latin1:
        doc.utf8 = Latin1ToUtf8(body);
        break;
    case DocumentEncoding::Utf16LE:
    case DocumentEncoding::Utf16BE:
        DecodeUnits(doc, body, 2, doc.encoding == DocumentEncoding::Utf16BE);
        break;
    case DocumentEncoding::Utf32LE:
    case DocumentEncoding::Utf32BE:
        DecodeUnits(doc, body, 4, doc.encoding == DocumentEncoding::Utf32BE);
        break;
    }
    if (doc.ok) RefuseUnsupportedEncoding(doc);
    return doc;
}

std::string EncodeDocument(std::string_view utf8, DocumentEncoding encoding) {
    if (encoding == DocumentEncoding::Utf8) return std::string(utf8);
    std::string out;
    const bool wide = encoding != DocumentEncoding::Latin1;
    out.reserve(wide ? utf8.size() * 2 : utf8.size());
    const bool bigEndian = encoding == DocumentEncoding::Utf16BE || encoding == DocumentEncoding::Utf32BE;
    const std::size_t width =
        encoding == DocumentEncoding::Utf32LE || encoding == DocumentEncoding::Utf32BE ? 4 : 2;
    for (std::size_t i = 0; i < utf8.size();) {
        if (encoding == DocumentEncoding::Latin1) {
            // A character Latin-1 cannot hold becomes "?".
            const char32_t c = NextCharacter(utf8, i);
            out.push_back(c <= 0xFF ? static_cast<char>(c) : '?');
            continue;
        }
        char32_t cp = 0;
        if (!NextCodePoint(utf8, i, cp)) cp = 0xFFFD;
        if (width == 2 && cp >= 0x10000) {
            AppendUnit(out, 0xD800 + ((cp - 0x10000) >> 10), 2, bigEndian);
            AppendUnit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF), 2, bigEndian);
        } else {
            AppendUnit(out, cp, width, bigEndian);
        }
    }
    return out;
}

std::string Latin1ToUtf8(std::string_view bytes) { return kestrune::Latin1ToUtf8(bytes); }

// Characters above 255, which a byte string cannot hold, become "?".
std::string Utf8ToLatin1(std::string_view utf8) { return EncodeDocument(utf8, DocumentEncoding::Latin1); }

char32_t NextCharacter(std::string_view utf8, std::size_t& i) {
    const std::size_t start = i;
    char32_t cp = 0;
    return NextCodePoint(utf8, i, cp) ? cp : static_cast<unsigned char>(utf8[start]);
}

}  // namespace modXML::detail
