#include "audio/audio_capture.h"

#include <alsa/asoundlib.h>
#include <jack/jack.h>
#include <portaudio.h>

#include <cstdarg>
#include <cstdlib>

#include "audio/audio_analyzer.h"
#include "platform/process.h"

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

void IgnoreAlsaError(const char* /*file*/, int /*line*/, const char* /*function*/, int /*error*/,
                     const char* /*format*/, ...) {}
void IgnoreJackMessage(const char* /*message*/) {}

// PortAudio probes every ALSA device and the JACK server on start-up; on a
// machine without sound hardware each probe prints its failure (dozens of
// lines). Those are the libraries' own diagnostics: they are silenced, and
// the caller prints one line when no input device exists. JACK never
// starts a server of its own for us.
void SilenceSoundLibraries() {
  snd_lib_error_set_handler(&IgnoreAlsaError);
  jack_set_error_function(&IgnoreJackMessage);
  jack_set_info_function(&IgnoreJackMessage);
  // Only when nobody asked otherwise; set before any thread reads it.
  SetEnvironmentDefault("JACK_NO_START_SERVER", "1");
}

}  // namespace

std::optional<Failure> AudioCapture::Open() {
  auto fail = [this](const char* reason) {
    Close();
    return Failure{kSoundInput, 0, reason};
  };
  if (stream_ != nullptr) return std::nullopt;
  SilenceSoundLibraries();
  if (Pa_Initialize() != paNoError) return fail(kNoSoundSystem);
  initialised_ = true;

  const PaDeviceIndex device = Pa_GetDefaultInputDevice();
  const PaDeviceInfo* info = device == paNoDevice ? nullptr : Pa_GetDeviceInfo(device);
  if (info == nullptr) return fail(kNoInputDevice);
  if (info->maxInputChannels < kAudioChannels) return fail(kInputFormatRefused);

  PaStreamParameters parameters{};
  parameters.device = device;
  parameters.channelCount = kAudioChannels;
  parameters.sampleFormat = paInt16;
  parameters.suggestedLatency = info->defaultLowInputLatency;
  parameters.hostApiSpecificStreamInfo = nullptr;

  PaStream* stream = nullptr;
  if (Pa_OpenStream(&stream, &parameters, nullptr, kAudioSampleRate, kAudioBlockFrames, paClipOff, &OnInput,
                    &analyzer_) != paNoError) {
    return fail(kInputFormatRefused);
  }
  stream_ = stream;
  if (Pa_StartStream(stream) != paNoError) return fail(kInputFormatRefused);
  return std::nullopt;
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
