#include "files/layout_file.h"

#include <QString>
#include <QXmlStreamReader>
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <utility>

#include "output/fast_patch.h"

namespace quor {
namespace {

// Far above any matrix (at most 16384 cells); larger numbers are refused
// as they are read, so no arithmetic on them can overflow.
constexpr int kMaxLedNumber = 1 << 24;
constexpr int kMaxCoordinate = 1 << 16;
// Problems listed per file; the rest are counted in one last line.
constexpr size_t kMaxProblems = 200;

void Say(std::vector<LayoutProblem>& problems, int line, std::string text) {
  if (problems.size() < kMaxProblems) {
    problems.push_back({line, std::move(text)});
  } else if (problems.size() == kMaxProblems) {
    problems.push_back({0, "further problems are not listed"});
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r' || s.front() == '\n')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.remove_suffix(1);
  return s;
}

// A whole number within lo..hi, the whole text.
std::optional<int> WholeNumber(std::string_view s, int lo, int hi) {
  s = Trim(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int value = 0;
  const auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc{} || end != s.data() + s.size() || value < lo || value > hi) return std::nullopt;
  return value;
}

std::string Quoted(std::string_view s) {
  constexpr size_t kShown = 24;
  std::string text = "\"";
  text.append(s.substr(0, kShown));
  if (s.size() > kShown) text.append("...");
  return text + "\"";
}

// ------------------------------------------------------------ ledmap JSON

// Reads just enough JSON to keep the line of every number of "map": the
// general parser does not say where a value stood.
class JsonScanner {
 public:
  explicit JsonScanner(std::string_view text) : s_(text) {}

  Layout Read(int matrixWidth) {
    Layout layout;
    std::vector<std::pair<int, int>> cells;  // LED number (or -1), line
    std::optional<int> width;
    Blank();
    if (!Take('{')) return Fail(layout, "a ledmap file is a JSON object: { \"map\": [ ... ] }");
    Blank();
    bool haveMap = false;
    if (!Take('}')) {
      for (;;) {
        Blank();
        std::string key;
        if (!String(&key)) return Fail(layout, "a key in quotes was expected");
        Blank();
        if (!Take(':')) return Fail(layout, "':' was expected after the key");
        Blank();
        if (key == "map") {
          if (!Map(layout, cells)) return Fail(layout, "\"map\" must be an array of LED numbers");
          haveMap = true;
        } else if (key == "width") {
          const int line = line_;
          double value = 0;
          bool whole = false;
          if (!Number(&value, &whole)) return Fail(layout, "\"width\" must be a number");
          if (!whole || value < 1 || value > kMaxCoordinate) {
            Say(layout.problems, line, "\"width\" must be a whole number from 1 on; the matrix width is used");
          } else {
            width = static_cast<int>(value);
          }
        } else if (!Skip(0)) {
          return Fail(layout, "the value of \"" + key + "\" is not valid JSON");
        }
        Blank();
        if (Take(',')) continue;
        if (Take('}')) break;
        return Fail(layout, "',' or '}' was expected");
      }
    }
    Blank();
    if (i_ != s_.size()) return Fail(layout, "text follows the JSON object");
    if (!haveMap) {
      line_ = 1;
      return Fail(layout, "the file has no \"map\" array");
    }
    const int w = width.value_or(matrixWidth);
    if (w < 1) return Fail(layout, "the ledmap has no width");
    for (size_t c = 0; c < cells.size(); ++c) {
      const auto [led, line] = cells[c];
      if (led < 0) continue;  // a cell without LED
      layout.leds.push_back({led, static_cast<int>(c % static_cast<size_t>(w)), static_cast<int>(c / static_cast<size_t>(w)), line});
    }
    layout.readable = true;
    return layout;
  }

 private:
  Layout Fail(Layout& layout, std::string why) {
    layout.leds.clear();
    layout.readable = false;
    Say(layout.problems, line_, std::move(why));
    return std::move(layout);
  }

  bool Map(Layout& layout, std::vector<std::pair<int, int>>& cells) {
    if (!Take('[')) return false;
    Blank();
    if (Take(']')) return true;
    for (;;) {
      Blank();
      const int line = line_;
      const size_t start = i_;
      double value = 0;
      bool whole = false;
      if (Number(&value, &whole)) {
        if (!whole || value < -1 || value > kMaxLedNumber) {
          Say(layout.problems, line,
              "cell " + std::to_string(cells.size()) + ": " + Quoted(s_.substr(start, i_ - start)) +
                  " is not an LED number (0 on, or -1 for no LED); the cell stays empty");
          cells.emplace_back(-1, line);
        } else {
          cells.emplace_back(static_cast<int>(value), line);
        }
      } else {
        if (!Skip(1)) return false;
        Say(layout.problems, line,
            "cell " + std::to_string(cells.size()) + ": " + Quoted(s_.substr(start, i_ - start)) +
                " is not an LED number; the cell stays empty");
        cells.emplace_back(-1, line);
      }
      Blank();
      if (Take(',')) continue;
      return Take(']');
    }
  }

  void Blank() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\r' || s_[i_] == '\n')) {
      if (s_[i_] == '\n') ++line_;
      ++i_;
    }
  }
  bool Take(char c) {
    if (i_ < s_.size() && s_[i_] == c) {
      ++i_;
      return true;
    }
    return false;
  }
  bool String(std::string* out) {
    if (!Take('"')) return false;
    while (i_ < s_.size()) {
      const char c = s_[i_++];
      if (c == '"') return true;
      if (c == '\n' || static_cast<unsigned char>(c) < 0x20) return false;
      if (c == '\\') {
        if (i_ >= s_.size()) return false;
        const char e = s_[i_++];
        if (e == 'u') {
          if (s_.size() - i_ < 4) return false;
          i_ += 4;
          if (out) out->push_back('?');
          continue;
        }
        if (out) out->push_back(e);
        continue;
      }
      if (out) out->push_back(c);
    }
    return false;
  }
  bool Number(double* value, bool* whole) {
    const size_t start = i_;
    if (i_ < s_.size() && s_[i_] == '-') ++i_;
    bool digits = false, fraction = false;
    while (i_ < s_.size() && ((s_[i_] >= '0' && s_[i_] <= '9') || s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E' ||
                              ((s_[i_] == '+' || s_[i_] == '-') && i_ > start && (s_[i_ - 1] == 'e' || s_[i_ - 1] == 'E')))) {
      if (s_[i_] >= '0' && s_[i_] <= '9') digits = true;
      if (s_[i_] == '.' || s_[i_] == 'e' || s_[i_] == 'E') fraction = true;
      ++i_;
    }
    if (!digits) {
      i_ = start;
      return false;
    }
    const QString text = QString::fromLatin1(s_.data() + start, static_cast<qsizetype>(i_ - start));
    bool ok = false;
    *value = text.toDouble(&ok);
    if (!ok) {
      i_ = start;
      return false;
    }
    *whole = !fraction || (*value == static_cast<double>(static_cast<int64_t>(std::clamp(*value, -1e15, 1e15))));
    return true;
  }
  // Skips any JSON value; nesting is bounded so hostile files cannot
  // exhaust the stack.
  bool Skip(int depth) {
    if (depth > 64) return false;
    Blank();
    if (i_ >= s_.size()) return false;
    const char c = s_[i_];
    if (c == '"') return String(nullptr);
    if (c == '{' || c == '[') {
      const char close = c == '{' ? '}' : ']';
      ++i_;
      Blank();
      if (Take(close)) return true;
      for (;;) {
        Blank();
        if (c == '{') {
          if (!String(nullptr)) return false;
          Blank();
          if (!Take(':')) return false;
        }
        if (!Skip(depth + 1)) return false;
        Blank();
        if (Take(',')) continue;
        return Take(close);
      }
    }
    for (const std::string_view word : {"true", "false", "null"}) {
      if (s_.substr(i_, word.size()) == word) {
        i_ += word.size();
        return true;
      }
    }
    double value = 0;
    bool whole = false;
    return Number(&value, &whole);
  }

  std::string_view s_;
  size_t i_ = 0;
  int line_ = 1;
};

// ------------------------------------------------------------ custom model

Layout ReadCustomModel(std::string_view text) {
  Layout layout;
  QXmlStreamReader xml(QByteArray::fromRawData(text.data(), static_cast<qsizetype>(text.size())));
  std::optional<QString> model;
  int line = 0;
  while (!xml.atEnd() && !model) {
    if (xml.readNext() != QXmlStreamReader::StartElement) continue;
    if (xml.name().compare(QLatin1String("custommodel"), Qt::CaseInsensitive) != 0) continue;
    line = static_cast<int>(xml.lineNumber());
    const QXmlStreamAttributes attributes = xml.attributes();
    for (const QXmlStreamAttribute& a : attributes) {
      if (a.name() == QLatin1String("CustomModel")) model = a.value().toString();
    }
    if (!model) {
      const bool compressed = attributes.hasAttribute(QLatin1String("CustomModelCompressed"));
      Say(layout.problems, line,
          compressed ? "the model holds only the compressed node list; save it again with the plain CustomModel "
                       "attribute"
                     : "the custommodel element has no CustomModel attribute");
      return layout;
    }
  }
  if (!model) {
    if (xml.hasError()) {
      Say(layout.problems, static_cast<int>(xml.lineNumber()), "not valid XML: " + xml.errorString().toStdString());
    } else {
      Say(layout.problems, 0, "the file holds no custommodel element");
    }
    return layout;
  }
  // Depth layers are separated by '|'; only the front one maps onto the
  // matrix.
  QString front = *model;
  if (const qsizetype bar = front.indexOf(QLatin1Char('|')); bar >= 0) {
    Say(layout.problems, line, "the model has several layers; only the first is used");
    front.truncate(bar);
  }
  const QStringList rows = front.split(QLatin1Char(';'));
  for (qsizetype r = 0; r < rows.size(); ++r) {
    const QStringList cells = rows[r].split(QLatin1Char(','));
    for (qsizetype c = 0; c < cells.size(); ++c) {
      const std::string cell = cells[c].trimmed().toStdString();
      if (cell.empty()) continue;  // a hole
      const std::string where = "row " + std::to_string(r + 1) + ", column " + std::to_string(c + 1) + ": ";
      if (const std::optional<int> node = WholeNumber(cell, 1, kMaxLedNumber)) {
        layout.leds.push_back({*node - 1, static_cast<int>(c), static_cast<int>(r), line});
      } else {
        Say(layout.problems, line, where + Quoted(cell) + " is not a node number (1 on); the cell stays empty");
      }
    }
  }
  layout.readable = true;
  return layout;
}

// ------------------------------------------------------------ CSV

Layout ReadCsv(std::string_view text) {
  Layout layout;
  layout.readable = true;
  int line = 0;
  bool first = true;
  while (!text.empty()) {
    ++line;
    const size_t end = text.find('\n');
    std::string_view row = Trim(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (row.empty() || row.front() == '#') continue;
    std::string_view fields[3];
    size_t count = 0;
    for (;;) {
      const size_t comma = row.find(',');
      if (count < 3) fields[count] = row.substr(0, comma);
      ++count;
      if (comma == std::string_view::npos) break;
      row.remove_prefix(comma + 1);
    }
    const bool header = first && !fields[0].empty() && WholeNumber(fields[0], std::numeric_limits<int>::min(),
                                                                   std::numeric_limits<int>::max()) == std::nullopt;
    first = false;
    if (header) continue;  // "index,x,y"
    if (count != 3) {
      Say(layout.problems, line, "expected index,x,y but found " + std::to_string(count) + " fields");
      continue;
    }
    const std::optional<int> led = WholeNumber(fields[0], 0, kMaxLedNumber);
    const std::optional<int> x = WholeNumber(fields[1], -kMaxCoordinate, kMaxCoordinate);
    const std::optional<int> y = WholeNumber(fields[2], -kMaxCoordinate, kMaxCoordinate);
    if (!led) {
      Say(layout.problems, line, Quoted(Trim(fields[0])) + " is not an LED index (0 on)");
    } else if (!x || !y) {
      Say(layout.problems, line, "x and y must be whole numbers");
    } else {
      layout.leds.push_back({*led, *x, *y, line});
    }
  }
  return layout;
}

}  // namespace

LayoutFormat LayoutFormatFor(std::string_view fileName, std::string_view text) {
  auto endsWith = [fileName](std::string_view ending) {
    if (fileName.size() < ending.size()) return false;
    const std::string_view tail = fileName.substr(fileName.size() - ending.size());
    return std::equal(tail.begin(), tail.end(), ending.begin(),
                      [](char a, char b) { return (a >= 'A' && a <= 'Z' ? a - 'A' + 'a' : a) == b; });
  };
  if (endsWith(".json")) return LayoutFormat::kLedmapJson;
  if (endsWith(".xmodel")) return LayoutFormat::kCustomModel;
  if (endsWith(".csv")) return LayoutFormat::kCsv;
  const std::string_view body = Trim(text);
  if (!body.empty() && body.front() == '{') return LayoutFormat::kLedmapJson;
  if (!body.empty() && body.front() == '<') return LayoutFormat::kCustomModel;
  return LayoutFormat::kCsv;
}

const char* LayoutFormatName(LayoutFormat format) {
  switch (format) {
    case LayoutFormat::kLedmapJson: return "ledmap JSON";
    case LayoutFormat::kCustomModel: return "custom model XML";
    case LayoutFormat::kCsv: return "CSV";
  }
  return "";
}

Layout ParseLayout(LayoutFormat format, std::string_view text, int matrixWidth) {
  switch (format) {
    case LayoutFormat::kLedmapJson: return JsonScanner(text).Read(matrixWidth);
    case LayoutFormat::kCustomModel: return ReadCustomModel(text);
    case LayoutFormat::kCsv: return ReadCsv(text);
  }
  return {};
}

std::vector<LayoutLed> CheckLayout(Layout& layout, int width, int height) {
  std::vector<LayoutLed> kept;
  std::map<int, const LayoutLed*> byLed;
  std::map<std::pair<int, int>, const LayoutLed*> byCell;
  auto at = [](const LayoutLed& l) { return std::to_string(l.x) + "," + std::to_string(l.y); };
  for (const LayoutLed& l : layout.leds) {
    const std::string name = "LED " + std::to_string(l.led);
    if (l.x < 0 || l.y < 0 || l.x >= width || l.y >= height) {
      Say(layout.problems, l.line,
          name + " at " + at(l) + " lies outside the " + std::to_string(width) + " x " + std::to_string(height) +
              " matrix (cells 0,0 to " + std::to_string(width - 1) + "," + std::to_string(height - 1) + ")");
      continue;
    }
    if (const auto same = byLed.find(l.led); same != byLed.end()) {
      Say(layout.problems, l.line,
          name + " at " + at(l) + " is given twice; the one on line " + std::to_string(same->second->line) +
              " at " + at(*same->second) + " is used");
      continue;
    }
    if (const auto taken = byCell.find({l.x, l.y}); taken != byCell.end()) {
      Say(layout.problems, l.line,
          name + ": cell " + at(l) + " already holds LED " + std::to_string(taken->second->led) + " (line " +
              std::to_string(taken->second->line) + ")");
      continue;
    }
    byLed.emplace(l.led, &l);
    byCell.emplace(std::pair{l.x, l.y}, &l);
  }
  // Gaps in the numbering, in LED order.
  int expected = 0;
  for (const auto& [led, l] : byLed) {
    if (led > expected) {
      const std::string missing = led - 1 == expected ? "LED " + std::to_string(expected) + " is"
                                                      : "LEDs " + std::to_string(expected) + " to " +
                                                            std::to_string(led - 1) + " are";
      Say(layout.problems, l->line,
          missing + " not in the layout (before LED " + std::to_string(led) + "); their channels stay unused");
    }
    expected = led + 1;
    kept.push_back(*l);
  }
  std::stable_sort(kept.begin(), kept.end(), [](const LayoutLed& a, const LayoutLed& b) { return a.line < b.line; });
  return kept;
}

std::vector<int> ChainDevices(const OutputDeviceList& devices, int firstDevice, int limit) {
  std::vector<int> chain;
  if (firstDevice < 0 || firstDevice >= devices.count()) return chain;
  for (int d = firstDevice; d >= 0 && static_cast<int>(chain.size()) < limit; d = NextDeviceLike(devices, d)) {
    chain.push_back(d);
  }
  return chain;
}

namespace {
bool ChainUsable(const LayoutChain& chain) {
  return chain.pixelsPerDevice >= 1 && chain.channelsPerLed >= 3 && chain.channelsPerLed <= 4 &&
         chain.colourOrder >= 0 && chain.colourOrder < kColourOrderCount && chain.firstChannel >= 0;
}
int64_t ChainBase(const LayoutChain& chain, size_t position) { return position == 0 ? chain.firstChannel : 0; }
}  // namespace

int PatchLayout(PatchTable& patch, const OutputDeviceList& devices, const std::vector<LayoutLed>& leds,
                const LayoutChain& chain, std::vector<LayoutProblem>& problems) {
  if (!ChainUsable(chain)) {
    Say(problems, 0, "pixels per device must be 1 or more, channels per LED 3 or 4 and First Channel 0 or more");
    return 0;
  }
  int highest = 0;
  for (const LayoutLed& l : leds) highest = std::max(highest, l.led);
  const std::vector<int> order = ChainDevices(devices, chain.firstDevice, highest / chain.pixelsPerDevice + 1);
  int patched = 0;
  for (const LayoutLed& l : leds) {
    if (l.x < 0 || l.y < 0 || l.x >= patch.width() || l.y >= patch.height()) continue;
    const size_t position = static_cast<size_t>(l.led / chain.pixelsPerDevice);
    const std::string name = "LED " + std::to_string(l.led);
    if (position >= order.size()) {
      Say(problems, l.line,
          name + " needs device " + std::to_string(position + 1) + " of the chain, but the list has " +
              std::to_string(order.size()) +
              " on that node; add a device for it (for example the next universe)");
      continue;
    }
    const int device = order[position];
    const int64_t first = ChainBase(chain, position) + int64_t{l.led % chain.pixelsPerDevice} * chain.channelsPerLed;
    if (!PixelFits(first, devices[device].channels, chain.channelsPerLed)) {
      Say(problems, l.line,
          name + " would need channels " + std::to_string(first) + " to " +
              std::to_string(first + chain.channelsPerLed - 1) + " of output " + std::to_string(device + 1) +
              ", which has " + std::to_string(devices[device].channels) + "; lower the pixels per device");
      continue;
    }
    patch.At(l.x, l.y) = PixelEntry(device, first, chain.colourOrder);
    ++patched;
  }
  return patched;
}

std::string ExportLayoutCsv(const PatchTable& patch, const OutputDeviceList& devices, const LayoutChain& chain) {
  std::string csv = "index,x,y\n";
  if (!ChainUsable(chain)) return csv;
  const std::vector<int> order = ChainDevices(devices, chain.firstDevice, devices.count());
  struct Row {
    int64_t led;
    int x, y;
  };
  std::vector<Row> rows;
  for (int y = 0; y < patch.height(); ++y) {
    for (int x = 0; x < patch.width(); ++x) {
      const PatchEntry& e = patch.At(x, y);
      const auto it = std::find(order.begin(), order.end(), e.device);
      if (e.device < 0 || it == order.end()) continue;
      const size_t position = static_cast<size_t>(it - order.begin());
      const int64_t first = std::min({e.red, e.green, e.blue}) - ChainBase(chain, position);
      if (first < 0) continue;
      rows.push_back({static_cast<int64_t>(position) * chain.pixelsPerDevice + first / chain.channelsPerLed, x, y});
    }
  }
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.led < b.led; });
  for (const Row& r : rows) csv += std::to_string(r.led) + "," + std::to_string(r.x) + "," + std::to_string(r.y) + "\n";
  return csv;
}

std::string ProblemText(const LayoutProblem& problem) {
  return problem.line > 0 ? "line " + std::to_string(problem.line) + ": " + problem.text : problem.text;
}

}  // namespace quor
