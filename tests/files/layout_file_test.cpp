// LED layout files: the three formats read cell by cell with the line of
// every problem, the checks against the matrix, the patch they give on a
// chain of devices (the same entries FastPatch writes), and CSV export
// read back into the same patch.
#include <gtest/gtest.h>

#include "files/layout_file.h"
#include "output/drivers.h"
#include "output/fast_patch.h"

namespace quor {
namespace {

struct Led {
  int led, x, y, line;
  friend bool operator==(const Led&, const Led&) = default;
};

std::vector<Led> Leds(const std::vector<LayoutLed>& leds) {
  std::vector<Led> out;
  for (const LayoutLed& l : leds) out.push_back({l.led, l.x, l.y, l.line});
  return out;
}

std::string Problems(const std::vector<LayoutProblem>& problems) {
  std::string text;
  for (const LayoutProblem& p : problems) text += ProblemText(p) + "\n";
  return text;
}

TEST(LayoutFile, ParsesEachFormatWithHolesSerpentineAndLines) {
  struct Case {
    const char* name;
    const char* fileName;
    const char* text;
    bool readable;
    std::vector<Led> leds;
    std::vector<int> problemLines;
  };
  const Case cases[] = {
      // Serpentine rows; -1 is a cell without LED.
      {"ledmap", "wall.json", "{\"n\": \"wall\",\n \"map\": [0, 1, 2,\n 5, 4, 3,\n 6, -1, 7]}", true,
       {{0, 0, 0, 2}, {1, 1, 0, 2}, {2, 2, 0, 2}, {5, 0, 1, 3}, {4, 1, 1, 3}, {3, 2, 1, 3}, {6, 0, 2, 4}, {7, 2, 2, 4}},
       {}},
      {"ledmap with its own width", "w.json", "{\"width\": 2, \"map\": [1, 0, -1, 2]}", true,
       {{1, 0, 0, 1}, {0, 1, 0, 1}, {2, 1, 1, 1}}, {}},
      {"ledmap cell that is no LED number", "b.json", "{\"map\": [0,\n\"x\",\n1.5, 1]}", true, {{0, 0, 0, 1}, {1, 0, 1, 3}},
       {2, 3}},
      {"ledmap cut short", "c.json", "{\"map\": [0,\n1", false, {}, {2}},
      {"ledmap without map", "d.json", "{\"n\": [1, {\"a\": null}]}", false, {}, {1}},
      // Node numbers from 1, an empty cell is a hole; columns snake.
      {"custom model", "m.xmodel",
       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<custommodel name=\"M\" parm1=\"3\" parm2=\"2\"\n"
       " CustomModel=\"1,4,5;2,3,\" StringType=\"RGB Nodes\"/>",
       true, {{0, 0, 0, 3}, {3, 1, 0, 3}, {4, 2, 0, 3}, {1, 0, 1, 3}, {2, 1, 1, 3}}, {}},
      {"custom model node 0 and layers", "l.xmodel", "<custommodel CustomModel=\"1,0;x,2|3,4\"/>", true,
       {{0, 0, 0, 1}, {1, 1, 1, 1}}, {1, 1, 1}},
      {"custom model missing attribute", "n.xmodel", "<custommodel name=\"M\"/>", false, {}, {1}},
      {"not XML", "x.xmodel", "<custommodel CustomModel=\"1\"", false, {}, {1}},
      {"csv", "a.csv", "index,x,y\n# wired from the top left\n0,0,0\n\n1, 1, 0\n2,1,1\r\n", true,
       {{0, 0, 0, 3}, {1, 1, 0, 5}, {2, 1, 1, 6}}, {}},
      {"csv bad lines", "b.csv", "0,0,0\n1,2\nx,1,1\n3,a,0\n4,1,1,9\n-1,0,0\n5,-2,7", true, {{0, 0, 0, 1}, {5, -2, 7, 7}},
       {2, 3, 4, 5, 6}},
  };
  for (const Case& c : cases) {
    const LayoutFormat format = LayoutFormatFor(c.fileName, c.text);
    const Layout layout = ParseLayout(format, c.text, 3);
    EXPECT_EQ(layout.readable, c.readable) << c.name << "\n" << Problems(layout.problems);
    EXPECT_EQ(Leds(layout.leds), c.leds) << c.name;
    std::vector<int> lines;
    for (const LayoutProblem& p : layout.problems) lines.push_back(p.line);
    EXPECT_EQ(lines, c.problemLines) << c.name << "\n" << Problems(layout.problems);
  }
  EXPECT_EQ(LayoutFormatFor("noname", "  {\"map\":[]}"), LayoutFormat::kLedmapJson);
  EXPECT_EQ(LayoutFormatFor("noname", "\n<custommodel/>"), LayoutFormat::kCustomModel);
  EXPECT_EQ(LayoutFormatFor("NAME.CSV", "{"), LayoutFormat::kCsv);
}

TEST(LayoutFile, CheckReportsOutsideDuplicatesAndGapsAtTheirLines) {
  Layout layout = ParseLayout(LayoutFormat::kCsv,
                              "index,x,y\n"
                              "0,0,0\n"   // 2
                              "1,4,0\n"   // 3: outside a 4 x 2 matrix
                              "1,1,0\n"   // 4
                              "1,2,0\n"   // 5: LED 1 again
                              "2,1,0\n"   // 6: cell of LED 1
                              "5,3,1\n"   // 7: 2..4 missing
                              "7,0,1\n",  // 8: 6 missing
                              4);
  const std::vector<LayoutLed> kept = CheckLayout(layout, 4, 2);
  EXPECT_EQ(Leds(kept), (std::vector<Led>{{0, 0, 0, 2}, {1, 1, 0, 4}, {5, 3, 1, 7}, {7, 0, 1, 8}}));
  EXPECT_EQ(Problems(layout.problems),
            "line 3: LED 1 at 4,0 lies outside the 4 x 2 matrix (cells 0,0 to 3,1)\n"
            "line 5: LED 1 at 2,0 is given twice; the one on line 4 at 1,0 is used\n"
            "line 6: LED 2: cell 1,0 already holds LED 1 (line 4)\n"
            "line 7: LEDs 2 to 4 are not in the layout (before LED 5); their channels stay unused\n"
            "line 8: LED 6 is not in the layout (before LED 7); their channels stay unused\n");
}

class LayoutPatch : public ::testing::Test {
 protected:
  LayoutPatch() : devices_(console_) {
    console_.SetSink([](std::string_view) {});
    for (const char* address : {"10.0.0.1", "10.0.0.1", "10.0.0.2", "10.0.0.3"}) {
      OutputDevice d;
      d.driver = kDriverArtNet, d.channels = address[7] == '3' ? 24 : 12, d.headerLength = 18;
      d.SetAddress(address);
      devices_.Add(d);
    }
  }
  Console console_;
  OutputDeviceList devices_;
};

// A serpentine layout patches exactly what FastPatch's snake order does.
TEST_F(LayoutPatch, SerpentineLayoutEqualsFastPatch) {
  for (int colourOrder = 0; colourOrder < kColourOrderCount; ++colourOrder) {
    PatchTable fast(4, 3);
    FastPatchSettings s;
    s.dimensionX = 4, s.dimensionY = 2, s.pixelOrder = 4, s.colourOrder = colourOrder, s.device = 3;
    ApplyFastPatch(fast, devices_, 0, 1, s);
    Layout layout = ParseLayout(LayoutFormat::kLedmapJson, "{\"map\":[-1,-1,-1,-1, 0,1,2,3, 7,6,5,4]}", 4);
    PatchTable imported(4, 3);
    std::vector<LayoutProblem> problems;
    EXPECT_EQ(PatchLayout(imported, devices_, CheckLayout(layout, 4, 3), {3, 8, 3, colourOrder, 0}, problems), 8);
    EXPECT_EQ(imported.entries(), fast.entries()) << ColourOrderName(colourOrder);
    EXPECT_TRUE(problems.empty());
  }
}

TEST_F(LayoutPatch, ChainSpreadsOverTheNodesDevicesAndSaysWhatDoesNotFit) {
  // 2 LEDs of 4 channels per device from channel 2 on the first device;
  // the chain is outputs 1 and 2 (same node), output 3 is another node.
  Layout layout = ParseLayout(LayoutFormat::kCsv, "0,0,0\n1,1,0\n2,2,0\n3,3,0\n4,0,1\n", 4);
  PatchTable patch(4, 2);
  std::vector<LayoutProblem> problems;
  EXPECT_EQ(PatchLayout(patch, devices_, CheckLayout(layout, 4, 2), {0, 2, 4, 5, 2}, problems), 4);
  EXPECT_EQ(patch.At(0, 0), (PatchEntry{0, 3, 2, 4}));  // GRB
  EXPECT_EQ(patch.At(1, 0), (PatchEntry{0, 7, 6, 8}));
  EXPECT_EQ(patch.At(2, 0), (PatchEntry{1, 1, 0, 2}));  // the next device from channel 0
  EXPECT_EQ(patch.At(3, 0), (PatchEntry{1, 5, 4, 6}));
  EXPECT_EQ(patch.At(0, 1), PatchEntry{});
  EXPECT_EQ(Problems(problems),
            "line 5: LED 4 needs device 3 of the chain, but the list has 2 on that node; add a device for it (for "
            "example the next universe)\n");

  // Output 3 alone: from First Channel 3, the fourth LED would pass its
  // 12 channels.
  problems.clear();
  Layout four = ParseLayout(LayoutFormat::kCsv, "0,0,0\n1,1,0\n2,2,0\n3,3,0\n", 4);
  PatchTable other(4, 2);
  EXPECT_EQ(PatchLayout(other, devices_, CheckLayout(four, 4, 2), {2, 4, 3, 0, 3}, problems), 3);
  EXPECT_EQ(other.At(2, 0), (PatchEntry{2, 9, 10, 11}));
  EXPECT_EQ(Problems(problems),
            "line 4: LED 3 would need channels 12 to 14 of output 3, which has 12; lower the pixels per device\n");
}

// Export numbers the chain's cells by its channel arithmetic: importing
// the CSV with the same chain gives the same patch and the same CSV.
TEST_F(LayoutPatch, ExportRoundTrip) {
  const LayoutChain chain{0, 3, 3, 2, 3};
  Layout layout = ParseLayout(LayoutFormat::kCustomModel, "<custommodel CustomModel=\"1,,2;4,5,3;,6,\"/>", 3);
  PatchTable patch(3, 3);
  patch.At(0, 2) = {2, 0, 1, 2};  // another node's cell stays out of the file
  std::vector<LayoutProblem> problems;
  EXPECT_EQ(PatchLayout(patch, devices_, CheckLayout(layout, 3, 3), chain, problems), 6);
  const std::string csv = ExportLayoutCsv(patch, devices_, chain);
  EXPECT_EQ(csv, "index,x,y\n0,0,0\n1,2,0\n2,2,1\n3,0,1\n4,1,1\n5,1,2\n");

  Layout back = ParseLayout(LayoutFormat::kCsv, csv, 3);
  PatchTable again(3, 3);
  again.At(0, 2) = {2, 0, 1, 2};
  EXPECT_EQ(PatchLayout(again, devices_, CheckLayout(back, 3, 3), chain, problems), 6);
  EXPECT_EQ(again.entries(), patch.entries());
  EXPECT_EQ(ExportLayoutCsv(again, devices_, chain), csv);
  EXPECT_TRUE(problems.empty()) << Problems(problems);
}

}  // namespace
}  // namespace quor
