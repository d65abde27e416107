// The sound input behind the analyzer: the system's default capture device
// through PortAudio, 44100 Hz, 2 channels, 16-bit, 512-frame buffers. Every
// buffer the device delivers is offered to AudioAnalyzer::DeliverBlock,
// which keeps it only while its one block is queued.
//
// Threads: Open and Close on the UI thread; the stream callback runs on
// PortAudio's own thread and never locks or waits.
#pragma once

namespace quor {

class AudioAnalyzer;

class AudioCapture {
 public:
  explicit AudioCapture(AudioAnalyzer& analyzer) : analyzer_(analyzer) {}
  ~AudioCapture() { Close(); }
  AudioCapture(const AudioCapture&) = delete;
  AudioCapture& operator=(const AudioCapture&) = delete;

  // Initialises PortAudio and starts the default input. Returns false, with
  // everything released again, when there is no input device or the device
  // refuses the format.
  bool Open();
  // Stops the stream (waiting for a callback under way) and releases it.
  void Close();

 private:
  AudioAnalyzer& analyzer_;
  void* stream_ = nullptr;  // PaStream*, kept opaque so only the .cpp sees PortAudio
  bool initialised_ = false;
};

}  // namespace quor
