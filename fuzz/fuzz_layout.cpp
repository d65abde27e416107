// libFuzzer target: arbitrary bytes as an LED layout file in each of the
// three formats. Whatever a parser keeps is checked against a matrix and
// patched onto a chain of two devices; the chain's CSV export, imported
// again, must give the very same patch (gaps in the numbering stay gaps).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/console.h"
#include "files/layout_file.h"
#include "output/drivers.h"

namespace {

constexpr int kWidth = 16;
constexpr int kHeight = 8;

quor::PatchTable PatchOf(quor::Layout& layout, const quor::OutputDeviceList& devices, const quor::LayoutChain& chain) {
  quor::PatchTable patch(kWidth, kHeight);
  std::vector<quor::LayoutProblem> problems;
  quor::PatchLayout(patch, devices, quor::CheckLayout(layout, kWidth, kHeight), chain, problems);
  for (const quor::LayoutProblem& p : layout.problems) (void)quor::ProblemText(p);
  return patch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static quor::Console console;
  console.SetSink([](std::string_view) {});
  quor::OutputDeviceList devices(console);
  for (int i = 0; i < 2; ++i) {
    quor::OutputDevice d;
    d.driver = quor::kDriverArtNet, d.channels = 200, d.headerLength = 18;
    d.SetAddress("127.0.0.1");
    devices.Add(d);
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const quor::LayoutChain chain{0, 60, 3 + static_cast<int>(size % 2), static_cast<int>(size % 6), static_cast<int>(size % 5)};
  for (const quor::LayoutFormat format :
       {quor::LayoutFormat::kLedmapJson, quor::LayoutFormat::kCustomModel, quor::LayoutFormat::kCsv}) {
    quor::Layout layout = quor::ParseLayout(format, text, kWidth);
    const quor::PatchTable patch = PatchOf(layout, devices, chain);
    const std::string csv = quor::ExportLayoutCsv(patch, devices, chain);
    quor::Layout back = quor::ParseLayout(quor::LayoutFormat::kCsv, csv, kWidth);
    if (PatchOf(back, devices, chain).entries() != patch.entries()) std::abort();
  }
  (void)quor::LayoutFormatFor("layout", text);
  return 0;
}
