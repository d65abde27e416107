#include "input/midi_mapping.h"

namespace quor {

std::string MidiSourceText(const MidiSource& source) {
  const char* kind = "Note";
  if (source.kind == MidiSourceKind::kControlChange) kind = "CC";
  if (source.kind == MidiSourceKind::kProgramChange) kind = "Program";
  return std::string(kind) + " " + std::to_string(source.number) + " ch " + std::to_string(source.channel + 1);
}

}  // namespace quor
