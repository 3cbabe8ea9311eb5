#include "app/single_instance.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>

namespace {

// What travels on the socket, one line each: the first copy tells its two
// keys, a later start that accepts them asks it to show itself, and the first
// copy confirms.
constexpr const char* ShowCommand = "show";
constexpr const char* ShownReply = "shown";

QByteArray Line(const QString& text) {
  QString clean = text;
  clean.replace('\n', ' ');
  return clean.toUtf8() + '\n';
}

bool ReadLine(QLocalSocket& socket, QDeadlineTimer deadline, QString& line) {
  while (!socket.canReadLine()) {
    if (deadline.hasExpired() || socket.state() != QLocalSocket::ConnectedState) return false;
    socket.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())));
  }
  line = QString::fromUtf8(socket.readLine()).chopped(1);
  return true;
}

}  // namespace

TSingleInstance::TSingleInstance(const QString& name)
    : FName(name),
      FSocketPath(QString::fromStdString(TInstanceLock::SessionPath(name.toStdString(), ".socket"))),
      FLock(name.toStdString()) {}

TSingleInstance::~TSingleInstance() { Release(); }

bool TSingleInstance::Acquire() { return FLock.Acquire(); }

void TSingleInstance::Release() {
  if (FServer) {
    FServer->close();
    FServer.reset();
  }
  FLock.Release();
}

bool TSingleInstance::Listen(QWidget* window, std::function<void()> showRequest) {
  FWindow = window;
  FShowRequest = std::move(showRequest);
  FServer = std::make_unique<QLocalServer>();
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  // Holding the lock, any socket file left there is a crashed copy's.
  QLocalServer::removeServer(FSocketPath);
  if (!FServer->listen(FSocketPath)) {
    FServer.reset();
    return false;
  }
  connect(FServer.get(), &QLocalServer::newConnection, this, [this] { Answer(); });
  return true;
}

void TSingleInstance::Answer() {
  while (QLocalSocket* socket = FServer ? FServer->nextPendingConnection() : nullptr) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    if (!FWindow) {
      socket->disconnectFromServer();
      continue;
    }
    socket->write(Line(QString::fromLatin1(FWindow->metaObject()->className())));
    socket->write(Line(FWindow->windowTitle()));
    socket->flush();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      while (socket->canReadLine()) {
        const QString command = QString::fromUtf8(socket->readLine()).trimmed();
        if (command == QLatin1String(ShowCommand)) {
          if (FShowRequest) FShowRequest();
          socket->write(Line(QString::fromLatin1(ShownReply)));
          socket->flush();
        }
      }
    });
  }
}

bool TSingleInstance::AskRunningCopyToShow(const QString& windowClass, const QString& title, int timeoutMs) const {
  const QDeadlineTimer deadline(timeoutMs);
  QLocalSocket socket;
  // The running copy may still be starting up: try again until the deadline.
  for (;;) {
    socket.connectToServer(FSocketPath);
    if (socket.waitForConnected(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) break;
    if (deadline.hasExpired()) return false;
    QThread::msleep(20);
  }
  QString runningClass;
  QString runningTitle;
  if (!ReadLine(socket, deadline, runningClass) || !ReadLine(socket, deadline, runningTitle)) return false;
  // Both keys exactly, letter case included.
  if (runningClass != windowClass || runningTitle != title) return false;
  socket.write(Line(QString::fromLatin1(ShowCommand)));
  if (!socket.waitForBytesWritten(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))) {
    if (socket.bytesToWrite() > 0) return false;
  }
  QString reply;
  const bool shown = ReadLine(socket, deadline, reply) && reply == QLatin1String(ShownReply);
  socket.disconnectFromServer();
  return shown;
}
