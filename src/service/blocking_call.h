#pragma once
// The one seam through which every library call that can wait on the server
// (attach, start, query, detach) passes, together with its status check.

#include <functional>

// A runner receives the call (library call + status check + raise) and must
// run it exactly once; if the call throws, the same exception must reach the
// runner's caller unchanged (same class, codes and message).
using TBlockingCall = std::function<void()>;
using TBlockingCallRunner = std::function<void(const TBlockingCall& call)>;

// Runs the call through the installed runner (default: directly).
void RunBlockingCall(const TBlockingCall& call);
// Installs a runner; an empty function restores the direct default.
void SetBlockingCallRunner(TBlockingCallRunner runner);

// A ready-made runner body: runs `call` on a helper thread while the calling
// thread calls `whileWaiting` (e.g. to pump events) every few milliseconds
// until the call has ended, then rethrows the helper thread's exception
// object itself, if any.
void RunOnHelperThread(const TBlockingCall& call, const std::function<void()>& whileWaiting);
