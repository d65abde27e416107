// A small X11 client for the whole-program tests and the screenshot script:
// waits for a top-level window by title, saves the root window as a PNG and
// asks a window to close the way a window manager does (WM_DELETE_WINDOW).
//
//   quor_x11_probe wait TITLE [TIMEOUT_MS]   exit 0 when a window shows TITLE
//   quor_x11_probe shot FILE.png [TITLE]     the screen, or that window's area
//   quor_x11_probe close TITLE               sends WM_DELETE_WINDOW
#include <xcb/xcb.h>

#include <QImage>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Connection {
  xcb_connection_t* c = nullptr;
  xcb_screen_t* screen = nullptr;
  ~Connection() {
    if (c != nullptr) xcb_disconnect(c);
  }
};

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
  xcb_intern_atom_reply_t* reply =
      xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
  if (reply == nullptr) return XCB_ATOM_NONE;
  const xcb_atom_t atom = reply->atom;
  std::free(reply);
  return atom;
}

std::string Property(xcb_connection_t* c, xcb_window_t window, xcb_atom_t property, xcb_atom_t type) {
  xcb_get_property_reply_t* reply =
      xcb_get_property_reply(c, xcb_get_property(c, 0, window, property, type, 0, 1024), nullptr);
  if (reply == nullptr) return {};
  std::string value(static_cast<const char*>(xcb_get_property_value(reply)),
                    static_cast<size_t>(xcb_get_property_value_length(reply)));
  std::free(reply);
  return value;
}

// Depth-first search below `root` for a viewable window titled `title`.
std::optional<xcb_window_t> FindWindow(xcb_connection_t* c, xcb_window_t root, const std::string& title) {
  const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
  const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
  std::vector<xcb_window_t> pending = {root};
  while (!pending.empty()) {
    const xcb_window_t window = pending.back();
    pending.pop_back();
    if (window != root) {
      std::string name = Property(c, window, netName, utf8);
      if (name.empty()) name = Property(c, window, XCB_ATOM_WM_NAME, XCB_ATOM_STRING);
      if (name == title) {
        xcb_get_window_attributes_reply_t* attributes =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, window), nullptr);
        const bool viewable = attributes != nullptr && attributes->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(attributes);
        if (viewable) return window;
      }
    }
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, window), nullptr);
    if (tree == nullptr) continue;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) pending.push_back(children[i]);
    std::free(tree);
  }
  return std::nullopt;
}

int Wait(Connection& x, const std::string& title, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (FindWindow(x.c, x.screen->root, title)) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::fprintf(stderr, "quor_x11_probe: no window titled \"%s\" appeared within %d ms\n", title.c_str(), timeoutMs);
  return 1;
}

int Shot(Connection& x, const std::string& file, const std::string& title) {
  int16_t left = 0, top = 0;
  uint16_t width = x.screen->width_in_pixels, height = x.screen->height_in_pixels;
  if (!title.empty()) {
    const auto window = FindWindow(x.c, x.screen->root, title);
    if (!window) {
      std::fprintf(stderr, "quor_x11_probe: no window titled \"%s\"\n", title.c_str());
      return 1;
    }
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, *window), nullptr);
    xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
        x.c, xcb_translate_coordinates(x.c, *window, x.screen->root, 0, 0), nullptr);
    if (g != nullptr && t != nullptr) {
      left = t->dst_x, top = t->dst_y, width = g->width, height = g->height;
    }
    std::free(g);
    std::free(t);
  }
  xcb_get_image_reply_t* image = xcb_get_image_reply(
      x.c, xcb_get_image(x.c, XCB_IMAGE_FORMAT_Z_PIXMAP, x.screen->root, left, top, width, height, ~0u), nullptr);
  if (image == nullptr || image->depth != 24) {
    std::fprintf(stderr, "quor_x11_probe: cannot read the screen (needs a 24-bit display)\n");
    std::free(image);
    return 1;
  }
  const uint8_t* data = xcb_get_image_data(image);
  QImage picture(data, width, height, width * 4, QImage::Format_RGB32);
  const bool saved = picture.copy().save(QString::fromStdString(file), "PNG");
  std::free(image);
  if (!saved) {
    std::fprintf(stderr, "quor_x11_probe: cannot write %s\n", file.c_str());
    return 1;
  }
  return 0;
}

int Close(Connection& x, const std::string& title) {
  const auto window = FindWindow(x.c, x.screen->root, title);
  if (!window) {
    std::fprintf(stderr, "quor_x11_probe: no window titled \"%s\"\n", title.c_str());
    return 1;
  }
  xcb_client_message_event_t event{};
  event.response_type = XCB_CLIENT_MESSAGE;
  event.format = 32;
  event.window = *window;
  event.type = Atom(x.c, "WM_PROTOCOLS");
  event.data.data32[0] = Atom(x.c, "WM_DELETE_WINDOW");
  event.data.data32[1] = XCB_CURRENT_TIME;
  xcb_void_cookie_t cookie = xcb_send_event_checked(x.c, 0, *window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
  if (xcb_generic_error_t* error = xcb_request_check(x.c, cookie)) {
    std::fprintf(stderr, "quor_x11_probe: the close request failed (X error %d)\n", error->error_code);
    std::free(error);
    return 1;
  }
  xcb_flush(x.c);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("usage: quor_x11_probe wait TITLE [TIMEOUT_MS] | shot FILE [TITLE] | close TITLE\n", stderr);
    return 2;
  }
  Connection x;
  x.c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x.c) != 0) {
    std::fputs("quor_x11_probe: cannot connect to the X display (is DISPLAY set?)\n", stderr);
    return 1;
  }
  x.screen = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data;
  const std::string command = argv[1];
  if (command == "wait") return Wait(x, argv[2], argc > 3 ? std::atoi(argv[3]) : 10000);
  if (command == "shot") return Shot(x, argv[2], argc > 3 ? argv[3] : "");
  if (command == "close") return Close(x, argv[2]);
  std::fprintf(stderr, "quor_x11_probe: unknown command %s\n", command.c_str());
  return 2;
}
