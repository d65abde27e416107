// The File menu's recent projects: the newest first, at most
// kMaxRecentFiles, kept per user in a small JSON file in the config folder
// ({"recentFiles": ["/path/a.qrx", ...]}), never in the project file. The
// list is written whole to a temporary beside it and renamed over it, so a
// crash never leaves half a list. A missing or unreadable file is an empty
// list. GUI thread only.
#pragma once

#include <QString>
#include <QStringList>

namespace quor {

inline constexpr int kMaxRecentFiles = 8;
inline constexpr const char* kRecentFilesName = "recent_files.json";

class RecentFiles {
 public:
  // `jsonPath` empty: a list in memory only.
  explicit RecentFiles(QString jsonPath = {});

  const QStringList& files() const { return files_; }
  // `path` moves to the top (made absolute); the oldest beyond the limit go.
  void Add(const QString& path);
  void Remove(const QString& path);
  // Where the list lives; reads it from there.
  void SetPath(const QString& jsonPath);

 private:
  void Read();
  void Write() const;

  QString jsonPath_;
  QStringList files_;
};

}  // namespace quor
