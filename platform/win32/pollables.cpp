#include "platform/win32/pollables.h"

#include <map>
#include <mutex>

namespace flashkit::platform {
namespace {

struct Registry {
  std::mutex mutex;
  std::map<int, Pollable*> objects;
  int next = 3;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

int RegisterPollable(Pollable& pollable) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  const int id = r.next++;
  r.objects[id] = &pollable;
  return id;
}

void UnregisterPollable(int id) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  r.objects.erase(id);
}

// The owner of an object unregisters it before destroying it, and one
// thread polls an object at a time, so it may be used outside the lock.
bool PollableReady(int id) {
  Registry& r = TheRegistry();
  Pollable* object = nullptr;
  {
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto found = r.objects.find(id);
    if (found != r.objects.end()) object = found->second;
  }
  return object != nullptr && object->InputReady();
}

HANDLE PollableSignal(int id) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> lock(r.mutex);
  const auto found = r.objects.find(id);
  return found == r.objects.end() ? nullptr : found->second->Signal();
}

}  // namespace flashkit::platform
