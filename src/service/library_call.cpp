#include "service/library_call.h"

#include "platform/process_signals.h"

void CallClientLibrary(const std::function<void()>& call) {
  struct TReclaim {
    ~TReclaim() { TTerminationSignals::Reclaim(); }
  } reclaim;
  call();
}
