#include "platform/system_debugger.h"

#include "platform/win32/windows_api.h"

namespace flashkit::platform {

void ToSystemDebugger(const std::string& line) { ::OutputDebugStringA(line.c_str()); }

}  // namespace flashkit::platform
