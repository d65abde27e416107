#include "core/named_file.h"

namespace quor {

Result<int> OpenNamedFile(const std::string& path, NamedFileUse use) {
  Result<FileHandle> opened = FileHandle::Open(path, use);
  if (!opened) return opened.failure();
  return opened->Release();
}

void CloseNamedFile(int fd) { FileHandle closing(fd); }

}  // namespace quor
