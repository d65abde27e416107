// Settings the project file has no field for live in a JSON file beside the
// project: "<project>.json" ("show.qrx" -> "show.qrx.json"). The file is one
// JSON object; every feature owns one named section (an object) and writes
// only that section, keeping the others as the file holds them, so features
// never clobber each other. Reads are bounded: a file that is too large, not
// a regular file or not a JSON object is refused with a reason and treated as
// empty. Writes go through ReplaceFile, so a crash leaves the old or the new
// file, never half of one.
// Any thread but the clock thread (every call may wait for the disk).
#pragma once

#include <QJsonObject>
#include <QString>
#include <cstddef>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace quor {

inline constexpr const char* kSideFileSuffix = ".json";
// Far above what the sections need (a few kilobytes); a larger file is
// refused unread.
inline constexpr size_t kMaxSideFileBytes = size_t{1} << 20;

// The side file that belongs to `projectPath`.
std::string SideFilePath(const std::string& projectPath);

struct SideFileRead {
  QJsonObject sections;  // empty when the file is missing or refused
  std::string problem;   // why a file that is there was refused; empty otherwise
};

// Reads the side file at `sidePath`. A missing file is no problem.
SideFileRead ReadSideFile(const std::string& sidePath);

// Section `name` of `read`, empty when missing or not an object.
QJsonObject SideSection(const SideFileRead& read, const QString& name);

// Replaces section `name` of the side file at `sidePath` by `section`,
// keeping every other section (a missing or refused file starts empty).
// Empty on success; else the failure, and the old file is untouched.
std::optional<Failure> WriteSideSection(const std::string& sidePath, const QString& name, const QJsonObject& section);

// Bounded field reads for section parsers: nothing when the key is missing,
// of another type or (for numbers) not a whole number within lo..hi.
std::optional<int> SideInt(const QJsonObject& object, const QString& key, int lo, int hi);
std::optional<bool> SideBool(const QJsonObject& object, const QString& key);

}  // namespace quor
