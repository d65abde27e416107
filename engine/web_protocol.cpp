#include "engine/web_protocol.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPasswordDigestor>
#include <QRandomGenerator>
#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <climits>
#include <cmath>
#include <span>

#include "files/safe_file.h"

namespace quor {
namespace {

constexpr size_t kMaxSettingsBytes = 64 * 1024;
constexpr int kSaltBytes = 16;
constexpr int kHashBytes = 32;

constexpr std::array<std::pair<std::string_view, WebStaticFile>, 5> kPageFiles{{
    {"/", {"index.html", "text/html; charset=utf-8"}},
    {"/index.html", {"index.html", "text/html; charset=utf-8"}},
    {"/remote.css", {"remote.css", "text/css; charset=utf-8"}},
    {"/remote.js", {"remote.js", "text/javascript; charset=utf-8"}},
    {"/favicon.ico", {"favicon.svg", "image/svg+xml"}},
}};

std::optional<int> ParsePort(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < 1 || value > 65535) return std::nullopt;
  return value;
}

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

}  // namespace

bool ParseWebListen(std::string_view text, WebSettings& settings) {
  const size_t colon = text.rfind(':');
  const std::optional<int> port = ParsePort(colon == std::string_view::npos ? text : text.substr(colon + 1));
  if (!port) return false;
  std::string address = "127.0.0.1";
  if (colon != std::string_view::npos) {
    address = std::string(text.substr(0, colon));
    if (address != "all" && QHostAddress(QString::fromStdString(address)).protocol() !=
                                QAbstractSocket::IPv4Protocol) {
      return false;
    }
  }
  settings.enabled = true;
  settings.address = address;
  settings.port = *port;
  return true;
}

bool IsLoopbackOnly(const std::string& address) { return address == "127.0.0.1"; }

WebSettings ReadWebSettings(const std::string& configFolder) {
  WebSettings settings;
  const FileReadResult read = ReadRegularFile(configFolder + "/" + kWebSettingsFile, kMaxSettingsBytes);
  if (read.status != FileReadStatus::kDone) return settings;
  const QJsonObject root =
      QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char*>(read.bytes.data()),
                                         static_cast<qsizetype>(read.bytes.size())))
          .object();
  settings.enabled = root.value("enabled").toBool(false);
  const std::string address = root.value("address").toString().toStdString();
  WebSettings probe;
  if (ParseWebListen(address + ":1", probe)) settings.address = address;
  const int port = root.value("port").toInt(kDefaultWebPort);
  if (port >= 1 && port <= 65535) settings.port = port;
  const QByteArray salt = root.value("pinSalt").toString().toLatin1();
  const QByteArray hash = root.value("pinHash").toString().toLatin1();
  // A hash that is not what HashWebPin writes would refuse every PIN.
  if (QByteArray::fromHex(salt).size() == kSaltBytes && QByteArray::fromHex(hash).size() == kHashBytes) {
    settings.pinSalt = salt.toStdString();
    settings.pinHash = hash.toStdString();
  }
  return settings;
}

std::optional<Failure> WriteWebSettings(const std::string& configFolder, const WebSettings& settings) {
  QJsonObject root;
  root.insert("enabled", settings.enabled);
  root.insert("address", QString::fromStdString(settings.address));
  root.insert("port", settings.port);
  if (!settings.pinHash.empty()) {
    root.insert("pinSalt", QString::fromStdString(settings.pinSalt));
    root.insert("pinHash", QString::fromStdString(settings.pinHash));
  }
  const QByteArray bytes = QJsonDocument(root).toJson();
  return ReplaceFile(configFolder + "/" + kWebSettingsFile,
                     std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                              static_cast<size_t>(bytes.size())));
}

std::string HashWebPin(const QString& pin, const std::string& saltHex) {
  const QByteArray key =
      QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, pin.toUtf8(),
                                         QByteArray::fromHex(QByteArray::fromStdString(saltHex)), kWebPinRounds,
                                         kHashBytes);
  return key.toHex().toStdString();
}

void SetWebPin(WebSettings& settings, const QString& pin) {
  QByteArray salt(kSaltBytes, Qt::Uninitialized);
  QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(salt.data()), kSaltBytes / 4);
  settings.pinSalt = salt.toHex().toStdString();
  settings.pinHash = HashWebPin(pin, settings.pinSalt);
}

bool WebPinMatches(const WebSettings& settings, const QString& pin) {
  if (settings.pinHash.empty()) return false;
  const std::string hash = HashWebPin(pin, settings.pinSalt);
  if (hash.size() != settings.pinHash.size()) return false;
  unsigned char difference = 0;
  for (size_t i = 0; i < hash.size(); ++i) difference |= static_cast<unsigned char>(hash[i] ^ settings.pinHash[i]);
  return difference == 0;
}

std::optional<WebStaticFile> ResolveWebTarget(std::string_view target) {
  const size_t query = target.find('?');
  if (query != std::string_view::npos) target = target.substr(0, query);
  for (const auto& [path, file] : kPageFiles) {
    if (path == target) return file;
  }
  return std::nullopt;
}

std::optional<HttpHead> ParseHttpHead(std::string_view head) {
  const size_t lineEnd = head.find("\r\n");
  if (lineEnd == std::string_view::npos) return std::nullopt;
  const std::string_view line = head.substr(0, lineEnd);
  const size_t first = line.find(' ');
  const size_t second = first == std::string_view::npos ? first : line.find(' ', first + 1);
  if (second == std::string_view::npos || first == 0 || second == first + 1) return std::nullopt;
  if (!line.substr(second + 1).starts_with("HTTP/1.")) return std::nullopt;
  HttpHead parsed;
  parsed.method = std::string(line.substr(0, first));
  parsed.target = std::string(line.substr(first + 1, second - first - 1));
  size_t at = lineEnd + 2;
  while (at < head.size()) {
    const size_t end = head.find("\r\n", at);
    if (end == std::string_view::npos || end == at) break;
    const std::string_view field = head.substr(at, end - at);
    at = end + 2;
    const size_t colon = field.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    if (Lower(field.substr(0, colon)) == "upgrade" &&
        Lower(field.substr(colon + 1)).find("websocket") != std::string::npos) {
      parsed.websocketUpgrade = true;
    }
  }
  return parsed;
}

std::optional<WebMessage> ParseWebMessage(std::string_view text) {
  if (text.size() > static_cast<size_t>(kMaxWebMessageBytes)) return std::nullopt;
  QJsonParseError error{};
  const QJsonDocument document =
      QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  const QJsonObject object = document.object();
  WebMessage message;
  if (object.size() == 1 && object.value("pin").isString()) {
    message.kind = WebMessage::Kind::kPin;
    message.pin = object.value("pin").toString();
    if (message.pin.size() > 128) return std::nullopt;
    return message;
  }
  if (object.size() == 1 && object.value("preview").isBool()) {
    message.kind = WebMessage::Kind::kPreview;
    message.preview = object.value("preview").toBool();
    return message;
  }
  if (object.size() == 2 && object.value("set").isString() && object.value("value").isDouble()) {
    const std::optional<ControlAddress> address = ParseControlName(object.value("set").toString().toStdString());
    const double value = object.value("value").toDouble();
    if (!address || !std::isfinite(value) || value < -2147483648.0 || value > 2147483647.0) return std::nullopt;
    message.kind = WebMessage::Kind::kSet;
    message.address = *address;
    message.value = static_cast<int>(std::clamp<long>(std::lround(value), INT_MIN, INT_MAX));
    return message;
  }
  return std::nullopt;
}

QByteArray EncodePreviewFrame(const uint8_t* rgb, int width, int height) {
  const qsizetype bytes = static_cast<qsizetype>(width) * height * 3;
  QByteArray message(4 + bytes, Qt::Uninitialized);
  message[0] = static_cast<char>(width & 0xff);
  message[1] = static_cast<char>((width >> 8) & 0xff);
  message[2] = static_cast<char>(height & 0xff);
  message[3] = static_cast<char>((height >> 8) & 0xff);
  std::copy(rgb, rgb + bytes, message.data() + 4);
  return message;
}

}  // namespace quor
