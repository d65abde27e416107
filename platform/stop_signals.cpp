#include "platform/stop_signals.h"

#include <signal.h>

#include <csignal>

namespace quor {
namespace {

// A signal handler can only set a flag of this type, so the one flag of
// the process is a global (written only by the handler).
volatile std::sig_atomic_t g_stopSignal = 0;

void OnStopSignal(int) { g_stopSignal = 1; }

}  // namespace

void InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool StopSignalReceived() { return g_stopSignal != 0; }

}  // namespace quor
