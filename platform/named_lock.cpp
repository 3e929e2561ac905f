#include "platform/named_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace flashkit::platform {
namespace {

// The folder the lock files of this user's session live in.
std::string LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  return runtime != nullptr && *runtime != '\0' ? runtime : "/tmp";
}

// A name is one file: a slash in it must not reach into another folder.
std::string FileNameFor(std::string name) {
  for (char& c : name) {
    if (c == '/') c = '_';
  }
  return name;
}

int Flock(int fd, int operation) {
  int result;
  do {
    result = flock(fd, operation);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

NamedLock::NamedLock(const std::string& name)
    : handle_(::open((LockFolder() + "/" + FileNameFor(name)).c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
                 0666)) {}

NamedLock::~NamedLock() {
  if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

bool NamedLock::Lock() { return handle_ >= 0 && Flock(static_cast<int>(handle_), LOCK_EX) == 0; }

void NamedLock::Unlock() {
  if (handle_ >= 0) Flock(static_cast<int>(handle_), LOCK_UN);
}

}  // namespace flashkit::platform
