// Where this program runs from and whether a folder takes our files: the
// executable's own path (from /proc/self/exe) and a writability check for
// the folder autosave.dat would go into. Any thread.
#pragma once

#include <string>

namespace quor {

// The running executable's full path; "" when the system does not say.
std::string ExecutablePath();
// Whether this process may write into the existing folder `folder`.
bool FolderIsWritable(const std::string& folder);

}  // namespace quor
