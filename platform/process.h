// This process and others: the process id temporaries are named after,
// whether their writer still runs, and this process's environment.
// Any thread, except SetEnvironmentDefault (before other threads start).
#pragma once

namespace quor {

int CurrentProcessId();
// Whether a process with this id exists (one of another user's counts too).
bool ProcessExists(int pid);
// Sets the environment variable `name` to `value` unless it is set already.
void SetEnvironmentDefault(const char* name, const char* value);

}  // namespace quor
