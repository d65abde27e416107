#include "engine/resume_state.h"

#include <QJsonArray>
#include <QJsonValue>
#include <type_traits>

#include "core/mixer.h"
#include "engine/engine.h"
#include "files/side_file.h"
#include "generators/generator_catalogue.h"
#include "show/show.h"
#include "show/show_limits.h"

namespace quor {
namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Trailing zero bytes are left out; the reader fills them in again.
QString BlockToHex(const SettingsBlock& block) {
  size_t used = block.size();
  while (used > 0 && block[used - 1] == 0) --used;
  QString text;
  text.reserve(static_cast<qsizetype>(used * 2));
  for (size_t i = 0; i < used; ++i) {
    text.append(QChar(kHexDigits[block[i] >> 4]));
    text.append(QChar(kHexDigits[block[i] & 0x0f]));
  }
  return text;
}

int HexValue(QChar c) {
  const char16_t u = c.unicode();
  if (u >= '0' && u <= '9') return u - '0';
  if (u >= 'a' && u <= 'f') return u - 'a' + 10;
  if (u >= 'A' && u <= 'F') return u - 'A' + 10;
  return -1;
}

std::optional<SettingsBlock> BlockFromHex(const QJsonValue& value) {
  if (!value.isString()) return std::nullopt;
  const QString text = value.toString();
  if (text.size() % 2 != 0 || static_cast<size_t>(text.size()) > kSettingsBlockSize * 2) return std::nullopt;
  SettingsBlock block{};
  for (qsizetype i = 0; i < text.size(); i += 2) {
    const int high = HexValue(text[i]);
    const int low = HexValue(text[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    block[static_cast<size_t>(i / 2)] = static_cast<uint8_t>(high * 16 + low);
  }
  return block;
}

// The step a running chase shows: the one before the player's next.
int ShownStep(Engine& engine, int chase) {
  ChaseStore& chases = engine.show().chases();
  if (!chases.Contains(chase - 1)) return 0;
  const int count = chases.at(chase - 1).StepCount();
  if (count <= 0) return 0;
  const int next = engine.show().player().StepIndex();
  if (next < 0) return count - 1;  // a chase that does not loop ended on its last step
  return (next - 1 + count) % count;
}

}  // namespace

ResumeState CaptureResumeState(Engine& engine, const ResumeWindows& windows) {
  ResumeState state;
  const MixerPanel& panel = engine.panel();
  for (int s = 0; s < kSlotCount; ++s) {
    const size_t i = static_cast<size_t>(s);
    state.types[i] = engine.RequestedType(s);
    state.speeds[i] = panel.speed[i].load();
    state.inverts[i] = panel.invert[i].load() != 0;
    state.beatTriggers[i] = engine.BeatTrigger(static_cast<int>(i));
    engine.EditGenerator(s, [&](Generator& g) { g.ExchangeSettings(state.settings[i], SettingsDirection::kStore); });
  }
  for (size_t m = 0; m < kMixCount; ++m) {
    state.mergeModes[m] = panel.mergeMode[m].load();
    state.fades[m] = panel.masterFade[m].load();
  }
  const EngineSettings& settings = engine.settings();
  state.masterLevel = settings.masterLevel.load();
  state.strobe = settings.strobeCounter.load() >= 0;
  state.strobeTime = settings.strobeTime.load();
  state.strobeBeat = engine.StrobeBeat();
  const int running = engine.show().player().RunningChase();
  state.chase = running > 0 ? running : 0;
  state.chaseStep = state.chase > 0 ? ShownStep(engine, state.chase) : 0;
  state.scene = engine.LastRecalledScene();
  state.outputsRunning = engine.flags().outputState.load() == kOutputRunning;
  state.windows = windows;
  return state;
}

QJsonObject ResumeToJson(const ResumeState& state) {
  QJsonArray slotList;
  for (size_t i = 0; i < kSlotCount; ++i) {
    slotList.append(QJsonObject{{"type", state.types[i]},
                             {"speed", state.speeds[i]},
                             {"invert", state.inverts[i]},
                             {"beatTrigger", state.beatTriggers[i]},
                             {"settings", BlockToHex(state.settings[i])}});
  }
  QJsonArray mixes;
  for (size_t m = 0; m < kMixCount; ++m) {
    mixes.append(QJsonObject{{"mergeMode", state.mergeModes[m]}, {"fade", state.fades[m]}});
  }
  return QJsonObject{
      {"slots", slotList},
      {"mixes", mixes},
      {"masterLevel", state.masterLevel},
      {"strobe", state.strobe},
      {"strobeTime", state.strobeTime},
      {"strobeBeat", state.strobeBeat},
      {"chase", state.chase},
      {"chaseStep", state.chaseStep},
      {"scene", state.scene},
      {"outputsRunning", state.outputsRunning},
      {"windows", QJsonObject{{"scenes", state.windows.scenes},
                              {"chases", state.windows.chases},
                              {"showMode", state.windows.showMode}}},
  };
}

std::optional<ResumeState> ResumeFromJson(const QJsonObject& section, std::string& problem) {
  ResumeState state;
  bool ok = true;
  const auto need = [&](auto value, const char* what) {
    if (!value) {
      if (ok) problem = std::string("\"") + what + "\" is missing or out of range";
      ok = false;
    }
    return value.value_or(std::remove_cvref_t<decltype(*value)>{});
  };
  const QJsonArray slotList = section.value("slots").toArray();
  const QJsonArray mixes = section.value("mixes").toArray();
  if (slotList.size() != kSlotCount || mixes.size() != kMixCount) {
    problem = "\"slots\" or \"mixes\" does not have one entry per slot or mix";
    return std::nullopt;
  }
  for (size_t i = 0; i < kSlotCount; ++i) {
    const QJsonObject slot = slotList[static_cast<qsizetype>(i)].toObject();
    state.types[i] = need(SideInt(slot, "type", 0, kMaxGeneratorType), "type");
    state.speeds[i] = need(SideInt(slot, "speed", kMinSlotSpeed, kMaxSlotSpeed), "speed");
    state.inverts[i] = need(SideBool(slot, "invert"), "invert");
    // Kept since triggers could follow the beat; older files have them off.
    if (slot.contains("beatTrigger")) state.beatTriggers[i] = need(SideBool(slot, "beatTrigger"), "beatTrigger");
    state.settings[i] = need(BlockFromHex(slot.value("settings")), "settings");
  }
  for (size_t m = 0; m < kMixCount; ++m) {
    const QJsonObject mix = mixes[static_cast<qsizetype>(m)].toObject();
    state.mergeModes[m] = need(SideInt(mix, "mergeMode", 0, kMixModeCount - 1), "mergeMode");
    state.fades[m] = need(SideInt(mix, "fade", 0, 255), "fade");
  }
  state.masterLevel = need(SideInt(section, "masterLevel", 0, 255), "masterLevel");
  state.strobe = need(SideBool(section, "strobe"), "strobe");
  state.strobeTime = need(SideInt(section, "strobeTime", 1, 25), "strobeTime");
  // Kept since the strobe could follow the beat; older files have it off.
  if (section.contains("strobeBeat")) state.strobeBeat = need(SideInt(section, "strobeBeat", 0, 3), "strobeBeat");
  state.chase = need(SideInt(section, "chase", 0, kMaxShowChases), "chase");
  state.chaseStep = need(SideInt(section, "chaseStep", 0, kMaxChaseSteps - 1), "chaseStep");
  state.scene = need(SideInt(section, "scene", -1, kMaxShowScenes - 1), "scene");
  state.outputsRunning = need(SideBool(section, "outputsRunning"), "outputsRunning");
  const QJsonObject windows = section.value("windows").toObject();
  state.windows.scenes = need(SideBool(windows, "scenes"), "windows.scenes");
  state.windows.chases = need(SideBool(windows, "chases"), "windows.chases");
  state.windows.showMode = need(SideBool(windows, "showMode"), "windows.showMode");
  if (!ok) return std::nullopt;
  return state;
}

void ApplyResumeState(Engine& engine, const ResumeState& state, const ResumeOverrides& overrides) {
  Show& show = engine.show();
  // The scene first: the mixer values that follow are those of the moment
  // the state was kept, hand moves after the recall included.
  if (!overrides.autostart && state.chase == 0 && show.scenes().Contains(state.scene)) {
    show.sceneList().ShowSelection(state.scene);
    engine.RecallScene(state.scene);
  }
  for (int s = 0; s < kSlotCount; ++s) {
    if (overrides.slotRequested[static_cast<size_t>(s)]) continue;
    engine.SelectEffect(s, EffectListPosition(state.types[static_cast<size_t>(s)]));
  }
  engine.RebindSlots();
  for (int s = 0; s < kSlotCount; ++s) {
    const size_t i = static_cast<size_t>(s);
    if (overrides.slotRequested[i]) continue;
    SettingsBlock block = state.settings[i];
    engine.EditGenerator(s, [&](Generator& g) { g.ExchangeSettings(block, SettingsDirection::kLoad); });
    engine.SetSlotSpeed(s, state.speeds[i]);
    engine.SetInvert(s, state.inverts[i]);
    engine.SetBeatTrigger(s, state.beatTriggers[i]);
  }
  for (int m = 0; m < kMixCount; ++m) {
    engine.SetMergeMode(m, state.mergeModes[static_cast<size_t>(m)]);
    engine.SetChannelFade(m, state.fades[static_cast<size_t>(m)]);
  }
  engine.SetMasterLevel(state.masterLevel);
  engine.SetStrobeTime(state.strobeTime);
  engine.SetStrobeBeat(state.strobeBeat);
  engine.SetStrobe(state.strobe);
  if (overrides.autostart) return;
  if (state.chase > 0) show.chaseList().StartAt(state.chase - 1, state.chaseStep);
  const bool running = engine.flags().outputState.load() == kOutputRunning;
  if (state.outputsRunning && !running) {
    engine.console().Write("Resuming output ...\n");
    engine.OpenOutputs();
  } else if (!state.outputsRunning && running) {
    engine.CloseOutputs();
  }
}

}  // namespace quor
