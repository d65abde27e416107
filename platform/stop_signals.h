// The operator's request to stop the program from outside: SIGINT (Ctrl+C)
// and SIGTERM set a flag the hosts' loops look at. Install once at start-up
// (main thread); StopSignalReceived from any thread.
#pragma once

namespace quor {

void InstallStopSignals();
bool StopSignalReceived();

}  // namespace quor
