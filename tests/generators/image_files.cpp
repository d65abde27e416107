#include "image_files.h"

#include <QBuffer>
#include <algorithm>
#include <QImage>
#include <fstream>

namespace quor::test {
namespace {

// Byte by byte: GCC 12 misjudges the bounds of inserted initializer lists.
void Put16(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8)); }
void Put32(Bytes& b, uint32_t v) { Put16(b, v), Put16(b, v >> 16); }
void Put32Big(Bytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(uint8_t(v >> shift));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PngChunk(Bytes& out, const char* type, const Bytes& data) {
  Put32Big(out, uint32_t(data.size()));
  Bytes body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  out.insert(out.end(), body.begin(), body.end());
  Put32Big(out, Crc32(body.data(), body.size()));
}

}  // namespace

Bytes AnimatedGif(int width, int height, const std::vector<Rgb>& colours) {
  std::vector<Rgb> palette;
  for (const Rgb& c : colours)
    if (std::find(palette.begin(), palette.end(), c) == palette.end()) palette.push_back(c);
  palette.resize(4);
  Bytes b = {'G', 'I', 'F', '8', '9', 'a'};
  for (int v : {width, height}) Put16(b, uint32_t(v));
  b.insert(b.end(), {0x91, 0, 0});  // global table of 4 entries
  for (const Rgb& c : palette) b.insert(b.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
  const char* loop = "\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00";  // loop forever
  b.insert(b.end(), loop, loop + 19);
  for (const Rgb& c : colours) {
    const uint8_t index = uint8_t(std::find(palette.begin(), palette.end(), c) - palette.begin());
    b.insert(b.end(), {0x21, 0xF9, 0x04, 0x00, 10, 0, 0, 0, 0x2C});  // 100 ms, then the image descriptor
    for (int v : {0, 0, width, height}) Put16(b, uint32_t(v));
    b.push_back(0), b.push_back(2);  // minimum code size: 3-bit codes, clear 4, end 5
    // A clear code before every pixel keeps the code size at 3 bits.
    Bytes data;
    uint32_t bits = 0;
    int count = 0;
    auto code = [&](uint32_t c) {
      for (bits |= c << count, count += 3; count >= 8; bits >>= 8, count -= 8) data.push_back(uint8_t(bits));
    };
    for (int i = 0; i < width * height; ++i) code(4), code(index);
    code(5);
    if (count > 0) data.push_back(uint8_t(bits));
    for (size_t at = 0; at < data.size(); at += 255) {
      const size_t n = std::min<size_t>(255, data.size() - at);
      b.push_back(uint8_t(n));
      b.insert(b.end(), data.begin() + long(at), data.begin() + long(at + n));
    }
    b.push_back(0);
  }
  b.push_back(0x3B);
  return b;
}

Bytes MultiPageTiff(int width, int height, const std::vector<Rgb>& colours) {
  Bytes b = {'I', 'I', 42, 0, 0, 0, 0, 0};  // the first directory's offset is filled in below
  std::vector<size_t> nextLinks = {4};
  for (const Rgb& c : colours) {
    const uint32_t pixels = uint32_t(b.size());
    for (int i = 0; i < width * height; ++i) b.insert(b.end(), {uint8_t(c.r), uint8_t(c.g), uint8_t(c.b)});
    if (b.size() % 2) b.push_back(0);
    const uint32_t bitsAt = uint32_t(b.size());
    for (int k = 0; k < 3; ++k) Put16(b, 8);
    const uint32_t ifd = uint32_t(b.size());
    for (int k = 0; k < 4; ++k) b[nextLinks.back() + size_t(k)] = uint8_t(ifd >> (8 * k));
    struct Entry { uint16_t tag, type; uint32_t count, value; };
    const uint32_t size = uint32_t(width * height * 3);
    const Entry entries[] = {{256, 3, 1, uint32_t(width)}, {257, 3, 1, uint32_t(height)}, {258, 3, 3, bitsAt},
                             {259, 3, 1, 1},               {262, 3, 1, 2},                {273, 4, 1, pixels},
                             {277, 3, 1, 3},               {278, 3, 1, uint32_t(height)}, {279, 4, 1, size},
                             {284, 3, 1, 1}};
    Put16(b, sizeof(entries) / sizeof(entries[0]));
    for (const Entry& e : entries) {
      Put16(b, e.tag), Put16(b, e.type), Put32(b, e.count);
      Put32(b, e.type == 3 && e.count == 1 ? e.value & 0xFFFF : e.value);  // a short sits in the low half
    }
    nextLinks.push_back(b.size());
    Put32(b, 0);
  }
  return b;
}

Bytes PngHeaderOnly(uint32_t width, uint32_t height) {
  Bytes b = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Bytes ihdr;
  Put32Big(ihdr, width);
  Put32Big(ihdr, height);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});
  PngChunk(b, "IHDR", ihdr);
  PngChunk(b, "IEND", {});
  return b;
}

Bytes Png(int width, int height, const std::vector<uint8_t>& rgb) {
  QImage image(rgb.data(), width, height, width * 3, QImage::Format_RGB888);
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "PNG");
  return Bytes(data.begin(), data.end());
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

}  // namespace quor::test
