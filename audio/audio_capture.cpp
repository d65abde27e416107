#include "audio/audio_capture.h"

#include <portaudio.h>

#include "audio/audio_analyzer.h"

namespace quor {
namespace {

int OnInput(const void* input, void* /*output*/, unsigned long frameCount,
            const PaStreamCallbackTimeInfo* /*timeInfo*/, PaStreamCallbackFlags /*statusFlags*/, void* userData) {
  // PortAudio re-buffers to the requested 512 frames; anything else (or no
  // input at all) is not a block the analysis can use.
  if (input != nullptr && frameCount == static_cast<unsigned long>(kAudioBlockFrames)) {
    static_cast<AudioAnalyzer*>(userData)->DeliverBlock(static_cast<const int16_t*>(input));
  }
  return paContinue;
}

}  // namespace

bool AudioCapture::Open() {
  if (stream_ != nullptr) return true;
  if (Pa_Initialize() != paNoError) return false;
  initialised_ = true;

  const PaDeviceIndex device = Pa_GetDefaultInputDevice();
  const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
  if (info == nullptr || info->maxInputChannels < kAudioChannels) {
    Close();
    return false;
  }

  PaStreamParameters parameters{};
  parameters.device = device;
  parameters.channelCount = kAudioChannels;
  parameters.sampleFormat = paInt16;
  parameters.suggestedLatency = info->defaultLowInputLatency;
  parameters.hostApiSpecificStreamInfo = nullptr;

  PaStream* stream = nullptr;
  if (Pa_OpenStream(&stream, &parameters, nullptr, kAudioSampleRate, kAudioBlockFrames, paClipOff, &OnInput,
                    &analyzer_) != paNoError) {
    Close();
    return false;
  }
  stream_ = stream;
  if (Pa_StartStream(stream) != paNoError) {
    Close();
    return false;
  }
  return true;
}

void AudioCapture::Close() {
  if (stream_ != nullptr) {
    auto* stream = static_cast<PaStream*>(stream_);
    // Stopping waits for a callback under way, so the analyzer is never
    // handed a block after Close returns.
    if (Pa_IsStreamStopped(stream) == 0) Pa_StopStream(stream);
    Pa_CloseStream(stream);
    stream_ = nullptr;
  }
  if (initialised_) {
    Pa_Terminate();
    initialised_ = false;
  }
}

}  // namespace quor
