// Tells the service manager (systemd, when Quor runs as a Type=notify unit)
// that the program is ready and still alive. Both calls do nothing outside
// such a unit, and compile to nothing in a build without libsystemd.
// Any thread; no state of its own.
#pragma once

namespace quor {

// READY=1: start-up is done and the output runs.
void NotifyServiceReady();
// WATCHDOG=1: the program is alive; a unit with WatchdogSec restarts it
// when these stop coming.
void NotifyServiceAlive();
// STOPPING=1: the orderly shutdown (with its autosave) has begun.
void NotifyServiceStopping();

}  // namespace quor
