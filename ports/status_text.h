#pragma once

#include <cstdint>

namespace flashkit {

// What a status code of ports/status.h means, in a few words for a person:
// "the port is held by another program". "unknown status" for any other.
const char* StatusMeaning(int32_t status);

}  // namespace flashkit
