#include "files/control_settings.h"

#include <QJsonArray>
#include <set>
#include <tuple>

#include "files/side_file.h"

namespace quor {
namespace {

std::string DottedText(const std::array<uint8_t, 4>& address) {
  return std::to_string(address[0]) + "." + std::to_string(address[1]) + "." + std::to_string(address[2]) + "." +
         std::to_string(address[3]);
}

const char* SourceKindName(MidiSourceKind kind) {
  switch (kind) {
    case MidiSourceKind::kNote: return "note";
    case MidiSourceKind::kControlChange: return "cc";
    case MidiSourceKind::kProgramChange: return "program";
  }
  return "note";
}

std::optional<MidiSourceKind> ParseSourceKind(const QString& text) {
  if (text == "note") return MidiSourceKind::kNote;
  if (text == "cc") return MidiSourceKind::kControlChange;
  if (text == "program") return MidiSourceKind::kProgramChange;
  return std::nullopt;
}

// A string field of at most `limit` characters; nothing when missing, of
// another type or longer.
std::optional<std::string> SideString(const QJsonObject& object, const QString& key, int limit) {
  const QJsonValue value = object.value(key);
  if (!value.isString() || value.toString().size() > limit) return std::nullopt;
  return value.toString().toStdString();
}

// Reads the fields of one section with the first failure kept: each read
// that fails names its field in `problem` and later reads return defaults.
class FieldReader {
 public:
  FieldReader(std::string& problem, std::string where) : problem_(problem), where_(std::move(where)) {}
  bool ok() const { return problem_.empty(); }
  void Fail(const std::string& text) {
    if (problem_.empty()) problem_ = where_ + text;
  }
  int Int(const QJsonObject& object, const char* key, int lo, int hi) {
    const std::optional<int> value = SideInt(object, key, lo, hi);
    if (!value) Fail(std::string("\"") + key + "\" is not a whole number from " + std::to_string(lo) + " to " +
                     std::to_string(hi));
    return value.value_or(lo);
  }
  bool Bool(const QJsonObject& object, const char* key) {
    const std::optional<bool> value = SideBool(object, key);
    if (!value) Fail(std::string("\"") + key + "\" is not true or false");
    return value.value_or(false);
  }
  std::string String(const QJsonObject& object, const char* key, int limit) {
    const std::optional<std::string> value = SideString(object, key, limit);
    if (!value) Fail(std::string("\"") + key + "\" is not a text of at most " + std::to_string(limit) + " characters");
    return value.value_or(std::string());
  }
  QJsonObject Object(const QJsonObject& object, const char* key) {
    const QJsonValue value = object.value(key);
    if (!value.isObject()) Fail(std::string("\"") + key + "\" is not an object");
    return value.toObject();
  }

 private:
  std::string& problem_;
  std::string where_;
};

std::optional<OscSettings> OscFromJson(const QJsonObject& osc, std::string& problem) {
  FieldReader read(problem, "osc: ");
  OscSettings settings;
  settings.enabled = read.Bool(osc, "enabled");
  settings.port = read.Int(osc, "port", 1, 65535);
  const std::string listen = read.String(osc, "listen", 15);
  const std::string feedback = read.String(osc, "feedback", 21);
  if (!read.ok()) return std::nullopt;
  const std::optional<Ipv4Endpoint> local = Ipv4Endpoint::Parse(listen, 0);
  if (!local) read.Fail("\"listen\" is not a dotted IPv4 address");
  settings.listenAddress = local ? local->address : std::array<uint8_t, 4>{};
  if (!feedback.empty()) {
    settings.feedback = ParseOscEndpoint(feedback);
    if (!settings.feedback) read.Fail("\"feedback\" is not HOST:PORT with a dotted IPv4 host");
  }
  if (!read.ok()) return std::nullopt;
  return settings;
}

std::optional<MidiMapping> MappingFromJson(const QJsonValue& value, int index, std::string& problem) {
  FieldReader read(problem, "midi mapping " + std::to_string(index + 1) + ": ");
  if (!value.isObject()) {
    read.Fail("is not an object");
    return std::nullopt;
  }
  const QJsonObject object = value.toObject();
  MidiMapping mapping;
  const std::string name = read.String(object, "control", 64);
  const std::string kind = read.String(object, "source", 16);
  mapping.source.channel = static_cast<uint8_t>(read.Int(object, "channel", 1, 16) - 1);
  mapping.source.number = static_cast<uint8_t>(read.Int(object, "number", 0, 127));
  const std::string mode = read.String(object, "mode", 16);
  mapping.inverted = read.Bool(object, "inverted");
  mapping.softTakeover = read.Bool(object, "softTakeover");
  if (!read.ok()) return std::nullopt;
  const std::optional<ControlAddress> control = ParseControlName(name);
  if (!control) {
    read.Fail("no control is named \"" + name + "\"");
    return std::nullopt;
  }
  mapping.control = *control;
  const std::optional<MidiSourceKind> sourceKind = ParseSourceKind(QString::fromStdString(kind));
  if (!sourceKind) read.Fail("\"source\" is not note, cc or program");
  mapping.source.kind = sourceKind.value_or(MidiSourceKind::kNote);
  if (mode == "momentary") {
    mapping.buttonMode = MidiButtonMode::kMomentary;
  } else if (mode == "toggle") {
    mapping.buttonMode = MidiButtonMode::kToggle;
  } else {
    read.Fail("\"mode\" is not momentary or toggle");
  }
  // The range is in the control's own units.
  const ControlSpec& range = SpecOf(control->id);
  mapping.low = read.Int(object, "low", range.min, range.max);
  mapping.high = read.Int(object, "high", range.min, range.max);
  if (!read.ok()) return std::nullopt;
  return mapping;
}

std::optional<MidiSettings> MidiFromJson(const QJsonObject& midi, std::string& problem) {
  FieldReader read(problem, "midi: ");
  MidiSettings settings;
  settings.enabled = read.Bool(midi, "enabled");
  settings.inputPort = read.String(midi, "input", kMaxMidiPortNameLength);
  settings.outputPort = read.String(midi, "output", kMaxMidiPortNameLength);
  const QJsonValue mappings = midi.value("mappings");
  if (!mappings.isArray()) read.Fail("\"mappings\" is not a list");
  if (!read.ok()) return std::nullopt;
  const QJsonArray list = mappings.toArray();
  if (list.size() > kMaxMidiMappings) {
    read.Fail("more than " + std::to_string(kMaxMidiMappings) + " mappings");
    return std::nullopt;
  }
  std::set<std::tuple<int, int, int>> sources;
  for (int i = 0; i < list.size(); ++i) {
    std::optional<MidiMapping> mapping = MappingFromJson(list.at(i), i, problem);
    if (!mapping) return std::nullopt;
    const MidiSource& source = mapping->source;
    if (!sources.emplace(static_cast<int>(source.kind), source.channel, source.number).second) {
      problem = "midi mapping " + std::to_string(i + 1) + ": " + MidiSourceText(source) + " is mapped twice";
      return std::nullopt;
    }
    settings.mappings.push_back(*mapping);
  }
  return settings;
}

}  // namespace

bool operator==(const ControlSettings& a, const ControlSettings& b) {
  return a.osc.enabled == b.osc.enabled && a.osc.listenAddress == b.osc.listenAddress && a.osc.port == b.osc.port &&
         a.osc.feedback == b.osc.feedback && a.midi == b.midi;
}

QJsonObject ControlSettingsToJson(const ControlSettings& settings) {
  const OscSettings& osc = settings.osc;
  QJsonObject oscJson{
      {"enabled", osc.enabled},
      {"listen", QString::fromStdString(DottedText(osc.listenAddress))},
      {"port", osc.port},
      {"feedback", osc.feedback ? QString::fromStdString(DottedText(osc.feedback->address) + ":" +
                                                         std::to_string(osc.feedback->port))
                                : QString()},
  };
  QJsonArray mappings;
  for (const MidiMapping& mapping : settings.midi.mappings) {
    mappings.append(QJsonObject{
        {"control", QString::fromStdString(ControlName(mapping.control))},
        {"source", SourceKindName(mapping.source.kind)},
        {"channel", mapping.source.channel + 1},
        {"number", mapping.source.number},
        {"mode", mapping.buttonMode == MidiButtonMode::kToggle ? "toggle" : "momentary"},
        {"low", mapping.low},
        {"high", mapping.high},
        {"inverted", mapping.inverted},
        {"softTakeover", mapping.softTakeover},
    });
  }
  QJsonObject midiJson{
      {"enabled", settings.midi.enabled},
      {"input", QString::fromStdString(settings.midi.inputPort)},
      {"output", QString::fromStdString(settings.midi.outputPort)},
      {"mappings", mappings},
  };
  return QJsonObject{{"osc", oscJson}, {"midi", midiJson}};
}

std::optional<ControlSettings> ControlSettingsFromJson(const QJsonObject& section, std::string& problem) {
  problem.clear();
  FieldReader read(problem, "");
  const QJsonObject osc = read.Object(section, "osc");
  const QJsonObject midi = read.Object(section, "midi");
  if (!read.ok()) return std::nullopt;
  std::optional<OscSettings> oscSettings = OscFromJson(osc, problem);
  if (!oscSettings) return std::nullopt;
  std::optional<MidiSettings> midiSettings = MidiFromJson(midi, problem);
  if (!midiSettings) return std::nullopt;
  return ControlSettings{*oscSettings, std::move(*midiSettings)};
}

ControlSettingsRead ReadControlSettings(const std::string& sidePath) {
  ControlSettingsRead result;
  const SideFileRead read = ReadSideFile(sidePath);
  std::string problem = read.problem;
  if (problem.empty() && read.sections.contains(kControlsSection)) {
    const QJsonValue section = read.sections.value(kControlsSection);
    if (section.isObject()) {
      result.settings = ControlSettingsFromJson(section.toObject(), problem);
    } else {
      problem = "the controls section is not an object";
    }
  }
  if (!problem.empty()) {
    result.settings.reset();
    result.problem = "The control surface settings in " + sidePath + " cannot be used (" + problem +
                     "); OSC and MIDI keep their settings. Correct or remove that section of the file.";
  }
  return result;
}

std::optional<Failure> WriteControlSettings(const std::string& sidePath, const ControlSettings& settings) {
  return WriteSideSection(sidePath, kControlsSection, ControlSettingsToJson(settings));
}

}  // namespace quor
