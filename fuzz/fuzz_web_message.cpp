// libFuzzer target: arbitrary bytes as one live-channel message of the web
// remote and as an HTTP request head. A message either is refused or names
// a control that exists, and its PIN stays within bounds; a request head
// either is refused or yields a target that resolves only to a page file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/web_protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (const std::optional<quor::WebMessage> message = quor::ParseWebMessage(text)) {
    if (size > static_cast<size_t>(quor::kMaxWebMessageBytes)) std::abort();
    if (message->kind == quor::WebMessage::Kind::kSet) {
      const quor::ControlSpec& spec = quor::SpecOf(message->address.id);
      if (message->address.instance < 0 || message->address.instance >= spec.maxInstances) std::abort();
      (void)quor::ClampControlValue(message->address.id, message->value);
    }
    if (message->kind == quor::WebMessage::Kind::kPin && message->pin.size() > 128) std::abort();
  }
  if (const std::optional<quor::HttpHead> head = quor::ParseHttpHead(text)) {
    if (const std::optional<quor::WebStaticFile> file = quor::ResolveWebTarget(head->target)) {
      if (std::string_view(file->file).find('/') != std::string_view::npos) std::abort();
    }
  }
  return 0;
}
