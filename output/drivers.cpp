#include "output/drivers.h"

#include "output/artnet_encoder.h"
#include "output/ddp_encoder.h"
#include "output/glediator_encoder.h"
#include "output/minidmx_encoder.h"
#include "output/sacn_encoder.h"
#include "output/tpm2_encoder.h"
#include "output/tpm2net_encoder.h"

namespace quor {

const std::array<DriverInfo, kDriverCount>& Drivers() {
  static const std::array<DriverInfo, kDriverCount> table = {{
      {"Art-Net", static_cast<int>(kArtNetHeaderBytes), TransportKind::kUdp, &EncodeArtDmx},
      {"tpm2.net", static_cast<int>(kTpm2NetHeaderBytes), TransportKind::kUdp, &EncodeTpm2Net},
      {"Glediator", static_cast<int>(kGlediatorHeaderBytes), TransportKind::kSerial, &EncodeGlediator},
      {"tpm2", static_cast<int>(kTpm2HeaderBytes), TransportKind::kSerial, &EncodeTpm2},
      {"MiniDMX", static_cast<int>(kMiniDmxHeaderBytes), TransportKind::kSerial, &EncodeMiniDmx},
      {"Bitmap Export", 0, TransportKind::kBitmapFolder, nullptr},
      {"Glediator File Recorder", 0, TransportKind::kRecorderFile, nullptr},
      {"sACN (E1.31)", static_cast<int>(kSacnHeaderBytes), TransportKind::kUdp, &EncodeSacn, &EncodeSacnStop,
       &SacnDestination},
      {"DDP", static_cast<int>(kDdpHeaderBytes), TransportKind::kUdp, &EncodeDdp},
  }};
  return table;
}

const DriverInfo* FindDriver(int driver) {
  if (driver < 0 || driver >= kDriverCount) return nullptr;
  return &Drivers()[static_cast<size_t>(driver)];
}

std::string DestinationOf(const OutputDevice& device) {
  const DriverInfo* info = FindDriver(device.driver);
  if (info != nullptr && info->destination != nullptr) return info->destination(device);
  return std::string(device.AddressText());
}

bool HasSendBuffer(int driver) {
  const DriverInfo* info = FindDriver(driver);
  return info != nullptr && info->encode != nullptr;
}

}  // namespace quor
