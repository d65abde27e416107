// The web remote's protocol, apart from its sockets: the --web option, the
// settings kept in the config folder, the PIN hash, the page files the
// server may hand out, the HTTP request head it reads and the JSON
// messages of the live channel (see share/help/66.html).
//
// Live channel, text messages, one JSON object each:
//   browser -> Quor
//     {"pin":"1234"}                        log in (needed before anything else
//                                           when a PIN is set)
//     {"set":"master/level","value":200}    set a control by its name
//                                           (`quor --list-controls`)
//     {"preview":true}                      send preview frames (false: stop)
//   Quor -> browser
//     {"auth":"required"}                   on connect, when a PIN is set
//     {"auth":"refused","retryMs":N}        a wrong PIN, or one tried too soon
//     {"auth":"ok","show":{...},"controls":[...],"values":{...}}
//                                           after login: the show's scene and
//                                           chase counts and matrix size, each
//                                           control's kind and range, and every
//                                           control's value
//     {"values":{"master/level":180,...}}   controls that changed, whoever
//                                           changed them
//     {"show":{...}}                        the scene or chase count or the
//                                           matrix size changed
//   Binary messages, Quor -> browser: a preview frame, width and height as
//   16-bit little-endian numbers, then width x height RGB bytes.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/controls.h"
#include "platform/failure.h"

namespace quor {

inline constexpr int kDefaultWebPort = 8080;
inline constexpr const char* kWebSettingsFile = "web.json";
inline constexpr const char* kWebPinVariable = "QUOR_WEB_PIN";
// A live-channel message longer than this drops its sender.
inline constexpr int kMaxWebMessageBytes = 4096;
// An HTTP request head longer than this is refused.
inline constexpr int kMaxHttpHeadBytes = 8192;
// PBKDF2-SHA256 rounds of the stored PIN hash.
inline constexpr int kWebPinRounds = 10000;

struct WebSettings {
  bool enabled = false;
  // "127.0.0.1" (this computer only), "all" (every interface) or an address.
  std::string address = "127.0.0.1";
  int port = kDefaultWebPort;
  // The PIN as PBKDF2-SHA256 of PIN and salt, both hex; empty: no PIN set.
  std::string pinSalt;
  std::string pinHash;
  friend bool operator==(const WebSettings&, const WebSettings&) = default;
};

// "[ADDRESS:]PORT" (for --web, ADDRESS may be "all") into `settings`,
// turning the server on; false for text that is not.
bool ParseWebListen(std::string_view text, WebSettings& settings);
// Whether `address` of the settings is the loopback address only.
bool IsLoopbackOnly(const std::string& address);

// web.json in `configFolder`; the defaults when it is missing or unreadable.
WebSettings ReadWebSettings(const std::string& configFolder);
std::optional<Failure> WriteWebSettings(const std::string& configFolder, const WebSettings& settings);

// Sets a new random salt and the hash of `pin`.
void SetWebPin(WebSettings& settings, const QString& pin);
// PBKDF2-SHA256 of the PIN with the hex salt, as hex.
std::string HashWebPin(const QString& pin, const std::string& saltHex);
// Whether `pin` matches the stored hash (compared in constant time).
bool WebPinMatches(const WebSettings& settings, const QString& pin);

// A page file the server hands out: its name in share/web and content type.
struct WebStaticFile {
  const char* file;
  const char* contentType;
};
// The file a request target ("/", "/remote.js?v=2") stands for; nothing for
// every other target. Only the fixed set of page files is reachable, so no
// spelling of a path can leave share/web.
std::optional<WebStaticFile> ResolveWebTarget(std::string_view target);

struct HttpHead {
  std::string method;
  std::string target;
  bool websocketUpgrade = false;
};
// The request line and the Upgrade header of a complete request head
// (ending in a blank line); nothing for a malformed one.
std::optional<HttpHead> ParseHttpHead(std::string_view head);

struct WebMessage {
  enum class Kind { kPin, kSet, kPreview };
  Kind kind = Kind::kPin;
  QString pin;
  ControlAddress address;
  int value = 0;
  bool preview = false;
};
// One live-channel text message; nothing for anything malformed (not a
// JSON object, unknown or missing keys, a control name that names none, a
// value out of the int range).
std::optional<WebMessage> ParseWebMessage(std::string_view text);

// The binary preview message: the 4-byte size header, then the RGB bytes.
QByteArray EncodePreviewFrame(const uint8_t* rgb, int width, int height);

}  // namespace quor
