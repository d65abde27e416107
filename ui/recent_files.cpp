#include "ui/recent_files.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <span>

#include "files/safe_file.h"

namespace quor {
namespace {

constexpr size_t kMaxListBytes = 256 * 1024;

}  // namespace

RecentFiles::RecentFiles(QString jsonPath) : jsonPath_(std::move(jsonPath)) { Read(); }

void RecentFiles::SetPath(const QString& jsonPath) {
  jsonPath_ = jsonPath;
  files_.clear();
  Read();
}

void RecentFiles::Add(const QString& path) {
  const QString absolute = QFileInfo(path).absoluteFilePath();
  files_.removeAll(absolute);
  files_.prepend(absolute);
  while (files_.size() > kMaxRecentFiles) files_.removeLast();
  Write();
}

void RecentFiles::Remove(const QString& path) {
  if (files_.removeAll(QFileInfo(path).absoluteFilePath()) > 0) Write();
}

void RecentFiles::Read() {
  if (jsonPath_.isEmpty()) return;
  const FileReadResult read = ReadRegularFile(jsonPath_.toStdString(), kMaxListBytes);
  if (read.status != FileReadStatus::kDone) return;
  const QJsonDocument document = QJsonDocument::fromJson(
      QByteArray(reinterpret_cast<const char*>(read.bytes.data()), static_cast<qsizetype>(read.bytes.size())));
  for (const QJsonValue& value : document.object().value(QStringLiteral("recentFiles")).toArray()) {
    const QString path = value.toString();
    if (!path.isEmpty() && !files_.contains(path) && files_.size() < kMaxRecentFiles) files_.append(path);
  }
}

void RecentFiles::Write() const {
  if (jsonPath_.isEmpty()) return;
  QJsonObject root;
  root.insert(QStringLiteral("recentFiles"), QJsonArray::fromStringList(files_));
  const QByteArray bytes = QJsonDocument(root).toJson();
  // The list is a convenience: a failed write keeps the old list and
  // troubles nobody.
  ReplaceFile(jsonPath_.toStdString(),
              std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.constData()),
                                       static_cast<size_t>(bytes.size())));
}

}  // namespace quor
