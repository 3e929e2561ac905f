#pragma once

#include <string_view>

#include "ports/text_out.h"

namespace flashkit {

// The summary of every option and of the exit statuses that -h prints.
void PrintUsage(TextOut& out, std::string_view program_name);

}  // namespace flashkit
