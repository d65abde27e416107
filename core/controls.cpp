#include "core/controls.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>

namespace quor {
namespace {

using K = ControlType;
using I = ControlId;

// Matches engine limits: 19 effects, speeds 5..25, 10 merge modes, gamma
// 1..500, strobe 1..25 passes, 10000 scenes and 250 chases a show holds.
constexpr std::array<ControlSpec, 23> kSpecs = {{
    {I::kSlotEffect, "slot/#/effect", K::kFader, 0, 18, 4, 4, Change::kPanel, "effect list position of generator slot #"},
    {I::kSlotSpeed, "slot/#/speed", K::kFader, 5, 25, 4, 4, Change::kPanel, "renders per second of slot #"},
    {I::kSlotInvert, "slot/#/invert", K::kToggle, 0, 1, 4, 4, Change::kPanel, "slot # inverted"},
    {I::kChannelMode, "channel/#/mode", K::kFader, 0, 9, 2, 2, Change::kPanel, "merge mode of channel #"},
    {I::kChannelFade, "channel/#/fade", K::kFader, 0, 255, 2, 2, Change::kPanel, "masterfade of channel #"},
    {I::kMainMode, "main/mode", K::kFader, 0, 9, 1, 1, Change::kPanel, "merge mode of the main mix"},
    {I::kMainFade, "main/fade", K::kFader, 0, 255, 1, 1, Change::kPanel, "main crossfader (stops a glide)"},
    {I::kMainGlideStart, "main/glide/start", K::kButton, 0, 1, 1, 1, Change::kPanel, "glide the crossfader to 0"},
    {I::kMainGlideCentre, "main/glide/centre", K::kButton, 0, 1, 1, 1, Change::kPanel, "glide the crossfader to 128"},
    {I::kMainGlideEnd, "main/glide/end", K::kButton, 0, 1, 1, 1, Change::kPanel, "glide the crossfader to 255"},
    {I::kMasterLevel, "master/level", K::kFader, 0, 255, 1, 1, Change::kMaster, "master level"},
    {I::kBlackout, "master/blackout", K::kButton, 0, 1, 1, 1, Change::kMaster, "master level to 0"},
    {I::kGamma, "master/gamma", K::kFader, 1, 500, 1, 1, Change::kMaster, "gamma x 100"},
    {I::kStrobe, "master/strobe", K::kToggle, 0, 1, 1, 1, Change::kMaster, "strobe on"},
    {I::kStrobeTime, "master/strobe_time", K::kFader, 1, 25, 1, 1, Change::kMaster, "mix passes per strobe flash"},
    {I::kSceneRecall, "scene/#/recall", K::kTrigger, 0, 1, 0, 10000, Change::kSceneSelection, "recall scene #"},
    {I::kChasePlay, "chase/#/play", K::kTrigger, 0, 1, 0, 250, Change::kChasePlayer, "start chase #"},
    {I::kChaseStop, "chase/stop", K::kButton, 0, 1, 1, 1, Change::kChasePlayer, "stop the running chase"},
    {I::kShowMode, "show_mode", K::kToggle, 0, 1, 1, 1, Change::kShowMode, "show mode window open"},
    {I::kOutput, "output/enabled", K::kToggle, 0, 1, 1, 1, Change::kOutputs, "outputs sending"},
    {I::kTempoTap, "tempo/tap", K::kButton, 0, 1, 1, 1, Change::kMaster, "tap the tempo (overrides the detection)"},
    {I::kTempoAuto, "tempo/auto", K::kButton, 0, 1, 1, 1, Change::kMaster, "the tempo detected in the sound again"},
    {I::kStrobeBeat, "master/strobe_beat", K::kFader, 0, 3, 1, 1, Change::kMaster,
     "strobe on the beat: 0 off, 1 every beat, 2 every 1/2 beat, 3 every 1/4 beat"},
}};

constexpr bool SpecsInIdOrder() {
  for (size_t i = 0; i < kSpecs.size(); ++i) {
    if (static_cast<size_t>(kSpecs[i].id) != i) return false;
  }
  return true;
}
static_assert(SpecsInIdOrder(), "the table is indexed by id");

// `pattern` with its "#" (if any) replaced by `text`.
std::string Filled(std::string_view pattern, std::string_view text) {
  const size_t hash = pattern.find('#');
  if (hash == std::string_view::npos) return std::string(pattern);
  std::string out(pattern.substr(0, hash));
  out.append(text);
  out.append(pattern.substr(hash + 1));
  return out;
}

}  // namespace

std::span<const ControlSpec> ControlSpecs() { return kSpecs; }

const ControlSpec& SpecOf(ControlId id) {
  const auto index = static_cast<size_t>(id);
  return kSpecs[index < kSpecs.size() ? index : 0];
}

std::string_view ControlTypeName(ControlType kind) {
  switch (kind) {
    case K::kFader: return "fader";
    case K::kToggle: return "toggle";
    case K::kButton: return "button";
    case K::kTrigger: return "trigger";
  }
  return "?";
}

std::string ControlName(const ControlAddress& address) {
  return Filled(SpecOf(address.id).pattern, std::to_string(address.instance + 1));
}

std::optional<ControlAddress> ParseControlName(std::string_view name) {
  if (!name.empty() && name.front() == '/') name.remove_prefix(1);
  for (const ControlSpec& info : kSpecs) {
    const size_t hash = info.pattern.find('#');
    if (hash == std::string_view::npos) {
      if (name == info.pattern) return ControlAddress{info.id, 0};
      continue;
    }
    const std::string_view head = info.pattern.substr(0, hash), tail = info.pattern.substr(hash + 1);
    if (name.size() <= head.size() + tail.size() || !name.starts_with(head) || !name.ends_with(tail)) continue;
    const std::string_view digits = name.substr(head.size(), name.size() - head.size() - tail.size());
    if (digits.size() > 5 || digits.front() == '0') continue;
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc() || end != digits.data() + digits.size()) continue;
    if (number < 1 || number > info.maxInstances) return std::nullopt;
    return ControlAddress{info.id, number - 1};
  }
  return std::nullopt;
}

std::string ControlListText() {
  std::string text = "NAME                  KIND     RANGE     WHAT\n";
  auto line = [&text](const std::string& name, const ControlSpec& info, const std::string& what) {
    char range[32];
    std::snprintf(range, sizeof range, "%d..%d", info.min, info.max);
    char row[200];
    std::snprintf(row, sizeof row, "%-21s %-8s %-9s ", name.c_str(), std::string(ControlTypeName(info.kind)).c_str(),
                  range);
    text += row;
    text += what;
    text += '\n';
  };
  for (const ControlSpec& info : kSpecs) {
    if (info.instances == 0) {
      line(Filled(info.pattern, "N"), info,
           Filled(info.description, "N (1.." + std::to_string(info.maxInstances) + ")"));
      continue;
    }
    for (int i = 0; i < info.instances; ++i) {
      line(ControlName({info.id, i}), info, Filled(info.description, std::to_string(i + 1)));
    }
  }
  return text;
}

int ClampControlValue(ControlId id, int value) {
  const ControlSpec& info = SpecOf(id);
  if (info.kind != ControlType::kFader) return value != 0 ? 1 : 0;
  return std::clamp(value, info.min, info.max);
}

}  // namespace quor
