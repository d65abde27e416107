// This process and others, by process id: what temporaries are named after
// and whether their writer still runs. Any thread.
#pragma once

namespace quor {

int CurrentProcessId();
// Whether a process with this id exists (one of another user's counts too).
bool ProcessExists(int pid);

}  // namespace quor
