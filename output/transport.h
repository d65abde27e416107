// The one interface every byte destination of the output sits behind: the
// shared UDP socket (one transport per device, each with its own
// destination), a serial port, or a redirection file. Called on the thread
// that sends frames; never blocks for long.
#pragma once

#include <cstdint>
#include <span>

namespace quor {

class Transport {
 public:
  virtual ~Transport() = default;
  // False while the previous frame is still leaving (serial ports): this
  // frame is then dropped for the device. A serial port also pushes on the
  // unwritten rest of its last frame here.
  virtual bool ReadyForFrame() { return true; }
  // Hands one packet or frame over. A failed send loses its bytes; a
  // failure that ends the destination (a pulled cable, a full disk) is kept
  // in fault().
  virtual void Send(std::span<const uint8_t> bytes) = 0;
  // The errno of the failure that stopped this destination; 0 while it
  // works. Any thread.
  virtual int fault() const { return 0; }
};

}  // namespace quor
