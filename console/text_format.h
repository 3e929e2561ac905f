#pragma once

#include <cstdarg>
#include <string>

#include "ports/text_out.h"

namespace flashkit {

std::string FormatV(const char* format, std::va_list args);
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
void Printf(TextOut& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

}  // namespace flashkit
