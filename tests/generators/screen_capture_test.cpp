#include "generators/screen_capture.h"
#include "generators/capture_frame.h"

#include <xcb/xcb.h>
#include <climits>

#include "generator_rig.h"
#include "tests/app/windowed_support.h"

namespace quor {
namespace {

TEST(ScreenCapture, OnlyOneRunsAtATimeAndWithoutDisplayItShowsBlack) {
  test::GeneratorHarness harness;
  test::ConsoleCapture console(harness.console);
  ScreenCaptureGenerator first(harness.context), second(harness.context);
  first.SetDisplayName(":64999");  // no server there
  ASSERT_TRUE(first.Create(32, 16));
  EXPECT_EQ(first.rectangle(), (CaptureRectangle{100, 100, 420, 260}));
  EXPECT_FALSE(second.Create(32, 16));
  EXPECT_EQ(second.status(), BusyStatus::kDestroyed);
  test::Frame frame(32, 16);
  for (int n = 0; n < 3; ++n) first.Render({frame.bytes.data(), 32, 16});
  EXPECT_EQ(frame.LitCount(), 0);
  EXPECT_EQ(console.Count("Screen Capture: no X11 display"), 1);
  first.Destroy();
  second.SetDisplayName(":64999");
  EXPECT_TRUE(second.Create(32, 16));
}

// A private X server for the test; stopped with the fixture.
class XvfbTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(display.empty()) << "Xvfb did not start: install it with tools/deps --test"; }
  // Draws the 64 x 32 pattern (8x, 16y, 255 on odd x + y) at the screen's top-left corner, again until it reads back.
  void DrawPattern() {
    xcb_connection_t* c = xcb_connect(display.c_str(), nullptr);
    ASSERT_EQ(xcb_connection_has_error(c), 0);
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    const xcb_gcontext_t gc = xcb_generate_id(c);
    xcb_create_gc(c, gc, screen->root, 0, nullptr);
    std::vector<uint8_t> pixels;  // B, G, R, unused
    for (int i = 0; i < 64 * 32; ++i)
      pixels.insert(pixels.end(), {uint8_t((i / 64 + i) % 2 ? 255 : 0), uint8_t(i / 64 * 8), uint8_t(i % 64 * 4), 0});
    bool drawn = false;
    for (int attempt = 0; attempt < 50 && !drawn; ++attempt) {
      xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, gc, 64, 32, 0, 0, 0, 24, uint32_t(pixels.size()),
                    pixels.data());
      xcb_get_image_reply_t* back = xcb_get_image_reply(
          c, xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, 63, 31, 1, 1, ~0u), nullptr);
      drawn = back != nullptr && xcb_get_image_data(back)[2] == 252 && xcb_get_image_data(back)[1] == 248;
      free(back);
      if (!drawn) usleep(20000);
    }
    xcb_disconnect(c);
    ASSERT_TRUE(drawn) << "cannot draw on the X screen " << display;
  }
  test::XvfbDisplay xvfb_{"320x240x24"};
  const std::string display = xvfb_.name();
};

TEST_F(XvfbTest, CapturesTheRectangleAveragedOntoTheMatrix) {
  DrawPattern();
  test::GeneratorHarness harness;
  test::ConsoleCapture console(harness.console);
  ScreenCaptureGenerator capture(harness.context);
  capture.SetDisplayName(display);
  ASSERT_TRUE(capture.Create(32, 16));
  test::Frame frame(32, 16);
  // 64 x 32 onto 32 x 16: 2 x 2 boxes, red 8 bx + 2, green 16 by + 4, blue half of the box: 510 / 4 = 127. Half the
  // rectangle off the screen: that half is black, 4 x 2 boxes.
  for (bool half : {false, true}) {
    capture.SetRectangle({half ? -64 : 0, 0, 64, 32});
    ASSERT_TRUE(capture.WaitForCaptures(2, 10000)) << display << console.Text();
    capture.Render({frame.bytes.data(), 32, 16});
    for (int x = 0, y = 0; y < 16; x = (x + 1) % 32, y += x == 0) {
      const Rgb want = !half ? Rgb{8 * x + 2, 16 * y + 4, 127} : x < 16 ? Rgb{} : Rgb{16 * x - 250, 16 * y + 4, 127};
      ASSERT_EQ(frame.At(x, y), want) << x << "," << y << (half ? " half off" : "") << console.Text();
    }
  }
  EXPECT_EQ(console.Text(), "");
  capture.Destroy();
}

TEST(CaptureFrame, TheDraggedEdgeDecidesWhichSideFollowsTheMatrixAspect) {
  const CaptureRectangle start{100, 100, 420, 260};
  struct Case { CaptureRectangle after; FrameEdge edge; CaptureRectangle kept; };
  const Case cases[] = {  // kept on a 32 x 12 matrix
      {{100, 100, 421, 260}, FrameEdge::kRight, {100, 100, 421, 220}},  // 321 * 12 / 32 = 120
      {{100, 100, 420, 301}, FrameEdge::kBottom, {100, 100, 636, 301}},  // 201 * 32 / 12 = 536
      {{100, 50, 420, 260}, FrameEdge::kTop, {100, 50, 660, 260}},
      {{99, 50, 420, 260}, FrameEdge::kTopLeft, {99, 140, 420, 260}},
      {{150, 150, 470, 310}, FrameEdge::kNone, {150, 150, 470, 310}},  // moved, not resized
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DraggedEdge(start, c.after), c.edge) << c.after.left << "," << c.after.top;
    EXPECT_EQ(KeepAspect(c.after, c.edge, 32, 12), c.kept) << c.after.left << "," << c.after.top;
  }
  // Words from a damaged settings block neither overflow nor divide by 0.
  const CaptureRectangle wild{INT_MIN, 0, INT_MAX, 10};
  EXPECT_EQ(KeepAspect(wild, FrameEdge::kRight, 1, 1000).bottom, INT_MAX);
  EXPECT_EQ(KeepAspect({0, 0, 10, 5}, FrameEdge::kRight, 0, 0).bottom, 10);
}

}  // namespace
}  // namespace quor
