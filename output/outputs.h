// Output as a whole: the device list, the kept FastPatch settings, and the
// output state machine that opens every device, sends each finished frame
// through the patch to all of them, and on stop sends two black frames and
// releases everything.
//
// Threads: OpenOutputs, CloseOutputs and the device list belong to the UI
// thread; SendFrame runs on the frame clock's mix pass. A send and the
// release of buffers and handles never overlap (one lock), and SendFrame
// does nothing unless the state is running, so once CloseOutputs has taken
// the state away from running no clock-thread send starts again.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/async_writer.h"
#include "core/change_feed.h"
#include "core/console.h"
#include "core/live_state.h"
#include "core/rgb_frame.h"
#include "output/device_list.h"
#include "output/fast_patch.h"
#include "output/patch_plan.h"
#include "output/patch_table.h"
#include "output/power_limit.h"
#include "output/sacn_encoder.h"
#include "output/transport.h"
#include "platform/failure.h"

namespace quor {

class FileTransport;
class DatagramSocket;
struct DriverInfo;

// Shown by the caller of "Start Output" when OpenOutputs fails.
inline constexpr const char* kOpenOutputsFailedMessage =
    "Failed to open output. Please check your devices.\nMaybe a com-port is not available anymore or in double use.";
inline constexpr std::chrono::milliseconds kBlackFrameGap{40};

struct OutputsOptions {
  // Waits after each black frame of a stop; empty = sleep.
  std::function<void(std::chrono::milliseconds)> pause;
  // Makes the socket network devices share when output opens; empty = the
  // system's UDP socket (platform/udp_socket.h).
  std::function<std::unique_ptr<DatagramSocket>()> openSocket = nullptr;
};

// Frame synchronization, off by default. With `artSync`, every frame that
// goes to more than one Art-Net universe is followed by one ArtSync to each
// Art-Net destination address. With `sacnUniverse` (1..63999, 0 = off), the
// sACN data packets name it as their synchronization universe and one sync
// packet per destination follows the frame's data packets.
struct OutputSync {
  bool artSync = false;
  int sacnUniverse = 0;
  friend bool operator==(const OutputSync&, const OutputSync&) = default;
};

class Outputs {
 public:
  // `outputState` and `patch` are the Engine's; both must outlive this.
  Outputs(Console& console, std::atomic<OutputStateValue>& outputState, PatchTable& patch, OutputsOptions options = {});
  ~Outputs();  // closes output (with its black frames) if it runs
  Outputs(const Outputs&) = delete;
  Outputs& operator=(const Outputs&) = delete;

  OutputDeviceList& devices() { return devices_; }
  FastPatchSettings& fastPatch() { return fastPatch_; }

  // Opens every device. Returns a failure, with everything closed again and
  // the state stopped, when a serial port or a file cannot be opened or a
  // device holds a channel count no wire format carries: the first device
  // that could not open (its port or file path, else "Output <n>"), the
  // errno of the failing call (0 when no system call failed) and the reason.
  std::optional<Failure> OpenOutputs();
  // Sends two black frames when running, then releases every buffer, port,
  // file and the shared socket. Safe in any state.
  void CloseOutputs();
  // One finished frame of width x height RGB pixels (clock thread). Does
  // nothing unless the state is running.
  void SendFrame(FrameView frame);
  // Devices that stopped since the last call (a serial port whose cable was
  // pulled, a file on a full disk), each reported once per open as a
  // console line and an error naming the device, the reason and what to
  // do. Bitmap Export keeps trying every frame: it is reported each time
  // its writes start failing (a missing folder, a full disk), and once they
  // work again a console line says so with the number of files lost. UI
  // thread; never waits for a send.
  std::vector<Failure> TakeFaults();
  // The patch table was edited or resized while output runs; the next send
  // re-reads it. (A change of the frame size is noticed by itself.)
  void PatchChanged() { planStale_.store(true); }
  // Installation settings (UI thread); they take effect when output next
  // opens. `corrections` is by device index, for the device list as it is
  // now: a correction follows its device when the list changes (matched by
  // driver, address and path), and is dropped when its device is gone.
  void SetSync(const OutputSync& sync) { sync_ = sync; }
  const OutputSync& sync() const { return sync_; }
  void SetCorrections(std::vector<DeviceCorrection> corrections);
  // By the current device index.
  std::vector<DeviceCorrection> corrections() const;
  // The outputs their budget limited in the latest frame, as of the last
  // TakeFaults ("Power limit: output 3 at 62%"); empty when none is (UI
  // thread).
  const std::string& limitStatus() const { return limitStatus_; }

  // For tests and diagnostics (UI thread).
  int bitmapCounter() const { return bitmapCounter_; }
  int socketsOpened() const { return socketsOpened_; }
  int socketsClosed() const { return socketsClosed_; }
  int SharedSocketLocalPort();

 private:
  struct Connection {
    OutputDevice device;                   // the settings as opened
    const DriverInfo* info = nullptr;      // the device's driver; nullptr sends nothing
    std::vector<uint8_t> buffer;           // header, channels, trailer, discard byte
    std::unique_ptr<Transport> transport;  // none for Bitmap Export
    FileTransport* file = nullptr;         // the transport when it is a file
    bool toFile = false;                   // redirection or recorder file
    std::unique_ptr<AsyncWriter> bitmaps;  // Bitmap Export: writes the files
    // Bitmap Export: written by its writer thread, read by TakeFaults.
    struct BitmapHealth {
      std::atomic<int> error{0};         // errno of the latest write, 0 when it worked
      std::atomic<uint64_t> failed{0};   // files not written since the open
    };
    std::shared_ptr<BitmapHealth> bitmapHealth;
    PreparedCorrection correction;         // applied when Active()
    // What the budget left of the latest frame, in percent (written by the
    // send, read by TakeFaults); only for devices with a budget.
    std::shared_ptr<std::atomic<int>> budgetShare;
    bool limitSaid = false;                // UI thread: the limit was reported
    bool faultReported = false;            // UI thread
    uint64_t bitmapFailedSaid = 0;         // UI thread: `failed` as of the last line that said it
  };

  void SendLocked(FrameView frame, int state);
  // Works out where the sync packets go (OpenOutputs, under the lock).
  void PlanSyncLocked();
  void SendSyncLocked();
  void RebuildPlanLocked(int width, int height);
  // Takes every connection out (to be closed after the lock is released, so
  // a send never waits for queued file writes) and resets the plan.
  std::vector<Connection> ReleaseLocked();
  // Closes released connections: waits for their queued writes and reports
  // what was dropped (UI thread, without the send lock).
  void CloseReleased(std::vector<Connection> connections);

  Console& console_;
  std::atomic<OutputStateValue>& state_;
  PatchTable& patch_;
  OutputsOptions options_;
  OutputDeviceList devices_;
  FastPatchSettings fastPatch_;

  std::mutex sendMutex_;  // held by every send and by open and release
  std::unique_ptr<DatagramSocket> socket_;
  std::vector<Connection> connections_;
  // The connections whose destination can fail (files, serial ports, bitmap
  // folders), so TakeFaults, called on every turn of the message loop,
  // leaves the many network ones alone.
  std::vector<size_t> faultWatch_;
  std::vector<uint8_t*> buffers_;
  std::vector<PatchTarget> targets_;
  PatchPlan plan_;
  std::atomic<bool> planStale_{true};
  // Per connection: the correction the patch applies while it copies
  // (gains and cap, and a budget taken from the frame when the plan writes
  // each of the device's channels once), or null; of the budgets taken from
  // the frame, the ones whose runs are scattered through the plan, summed
  // before the copy; and the scale each device copies with this frame.
  std::vector<const PreparedCorrection*> copyWith_;
  std::vector<const PreparedCorrection*> budgetsScattered_;
  bool anyScattered_ = false;
  std::vector<uint32_t> sourceSums_;
  std::vector<uint32_t> scales_;
  std::vector<uint8_t> scratch_;
  OutputSync sync_;                          // UI thread; copied at open
  // UI thread: each correction with the device it was set for.
  std::vector<std::pair<OutputDevice, DeviceCorrection>> corrections_;
  std::vector<size_t> limitWatch_;           // connections with a budget
  std::string limitStatus_;                  // UI thread
  // Sync while output runs: one Art-Net connection per destination whose
  // transport carries the ArtSync, and one sACN sync destination each.
  std::vector<size_t> artSyncVia_;
  struct SacnSyncTarget {
    std::unique_ptr<Transport> transport;
    SacnCid cid{};
  };
  std::vector<SacnSyncTarget> sacnSync_;
  int sacnSyncUniverse_ = 0;
  uint8_t sacnSyncSequence_ = 0;
  int bitmapCounter_ = 0;
  int socketsOpened_ = 0;
  int socketsClosed_ = 0;
};

}  // namespace quor
