// The web remote against a real engine (manual clock) over real loopback
// sockets: the page files and what no request path can reach, the PIN
// (refused, slowed down per address, then accepted), setting controls and
// hearing changes made elsewhere, preview frames, and clients that
// misbehave (garbage, oversized, binary and flooding messages, fifty at
// once, one that never reads). The settings file, the --web option and
// the message parser are checked as tables.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <QThread>
#include <QWebSocket>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/web_remote.h"
#include "show/show.h"
#include "test_support.h"

namespace quor {
namespace {

const std::string kPages = std::string(QUOR_SOURCE_DIR) + "/share/web";

// Runs this thread's events until `condition` holds or `limitMs` pass.
bool Pump(const std::function<bool()>& condition, int limitMs = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!condition()) {
    if (timer.elapsed() > limitMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

// A browser's live channel: every text message it heard, and the frames.
struct Client {
  QWebSocket socket;
  std::vector<QJsonObject> heard;
  std::vector<QByteArray> frames;
  bool closed = false;

  explicit Client(int port) {
    QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
      heard.push_back(QJsonDocument::fromJson(text.toUtf8()).object());
    });
    QObject::connect(&socket, &QWebSocket::binaryMessageReceived, [this](const QByteArray& b) { frames.push_back(b); });
    QObject::connect(&socket, &QWebSocket::disconnected, [this] { closed = true; });
    socket.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/live").arg(port)));
  }
  void Send(const char* json) { socket.sendTextMessage(QString::fromUtf8(json)); }
  // The last "auth" answer heard.
  QString Auth() const {
    for (auto it = heard.rbegin(); it != heard.rend(); ++it) {
      if (it->contains("auth")) return it->value("auth").toString();
    }
    return {};
  }
  // The latest value heard for a control, or -1.
  int Value(const char* name) const {
    for (auto it = heard.rbegin(); it != heard.rend(); ++it) {
      const QJsonValue value = it->value("values").toObject().value(name);
      if (!value.isUndefined()) return value.toInt();
    }
    return -1;
  }
};

// A raw HTTP request; the status line and the whole answer.
QByteArray Http(int port, const QByteArray& request) {
  QTcpSocket socket;
  socket.connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(port));
  if (!socket.waitForConnected(3000)) return "no connection";
  socket.write(request);
  QByteArray answer;
  while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000)) answer += socket.readAll();
  return answer + socket.readAll();
}
QByteArray Get(int port, const QByteArray& target) {
  return Http(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
}

class WebRemoteTest : public testing::Test {
 protected:
  void SetUp() override {
    engine_.console().SetSink([this](std::string_view text) { console_ += text; });
    for (const char* name : {"A", "B", "C"}) ASSERT_TRUE(engine_.show().sceneList().Add(name));
    Open("1234");
  }
  void TearDown() override {
    engine_.web().Close();
    // The engine flushes its console when it goes, after console_ is gone.
    engine_.console().SetSink([](std::string_view) {});
  }
  void Open(const char* pin, const std::string& address = "127.0.0.1") {
    WebSettings settings;
    settings.enabled = true;
    settings.address = address;
    settings.port = test::FreeLoopbackPort();
    if (*pin) SetWebPin(settings, QString::fromLatin1(pin));
    ASSERT_TRUE(engine_.web().Open(settings, kPages, {})) << console_;
    port_ = engine_.web().LocalPort();
  }
  std::unique_ptr<Client> LoggedIn() {
    auto client = std::make_unique<Client>(port_);
    EXPECT_TRUE(Pump([&] { return client->Auth() == "required"; }));
    client->Send(R"({"pin":"1234"})");
    EXPECT_TRUE(Pump([&] { return client->Auth() == "ok"; }));
    return client;
  }

  Engine engine_{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  std::string console_;
  int port_ = 0;
};

TEST_F(WebRemoteTest, ServesItsPageFilesAndNothingElse) {
  struct Case {
    QByteArray request;
    QByteArray status;
    QByteArray contains;
  };
  const std::vector<Case> cases = {
      {"GET / HTTP/1.1\r\n\r\n", "200 OK", "Content-Type: text/html; charset=utf-8"},
      {"GET /remote.js?v=1 HTTP/1.1\r\n\r\n", "200 OK", "Content-Type: text/javascript"},
      {"GET /remote.css HTTP/1.1\r\n\r\n", "200 OK", "Content-Type: text/css"},
      {"HEAD /index.html HTTP/1.1\r\n\r\n", "200 OK", "Content-Length:"},
      {"GET /../CMakeLists.txt HTTP/1.1\r\n\r\n", "404", ""},
      {"GET /%2e%2e/%2e%2e/etc/passwd HTTP/1.1\r\n\r\n", "404", ""},
      {"GET /..%2fREADME.md HTTP/1.1\r\n\r\n", "404", ""},
      {"GET /etc/passwd HTTP/1.1\r\n\r\n", "404", ""},
      {"GET //etc/passwd HTTP/1.1\r\n\r\n", "404", ""},
      {"GET http://127.0.0.1/../../etc/passwd HTTP/1.1\r\n\r\n", "404", ""},
      {"GET /index.html%00.png HTTP/1.1\r\n\r\n", "404", ""},
      {"POST / HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc", "405", ""},
      {"garbage\r\n\r\n", "400", ""},
      {"GET / HTTP/1.1\r\nX: " + QByteArray(kMaxHttpHeadBytes, 'a') + "\r\n\r\n", "431", ""},
  };
  for (const Case& c : cases) {
    const QByteArray answer = Http(port_, c.request);
    EXPECT_TRUE(answer.startsWith("HTTP/1.1 " + c.status)) << c.request.left(60).toStdString() << " -> "
                                                           << answer.left(60).toStdString();
    EXPECT_TRUE(answer.contains(c.contains)) << c.request.left(60).toStdString();
    EXPECT_FALSE(answer.contains("root:")) << c.request.left(60).toStdString();
  }
  EXPECT_TRUE(Get(port_, "/").contains("<title>Quor Remote</title>"));
}

TEST_F(WebRemoteTest, WrongPinIsRefusedLaterEachTimeAndNothingIsDoneBeforeLogin) {
  engine_.SetControl({ControlId::kMasterLevel, 0}, 255);
  Client client(port_);
  ASSERT_TRUE(Pump([&] { return client.Auth() == "required"; }));
  client.Send(R"({"set":"master/level","value":10})");
  client.Send(R"({"preview":true})");
  QElapsedTimer timer;
  timer.start();
  client.Send(R"({"pin":"0000"})");
  ASSERT_TRUE(Pump([&] { return client.Auth() == "refused"; }));
  EXPECT_GE(timer.elapsed(), kWebRefusalDelayMs - 50);
  EXPECT_EQ(engine_.ControlValue({ControlId::kMasterLevel, 0}), 255);
  EXPECT_TRUE(client.frames.empty());
  // The second wrong PIN waits twice as long; the right one tried while
  // that wait lasts is refused unchecked, also on another connection from
  // the same address.
  Client other(port_);
  ASSERT_TRUE(Pump([&] { return other.Auth() == "required"; }));
  client.heard.clear();
  timer.restart();
  client.Send(R"({"pin":"9999"})");
  QThread::msleep(100);
  client.Send(R"({"pin":"1234"})");
  other.Send(R"({"pin":"1234"})");
  ASSERT_TRUE(Pump([&] { return client.heard.size() >= 2 && other.Auth() == "refused"; }));
  EXPECT_EQ(client.heard[0].value("auth"), "refused");
  EXPECT_GT(client.heard[0].value("retryMs").toInt(), 0);
  EXPECT_GE(timer.elapsed(), 2 * kWebRefusalDelayMs - 50);
  EXPECT_EQ(engine_.web().counters().refusedPins.load(), 2);
  // Once the wait is over the right PIN opens.
  QThread::msleep(2 * kWebRefusalDelayMs + 100);
  other.Send(R"({"pin":"1234"})");
  ASSERT_TRUE(Pump([&] { return other.Auth() == "ok"; }));
}

TEST_F(WebRemoteTest, SetsControlsAndFollowsChangesFromAnywhere) {
  engine_.SetControl({ControlId::kMasterLevel, 0}, 255);
  std::unique_ptr<Client> a = LoggedIn();
  std::unique_ptr<Client> b = LoggedIn();
  const QJsonObject& welcome = a->heard.back();
  EXPECT_EQ(welcome.value("show").toObject().value("scenes").toInt(), 3);
  EXPECT_EQ(welcome.value("values").toObject().value("master/level").toInt(), 255);
  a->Send(R"({"set":"master/level","value":200})");
  ASSERT_TRUE(Pump([&] { return engine_.ControlValue({ControlId::kMasterLevel, 0}) == 200; }));
  ASSERT_TRUE(Pump([&] { return b->Value("master/level") == 200; }));
  // A change made by the engine's own side reaches both.
  engine_.SetControl({ControlId::kMainFade, 0}, 77);
  ASSERT_TRUE(Pump([&] { return a->Value("main/fade") == 77 && b->Value("main/fade") == 77; }));
  // A scene press is carried out on the main thread's next turn.
  b->Send(R"({"set":"scene/2/recall","value":1})");
  ASSERT_TRUE(Pump([&] {
    engine_.PostMessageWork();
    return a->Value("scene/2/recall") == 1;
  }));
  // A new scene reaches the pages as a new count.
  ASSERT_TRUE(engine_.show().sceneList().Add("D"));
  ASSERT_TRUE(Pump([&] {
    for (const QJsonObject& message : a->heard) {
      if (message.value("show").toObject().value("scenes").toInt() == 4) return true;
    }
    return false;
  }));
}

TEST_F(WebRemoteTest, PreviewFramesCarryTheOutputWithItsSize) {
  std::unique_ptr<Client> client = LoggedIn();
  client->Send(R"({"preview":true})");
  engine_.StartClock();
  ASSERT_TRUE(Pump([&] {
    engine_.clock().Advance(40);
    return !client->frames.empty();
  }));
  const QByteArray& frame = client->frames.front();
  const int width = static_cast<uint8_t>(frame[0]) | static_cast<uint8_t>(frame[1]) << 8;
  const int height = static_cast<uint8_t>(frame[2]) | static_cast<uint8_t>(frame[3]) << 8;
  EXPECT_EQ(width, engine_.width());
  EXPECT_EQ(height, engine_.height());
  EXPECT_EQ(frame.size(), 4 + width * height * 3);
}

TEST_F(WebRemoteTest, MisbehavingClientsAreDroppedAndOthersCarryOn) {
  std::unique_ptr<Client> good = LoggedIn();
  const std::vector<QByteArray> bad = {
      "not json", R"(["pin"])", R"({"set":"no/such/control","value":1})", R"({"set":"master/level","value":"x"})",
      R"({"set":"master/level","value":1e300})", R"({"set":"master/level","value":1,"x":2})",
      "{\"pin\":\"" + QByteArray(kMaxWebMessageBytes, '1') + "\"}",
  };
  for (const QByteArray& message : bad) {
    std::unique_ptr<Client> client = LoggedIn();
    client->socket.sendTextMessage(QString::fromUtf8(message));
    EXPECT_TRUE(Pump([&] { return client->closed; })) << message.left(40).toStdString();
  }
  std::unique_ptr<Client> binary = LoggedIn();
  binary->socket.sendBinaryMessage("\x01\x02");
  EXPECT_TRUE(Pump([&] { return binary->closed; }));
  std::unique_ptr<Client> flood = LoggedIn();
  for (int i = 0; i < kMaxWebMessagesPerSecond + 50; ++i) flood->Send(R"({"set":"master/gamma","value":100})");
  EXPECT_TRUE(Pump([&] { return flood->closed; }));
  EXPECT_GE(engine_.web().counters().dropped.load(), 9);
  good->Send(R"({"set":"master/level","value":42})");
  EXPECT_TRUE(Pump([&] { return good->Value("master/level") == 42; }));
  EXPECT_FALSE(good->closed);
}

TEST_F(WebRemoteTest, FiftyClientsAtOnceAndOneThatNeverReads) {
  // Big frames, so that a client that stops reading fills the socket
  // buffers within a few frames.
  ASSERT_TRUE(engine_.ResizeMatrix(128, 128));
  // A client that reads nothing: a socket with a small receive buffer
  // that completes the handshake, logs in, asks for the preview and then
  // never reads again.
  const int stuck = socket(AF_INET, SOCK_STREAM, 0);
  ASSERT_GE(stuck, 0);
  const int small = 4096;
  setsockopt(stuck, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(static_cast<uint16_t>(port_));
  to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(connect(stuck, reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
  const std::string handshake =
      "GET /live HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
      "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n";
  ASSERT_EQ(write(stuck, handshake.data(), handshake.size()), static_cast<ssize_t>(handshake.size()));
  std::string answer;
  char buffer[512];
  while (answer.find("\r\n\r\n") == std::string::npos) {
    const ssize_t got = read(stuck, buffer, 1);
    ASSERT_EQ(got, 1);
    answer += buffer[0];
  }
  ASSERT_TRUE(answer.starts_with("HTTP/1.1 101")) << answer;
  // Masked client frames: the PIN, then the preview request.
  auto frame = [](const std::string& text) {
    std::string out = {char(0x81), char(0x80 | text.size()), 0, 0, 0, 0};  // a zero mask keeps the text
    return out + text;
  };
  const std::string login = frame(R"({"pin":"1234"})") + frame(R"({"preview":true})");
  ASSERT_EQ(write(stuck, login.data(), login.size()), static_cast<ssize_t>(login.size()));

  std::vector<std::unique_ptr<Client>> clients;
  for (int i = 0; i < 50; ++i) clients.push_back(std::make_unique<Client>(port_));
  ASSERT_TRUE(Pump([&] {
    for (auto& c : clients) if (c->Auth() != "required") return false;
    return true;
  }, 15000));
  EXPECT_EQ(engine_.web().counters().connected.load(), 51);
  for (auto& c : clients) c->Send(R"({"pin":"1234"})");
  ASSERT_TRUE(Pump([&] {
    for (auto& c : clients) if (c->Auth() != "ok") return false;
    return true;
  }, 30000));
  clients.front()->Send(R"({"preview":true})");
  engine_.StartClock();
  engine_.SetControl({ControlId::kMasterLevel, 0}, 99);
  ASSERT_TRUE(Pump([&] {
    engine_.clock().Advance(40);
    for (auto& c : clients) if (c->Value("master/level") != 99) return false;
    return true;
  }, 10000));
  // However long the stuck client stays, its frames are skipped rather
  // than piled up, while the reading client goes on getting them.
  ASSERT_TRUE(Pump([&] {
    engine_.clock().Advance(40);
    return engine_.web().counters().skipped.load() > 0 && clients.front()->frames.size() >= 20;
  }, 20000)) << engine_.web().counters().skipped.load() << " skipped, " << clients.front()->frames.size()
             << " frames, " << engine_.web().counters().previews.load() << " sent";
  EXPECT_FALSE(clients.front()->closed);
  close(stuck);
}

TEST(WebRemoteProtocol, ListenOptionSettingsFileAndMessages) {
  struct Listen {
    const char* text;
    bool ok;
    const char* address;
    int port;
  };
  for (const Listen& c : std::vector<Listen>{{"8080", true, "127.0.0.1", 8080},
                                             {"all:9000", true, "all", 9000},
                                             {"192.168.1.5:80", true, "192.168.1.5", 80},
                                             {"0", false, "", 0},
                                             {"70000", false, "", 0},
                                             {"host:80", false, "", 0},
                                             {"all:", false, "", 0},
                                             {"", false, "", 0}}) {
    WebSettings settings;
    EXPECT_EQ(ParseWebListen(c.text, settings), c.ok) << c.text;
    if (!c.ok) continue;
    EXPECT_EQ(settings.address, c.address) << c.text;
    EXPECT_EQ(settings.port, c.port) << c.text;
  }

  const std::string folder = test::FreshTestDir("web_settings");
  EXPECT_EQ(ReadWebSettings(folder), WebSettings{});
  WebSettings stored;
  stored.enabled = true;
  stored.address = "all";
  stored.port = 9090;
  SetWebPin(stored, QStringLiteral("2468"));
  ASSERT_FALSE(WriteWebSettings(folder, stored));
  const WebSettings read = ReadWebSettings(folder);
  EXPECT_EQ(read, stored);
  EXPECT_TRUE(WebPinMatches(read, QStringLiteral("2468")));
  EXPECT_FALSE(WebPinMatches(read, QStringLiteral("2469")));
  EXPECT_FALSE(WebPinMatches(WebSettings{}, QString()));
  const std::vector<uint8_t> bytes = test::ReadFileBytes(folder + "/web.json");
  EXPECT_EQ(std::string(bytes.begin(), bytes.end()).find("2468"), std::string::npos);

  struct Message {
    const char* text;
    bool ok;
  };
  for (const Message& c : std::vector<Message>{{R"({"pin":"1"})", true},
                                               {R"({"set":"scene/3/recall","value":1})", true},
                                               {R"({"set":"/master/level","value":-5})", true},
                                               {R"({"preview":false})", true},
                                               {R"({"pin":1})", false},
                                               {R"({"set":"scene/0/recall","value":1})", false},
                                               {R"({"set":"master/level"})", false},
                                               {R"({"preview":"yes"})", false},
                                               {"{", false},
                                               {"", false}}) {
    EXPECT_EQ(ParseWebMessage(c.text).has_value(), c.ok) << c.text;
  }
}

TEST(WebRemoteStart, RefusesEveryInterfaceWithoutAPin) {
  std::string console;  // outlives the engine, which flushes its console when it goes
  Engine engine{test::TestRegistry(), EngineOptions{FrameClock::Mode::kManual, 1}};
  engine.console().SetSink([&](std::string_view text) { console += text; });
  WebSettings settings;
  settings.enabled = true;
  settings.address = "all";
  settings.port = test::FreeLoopbackPort();
  EXPECT_FALSE(engine.web().Open(settings, kPages, {}));
  EXPECT_NE(console.find("QUOR_WEB_PIN"), std::string::npos) << console;
  EXPECT_FALSE(engine.web().IsOpen());
  // The environment's PIN is enough.
  settings.address = "127.0.0.1";
  EXPECT_TRUE(engine.web().Open(settings, kPages, QStringLiteral("55")));
}

}  // namespace
}  // namespace quor
