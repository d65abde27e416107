#include "output/udp_transport.h"

namespace quor {

UdpTransport::UdpTransport(DatagramSocket& socket, std::string_view address, int port)
    : socket_(socket), destination_(Ipv4Endpoint::Parse(address, static_cast<uint16_t>(port & 0xFFFF))) {}

void UdpTransport::Send(std::span<const uint8_t> bytes) {
  if (destination_) socket_.SendTo(*destination_, bytes);
}

}  // namespace quor
