#include "platform/process.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace quor {

int CurrentProcessId() { return static_cast<int>(::getpid()); }

bool ProcessExists(int pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

void SetEnvironmentDefault(const char* name, const char* value) { ::setenv(name, value, 0); }

}  // namespace quor
