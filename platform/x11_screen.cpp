#include "platform/x11_screen.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

namespace quor {

Result<std::unique_ptr<X11Screen>> X11Screen::Connect(const std::string& displayName) {
  xcb_connection_t* connection = xcb_connect(displayName.empty() ? nullptr : displayName.c_str(), nullptr);
  if (xcb_connection_has_error(connection) != 0) {
    xcb_disconnect(connection);
    return Failure{displayName, 0, "the X display cannot be opened"};
  }
  return std::unique_ptr<X11Screen>(new X11Screen(connection));
}

X11Screen::~X11Screen() { xcb_disconnect(static_cast<xcb_connection_t*>(connection_)); }

std::optional<Failure> X11Screen::Grab(int left, int top, int w, int h, std::vector<uint8_t>& rgb) {
  const Failure unreadable{"X11 screen", 0, "the X server gives no picture in a readable layout"};
  auto* connection = static_cast<xcb_connection_t*>(connection_);
  if (xcb_connection_has_error(connection) != 0) return unreadable;
  const xcb_setup_t* setup = xcb_get_setup(connection);
  const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
  if (screen == nullptr) return unreadable;
  rgb.assign(static_cast<size_t>(w) * static_cast<size_t>(h) * 3, 0);
  // The part of the rectangle that lies on the screen.
  const int x0 = std::max(left, 0);
  const int y0 = std::max(top, 0);
  const int x1 = std::min<int64_t>(int64_t{left} + w, screen->width_in_pixels);
  const int y1 = std::min<int64_t>(int64_t{top} + h, screen->height_in_pixels);
  if (x1 <= x0 || y1 <= y0) return std::nullopt;

  xcb_get_image_cookie_t cookie =
      xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, static_cast<int16_t>(x0),
                    static_cast<int16_t>(y0), static_cast<uint16_t>(x1 - x0), static_cast<uint16_t>(y1 - y0), ~0u);
  xcb_get_image_reply_t* reply = xcb_get_image_reply(connection, cookie, nullptr);
  if (reply == nullptr) return unreadable;
  int bitsPerPixel = 0;
  for (xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup); it.rem > 0; xcb_format_next(&it)) {
    if (it.data->depth == reply->depth) bitsPerPixel = it.data->bits_per_pixel;
  }
  const int bytesPerPixel = bitsPerPixel / 8;
  const int columns = x1 - x0;
  const int rows = y1 - y0;
  const size_t length = static_cast<size_t>(xcb_get_image_data_length(reply));
  const size_t stride = length / static_cast<size_t>(rows);
  const bool ok = (bytesPerPixel == 3 || bytesPerPixel == 4) && reply->depth >= 24 &&
                  stride >= static_cast<size_t>(columns) * static_cast<size_t>(bytesPerPixel);
  if (ok) {
    const uint8_t* data = xcb_get_image_data(reply);
    // 24-bit true colour: blue in the low byte of each pixel value.
    const bool lsbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_LSB_FIRST;
    const int red = lsbFirst ? 2 : bytesPerPixel - 3;
    const int green = lsbFirst ? 1 : bytesPerPixel - 2;
    const int blue = lsbFirst ? 0 : bytesPerPixel - 1;
    for (int r = 0; r < rows; ++r) {
      const uint8_t* in = data + static_cast<size_t>(r) * stride;
      uint8_t* out = &rgb[(static_cast<size_t>(y0 - top + r) * w + static_cast<size_t>(x0 - left)) * 3];
      for (int c = 0; c < columns; ++c, in += bytesPerPixel, out += 3) {
        out[0] = in[red];
        out[1] = in[green];
        out[2] = in[blue];
      }
    }
  }
  std::free(reply);
  if (!ok) return unreadable;
  return std::nullopt;
}

}  // namespace quor
