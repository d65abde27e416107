// libFuzzer target: arbitrary bytes as one OSC packet. The reader either
// refuses it or yields messages whose addresses lie inside the packet and
// start with "/"; each address is then matched as a pattern against a few
// names of the /quor space and resolved as an exact address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "input/osc_input.h"
#include "input/osc_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> packet(data, size);
  const auto messages = quor::ParseOscPacket(packet);
  if (!messages) return 0;
  const char* begin = reinterpret_cast<const char*>(data);
  for (const quor::OscMessage& message : *messages) {
    if (message.address.empty() || message.address.front() != '/') std::abort();
    if (message.address.data() < begin || message.address.data() + message.address.size() > begin + size) std::abort();
    for (const char* name : {"/quor/master", "/quor/slot/2/speed", "/quor/scene/120/recall"}) {
      (void)quor::OscPatternMatches(message.address, name);
    }
    (void)quor::ResolveOscAddress(message.address);
    if (message.first) {
      (void)quor::OscControlValue(quor::SpecOf(quor::ControlId::kGamma), *message.first);
    }
  }
  return 0;
}
