#include "core/named_file.h"

namespace quor {

NamedFile OpenNamedFile(const std::string& path, NamedFileUse use) {
  Result<FileHandle> opened = FileHandle::Open(path, use);
  NamedFile file;
  if (!opened) {
    file.errorNumber = opened.failure().errorNumber;
    file.reason = opened.failure().message;
    return file;
  }
  file.fd = opened->Release();
  return file;
}

void CloseNamedFile(int fd) { FileHandle closing(fd); }

}  // namespace quor
