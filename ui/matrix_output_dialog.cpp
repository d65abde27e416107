#include "ui/matrix_output_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/engine.h"
#include "engine/matrix_output.h"
#include "output/fast_patch.h"
#include "output/sacn_encoder.h"
#include "ui/command_ids.h"
#include "ui/modal_commands.h"
#include "ui/output_dialogs.h"

namespace quor {
namespace {

QString Text(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QSpinBox* NumberBox(QWidget* parent, int low, int high) {
  auto* box = new QSpinBox(parent);
  box->setRange(low, high);
  box->setAccelerated(true);
  return box;
}

}  // namespace

void RegisterMatrixOutputDialog(ModalCommands& modal, Engine& engine) {
  modal.Register(kCmdNewMatrixOutput, [&engine](QWidget* parent) {
    if (engine.flags().outputState.load() != kOutputStopped) {
      QMessageBox::information(parent, QStringLiteral("Output"), QString::fromLatin1(kMatrixOutputRunningMessage));
      return;
    }
    MatrixOutputDialog dialog(engine, parent);
    dialog.exec();
  });
}

MatrixOutputDialog::MatrixOutputDialog(Engine& engine, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      protocol_(new QComboBox(this)),
      ip_(new QLineEdit(this)),
      net_(NumberBox(this, 0, 127)),
      subnet_(NumberBox(this, 0, 15)),
      universe_(NumberBox(this, 0, 15)),
      portAddress_(new QLabel(this)),
      pixelsLabel_(new QLabel(this)),
      pixels_(NumberBox(this, 1, kMaxPixelsPerUniverse)),
      wiring_(new QComboBox(this)),
      corner_(new QComboBox(this)),
      drawing_(new QLabel(this)),
      colour_(new QComboBox(this)),
      summary_(new QLabel(this)),
      ok_(nullptr) {
  setWindowTitle(QString::fromLatin1(kMatrixOutputTitle));
  setProperty("quorHelpId", kHelpMatrixOutput);
  // One undo step for the devices and the whole patch.
  apply = [this](const MatrixOutputPlan& plan, std::string* why) {
    bool applied = false;
    engine_.EditDocument("New Matrix Output", [&] { applied = ApplyMatrixOutput(engine_, plan, why); });
    return applied;
  };
  showError = [this](const QString& text) { QMessageBox::critical(this, QStringLiteral("Error"), text); };
  showDone = [this](const QString& text) {
    QMessageBox::information(this, QString::fromLatin1(kMatrixOutputDoneTitle), text);
  };

  for (int driver : kMatrixOutputDrivers) protocol_->addItem(QString::fromLatin1(MatrixDriverName(driver)), driver);
  for (int i = 0; i < kWiringCount; ++i) wiring_->addItem(QString::fromLatin1(WiringName(i)));
  for (int i = 0; i < kStartCornerCount; ++i) corner_->addItem(QString::fromLatin1(StartCornerName(i)));
  for (int i = 0; i < kColourOrderCount; ++i) colour_->addItem(QString::fromLatin1(ColourOrderName(i)));
  // The wiring and colour order FastPatch last used: the same strips.
  const FastPatchSettings& fast = engine_.outputs().fastPatch();
  const int order = std::clamp(fast.pixelOrder, 0, kPixelOrderCount - 1);
  wiring_->setCurrentIndex(order / kStartCornerCount);
  corner_->setCurrentIndex(order % kStartCornerCount);
  colour_->setCurrentIndex(std::clamp(fast.colourOrder, 0, kColourOrderCount - 1));
  const MatrixOutputSettings defaults;
  ip_->setText(Text(defaults.address));
  ip_->setMaxLength(15);
  pixels_->setValue(defaults.pixelsPerUniverse);
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  drawing_->setFont(mono);
  summary_->setWordWrap(true);
  summary_->setMinimumWidth(fontMetrics().averageCharWidth() * 60);
  summary_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* node = new QGroupBox(QStringLiteral("Node"), this);
  auto* nodeForm = new QFormLayout(node);
  nodeForm->addRow(QStringLiteral("Protocol"), protocol_);
  nodeForm->addRow(QStringLiteral("IP Address"), ip_);
  auto* universeRow = new QHBoxLayout;
  for (auto [text, box] : {std::pair{"Net", net_}, {"Subnet", subnet_}, {"Universe", universe_}}) {
    auto* label = new QLabel(QString::fromLatin1(text), node);
    label->setBuddy(box);
    universeRow->addWidget(label);
    universeRow->addWidget(box);
  }
  universeRow->addWidget(portAddress_, 1);
  nodeForm->addRow(QStringLiteral("Start Universe"), universeRow);
  nodeForm->addRow(pixelsLabel_, pixels_);
  auto* strips = new QGroupBox(QStringLiteral("LED Strips"), this);
  auto* stripsForm = new QFormLayout(strips);
  stripsForm->addRow(QStringLiteral("Wiring"), wiring_);
  stripsForm->addRow(QStringLiteral("Start Corner"), corner_);
  stripsForm->addRow(QString(), drawing_);
  stripsForm->addRow(QStringLiteral("Colour Order"), colour_);
  auto* result = new QGroupBox(QStringLiteral("Result"), this);
  auto* resultLayout = new QVBoxLayout(result);
  resultLayout->addWidget(summary_);
  auto* note = new QLabel(QStringLiteral("OK adds these devices after the existing ones and replaces the patch of the "
                                         "whole matrix."),
                          result);
  note->setWordWrap(true);
  resultLayout->addWidget(note);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel | QDialogButtonBox::Ok, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(node);
  layout->addWidget(strips);
  layout->addWidget(result);
  layout->addWidget(buttons);

  ProtocolChanged();
  connect(protocol_, &QComboBox::currentIndexChanged, this, [this] { ProtocolChanged(); });
  connect(ip_, &QLineEdit::textChanged, this, [this] { Replan(); });
  for (QSpinBox* box : {net_, subnet_, universe_, pixels_}) {
    connect(box, &QSpinBox::valueChanged, this, [this] { Replan(); });
  }
  for (QComboBox* list : {wiring_, corner_, colour_}) {
    connect(list, &QComboBox::currentIndexChanged, this, [this] { Replan(); });
  }
}

void MatrixOutputDialog::ProtocolChanged() {
  const int driver = protocol_->currentData().toInt();
  const bool artNet = driver == kDriverArtNet;
  const bool sacn = driver == kDriverSacn;
  {
    const QSignalBlocker blockNet(net_), blockSubnet(subnet_), blockUniverse(universe_);
    net_->setValue(0);
    subnet_->setValue(0);
    // Art-Net universes count 0..15 inside a subnet; sACN numbers them 1..63999.
    universe_->setRange(sacn ? kSacnMinUniverse : 0, sacn ? kSacnMaxUniverse : 15);
    universe_->setValue(sacn ? kSacnMinUniverse : 0);
  }
  net_->setEnabled(artNet);
  subnet_->setEnabled(artNet);
  universe_->setEnabled(artNet || sacn);
  portAddress_->setVisible(artNet);
  pixelsLabel_->setText(driver == kDriverTpm2Net ? QStringLiteral("Pixels per Packet")
                                                 : QStringLiteral("Pixels per Universe"));
  // DDP's packets have a fixed size.
  pixels_->setEnabled(driver != kDriverDdp);
  Replan();
}

MatrixOutputSettings MatrixOutputDialog::settings() const {
  MatrixOutputSettings s;
  s.driver = protocol_->currentData().toInt();
  s.address = ip_->text().trimmed().toStdString();
  s.startUniverse =
      s.driver == kDriverArtNet ? net_->value() * 256 + subnet_->value() * 16 + universe_->value() : universe_->value();
  s.pixelsPerUniverse = pixels_->value();
  s.wiring = wiring_->currentIndex();
  s.startCorner = corner_->currentIndex();
  s.colourOrder = colour_->currentIndex();
  return s;
}

void MatrixOutputDialog::Replan() {
  const MatrixOutputSettings s = settings();
  const int room = kMaxDevices - engine_.outputs().devices().count();
  plan_ = PlanMatrixOutput(s, engine_.width(), engine_.height(), room);
  portAddress_->setText(QStringLiteral("Port-Address %1").arg(s.startUniverse));
  drawing_->setText(PixelOrderDrawing(PixelOrderOf(s.wiring, s.startCorner), engine_.width(), engine_.height()));
  const QString matrix = QStringLiteral("Matrix %1 x %2 = %3 pixels (Setup > Matrix Size).\n")
                             .arg(engine_.width())
                             .arg(engine_.height())
                             .arg(engine_.width() * engine_.height());
  summary_->setText(matrix + Text(PlanSummary(plan_)));
  // A plan that cannot be applied is shown as an error until it is mended.
  summary_->setStyleSheet(plan_.ok() ? QString() : QStringLiteral("color: #b00000;"));
}

void MatrixOutputDialog::accept() {
  Replan();
  if (!plan_.ok()) {
    showError(Text(plan_.error));
    return;
  }
  const int first = engine_.outputs().devices().count() + 1;
  std::string why;
  if (!apply(plan_, &why)) {
    showError(Text(why));
    return;
  }
  // FastPatch opens with the same strips next time.
  FastPatchSettings& fast = engine_.outputs().fastPatch();
  fast.pixelOrder = PixelOrderOf(plan_.settings.wiring, plan_.settings.startCorner);
  fast.colourOrder = plan_.settings.colourOrder;
  const int count = static_cast<int>(plan_.devices.size());
  const bool universes = plan_.settings.driver == kDriverArtNet || plan_.settings.driver == kDriverSacn;
  const QString devices = count == 1 ? QStringLiteral("device %1").arg(first)
                                     : QStringLiteral("devices %1 to %2").arg(first).arg(first + count - 1);
  showDone(QStringLiteral("Added %1 and patched all %2 pixels to them, using %3 %4.\n\n%5")
               .arg(devices)
               .arg(plan_.width * plan_.height)
               .arg(plan_.universes)
               .arg(universes ? (plan_.universes == 1 ? QStringLiteral("universe") : QStringLiteral("universes"))
                              : (plan_.universes == 1 ? QStringLiteral("packet per frame")
                                                      : QStringLiteral("packets per frame")))
               .arg(Text(PlanSummary(plan_))));
  QDialog::accept();
}

}  // namespace quor
