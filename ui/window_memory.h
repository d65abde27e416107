// The per-user memory of the main window's place and size: a small JSON
// file ("windows.json" beside autosave.dat), kept out of the project file
// so a show moved to another computer opens at that computer's own size.
// Written whole through a temporary and a rename; a missing, damaged or
// absurd file is ignored and the window opens at its default.
// GUI thread only (it may wait for the disk).
#pragma once

#include <QByteArray>
#include <QRect>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace quor {

inline constexpr const char* kWindowMemoryFileName = "windows.json";

// The main window's frame position (left, top) and client size (width,
// height), as the file keeps them.
std::optional<QRect> ParseWindowMemory(const QByteArray& json);
QByteArray WindowMemoryJson(const QRect& mainWindow);

std::optional<QRect> LoadWindowMemory(const std::string& path);
// Empty on success, else the failure (the old file is then untouched).
std::optional<Failure> SaveWindowMemory(const std::string& path, const QRect& mainWindow);

}  // namespace quor
