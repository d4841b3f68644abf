#pragma once

#include <string>
#include <string_view>

namespace kestrune {

// A byte string (one Latin-1 character per byte) as UTF-8, for the places
// that hand text to something that reads UTF-8: a terminal, the XML tree.
inline std::string Latin1ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (const char c : bytes) {
        const auto code = static_cast<unsigned char>(c);
        if (code < 0x80) {
            out.push_back(c);
        } else {
            out.push_back(static_cast<char>(0xC0 | (code >> 6)));
            out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
        }
    }
    return out;
}

}  // namespace kestrune
