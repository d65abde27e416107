// The modal "Artnet Scan" window: broadcasts one Art-Net poll, counts down
// five seconds ("Please Wait ... 5") while replies come in, adds a device
// for every new output port and closes itself on time, however many replies
// arrive (each tick reads a bounded number). Its 40 ms timer runs on the
// GUI thread, the thread that owns the device list.
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

#include "input/artnet_discovery.h"

class QLabel;

namespace quor {

class ArtNetScanWindow : public QDialog {
 public:
  ArtNetScanWindow(OutputDeviceList& devices, Console& console, ArtNetScan::Options options, QWidget* parent);
  QLabel* countdown() const { return countdown_; }
  // False when the scan could not start (no socket): the window then ends
  // at once.
  bool started() const { return started_; }
  int added() const { return scan_.added(); }
  bool listFull() const { return scan_.listFull(); }
  // No reply at all came to the poll.
  bool nobodyAnswered() const { return scan_.replies().empty() && scan_.repliesLeftOut() == 0; }

 private:
  void Tick();

  ArtNetScan scan_;
  QLabel* countdown_;
  QTimer timer_;
  bool started_ = false;
};

// The device list's "Scan" button: runs the window modally over `parent`.
// Returns the number of devices added (the caller then rebuilds its list),
// or -1 when no socket could be opened. A device list that filled up is
// said in an error box once the scan has ended, a scan that no node
// answered in an information box (kNoArtNetNodesMessage).
int RunArtNetScanWindow(OutputDeviceList& devices, Console& console, QWidget* parent,
                        ArtNetScan::Options options = {});

}  // namespace quor
