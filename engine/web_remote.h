// The web remote: a small HTTP server for the page in share/web and a
// WebSocket live channel on the same port, through which phones and
// browsers set controls, follow every change of a control whatever made it
// (compared every 40 ms, as the OSC feedback does) and watch a preview of
// the output (at most 10 frames a second). The protocol is in
// engine/web_protocol.h and share/help/66.html.
//
// Access: with a PIN set (hashed in web.json of the config folder, or
// QUOR_WEB_PIN in the environment) every client logs in before it may do
// anything; a wrong PIN is answered late, later for each further wrong one
// from the same address, and tries in between are refused unchecked.
// Without a PIN the server listens on 127.0.0.1 only.
//
// Every client is bounded: one that has not logged in after two minutes, a
// message over kMaxWebMessageBytes, a malformed
// one, a binary one or more than kMaxWebMessagesPerSecond drop it; preview
// frames are skipped while its socket still holds unsent bytes, and a
// client whose unsent bytes pass kMaxWebBacklogBytes is dropped.
//
// Threads: Open, Close and the destructor on the UI thread. While open the
// server runs on a thread of its own with a Qt event loop; it sets controls
// through the ControlSurface (any thread) and takes output frames from the
// FrameTap. The clock thread never waits for it.
#pragma once

#include <QString>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "core/console.h"
#include "core/controls.h"
#include "core/frame_tap.h"
#include "engine/web_protocol.h"

class QThread;

namespace quor {

class WebServer;

inline constexpr int kMaxWebClients = 64;
inline constexpr int kMaxWebMessagesPerSecond = 200;
inline constexpr int64_t kMaxWebBacklogBytes = 4 * 1024 * 1024;
inline constexpr int kWebFeedbackIntervalMs = 40;
inline constexpr int kWebPreviewIntervalMs = 100;
// The first wrong PIN from an address is answered after this long; each
// further one doubles it, up to kWebMaxRefusalDelayMs.
inline constexpr int kWebRefusalDelayMs = 500;
inline constexpr int kWebMaxRefusalDelayMs = 30000;
// A client that has not logged in by then is dropped.
inline constexpr int kWebLoginTimeoutMs = 120000;

struct WebCounters {
  std::atomic<int64_t> requests{0};    // HTTP requests answered
  std::atomic<int64_t> clients{0};     // live-channel connections accepted
  std::atomic<int64_t> refusedPins{0};
  std::atomic<int64_t> dropped{0};     // clients dropped for their behaviour
  std::atomic<int64_t> previews{0};    // preview frames sent
  std::atomic<int64_t> skipped{0};     // preview frames not sent to a client still busy with earlier bytes
  std::atomic<int> connected{0};       // live-channel clients now
};

class WebRemote {
 public:
  WebRemote(ControlSurface& controls, FrameTap& tap, Console& console);
  ~WebRemote();
  WebRemote(const WebRemote&) = delete;
  WebRemote& operator=(const WebRemote&) = delete;

  // Starts the server the settings describe (when enabled), serving the
  // page files of `pageFolder`; `environmentPin`, when not empty, is the
  // PIN instead of the stored one. An open server is closed first. True
  // when it listens; otherwise one console line says why not and what to do.
  bool Open(const WebSettings& settings, const std::string& pageFolder, const QString& environmentPin);
  void Close();
  bool IsOpen() const { return port_.load() != 0; }
  // The port listened on (0 when closed).
  int LocalPort() const { return port_.load(); }
  const WebCounters& counters() const { return counters_; }
  // Why the last Open did not listen (the console line); empty after one that did.
  const std::string& lastError() const { return lastError_; }

 private:
  ControlSurface& controls_;
  FrameTap& tap_;
  Console& console_;
  WebCounters counters_;
  std::atomic<int> port_{0};
  std::string lastError_;
  std::unique_ptr<QThread> thread_;
  WebServer* server_ = nullptr;  // lives on thread_
};

}  // namespace quor
