// A connection of our own to an X11 display, for reading the screen's
// picture (XCB: xcb_get_image on the root window, safe off the GUI thread)
// and for asking whether a display can be opened at all. One thread at a
// time per connection.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"

namespace quor {

class X11Screen {
 public:
  // Connects to the display `displayName` ("" = $DISPLAY).
  static Result<std::unique_ptr<X11Screen>> Connect(const std::string& displayName);
  ~X11Screen();
  X11Screen(const X11Screen&) = delete;
  X11Screen& operator=(const X11Screen&) = delete;

  // The root window picture inside the rectangle of `width` x `height`
  // pixels at (`left`, `top`), parts off the screen black, as tightly packed
  // RGB rows in `rgb`. The failure when the connection broke or the server
  // cannot deliver the picture in a layout read here.
  std::optional<Failure> Grab(int left, int top, int width, int height, std::vector<uint8_t>& rgb);

 private:
  explicit X11Screen(void* connection) : connection_(connection) {}
  void* connection_;  // xcb_connection_t
};

}  // namespace quor
