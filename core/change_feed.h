// How the engine tells a window what changed, without the window polling
// every value and without feedback loops.
//
// Usage (the main thread of a host):
//   - Read the values you show once at start-up.
//   - Call Drain() whenever the main thread wakes (the engine's
//     wakeMainThread hook) or on a short timer (40 ms). For each group in
//     the batch that Has() changed, read that group's values again from the
//     Engine (panel(), settings(), show(), outputs(), ...) and refresh the
//     widgets with their signals blocked. Show the batch's errors (one box
//     each) and append its console lines.
//   - Write only through Engine commands. A command whose value is already
//     in place does nothing and announces nothing, so a widget that echoes
//     a refreshed value back changes nothing (a refreshed crossfader does
//     not end its own glide).
//
// Threads: Announce from any thread, the clock thread included: one atomic
// increment, no lock, no allocation. AddConsoleLine from any thread; it
// never waits (when the drain holds the queue at that instant or the queue
// is full the line is dropped and counted). ReportError from any thread but
// the clock thread (it takes the queue lock). Drain only from the one main
// thread.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"

namespace quor {

// Groups of values a window shows, each with its own change counter.
enum class Change : int {
  kPanel,           // effect list positions, speeds, invert, merge modes, masterfades
  kMaster,          // gamma, master level, strobe, scene fade options, output rate
  kMatrix,          // matrix size
  kScenes,          // the scene list (names, order, count)
  kChases,          // the chase list or a chase's steps
  kChasePlayer,     // a chase started, stopped or went to its next step
  kSceneSelection,  // the scene list's highlight
  kOutputs,         // the outputs opened or closed
  kRecorder,        // recording started or stopped
  kRemoteInput,     // the remote input opened or closed
  kShowMode,        // the show mode window opened or closed
  kWindowLayout,    // the windows' saved layout (a window handed it over, a project was loaded)
  kDocument,        // the undo history or the document's saved state (title, Edit menu)
  kConsole,         // console lines are waiting
  kErrors,          // errors are waiting
};
inline constexpr int kChangeGroupCount = 15;

struct ChangeBatch {
  std::array<bool, kChangeGroupCount> changed{};
  std::vector<std::string> consoleLines;
  std::vector<Failure> errors;  // failures a dialog must show
  // Lines and errors dropped since the previous drain.
  uint64_t dropped = 0;

  bool Has(Change change) const { return changed[static_cast<size_t>(change)]; }
  bool Empty() const;
};

class ChangeFeed {
 public:
  static constexpr size_t kMaxQueued = 1024;

  void Announce(Change change) { counts_[static_cast<size_t>(change)].fetch_add(1, std::memory_order_release); }
  uint64_t Count(Change change) const { return counts_[static_cast<size_t>(change)].load(std::memory_order_acquire); }

  void AddConsoleLine(std::string_view line);
  void ReportError(Failure error);

  // Main thread: every group announced since the previous drain, and the
  // queued lines and errors in the order they came.
  ChangeBatch Drain();

 private:
  std::array<std::atomic<uint64_t>, kChangeGroupCount> counts_{};
  std::array<uint64_t, kChangeGroupCount> seen_{};  // main thread only
  std::mutex queueMutex_;
  std::vector<std::string> lines_;
  std::vector<Failure> errors_;
  std::atomic<uint64_t> dropped_{0};
};

}  // namespace quor
