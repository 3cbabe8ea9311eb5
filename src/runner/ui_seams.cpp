#include "runner/ui_seams.h"

#include <utility>

namespace {

std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}

}  // namespace

void ProcessMessages() {
  if (Pump()) Pump()();
}

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }
