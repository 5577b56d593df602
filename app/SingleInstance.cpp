#include "app/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <cerrno>

#include "app/ProgramFolder.h"
#include "app/RunGuarded.h"
#include "location/Exceptions.h"

namespace {

const char kRaiseRequest[] = "raise\n";
const char kRaisedAnswer[] = "ok\n";

std::string RuntimeFolder() {
  // Honours $XDG_RUNTIME_DIR and falls back to a private folder of Qt's choice.
  QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder.isEmpty()) throw CWin32Exception(ENOENT, "No runtime folder for the instance lock");
  return folder.toStdString();
}

int ErrnoOf(QLocalSocket::LocalSocketError error) {
  switch (error) {
    case QLocalSocket::ServerNotFoundError:
      return ENOENT;
    case QLocalSocket::ConnectionRefusedError:
      return ECONNREFUSED;
    case QLocalSocket::SocketAccessError:
      return EACCES;
    case QLocalSocket::SocketTimeoutError:
      return ETIMEDOUT;
    case QLocalSocket::PeerClosedError:
      return ECONNRESET;
    default:
      return EIO;
  }
}

[[noreturn]] void ThrowSocketError(const QLocalSocket& socket) {
  throw CWin32Exception(static_cast<uint32_t>(ErrnoOf(socket.error())));
}

}  // namespace

CSingleInstance::CSingleInstance(const std::string& folder, const std::string& baseName) {
  const std::string base = folder.empty() ? RuntimeFolder() : folder;
  m_lockPath = JoinPath(base, baseName + ".lock");
  m_socketPath = JoinPath(base, baseName + ".socket");
}

CSingleInstance::~CSingleInstance() { Release(); }

bool CSingleInstance::Claim() {
  if (m_lockFd >= 0) return true;
  const int fd = ::open(m_lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) throw CWin32Exception();
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    if (error == EWOULDBLOCK) return false;
    throw CWin32Exception(static_cast<uint32_t>(error));
  }
  m_lockFd = fd;
  return true;
}

void CSingleInstance::Release() {
  if (m_server) {
    m_server->close();
    m_server.reset();
  }
  if (m_lockFd >= 0) {
    // Closing the descriptor drops the lock; the file stays for the next one.
    ::close(m_lockFd);
    m_lockFd = -1;
  }
}

void CSingleInstance::Listen(std::function<void()> raise) {
  m_raise = std::move(raise);
  m_server = std::make_unique<QLocalServer>();
  m_server->setSocketOptions(QLocalServer::UserAccessOption);
  // Whoever holds the lock owns the socket name: one left by a crashed holder goes.
  QLocalServer::removeServer(QString::fromStdString(m_socketPath));
  if (!m_server->listen(QString::fromStdString(m_socketPath))) {
    const QString text = m_server->errorString();
    m_server.reset();
    throw CWin32Exception(EADDRINUSE, text.toStdString());
  }
  connect(m_server.get(), &QLocalServer::newConnection, this, [this] { OnNewConnection(); });
}

void CSingleInstance::OnNewConnection() {
  while (QLocalSocket* socket = m_server->nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
      RunGuarded(nullptr, [&] {
        if (!socket->canReadLine()) return;
        const QByteArray request = socket->readLine();
        if (request != kRaiseRequest) {
          socket->disconnectFromServer();
          return;
        }
        if (m_raise) m_raise();
        socket->write(kRaisedAnswer);
        socket->flush();
        socket->disconnectFromServer();
      });
    });
  }
}

void CSingleInstance::BringFirstForward(int timeoutMs) const {
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(m_socketPath));
  if (!socket.waitForConnected(timeoutMs)) ThrowSocketError(socket);
  socket.write(kRaiseRequest);
  if (!socket.waitForBytesWritten(timeoutMs)) ThrowSocketError(socket);
  while (!socket.canReadLine()) {
    if (!socket.waitForReadyRead(timeoutMs)) ThrowSocketError(socket);
  }
  if (socket.readLine() != kRaisedAnswer) throw CWin32Exception(EPROTO);
}
