#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/win32/windows_api.h"

namespace flashkit::platform {

// Waits until `ready` holds, the MonotonicNs deadline passes, or a stop
// arrives during the wait (one that came before does not cut later waits
// short, as on Linux). The `wakers` end a step early when signalled; when
// they cover everything `ready` looks at (`wakers_cover`), one step spans the
// whole wait, otherwise `ready` is looked at every millisecond. Returns
// ready() as last seen.
bool WaitUntilReady(const std::function<bool()>& ready, const std::vector<HANDLE>& wakers,
                    bool wakers_cover, std::optional<uint64_t> deadline_ns);

// Asks for 1 ms timer resolution for the process, once: the default 15.6 ms
// would stretch every poll step of a stop-and-wait protocol.
void UseMillisecondTimer();

}  // namespace flashkit::platform
