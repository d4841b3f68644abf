#pragma once

#include <cstdint>

namespace kestrune::blowfish {

// The first 18 words of pi's fractional part in hexadecimal.
extern const std::uint32_t PiSubkeys[18];

// The 1024 words of pi's fractional part that follow PiSubkeys, in order.
extern const std::uint32_t PiBoxWords[1024];

}  // namespace kestrune::blowfish
