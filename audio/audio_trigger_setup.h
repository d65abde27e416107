// The engine side of the "Audio Trigger Setup" dialog: what each slider move
// does to the AudioTrigger record (including the snap-back of the band
// sliders), the band text and the level meter. The dialog itself only shows
// the results. Coordinates are dialog units as (left, top, right, bottom).
//
// Threads: UI thread; record edits go through Engine::EditGenerator.
// ReadTriggerMeter may run while generators render (the analyzer serialises).
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "audio/audio_trigger.h"
#include "core/rgb_frame.h"

namespace quor {

class AudioAnalyzer;

inline constexpr int kTriggerMeterIntervalMs = 40;
inline constexpr int kTriggerMeterFullScale = 106;
inline constexpr int kGainSliderSum = 7010;  // slider position = 7010 - gain

struct DialogRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  friend bool operator==(const DialogRect&, const DialogRect&) = default;
};

struct SliderRange {
  int first = 0;
  int last = 0;
  friend bool operator==(const SliderRange&, const SliderRange&) = default;
};

inline constexpr DialogRect kLevelMeterBackground{149, 13, 162, 121};
inline constexpr DialogRect kThresholdMeterBackground{165, 13, 170, 121};
inline constexpr Rgb kMeterBackgroundColor{0, 0, 0};
inline constexpr Rgb kMeterQuietColor{0, 255, 0};
inline constexpr Rgb kMeterFiringColor{255, 0, 0};

// Slider positions and selections for the current record.
int GainSliderPosition(const AudioTrigger& trigger);
SliderRange LowSliderSelection(const AudioTrigger& trigger);  // 0..highBand
SliderRange HiSliderSelection(const AudioTrigger& trigger);   // lowBand..178

// "Gain" and "Thresh" moved: set the field and recompute the threshold as
// thresholdPercent * gain / 100.
void MoveGainSlider(AudioTrigger& trigger, int position);
void MoveThreshSlider(AudioTrigger& trigger, int position);

// "Low" / "Hi" moved. A move that would put Low on or above Hi (or Hi on or
// below Low) is refused. Returns the position the slider must show
// afterwards: `position` when accepted, else the unchanged band (snap back).
int MoveLowSlider(AudioTrigger& trigger, int position);
int MoveHiSlider(AudioTrigger& trigger, int position);

// "%d - %d Hz" with (lowBand + 1) * 86 and (highBand + 1) * 86.
std::string BandText(const AudioTrigger& trigger);

// One meter picture: the level bar of height `levelHeight` (always in the
// quiet colour) and the threshold mark of height `thresholdHeight`.
struct TriggerMeter {
  int level = 0;
  int levelHeight = 0;
  int thresholdHeight = 0;
  Rgb thresholdColor = kMeterQuietColor;
  bool firing = false;
  friend bool operator==(const TriggerMeter&, const TriggerMeter&) = default;
};

// Bar heights for a band level: min(level * 106 / gain, 106) and
// min(thresholdPercent * 106 / 100, 106); red mark while level >= threshold.
TriggerMeter ComputeTriggerMeter(const AudioTrigger& trigger, int level);
// The meter for one spectrum (the band level as the trigger sees it).
TriggerMeter MeterForSpectrum(std::span<const int16_t> spectrum, const AudioTrigger& trigger);
// The 40 ms meter tick: a fresh band level from the analyzer, then the bars.
TriggerMeter ReadTriggerMeter(AudioAnalyzer& analyzer, const AudioTrigger& trigger);

// Where the bars of a meter go inside the two backgrounds.
DialogRect LevelBarRect(const TriggerMeter& meter);      // (150, 120 - h)-(161, 120)
DialogRect ThresholdBarRect(const TriggerMeter& meter);  // (166, 120 - t)-(169, 120)

// The dialog's layout in dialog units (x, y, width, height); the frame is
// 181 x 153.
struct TriggerSetupControl {
  enum class Kind : int { kGroupBox, kSlider, kText, kButton } kind;
  std::string_view text;
  int x, y, width, height;
};
inline constexpr int kTriggerSetupWidth = 181;
inline constexpr int kTriggerSetupHeight = 153;
inline constexpr int kTriggerSetupHelpTopic = 34;
inline constexpr std::string_view kTriggerSetupTitle = "Audio Trigger Setup";
// Indices into kTriggerSetupLayout.
enum TriggerSetupItem : int {
  kSensitivityGroup, kGainSlider, kGainLabel, kThreshSlider, kThreshLabel, kFrequencyGroup, kLowSlider, kLowLabel,
  kHiSlider, kHiLabel, kBandText, kMeterGroup, kTriggerCloseButton, kTriggerSetupItems
};
inline constexpr TriggerSetupControl kTriggerSetupLayout[kTriggerSetupItems] = {
    {TriggerSetupControl::Kind::kGroupBox, "Trigger Sensitivity", 7, 7, 130, 53},
    {TriggerSetupControl::Kind::kSlider, "", 8, 19, 100, 16},
    {TriggerSetupControl::Kind::kText, "Gain", 110, 22, 26, 8},
    {TriggerSetupControl::Kind::kSlider, "", 8, 37, 100, 16},
    {TriggerSetupControl::Kind::kText, "Thresh", 110, 40, 26, 8},
    {TriggerSetupControl::Kind::kGroupBox, "Trigger Frequency", 7, 63, 130, 62},
    {TriggerSetupControl::Kind::kSlider, "", 8, 75, 100, 16},
    {TriggerSetupControl::Kind::kText, "Low", 110, 78, 26, 8},
    {TriggerSetupControl::Kind::kSlider, "", 8, 93, 100, 16},
    {TriggerSetupControl::Kind::kText, "Hi", 110, 96, 26, 8},
    {TriggerSetupControl::Kind::kText, "800 - 20000 Hz", 14, 113, 96, 8},
    {TriggerSetupControl::Kind::kGroupBox, "", 145, 7, 28, 118},
    {TriggerSetupControl::Kind::kButton, "Close", 67, 132, 47, 14},
};

}  // namespace quor
