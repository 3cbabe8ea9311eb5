#pragma once
// The plan timer seam. The default object only records its state (tests call
// Tick() themselves); the application installs a factory that makes one
// backed by its event loop's timer.

#include <functional>
#include <memory>

class TPlanTimer {
 public:
  virtual ~TPlanTimer() = default;

  virtual void SetEnabled(bool enabled) { FEnabled = enabled; }
  bool Enabled() const { return FEnabled; }
  virtual void SetInterval(int msec) { FInterval = msec; }
  int Interval() const { return FInterval; }
  void SetOnTimer(std::function<void()> handler) { FOnTimer = std::move(handler); }

  // One tick: runs the handler. Event-loop timers call it on timeout.
  void Tick() {
    if (FOnTimer) FOnTimer();
  }

 protected:
  bool FEnabled = false;
  int FInterval = 1000;
  std::function<void()> FOnTimer;
};

using TPlanTimerFactory = std::function<std::unique_ptr<TPlanTimer>()>;

// A new timer from the installed factory (the recording one by default).
std::unique_ptr<TPlanTimer> CreatePlanTimer();
// An empty factory puts the default back.
void SetPlanTimerFactory(TPlanTimerFactory factory);
