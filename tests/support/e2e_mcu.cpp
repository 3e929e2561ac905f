#include "tests/support/e2e_mcu.h"

#include <algorithm>

namespace flashkit::testing {
namespace {

std::vector<std::string> McuArgs(unsigned com, const std::string& dump,
                                 const std::vector<std::string>& more) {
  std::vector<std::string> args = {"mcu", "--com", std::to_string(com), "--dump", dump};
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

}  // namespace

E2eMcu::E2eMcu(E2eSandbox& sandbox, unsigned com, const std::vector<std::string>& more_args)
    : dump_path_((sandbox.root() / ("flash-com" + std::to_string(com) + ".bin")).string()),
      devsim_(sandbox, McuArgs(com, dump_path_, more_args)) {}

Bytes E2eMcu::StopAndDump() {
  devsim_.Stop();
  return ReadBytes(dump_path_);
}

std::vector<std::string> McuTrail(const std::vector<std::string>& events,
                                  const std::vector<std::string>& kinds) {
  std::vector<std::string> trail;
  for (const std::string& line : events) {
    const std::optional<std::string> kind = EventField(line, "event");
    if (!kind || std::find(kinds.begin(), kinds.end(), *kind) == kinds.end()) continue;
    const std::optional<std::string> address = EventField(line, "address");
    trail.push_back(address ? *kind + " " + *address : *kind);
  }
  return trail;
}

size_t CountEvents(const std::vector<std::string>& events, const std::string& kind) {
  return static_cast<size_t>(std::count_if(events.begin(), events.end(), [&](const std::string& line) {
    return EventField(line, "event") == kind;
  }));
}

Bytes FlashWith(const std::vector<std::pair<uint32_t, Bytes>>& placed) {
  Bytes flash(kMcuFlashBytes, 0xFF);
  for (const auto& [address, data] : placed) {
    std::copy(data.begin(), data.end(), flash.begin() + (address - kMcuFlashBase));
  }
  return flash;
}

}  // namespace flashkit::testing
