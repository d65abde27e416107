// A small X11 client for the whole-program tests and the screenshot script:
// waits for a top-level window by title, saves the root window as a PNG and
// asks a window to close the way a window manager does (WM_DELETE_WINDOW).
//
//   quor_x11_probe wait TITLE [TIMEOUT_MS]   exit 0 when a window shows TITLE
//                                            (TITLE or "NAME - TITLE", in every command)
//   quor_x11_probe shot FILE.png [TITLE]     the screen, or that window's area
//   quor_x11_probe close TITLE               sends WM_DELETE_WINDOW
//   quor_x11_probe click TITLE X Y           a left click at X, Y in the window
//                                            (a negative Y counts from its bottom)
//   quor_x11_probe gone TITLE [TIMEOUT_MS]   exit 0 when no window shows TITLE
//   quor_x11_probe key TITLE KEY...          each KEY pressed and released in turn:
//                                            a character, a name (Tab, Return, Escape,
//                                            space, Up, Down, Home, End) or a keysym in
//                                            hex, each optionally after "alt+", "ctrl+"
//                                            or "shift+" ("alt+s" opens a menu)
//   quor_x11_probe type TITLE TEXT           ASCII text, then Return
//   quor_x11_probe frame TITLE               prints "LEFT TOP WIDTH HEIGHT" of the window's
//                                            outer frame (the window manager's, if any)
//   quor_x11_probe resize TITLE W H          asks for a client size, as a user's drag does
//   quor_x11_probe move TITLE X Y            asks for a position (the frame's, under a
//                                            window manager)
//   quor_x11_probe wm [TIMEOUT_MS]           exit 0 once a window manager runs
// Input is sent as events to the window's own client, so no extension is
// needed; the window must be one the program created. Keys first give the
// window the input focus, as a user's click on it would, so that the
// program treats it as the active window.
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
#include <utility>
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
      // The main window puts the project's name in front: "show.qrx* - TITLE".
      const std::string suffix = " - " + title;
      if (name == title || (name.size() > suffix.size() && name.ends_with(suffix))) {
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

// Polls until a window titled `title` is shown (or, for `gone`, no longer is).
int Await(Connection& x, const std::string& title, int timeoutMs, bool gone) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (FindWindow(x.c, x.screen->root, title).has_value() != gone) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::fprintf(stderr,
               gone ? "quor_x11_probe: the window titled \"%s\" was still open after %d ms\n"
                    : "quor_x11_probe: no window titled \"%s\" appeared within %d ms\n",
               title.c_str(), timeoutMs);
  return 1;
}

// The window titled `title`; says so when there is none.
std::optional<xcb_window_t> Existing(Connection& x, const std::string& title) {
  const auto window = FindWindow(x.c, x.screen->root, title);
  if (!window) std::fprintf(stderr, "quor_x11_probe: no window titled \"%s\"\n", title.c_str());
  return window;
}

int Shot(Connection& x, const std::string& file, const std::string& title) {
  int16_t left = 0, top = 0;
  uint16_t width = x.screen->width_in_pixels, height = x.screen->height_in_pixels;
  if (!title.empty()) {
    const auto window = Existing(x, title);
    if (!window) return 1;
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
  const auto window = Existing(x, title);
  if (!window) return 1;
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

// The keycode and shift state that give `keysym`; 0 when none does.
std::pair<xcb_keycode_t, uint16_t> KeyFor(Connection& x, uint32_t keysym) {
  const xcb_setup_t* setup = xcb_get_setup(x.c);
  const int count = setup->max_keycode - setup->min_keycode + 1;
  xcb_get_keyboard_mapping_reply_t* map = xcb_get_keyboard_mapping_reply(
      x.c, xcb_get_keyboard_mapping(x.c, setup->min_keycode, static_cast<uint8_t>(count)), nullptr);
  std::pair<xcb_keycode_t, uint16_t> found{0, 0};
  if (map == nullptr) return found;
  const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
  for (int code = 0; code < count && found.first == 0; ++code) {
    for (int column = 0; column < 2 && column < map->keysyms_per_keycode; ++column) {
      if (syms[code * map->keysyms_per_keycode + column] == keysym) {
        found = {static_cast<xcb_keycode_t>(setup->min_keycode + code), column == 1 ? XCB_MOD_MASK_SHIFT : 0};
        break;
      }
    }
  }
  std::free(map);
  return found;
}

bool SendInput(Connection& x, xcb_window_t window, uint8_t type, uint8_t detail, int16_t wx, int16_t wy, uint16_t state) {
  xcb_button_press_event_t event{};  // the same layout as key events
  event.response_type = type;
  event.detail = detail;
  event.time = XCB_CURRENT_TIME;
  event.root = x.screen->root;
  event.event = window;
  event.child = XCB_NONE;
  event.event_x = wx;
  event.event_y = wy;
  event.state = state;
  event.same_screen = 1;
  xcb_void_cookie_t cookie = xcb_send_event_checked(x.c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&event));
  xcb_generic_error_t* error = xcb_request_check(x.c, cookie);
  std::free(error);
  return error == nullptr;
}

// One KEY argument of "key": the keysym and the modifier state, or
// keysym 0 when the text names no key.
std::pair<uint32_t, uint16_t> ParseKey(std::string text) {
  static const std::pair<const char*, uint16_t> kModifiers[] = {
      {"alt+", XCB_MOD_MASK_1}, {"ctrl+", XCB_MOD_MASK_CONTROL}, {"shift+", XCB_MOD_MASK_SHIFT}};
  static const std::pair<const char*, uint32_t> kNames[] = {
      {"Tab", 0xff09}, {"Return", 0xff0d}, {"Escape", 0xff1b}, {"space", 0x20},
      {"Up", 0xff52},  {"Down", 0xff54},   {"Home", 0xff50},   {"End", 0xff57}};
  uint16_t state = 0;
  for (bool more = true; more;) {
    more = false;
    for (const auto& [prefix, mask] : kModifiers) {
      if (text.size() > std::strlen(prefix) && text.rfind(prefix, 0) == 0) {
        state |= mask;
        text.erase(0, std::strlen(prefix));
        more = true;
      }
    }
  }
  if (text.size() == 1) return {static_cast<unsigned char>(text[0]), state};
  for (const auto& [name, keysym] : kNames) {
    if (text == name) return {keysym, state};
  }
  char* end = nullptr;
  const unsigned long keysym = std::strtoul(text.c_str(), &end, 16);
  return {end != nullptr && *end == 0 ? static_cast<uint32_t>(keysym) : 0u, state};
}

int Input(Connection& x, const std::string& command, int argc, char** argv) {
  const auto window = Existing(x, argv[2]);
  if (!window) return 1;
  bool ok = true;
  if (command == "click" && argc > 4) {
    xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, *window), nullptr);
    const int height = g != nullptr ? g->height : 0;
    std::free(g);
    const auto cx = static_cast<int16_t>(std::atoi(argv[3]));
    int y = std::atoi(argv[4]);
    if (y < 0) y += height;
    ok = SendInput(x, *window, XCB_BUTTON_PRESS, 1, cx, static_cast<int16_t>(y), 0) &&
         SendInput(x, *window, XCB_BUTTON_RELEASE, 1, cx, static_cast<int16_t>(y), XCB_BUTTON_MASK_1);
  } else if ((command == "key" || command == "type") && argc > 3) {
    std::vector<std::pair<uint32_t, uint16_t>> keys;
    if (command == "key") {
      for (int i = 3; i < argc; ++i) {
        keys.push_back(ParseKey(argv[i]));
        if (keys.back().first == 0) {
          std::fprintf(stderr, "quor_x11_probe: \"%s\" names no key\n", argv[i]);
          return 2;
        }
      }
    } else {
      for (const char* p = argv[3]; *p != 0; ++p) keys.emplace_back(static_cast<unsigned char>(*p), 0);
      keys.emplace_back(0xff0d, 0);  // Return
    }
    xcb_set_input_focus(x.c, XCB_INPUT_FOCUS_PARENT, *window, XCB_CURRENT_TIME);
    for (const auto& [keysym, modifiers] : keys) {
      const auto [code, shift] = KeyFor(x, keysym);
      if (code == 0) {
        std::fprintf(stderr, "quor_x11_probe: no key gives keysym 0x%x\n", keysym);
        return 1;
      }
      const auto state = static_cast<uint16_t>(shift | modifiers);
      ok = ok && SendInput(x, *window, XCB_KEY_PRESS, code, 1, 1, state) &&
           SendInput(x, *window, XCB_KEY_RELEASE, code, 1, 1, state);
    }
    // A key that closes the window (Return, Escape) may take it away before
    // the last events reach it.
    ok = ok || !FindWindow(x.c, x.screen->root, argv[2]);
  } else {
    std::fprintf(stderr, "quor_x11_probe: %s needs more arguments\n", command.c_str());
    return 2;
  }
  xcb_flush(x.c);
  if (!ok) std::fprintf(stderr, "quor_x11_probe: sending %s failed\n", command.c_str());
  return ok ? 0 : 1;
}

// The window's outermost ancestor below the root: the frame a window manager put around it, or the window.
xcb_window_t TopLevel(Connection& x, xcb_window_t window) {
  for (;;) {
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(x.c, xcb_query_tree(x.c, window), nullptr);
    if (tree == nullptr) return window;
    const xcb_window_t parent = tree->parent;
    std::free(tree);
    if (parent == x.screen->root || parent == XCB_NONE) return window;
    window = parent;
  }
}

int Frame(Connection& x, const std::string& title) {
  const auto window = Existing(x, title);
  if (!window) return 1;
  xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(x.c, xcb_get_geometry(x.c, TopLevel(x, *window)), nullptr);
  if (g == nullptr) return 1;
  std::printf("%d %d %d %d\n", g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
  std::free(g);
  return 0;
}

int Configure(Connection& x, const std::string& command, int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "quor_x11_probe: %s needs more arguments\n", command.c_str());
    return 2;
  }
  const auto window = Existing(x, argv[2]);
  if (!window) return 1;
  const bool resize = command == "resize";
  const int a = std::atoi(argv[3]), b = std::atoi(argv[4]);
  if (!Property(x.c, x.screen->root, Atom(x.c, "_NET_SUPPORTING_WM_CHECK"), XCB_ATOM_WINDOW).empty()) {
    // Under a window manager the request goes to it as a pager's (source 2) would, which it carries out like a
    // user's drag; a client's own configure request may be overruled.
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = *window;
    event.type = Atom(x.c, "_NET_MOVERESIZE_WINDOW");
    event.data.data32[0] = (resize ? (1u << 10) | (1u << 11) : (1u << 8) | (1u << 9)) | (2u << 12);
    event.data.data32[resize ? 3 : 1] = static_cast<uint32_t>(a);
    event.data.data32[resize ? 4 : 2] = static_cast<uint32_t>(b);
    xcb_send_event(x.c, 0, x.screen->root, XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
  } else {
    const uint32_t values[] = {static_cast<uint32_t>(a), static_cast<uint32_t>(b)};
    xcb_configure_window(x.c, *window, resize ? XCB_CONFIG_WINDOW_WIDTH | XCB_CONFIG_WINDOW_HEIGHT
                                              : XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, values);
  }
  xcb_flush(x.c);
  return 0;
}

int AwaitWindowManager(Connection& x, int timeoutMs) {
  const xcb_atom_t check = Atom(x.c, "_NET_SUPPORTING_WM_CHECK");
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (std::chrono::steady_clock::now() < deadline) {
    if (!Property(x.c, x.screen->root, check, XCB_ATOM_WINDOW).empty()) return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::fprintf(stderr, "quor_x11_probe: no window manager announced itself within %d ms\n", timeoutMs);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  const bool waitForWm = argc >= 2 && std::string(argv[1]) == "wm";
  if (argc < 3 && !waitForWm) {
    std::fputs("usage: quor_x11_probe wait TITLE [TIMEOUT_MS] | gone TITLE [TIMEOUT_MS] | shot FILE [TITLE] | close TITLE | click TITLE X Y | key TITLE KEY... | type TITLE TEXT | frame TITLE | resize TITLE W H | move TITLE X Y | wm [TIMEOUT_MS]\n", stderr);
    return 2;
  }
  Connection x;
  x.c = xcb_connect(nullptr, nullptr);
  if (xcb_connection_has_error(x.c) != 0) {
    std::fputs("quor_x11_probe: cannot connect to the X display (is DISPLAY set?)\n", stderr);
    return 1;
  }
  x.screen = xcb_setup_roots_iterator(xcb_get_setup(x.c)).data;
  if (waitForWm) return AwaitWindowManager(x, argc > 2 ? std::atoi(argv[2]) : 10000);
  const std::string command = argv[1];
  if (command == "wait" || command == "gone") {
    return Await(x, argv[2], argc > 3 ? std::atoi(argv[3]) : 10000, command == "gone");
  }
  if (command == "shot") return Shot(x, argv[2], argc > 3 ? argv[3] : "");
  if (command == "close") return Close(x, argv[2]);
  if (command == "frame") return Frame(x, argv[2]);
  if (command == "resize" || command == "move") return Configure(x, command, argc, argv);
  if (command == "click" || command == "key" || command == "type") return Input(x, command, argc, argv);
  std::fprintf(stderr, "quor_x11_probe: unknown command %s\n", command.c_str());
  return 2;
}
