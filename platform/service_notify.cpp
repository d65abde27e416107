#include "platform/service_notify.h"

#ifdef QUOR_HAVE_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace quor {
namespace {

void Notify([[maybe_unused]] const char* state) {
#ifdef QUOR_HAVE_SYSTEMD
  // Without $NOTIFY_SOCKET this returns 0 and sends nothing; a failure to
  // send is not worth stopping the show for.
  sd_notify(0, state);
#endif
}

}  // namespace

void NotifyServiceReady() { Notify("READY=1"); }
void NotifyServiceAlive() { Notify("WATCHDOG=1"); }
void NotifyServiceStopping() { Notify("STOPPING=1"); }

}  // namespace quor
