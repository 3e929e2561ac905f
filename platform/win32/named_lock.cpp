#include "platform/named_lock.h"

#include "platform/win32/windows_api.h"

namespace flashkit::platform {
namespace {

// Local to the session, as the Linux lock file lives in the session's folder.
constexpr char kNamePrefix[] = "Local\\flashkit-";

// A backslash in a kernel object name would name a namespace.
std::string ObjectNameFor(std::string name) {
  for (char& c : name) {
    if (c == '\\') c = '_';
  }
  return kNamePrefix + name;
}

HANDLE HandleOf(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

NamedLock::NamedLock(const std::string& name) : handle_(-1) {
  if (HANDLE mutex = ::CreateMutexA(nullptr, FALSE, ObjectNameFor(name).c_str()); mutex != nullptr) {
    handle_ = reinterpret_cast<std::intptr_t>(mutex);
  }
}

NamedLock::~NamedLock() {
  if (handle_ != -1) ::CloseHandle(HandleOf(handle_));
}

// A holder that died leaves the mutex abandoned; the next one owns it then.
bool NamedLock::Lock() {
  if (handle_ == -1) return false;
  const DWORD result = ::WaitForSingleObject(HandleOf(handle_), INFINITE);
  return result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void NamedLock::Unlock() {
  if (handle_ != -1) ::ReleaseMutex(HandleOf(handle_));
}

}  // namespace flashkit::platform
