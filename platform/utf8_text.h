#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace flashkit::platform {

// The length of the valid UTF-8 sequence at the start of `text` and its
// code point, or 0 when the first byte begins none (a stray continuation
// byte, an overlong form, a surrogate, past U+10FFFF, cut short). Devices
// report their texts as bytes; this is how they are read.
size_t DecodeUtf8(std::string_view text, uint32_t& code_point);

}  // namespace flashkit::platform
