#include "ui/window_memory.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <span>

#include "files/safe_file.h"

namespace quor {
namespace {

constexpr size_t kMaxFileBytes = 64 * 1024;
// Coordinates a desktop can have; anything beyond is a damaged file.
constexpr int kMaxCoordinate = 100000;
constexpr int kMinSide = 100;
constexpr int kMaxSide = 30000;

std::optional<int> Whole(const QJsonObject& object, const char* key, int low, int high) {
  const QJsonValue value = object.value(QLatin1String(key));
  if (!value.isDouble()) return std::nullopt;
  const double number = value.toDouble();
  if (number < low || number > high || number != static_cast<double>(static_cast<int>(number))) return std::nullopt;
  return static_cast<int>(number);
}

}  // namespace

std::optional<QRect> ParseWindowMemory(const QByteArray& json) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(json, &error);
  if (error.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
  const QJsonObject main = document.object().value(QStringLiteral("mainWindow")).toObject();
  const auto left = Whole(main, "left", -kMaxCoordinate, kMaxCoordinate);
  const auto top = Whole(main, "top", -kMaxCoordinate, kMaxCoordinate);
  const auto width = Whole(main, "width", kMinSide, kMaxSide);
  const auto height = Whole(main, "height", kMinSide, kMaxSide);
  if (!left || !top || !width || !height) return std::nullopt;
  return QRect(*left, *top, *width, *height);
}

QByteArray WindowMemoryJson(const QRect& mainWindow) {
  QJsonObject main;
  main.insert(QStringLiteral("left"), mainWindow.left());
  main.insert(QStringLiteral("top"), mainWindow.top());
  main.insert(QStringLiteral("width"), mainWindow.width());
  main.insert(QStringLiteral("height"), mainWindow.height());
  QJsonObject root;
  root.insert(QStringLiteral("mainWindow"), main);
  return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<QRect> LoadWindowMemory(const std::string& path) {
  const FileReadResult read = ReadRegularFile(path, kMaxFileBytes);
  if (read.status != FileReadStatus::kDone) return std::nullopt;
  return ParseWindowMemory(QByteArray(reinterpret_cast<const char*>(read.bytes.data()),
                                      static_cast<qsizetype>(read.bytes.size())));
}

std::optional<Failure> SaveWindowMemory(const std::string& path, const QRect& mainWindow) {
  const QByteArray json = WindowMemoryJson(mainWindow);
  return ReplaceFile(path, std::span(reinterpret_cast<const uint8_t*>(json.constData()), static_cast<size_t>(json.size())));
}

}  // namespace quor
