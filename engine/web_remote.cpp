#include "engine/web_remote.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <vector>

namespace quor {
namespace {

constexpr qint64 kMaxPageFileBytes = 1024 * 1024;
// A connection that has not sent a complete request head by then is closed.
constexpr int kHttpHeadTimeoutMs = 10000;
// Connections still sending their request head, at most.
constexpr int kMaxPendingHttp = 64;
// Scenes and chases whose buttons the page shows and follows, at most.
constexpr int kMaxWebInstances = 512;
// Addresses whose wrong PINs are remembered, at most.
constexpr int kMaxRememberedAddresses = 4096;
constexpr const char* kHttpPending = "quorHttpPending";

QByteArray Json(const QJsonObject& object) { return QJsonDocument(object).toJson(QJsonDocument::Compact); }

QByteArray HttpResponse(const char* status, const char* contentType, const QByteArray& body, bool withBody) {
  QByteArray response = QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: " + contentType +
                        "\r\nContent-Length: " + QByteArray::number(body.size()) +
                        "\r\nCache-Control: no-cache\r\nX-Content-Type-Options: nosniff\r\n"
                        "Content-Security-Policy: default-src 'self'; connect-src 'self'; img-src 'self' data:\r\n"
                        "Connection: close\r\n\r\n";
  if (withBody) response += body;
  return response;
}

}  // namespace

// The server's side on its own thread; every member is used on that thread
// only.
class WebServer : public QObject {
 public:
  WebServer(ControlSurface& controls, FrameTap& tap, WebCounters& counters, const WebSettings& settings,
            QString environmentPin)
      : controls_(controls), tap_(tap), counters_(counters), settings_(settings),
        environmentPin_(std::move(environmentPin)),
        tcp_(this),
        sockets_(QStringLiteral("Quor"), QWebSocketServer::NonSecureMode, this),
        feedback_(this),
        preview_(this) {
    // The members are children, so that moving the server to its thread
    // moves them along.
    clock_.start();
  }

  ~WebServer() override {
    tcp_.close();
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
      it.key()->disconnect(this);
      it.key()->abort();
      delete it.key();
    }
    clients_.clear();
  }

  // Loads the page files and listens; an empty text on success, else why not.
  QString Listen(const std::string& pageFolder) {
    for (const char* name : {"index.html", "remote.css", "remote.js", "favicon.svg"}) {
      QFile file(QString::fromStdString(pageFolder) + "/" + name);
      if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxPageFileBytes) {
        return QStringLiteral("its page file %1 cannot be read; reinstall Quor").arg(file.fileName());
      }
      pages_.insert(QString::fromLatin1(name), file.readAll());
    }
    pinRequired_ = !environmentPin_.isEmpty() || !settings_.pinHash.empty();
    if (!environmentPin_.isEmpty()) SetWebPin(settings_, environmentPin_);
    const QHostAddress address = settings_.address == "all"
                                     ? QHostAddress(QHostAddress::AnyIPv4)
                                     : QHostAddress(QString::fromStdString(settings_.address));
    sockets_.setHandshakeTimeout(kHttpHeadTimeoutMs);
    QObject::connect(&tcp_, &QTcpServer::newConnection, this, [this] { AcceptHttp(); });
    QObject::connect(&sockets_, &QWebSocketServer::newConnection, this, [this] { AcceptClients(); });
    if (!tcp_.listen(address, static_cast<quint16>(settings_.port))) return tcp_.errorString();
    feedback_.setInterval(kWebFeedbackIntervalMs);
    QObject::connect(&feedback_, &QTimer::timeout, this, [this] { SendChanges(); });
    preview_.setInterval(kWebPreviewIntervalMs);
    QObject::connect(&preview_, &QTimer::timeout, this, [this] { SendPreview(); });
    return {};
  }
  int Port() const { return tcp_.serverPort(); }

 private:
  struct Client {
    bool authed = false;
    bool preview = false;
    qint64 windowStart = 0;
    int messagesInWindow = 0;
  };
  struct Refusals {
    int count = 0;
    qint64 lockedUntil = 0;
  };
  // values[id][instance] of every control the page can reach.
  using Values = std::vector<std::vector<int>>;

  void AcceptHttp() {
    while (QTcpSocket* socket = tcp_.nextPendingConnection()) {
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      if (pendingHttp_ >= kMaxPendingHttp) {
        socket->abort();
        continue;
      }
      ++pendingHttp_;
      socket->setProperty(kHttpPending, true);
      QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { ReadHead(socket); });
      QObject::connect(socket, &QObject::destroyed, this, [this, socket] { EndPending(socket); });
      QTimer::singleShot(kHttpHeadTimeoutMs, socket, [this, socket] {
        if (socket->property(kHttpPending).toBool()) Answer(socket, "408 Request Timeout", {});
      });
    }
  }

  void EndPending(QObject* socket) {
    if (!socket->property(kHttpPending).toBool()) return;
    socket->setProperty(kHttpPending, false);
    --pendingHttp_;
  }

  // Reads a request head without taking it from the socket, so that a
  // WebSocket handshake reaches the WebSocket server whole.
  void ReadHead(QTcpSocket* socket) {
    if (!socket->property(kHttpPending).toBool()) return;
    const QByteArray peeked = socket->peek(kMaxHttpHeadBytes + 1);
    const qsizetype end = peeked.indexOf("\r\n\r\n");
    if (end < 0) {
      if (peeked.size() > kMaxHttpHeadBytes) Answer(socket, "431 Request Header Fields Too Large", {});
      return;
    }
    const std::optional<HttpHead> head = ParseHttpHead(std::string_view(peeked.constData(), end + 4));
    if (!head) return Answer(socket, "400 Bad Request", {});
    if (head->websocketUpgrade) {
      if (clients_.size() >= kMaxWebClients || head->target != "/live") {
        return Answer(socket, clients_.size() >= kMaxWebClients ? "503 Service Unavailable" : "404 Not Found", {});
      }
      EndPending(socket);
      socket->disconnect(this);
      QObject::disconnect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
      // The WebSocket server reads the handshake still waiting in the socket.
      sockets_.handleConnection(socket);
      return;
    }
    socket->read(end + 4);
    if (head->method != "GET" && head->method != "HEAD") return Answer(socket, "405 Method Not Allowed", {});
    const std::optional<WebStaticFile> file = ResolveWebTarget(head->target);
    if (!file) return Answer(socket, "404 Not Found", {});
    const QByteArray response =
        HttpResponse("200 OK", file->contentType, pages_.value(QString::fromLatin1(file->file)), head->method == "GET");
    Send(socket, response);
  }

  void Answer(QTcpSocket* socket, const char* status, const QByteArray& body) {
    // What the request still holds is read first: closing on unread bytes
    // would reset the connection before the answer is read.
    socket->readAll();
    Send(socket, HttpResponse(status, "text/plain; charset=utf-8", body.isEmpty() ? QByteArray(status) : body, true));
  }

  void Send(QTcpSocket* socket, const QByteArray& response) {
    EndPending(socket);
    counters_.requests.fetch_add(1);
    socket->disconnect(this);
    socket->write(response);
    socket->disconnectFromHost();
    // A client that does not take its answer is not kept waiting for.
    QTimer::singleShot(kHttpHeadTimeoutMs, socket, [socket] { socket->abort(); });
  }

  void AcceptClients() {
    while (QWebSocket* socket = sockets_.nextPendingConnection()) {
      if (clients_.size() >= kMaxWebClients) {
        socket->abort();
        socket->deleteLater();
        continue;
      }
      counters_.clients.fetch_add(1);
      socket->setMaxAllowedIncomingMessageSize(kMaxWebMessageBytes);
      socket->setMaxAllowedIncomingFrameSize(kMaxWebMessageBytes);
      clients_.insert(socket, Client{});
      counters_.connected.store(static_cast<int>(clients_.size()));
      const QPointer<QWebSocket> guarded(socket);
      QObject::connect(socket, &QWebSocket::textMessageReceived, this,
                       [this, guarded](const QString& text) { if (guarded) Receive(guarded, text); });
      QObject::connect(socket, &QWebSocket::binaryMessageReceived, this, [this, guarded] {
        if (guarded) Drop(guarded);
      });
      QObject::connect(socket, &QWebSocket::disconnected, this, [this, socket] {
        // The socket itself closes on a message over the size limit.
        if (socket->closeCode() == QWebSocketProtocol::CloseCodeTooMuchData && clients_.contains(socket)) {
          counters_.dropped.fetch_add(1);
        }
        Forget(socket);
      });
      if (pinRequired_) {
        SendText(socket, Json({{"auth", "required"}}));
        // Connections that never log in must not take the places of those that do.
        QTimer::singleShot(kWebLoginTimeoutMs, this, [this, guarded] {
          if (guarded && clients_.contains(guarded) && !clients_[guarded].authed) Drop(guarded);
        });
      } else {
        Welcome(socket);
      }
    }
  }

  void Forget(QWebSocket* socket) {
    if (clients_.remove(socket) == 0) return;
    counters_.connected.store(static_cast<int>(clients_.size()));
    socket->deleteLater();
    UpdateTimers();
  }

  void Drop(QWebSocket* socket) {
    if (!clients_.contains(socket)) return;
    counters_.dropped.fetch_add(1);
    socket->abort();
    Forget(socket);
  }

  void Receive(QWebSocket* socket, const QString& text) {
    auto found = clients_.find(socket);
    if (found == clients_.end()) return;
    Client& client = found.value();
    const qint64 now = clock_.elapsed();
    if (now - client.windowStart >= 1000) {
      client.windowStart = now;
      client.messagesInWindow = 0;
    }
    const QByteArray utf8 = text.toUtf8();
    const std::optional<WebMessage> message =
        ++client.messagesInWindow > kMaxWebMessagesPerSecond
            ? std::nullopt
            : ParseWebMessage(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
    if (!message) return Drop(socket);
    switch (message->kind) {
      case WebMessage::Kind::kPin:
        if (!client.authed) CheckPin(socket, message->pin);
        break;
      case WebMessage::Kind::kSet:
        if (client.authed) controls_.SetControl(message->address, message->value);
        break;
      case WebMessage::Kind::kPreview:
        if (client.authed) {
          client.preview = message->preview;
          UpdateTimers();
        }
        break;
    }
  }

  void CheckPin(QWebSocket* socket, const QString& pin) {
    const QString address = socket->peerAddress().toString();
    const qint64 now = clock_.elapsed();
    auto known = refusals_.find(address);
    if (known != refusals_.end() && now < known->lockedUntil) {
      SendText(socket, Json({{"auth", "refused"}, {"retryMs", static_cast<double>(known->lockedUntil - now)}}));
      return;
    }
    if (WebPinMatches(settings_, pin)) {
      refusals_.remove(address);
      Welcome(socket);
      return;
    }
    counters_.refusedPins.fetch_add(1);
    if (known == refusals_.end()) {
      if (refusals_.size() >= kMaxRememberedAddresses) ForgetExpiredRefusals(now);
      known = refusals_.insert(address, Refusals{});
    }
    const int shift = std::min(known->count, 16);
    const qint64 delay = std::min<qint64>(qint64{kWebRefusalDelayMs} << shift, kWebMaxRefusalDelayMs);
    ++known->count;
    known->lockedUntil = now + delay;
    const QPointer<QWebSocket> guarded(socket);
    QTimer::singleShot(static_cast<int>(delay), this, [this, guarded] {
      if (guarded && clients_.contains(guarded)) SendText(guarded, Json({{"auth", "refused"}, {"retryMs", 0}}));
    });
  }

  void ForgetExpiredRefusals(qint64 now) {
    for (auto it = refusals_.begin(); it != refusals_.end();) {
      it = now >= it->lockedUntil + kWebMaxRefusalDelayMs ? refusals_.erase(it) : std::next(it);
    }
    if (refusals_.size() >= kMaxRememberedAddresses) refusals_.clear();
  }

  void Welcome(QWebSocket* socket) {
    clients_[socket].authed = true;
    const Values values = ReadValues();
    if (seen_.empty()) seen_ = values;
    QJsonArray controls;
    for (const ControlSpec& control : ControlSpecs()) {
      if (control.instances == 0) continue;
      controls.append(QJsonObject{{"name", QString::fromStdString(ControlName({control.id, 0}))},
                                  {"kind", QString::fromLatin1(ControlTypeName(control.kind).data(),
                                                               static_cast<qsizetype>(ControlTypeName(control.kind).size()))},
                                  {"min", control.min},
                                  {"max", control.max}});
    }
    QJsonObject all;
    AddValues(values, nullptr, all);
    SendText(socket, Json({{"auth", "ok"}, {"show", ShowInfo(values)}, {"controls", controls}, {"values", all}}));
    UpdateTimers();
  }

  static QJsonObject ShowInfo(const Values& values) {
    return {{"scenes", static_cast<int>(values[static_cast<size_t>(ControlId::kSceneRecall)].size())},
            {"chases", static_cast<int>(values[static_cast<size_t>(ControlId::kChasePlay)].size())}};
  }

  Values ReadValues() const {
    Values values(ControlSpecs().size());
    for (const ControlSpec& control : ControlSpecs()) {
      const int count = std::min(controls_.ControlInstances(control.id), kMaxWebInstances);
      std::vector<int>& row = values[static_cast<size_t>(control.id)];
      row.reserve(static_cast<size_t>(count));
      for (int n = 0; n < count; ++n) row.push_back(controls_.ControlValue({control.id, n}).value_or(0));
    }
    return values;
  }

  // Adds the values that differ from `before` (all when null) to `out`.
  static void AddValues(const Values& values, const Values* before, QJsonObject& out) {
    for (const ControlSpec& control : ControlSpecs()) {
      const std::vector<int>& row = values[static_cast<size_t>(control.id)];
      for (size_t n = 0; n < row.size(); ++n) {
        if (before) {
          const std::vector<int>& old = (*before)[static_cast<size_t>(control.id)];
          if (n < old.size() && old[n] == row[n]) continue;
        }
        out.insert(QString::fromStdString(ControlName({control.id, static_cast<int>(n)})), row[n]);
      }
    }
  }

  void SendChanges() {
    if (seen_.empty()) return;
    const Values values = ReadValues();
    if (values == seen_) return;
    QJsonObject changed;
    AddValues(values, &seen_, changed);
    QJsonObject message{{"values", changed}};
    for (ControlId id : {ControlId::kSceneRecall, ControlId::kChasePlay}) {
      if (values[static_cast<size_t>(id)].size() != seen_[static_cast<size_t>(id)].size()) {
        message.insert("show", ShowInfo(values));
      }
    }
    seen_ = values;
    const QByteArray text = Json(message);
    for (QWebSocket* socket : AuthedSockets()) SendText(socket, text);
  }

  void SendPreview() {
    tap_.Request();
    const TappedFrame* frame = tap_.Take();
    if (!frame || frame->width <= 0 || frame->width > 65535 || frame->height > 65535) return;
    QByteArray message;
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
      if (!it->authed || !it->preview) continue;
      if (it.key()->bytesToWrite() > 0) {
        counters_.skipped.fetch_add(1);
        continue;
      }
      if (message.isEmpty()) message = EncodePreviewFrame(frame->rgb.data(), frame->width, frame->height);
      it.key()->sendBinaryMessage(message);
      counters_.previews.fetch_add(1);
    }
  }

  std::vector<QWebSocket*> AuthedSockets() const {
    std::vector<QWebSocket*> sockets;
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
      if (it->authed) sockets.push_back(it.key());
    }
    return sockets;
  }

  // Values must reach a client in order and complete, so one that cannot
  // take them is dropped rather than sent a gap.
  void SendText(QWebSocket* socket, const QByteArray& text) {
    if (socket->bytesToWrite() > kMaxWebBacklogBytes) return Drop(socket);
    socket->sendTextMessage(QString::fromUtf8(text));
  }

  void UpdateTimers() {
    bool authed = false;
    bool preview = false;
    for (const Client& client : clients_) {
      authed = authed || client.authed;
      preview = preview || (client.authed && client.preview);
    }
    if (!authed) seen_.clear();
    if (authed != feedback_.isActive()) authed ? feedback_.start() : feedback_.stop();
    if (preview != preview_.isActive()) preview ? preview_.start() : preview_.stop();
  }

  ControlSurface& controls_;
  FrameTap& tap_;
  WebCounters& counters_;
  WebSettings settings_;
  QString environmentPin_;
  bool pinRequired_ = true;
  QHash<QString, QByteArray> pages_;
  QTcpServer tcp_;
  QWebSocketServer sockets_;
  int pendingHttp_ = 0;
  QHash<QWebSocket*, Client> clients_;
  QHash<QString, Refusals> refusals_;
  QElapsedTimer clock_;
  QTimer feedback_;
  QTimer preview_;
  Values seen_;
};

WebRemote::WebRemote(ControlSurface& controls, FrameTap& tap, Console& console)
    : controls_(controls), tap_(tap), console_(console) {}

WebRemote::~WebRemote() { Close(); }

bool WebRemote::Open(const WebSettings& settings, const std::string& pageFolder, const QString& environmentPin) {
  Close();
  lastError_.clear();
  if (!settings.enabled) return false;
  const bool pinSet = !environmentPin.isEmpty() || !settings.pinHash.empty();
  if (!pinSet && !IsLoopbackOnly(settings.address)) {
    lastError_ = "Web remote not started: it would listen on " +
                 (settings.address == "all" ? std::string("every interface") : settings.address) +
                 " without a PIN. Set a PIN in Setup > Web Remote, or start with " + kWebPinVariable +
                 "=<pin> in the environment, or listen on 127.0.0.1 only";
    console_.Print("%s\n", lastError_.c_str());
    return false;
  }
  thread_ = std::make_unique<QThread>();
  thread_->setObjectName(QStringLiteral("quor-web"));
  thread_->start();
  auto* server = new WebServer(controls_, tap_, counters_, settings, environmentPin);
  server->moveToThread(thread_.get());
  QString error;
  QMetaObject::invokeMethod(server, [&] { error = server->Listen(pageFolder); }, Qt::BlockingQueuedConnection);
  server_ = server;
  if (!error.isEmpty()) {
    const std::string where = settings.address == "all" ? "every interface" : settings.address;
    lastError_ = "Web remote not started on " + where + " port " + std::to_string(settings.port) + ": " +
                 error.toStdString() + "; choose another port in Setup > Web Remote or with --web";
    console_.Print("%s\n", lastError_.c_str());
    Close();
    return false;
  }
  port_.store(server->Port());
  const std::string host = settings.address == "all" ? "<this computer's address>" : settings.address;
  console_.Print("Web remote on http://%s:%d/%s\n", host.c_str(), port_.load(),
                 pinSet ? "" : " (no PIN: this computer only)");
  return true;
}

void WebRemote::Close() {
  if (!thread_) return;
  if (server_) {
    WebServer* server = server_;
    QMetaObject::invokeMethod(server, [server] { delete server; }, Qt::BlockingQueuedConnection);
    server_ = nullptr;
  }
  thread_->quit();
  thread_->wait();
  thread_.reset();
  port_.store(0);
  counters_.connected.store(0);
}

}  // namespace quor
