// The status word of a generator that renders from buffers of its own:
// 2 while Create builds them, 1 ready, 3 while Render works, 0 destroyed.
// Render only runs from "ready"; whoever frees or rebuilds the buffers first
// waits until no Render is under way. Any thread.
#pragma once

#include <atomic>
#include <thread>

#include "core/console.h"

namespace quor {

class BusyStatus {
 public:
  static constexpr int kDestroyed = 0;
  static constexpr int kReady = 1;
  static constexpr int kCreating = 2;
  static constexpr int kRendering = 3;

  int Get() const { return status_.load(std::memory_order_acquire); }

  // Create: mark the buffers as being built / built.
  void BeginCreate() { status_.store(kCreating, std::memory_order_release); }
  void SetReady() { status_.store(kReady, std::memory_order_release); }

  // Render: returns false (skip this frame) unless the generator is ready.
  bool TryBeginRender() {
    int expected = kReady;
    return status_.compare_exchange_strong(expected, kRendering, std::memory_order_acq_rel);
  }
  void EndRender() { status_.store(kReady, std::memory_order_release); }

  // Waits until no Render is under way, then takes the word into `next`
  // (kDestroyed before freeing, kCreating before a rebuild). Every check
  // that finds a Render running writes "race condition ... wait" and yields.
  // Makes `change` while no Render runs, then calls `rebuild`, which must
  // end with SetReady(). After Destroy there are no buffers to rebuild: only
  // the change is made and the status stays destroyed.
  template <typename Change, typename Rebuild>
  void ChangeAndRebuild(Console& console, Change&& change, Rebuild&& rebuild) {
    if (Get() == kDestroyed) {
      change();
      return;
    }
    WaitAndEnter(kCreating, console);
    change();
    rebuild();
  }

  void WaitAndEnter(int next, Console& console) {
    for (;;) {
      int current = status_.load(std::memory_order_acquire);
      if (current != kRendering &&
          status_.compare_exchange_weak(current, next, std::memory_order_acq_rel)) {
        return;
      }
      if (current == kRendering) {
        console.Write("race condition ... wait\n");
        std::this_thread::yield();
      }
    }
  }

 private:
  std::atomic<int> status_{kDestroyed};
};

// Holds a BusyStatus in the rendering state for one scope.
class RenderGuard {
 public:
  explicit RenderGuard(BusyStatus& status) : status_(status), active_(status.TryBeginRender()) {}
  ~RenderGuard() {
    if (active_) status_.EndRender();
  }
  RenderGuard(const RenderGuard&) = delete;
  RenderGuard& operator=(const RenderGuard&) = delete;
  explicit operator bool() const { return active_; }

 private:
  BusyStatus& status_;
  bool active_;
};

}  // namespace quor
