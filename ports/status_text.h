#pragma once

#include <cstdint>

namespace flashkit {

// What a status code of ports/status.h means, for a person, in the words of
// linkxfer's exit-status table: "no such port". "unknown status" for any other.
const char* StatusMeaning(int32_t status);

// Whether StatusMeaning knows `status`.
bool HasMeaning(int32_t status);

}  // namespace flashkit
