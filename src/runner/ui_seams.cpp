#include "runner/ui_seams.h"

#include <utility>

namespace {

std::function<void()>& Pump() {
  static std::function<void()> pump;
  return pump;
}

class TSilentPrompts final : public TPrompts {
 public:
  void ShowMessage(const std::string&) override {}
  bool AskYesNo(const std::string&) override { return true; }
  bool ConfirmOkCancel(const std::string&) override { return true; }
  void Beep() override {}
};

TPrompts* InstalledPrompts = nullptr;

}  // namespace

void ProcessMessages() {
  if (Pump()) Pump()();
}

void SetMessagePump(std::function<void()> pump) { Pump() = std::move(pump); }

TPrompts& Prompts() {
  static TSilentPrompts silent;
  return InstalledPrompts ? *InstalledPrompts : silent;
}

void SetPrompts(TPrompts* prompts) { InstalledPrompts = prompts; }
