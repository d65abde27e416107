// Opening a file whose name the program was given as a bare descriptor, for
// code that hands the descriptor on (a library that reads the file itself).
// The rules are FileHandle::Open's (platform/file_handle.h): the open never
// waits, and anything but the expected kind (a regular file, or a terminal
// where a serial port is meant) is refused with its reason. Any thread but
// the clock thread (opening may wait for the disk).
#pragma once

#include <string>

#include "platform/failure.h"
#include "platform/file_handle.h"

namespace quor {

using NamedFileUse = FileUse;

// The descriptor, owned by the caller; or the failure: its errorNumber is
// the errno of the call that failed (0 for a name of the wrong kind, EISDIR
// for a folder) and its message says why for the operator ("No such file or
// directory", "is a FIFO, not a regular file"). Regular files come back in
// blocking mode, terminals non-blocking.
Result<int> OpenNamedFile(const std::string& path, NamedFileUse use);
// Closes a descriptor from OpenNamedFile that nothing else took over.
void CloseNamedFile(int fd);

}  // namespace quor
