#pragma once
// Watches for the end of the user's session: a termination signal (SIGTERM,
// SIGINT, SIGHUP) reaches the event loop through a pipe and calls
// `onSessionEnd` there, on the user-interface thread.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class TSessionEndWatcher : public QObject {
 public:
  explicit TSessionEndWatcher(std::function<void()> onSessionEnd, QObject* parent = nullptr);
  // The signals get their default action back.
  ~TSessionEndWatcher() override;

  // False when the signals could not be routed to the event loop.
  bool Active() const { return FNotifier != nullptr; }

 private:
  std::function<void()> FOnSessionEnd;
  std::unique_ptr<QSocketNotifier> FNotifier;
};
