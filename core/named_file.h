// Opening a file whose name the program was given (a project, a recording,
// an image, a redirection or recorder file, a bitmap, a serial port). The
// open never waits: a FIFO without a partner would block it for good, so
// the name is looked at before it is opened and opened non-blocking, and
// anything but the expected kind (a regular file, or a terminal where a
// serial port is meant) is refused with its reason. Names are bytes: any
// name the system accepts works, valid UTF-8 or not.
// Plain POSIX calls; any thread but the clock thread (opening may wait for
// the disk).
#pragma once

#include <string>

namespace quor {

enum class NamedFileUse {
  kRead,               // an existing regular file, read only
  kWrite,              // a regular file, created when missing, write only; never truncated here
  kSerialDeviceRead,   // an existing terminal device; the descriptor stays non-blocking
  kSerialDeviceWrite,
  kSerialDeviceReadWrite,
};

struct NamedFile {
  int fd = -1;          // owned by the caller; -1 when refused
  int errorNumber = 0;  // the errno of the call that failed; 0 for a name of the wrong kind (EISDIR for a folder)
  std::string reason;   // why not, for the operator ("No such file or directory", "is a FIFO, not a regular file")
  bool ok() const { return fd >= 0; }
};

// Regular files come back in blocking mode, terminals non-blocking.
NamedFile OpenNamedFile(const std::string& path, NamedFileUse use);
// Closes a descriptor from OpenNamedFile that nothing else took over.
void CloseNamedFile(int fd);

}  // namespace quor
