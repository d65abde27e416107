// libFuzzer target: arbitrary bytes as remote-control input. The first two
// bytes choose the first channel and the Art-Net address; the rest is read
// as one tpm2.net datagram, one Art-Net datagram and a tpm2 serial stream
// cut into reads whose sizes the data itself chooses. Any values found must
// be channel bytes (0..255).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "input/remote_input_parser.h"

namespace {

void CheckValues(const quor::RemoteValues& values) {
  for (int v : values) {
    if (v < -1 || v > 255) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  quor::RemoteInputSettings settings;
  settings.firstChannel = data[0] * 2;  // 0..510: the top values are out of range on purpose
  settings.baudOrNet = data[1] >> 4;
  settings.subnet = data[1] & 0x03;
  settings.universe = (data[1] >> 2) & 0x03;
  const std::span<const uint8_t> rest(data + 2, size - 2);
  const std::span<const uint8_t> datagram = rest.first(std::min(rest.size(), quor::kRemoteDatagramBytes));

  quor::RemoteValues values = quor::kNothingReceived;
  quor::ParseTpm2NetDatagram(datagram, settings.firstChannel, values);
  CheckValues(values);
  values = quor::kNothingReceived;
  quor::ParseArtNetInput(datagram, settings, values);
  CheckValues(values);

  quor::Tpm2StreamBuffer buffer;
  values = quor::kNothingReceived;
  size_t at = 0;
  while (at < rest.size()) {
    const size_t chunk = std::min<size_t>(rest.size() - at, 1 + rest[at] % 64 * 9);
    buffer.Append(rest.subspan(at, chunk), settings.firstChannel, values);
    if (buffer.fill() > quor::Tpm2StreamBuffer::kCapacity) std::abort();
    CheckValues(values);
    at += chunk;
  }
  return 0;
}
