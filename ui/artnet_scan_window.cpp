#include "ui/artnet_scan_window.h"

#include <QLabel>
#include <QMessageBox>
#include <QVBoxLayout>

namespace quor {

ArtNetScanWindow::ArtNetScanWindow(OutputDeviceList& devices, Console& console, ArtNetScan::Options options,
                                   QWidget* parent)
    : QDialog(parent), scan_(devices, console, options), countdown_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("Artnet Scan"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QStringLiteral("Scanning for Art-Net Devices."), this));
  countdown_->setText(QStringLiteral("Please Wait ... %1").arg(options.durationMs / 1000));
  layout->addWidget(countdown_);
  started_ = scan_.Start();
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
  if (started_) timer_.start(kScanTickMs);
}

void ArtNetScanWindow::Tick() {
  const bool running = scan_.Tick();
  if (std::optional<std::string> text = scan_.TakeCountdown()) countdown_->setText(QString::fromStdString(*text));
  if (!running) {
    timer_.stop();
    accept();
  }
}

int RunArtNetScanWindow(OutputDeviceList& devices, Console& console, QWidget* parent, ArtNetScan::Options options) {
  ArtNetScanWindow window(devices, console, std::move(options), parent);
  if (!window.started()) return -1;
  window.exec();
  if (window.listFull()) QMessageBox::critical(parent, QStringLiteral("Error"), QString::fromLatin1(kDeviceListFullMessage));
  if (window.nobodyAnswered()) {
    QMessageBox::information(parent, QStringLiteral("Artnet Scan"), QString::fromLatin1(kNoArtNetNodesMessage));
  }
  return window.added();
}

}  // namespace quor
