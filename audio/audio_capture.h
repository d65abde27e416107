// The sound input behind the analyzer: the system's default capture device
// through PortAudio, 44100 Hz, 2 channels, 16-bit, 512-frame buffers. Every
// buffer the device delivers is offered to AudioAnalyzer::DeliverBlock,
// which keeps it only while its one block is queued.
//
// Threads: Open and Close on the UI thread; the stream callback runs on
// PortAudio's own thread and never locks or waits.
#pragma once

#include <optional>
#include <string>

#include "platform/failure.h"

namespace quor {

class AudioAnalyzer;

// What a capture failure names as its subject.
inline constexpr const char* kSoundInput = "sound input";
// Why the capture did not start, for the one console line about it.
inline constexpr const char* kNoSoundSystem = "No sound input: the sound system could not be started";
inline constexpr const char* kNoInputDevice =
    "No sound input device found: the spectrum and audio triggers stay silent";
inline constexpr const char* kInputFormatRefused =
    "The sound input device refuses 44100 Hz 16-bit stereo: the spectrum and audio triggers stay silent";

class AudioCapture {
 public:
  explicit AudioCapture(AudioAnalyzer& analyzer) : analyzer_(analyzer) {}
  ~AudioCapture() { Close(); }
  AudioCapture(const AudioCapture&) = delete;
  AudioCapture& operator=(const AudioCapture&) = delete;

  // Initialises PortAudio and starts the default input. Returns a failure,
  // with everything released again, when there is no input device or the
  // device refuses the format; its message is one of the texts above. The
  // sound libraries' own diagnostics are silenced.
  std::optional<Failure> Open();
  // Stops the stream (waiting for a callback under way) and releases it.
  void Close();

 private:
  AudioAnalyzer& analyzer_;
  void* stream_ = nullptr;  // PaStream*, kept opaque so only the .cpp sees PortAudio
  bool initialised_ = false;
};

}  // namespace quor
