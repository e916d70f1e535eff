#include "app/ui/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>

namespace tintara {

namespace {

uint32_t ReadInt(const QByteArray& b) {
  if (b.size() < 4) return 0;
  const auto* p = reinterpret_cast<const uint8_t*>(b.constData());
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// The largest frame a peer may send: a path, never more.
constexpr uint32_t kMaxPayload = 1 << 16;

// One request and its reply on a connected socket.
bool Exchange(QLocalSocket& socket, FrameType type, const QByteArray& payload, QByteArray& reply,
              int timeoutMs) {
  socket.write(EncodeFrame(type, payload));
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  QByteArray buffer;
  QElapsedTimer clock;
  clock.start();
  FrameType got;
  while (!TakeFrame(buffer, got, reply)) {
    const int left = timeoutMs - int(clock.elapsed());
    if (left <= 0 || !socket.waitForReadyRead(left)) return false;
    buffer += socket.readAll();
  }
  return got == type;
}

}  // namespace

QByteArray EncodeInt(uint32_t v) {
  QByteArray b(4, '\0');
  for (int i = 0; i < 4; ++i) b[i] = char((v >> (8 * i)) & 0xFF);
  return b;
}

QByteArray EncodeFrame(FrameType type, const QByteArray& payload) {
  QByteArray b;
  b.append(char(type));
  b.append(EncodeInt(uint32_t(payload.size())));
  b.append(payload);
  return b;
}

bool TakeFrame(QByteArray& buffer, FrameType& type, QByteArray& payload) {
  if (buffer.size() < 5) return false;
  const uint32_t n = ReadInt(buffer.mid(1, 4));
  if (qsizetype(n) > buffer.size() - 5) return false;
  type = FrameType(uint8_t(buffer[0]));
  payload = buffer.mid(5, qsizetype(n));
  buffer.remove(0, 5 + qsizetype(n));
  return true;
}

QString RuntimeFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && QFileInfo(QString::fromLocal8Bit(runtime)).isDir())
    return QString::fromLocal8Bit(runtime);
  return QDir::tempPath();
}

QString InstanceServerPath() {
  return RuntimeFolder() + QStringLiteral("/Tt4 Application.%1").arg(qulonglong(getuid()));
}

QString NotifyServerPath(int64_t window) {
  return RuntimeFolder() + QStringLiteral("/Tt2 query.%1").arg(qlonglong(window));
}

CInstanceServer::CInstanceServer(uint32_t identity, QObject* parent)
    : QObject(parent), server_(new QLocalServer(this)), identity_(identity) {
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, &CInstanceServer::OnConnection);
}

CInstanceServer::~CInstanceServer() { server_->close(); }

bool CInstanceServer::Listen(const QString& path) {
  path_ = path;
  if (server_->listen(path)) return true;
  // A socket file left by an instance that ended without closing it: nobody answers there.
  QLocalServer::removeServer(path);
  return server_->listen(path);
}

void CInstanceServer::OnConnection() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    pending_.insert(socket, {});
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { OnReadable(socket); });
    connect(socket, &QLocalSocket::disconnected, this, [this, socket] {
      pending_.remove(socket);
      socket->deleteLater();
    });
  }
}

void CInstanceServer::OnReadable(QLocalSocket* socket) {
  QByteArray& buffer = pending_[socket];
  buffer += socket->readAll();
  FrameType type;
  QByteArray payload;
  while (TakeFrame(buffer, type, payload)) {
    switch (type) {
      case FrameType::kQuery: {
        const uint32_t w = ReadInt(payload);
        socket->write(EncodeFrame(FrameType::kQuery, EncodeInt(w == 0 ? identity_ : 0)));
        if (w != 0 && outcome)
          QMetaObject::invokeMethod(
              this, [this, w] { outcome(w); }, Qt::QueuedConnection);
        break;
      }
      case FrameType::kOpen: {
        // The sender is answered at once; the file opens from the event loop afterwards, in
        // the order the paths came. Opening may ask or warn (a modal box): that must neither
        // keep the sender waiting nor run inside this socket's handler.
        socket->write(EncodeFrame(FrameType::kOpen, EncodeInt(1)));
        const std::string path = payload.toStdString();
        QMetaObject::invokeMethod(
            this,
            [this, path] {
              if (openFile && openFile(path) && activate) activate();
            },
            Qt::QueuedConnection);
        break;
      }
      case FrameType::kActivate:
        socket->write(EncodeFrame(FrameType::kActivate, EncodeInt(1)));
        if (activate)
          QMetaObject::invokeMethod(
              this, [this] { activate(); }, Qt::QueuedConnection);
        break;
      default:
        // Not one of ours: the peer is not a Tintara.
        socket->disconnectFromServer();
        return;
    }
  }
  if (buffer.size() >= 5 && ReadInt(buffer.mid(1, 4)) > kMaxPayload) socket->disconnectFromServer();
}

HandOverResult HandOverToRunningInstance(const QString& path, const std::vector<std::string>& paths,
                                         int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(path);
  if (!socket.waitForConnected(timeoutMs)) return HandOverResult::kNoInstance;
  QByteArray reply;
  if (!Exchange(socket, FrameType::kQuery, EncodeInt(0), reply, timeoutMs) ||
      ReadInt(reply) != kIdentityInteractive)
    return HandOverResult::kNoInstance;
  for (const std::string& p : paths)
    if (!Exchange(socket, FrameType::kOpen, QByteArray::fromStdString(p), reply, timeoutMs)) break;
  Exchange(socket, FrameType::kActivate, {}, reply, timeoutMs);
  socket.disconnectFromServer();
  return HandOverResult::kHandedOver;
}

InstanceStart StartSingleInstance(const std::vector<std::string>& files, QObject* parent) {
  InstanceStart start;
  const QString path = InstanceServerPath();
  QLockFile lock(path + QStringLiteral(".lock"));
  lock.setStaleLockTime(10000);
  // Without the lock the start goes on: no single-instance guarantee, but a working program.
  const bool locked = lock.tryLock(5000);
  std::vector<std::string> absolute;
  for (const std::string& f : files)
    absolute.push_back(QFileInfo(QString::fromStdString(f)).absoluteFilePath().toStdString());
  if (HandOverToRunningInstance(path, absolute) == HandOverResult::kHandedOver) {
    start.handedOver = true;
    return start;
  }
  auto* server = new CInstanceServer(kIdentityInteractive, parent);
  if (server->Listen(path))
    start.server = server;
  else
    delete server;
  if (locked) lock.unlock();
  return start;
}

bool SendBatchOutcome(int64_t window, int32_t code, int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(NotifyServerPath(window));
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(EncodeFrame(FrameType::kQuery, EncodeInt(uint32_t(code))));
  const bool sent = socket.waitForBytesWritten(timeoutMs);
  socket.disconnectFromServer();
  return sent;
}

}  // namespace tintara
