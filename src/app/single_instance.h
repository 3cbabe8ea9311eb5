#pragma once
// Start-up guard: one copy of the program per user session. The first copy
// holds the lock "Quorvin_Prorgamm" and listens on a per-user local socket of
// the same name; a later start finds it there, checks both keys (the window
// class of the program's main window and its title, exact and
// case-sensitive), asks it to show itself restored with the focus, and ends.

#include <QLocalServer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>

#include "platform/instance_lock.h"

inline constexpr const char* InstanceMutexName = "Quorvin_Prorgamm";

class TSingleInstance : public QObject {
 public:
  explicit TSingleInstance(const QString& name = InstanceMutexName);
  ~TSingleInstance() override;

  // Takes the lock; false when another copy holds it (or it cannot be taken).
  bool Acquire();
  // Gives the lock up and stops listening (after the message loop).
  void Release();

  // First copy: answers later starts on behalf of `window`; `showRequest`
  // brings the window back when they ask. False when the socket cannot be
  // opened (the program runs all the same).
  bool Listen(QWidget* window, std::function<void()> showRequest);

  // Later start: finds the running copy, compares its keys with `windowClass`
  // and `title`, and when both match exactly asks it to show itself. True
  // when the running copy was asked and confirmed. Never takes longer than
  // about `timeoutMs`.
  bool AskRunningCopyToShow(const QString& windowClass, const QString& title, int timeoutMs = 1000) const;

  QString SocketPath() const { return FSocketPath; }

 private:
  void Answer();

  QString FName;
  QString FSocketPath;
  TInstanceLock FLock;
  std::unique_ptr<QLocalServer> FServer;
  QPointer<QWidget> FWindow;
  std::function<void()> FShowRequest;
};
