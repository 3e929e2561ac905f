#pragma once

#include <cstdint>
#include <string>

namespace flashkit::platform {

// A system-wide lock with a name: an advisory lock on a file named after it in
// $XDG_RUNTIME_DIR (or /tmp); on Windows, a named mutex. Every NamedLock object is a holder of its own,
// so two objects of one process exclude each other too.
class NamedLock {
 public:
  explicit NamedLock(const std::string& name);
  ~NamedLock();
  NamedLock(const NamedLock&) = delete;
  NamedLock& operator=(const NamedLock&) = delete;

  // Waits without limit. False when the lock file could not be made; the
  // caller then goes on unguarded, as with a mutex that could not be created.
  bool Lock();
  void Unlock();

 private:
  std::intptr_t handle_;  // the lock file's descriptor, or the mutex; -1 for none
};

}  // namespace flashkit::platform
