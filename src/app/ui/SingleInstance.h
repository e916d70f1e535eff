// One interactive instance per user. The first start listens on a per-user local socket; a
// later start asks whoever answers there who it is, hands each file of its command line over
// (made absolute first, since the two processes need not share a folder) and ends. Batch runs
// never take part. The same small frames carry the outcome of a batch run to the program that
// started it (-W).
#pragma once

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace tintara {

// The answers to the query frame with wParam 0: four ASCII characters in memory order.
inline constexpr uint32_t kIdentityInteractive = 0x30345454;  // "TT40"
inline constexpr uint32_t kIdentityViewer = 0x77555454;       // "TTUw"
inline constexpr uint32_t kIdentityRender = 0x65525454;       // "TTRe"

// Frames: one type byte, a 32-bit little-endian payload length, the payload.
enum class FrameType : uint8_t { kQuery = 1, kOpen = 2, kActivate = 3 };
QByteArray EncodeFrame(FrameType type, const QByteArray& payload);
QByteArray EncodeInt(uint32_t v);
// Takes one whole frame off the front of `buffer`; false while it is incomplete.
bool TakeFrame(QByteArray& buffer, FrameType& type, QByteArray& payload);

// The runtime folder the sockets live in: $XDG_RUNTIME_DIR, else the temporary folder.
QString RuntimeFolder();
// "<runtime>/Tt4 Application.<uid>".
QString InstanceServerPath();
// "<runtime>/Tt2 query.<n>": the caller's server named by -W<n>.
QString NotifyServerPath(int64_t window);

// The running instance's side.
class CInstanceServer : public QObject {
  Q_OBJECT
 public:
  explicit CInstanceServer(uint32_t identity = kIdentityInteractive, QObject* parent = nullptr);
  ~CInstanceServer() override;
  // Listens at `path`; a socket file nobody answers on is removed first.
  bool Listen(const QString& path);
  QString Path() const { return path_; }

  // Opens a handed-over path; true when a window came of it.
  std::function<bool(const std::string&)> openFile;
  // Brings the main window to the front.
  std::function<void()> activate;
  // A query frame with a nonzero wParam (a batch outcome sent to us).
  std::function<void(uint32_t)> outcome;

 private:
  void OnConnection();
  void OnReadable(QLocalSocket* socket);

  QLocalServer* server_;
  QHash<QLocalSocket*, QByteArray> pending_;
  uint32_t identity_;
  QString path_;
};

enum class HandOverResult {
  kNoInstance,  // nobody answered as an interactive instance: start normally
  kHandedOver,  // the running instance has the files: end
};
// Asks the instance at `path` and hands it the paths, in order, then asks it to come forward.
HandOverResult HandOverToRunningInstance(const QString& path, const std::vector<std::string>& absolutePaths,
                                         int timeoutMs = 2000);

// The start-up's single-instance step: hands over to a running instance, or else listens as
// the first one. A lock file keeps two starts at the same moment from both listening.
struct InstanceStart {
  bool handedOver = false;
  CInstanceServer* server = nullptr;  // owned by `parent` when listening
};
InstanceStart StartSingleInstance(const std::vector<std::string>& files, QObject* parent);

// Sends a batch run's outcome to the caller's server; false when nobody listens there.
bool SendBatchOutcome(int64_t window, int32_t code, int timeoutMs = 2000);

}  // namespace tintara
