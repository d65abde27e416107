#include "files/side_file.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QJsonValue>
#include <cmath>
#include <span>

#include "files/safe_file.h"

namespace quor {

std::string SideFilePath(const std::string& projectPath) { return projectPath + kSideFileSuffix; }

SideFileRead ReadSideFile(const std::string& sidePath) {
  SideFileRead read;
  FileReadResult file = ReadRegularFile(sidePath, kMaxSideFileBytes);
  switch (file.status) {
    case FileReadStatus::kDone:
      break;
    case FileReadStatus::kMissing:
      return read;
    case FileReadStatus::kNotRegular:
      read.problem = "it is not a regular file";
      return read;
    case FileReadStatus::kTooLarge:
      read.problem = "it is larger than " + std::to_string(kMaxSideFileBytes / 1024) + " KiB";
      return read;
    case FileReadStatus::kFailed:
      read.problem = "it cannot be read (" + file.reason + ")";
      return read;
  }
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(
      QByteArray(reinterpret_cast<const char*>(file.bytes.data()), static_cast<qsizetype>(file.bytes.size())), &error);
  if (error.error != QJsonParseError::NoError) {
    read.problem = "it is not valid JSON (" + error.errorString().toStdString() + " at byte " +
                   std::to_string(error.offset) + ")";
  } else if (!document.isObject()) {
    read.problem = "it does not hold a JSON object";
  } else {
    read.sections = document.object();
  }
  return read;
}

QJsonObject SideSection(const SideFileRead& read, const QString& name) {
  const QJsonValue value = read.sections.value(name);
  return value.isObject() ? value.toObject() : QJsonObject{};
}

std::optional<Failure> WriteSideSection(const std::string& sidePath, const QString& name, const QJsonObject& section) {
  QJsonObject sections = ReadSideFile(sidePath).sections;
  sections.insert(name, section);
  const QByteArray text = QJsonDocument(sections).toJson(QJsonDocument::Indented);
  return ReplaceFile(sidePath, std::span(reinterpret_cast<const uint8_t*>(text.constData()),
                                        static_cast<size_t>(text.size())));
}

std::optional<int> SideInt(const QJsonObject& object, const QString& key, int lo, int hi) {
  const QJsonValue value = object.value(key);
  if (!value.isDouble()) return std::nullopt;
  const double number = value.toDouble();
  if (!std::isfinite(number) || number != std::floor(number) || number < lo || number > hi) return std::nullopt;
  return static_cast<int>(number);
}

std::optional<bool> SideBool(const QJsonObject& object, const QString& key) {
  const QJsonValue value = object.value(key);
  if (!value.isBool()) return std::nullopt;
  return value.toBool();
}

}  // namespace quor
