#include "ui/output_dialogs.h"

#include "ui/artnet_scan_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTableView>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "engine/engine.h"
#include "output/device_list.h"
#include "output/drivers.h"
#include "output/fast_patch.h"
#include "output/patch_table.h"
#include "output/serial_port.h"
#include "ui/artnet_scan_window.h"
#include "ui/command_ids.h"
#include "ui/device_power_dialog.h"
#include "ui/display_field.h"
#include "ui/layout_dialog.h"
#include "ui/modal_commands.h"

namespace quor {
namespace {

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString DriverName(int driver) {
  const DriverInfo* info = FindDriver(driver);
  return info != nullptr ? QString::fromLatin1(info->name) : QStringLiteral("Driver %1").arg(driver);
}

bool IsFileDriver(int driver) {
  const DriverInfo* info = FindDriver(driver);
  return info != nullptr &&
         (info->transport == TransportKind::kBitmapFolder || info->transport == TransportKind::kRecorderFile);
}

// The patch device lists: entries carry the device index as item data.
void FillPatchDevices(QComboBox* list, const OutputDeviceList& devices) {
  for (int i = 0; i < devices.count(); ++i) {
    const QString text = PatchDeviceText(devices[i]);
    if (!text.isEmpty()) list->addItem(text, i);
  }
}

bool OutputStopped(Engine& engine, QWidget* parent) {
  if (engine.flags().outputState.load() == kOutputStopped) return true;
  QMessageBox::information(parent, QStringLiteral("Output"), QString::fromLatin1(kStopOutputFirstMessage));
  return false;
}

void SelectAllIn(QWidget* widget) {
  widget->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
}

}  // namespace

std::vector<QString> DeviceRowTexts(const OutputDevice& d, int index) {
  const QString addressing = Text(AddressingText(d));
  return {QString::number(index + 1), DriverName(d.driver), Text(d.Redirected() ? d.PathText() : d.AddressText()),
          addressing};
}

QString PatchDeviceText(const OutputDevice& d) {
  const QString address = Text(d.AddressText());
  switch (d.driver) {
    case kDriverArtNet:
      return QStringLiteral("Artnet %1 [ %2 | %3 | %4 ]").arg(address).arg(d.driverParam).arg(d.subnet).arg(d.universe);
    case kDriverTpm2Net:
      return QStringLiteral("tpm2.net %1 [ %2 | %3 ]").arg(address).arg(d.channels).arg(d.driverParam);
    default:
      if (IsFileDriver(d.driver)) return {};
      return QStringLiteral("%1 %2 [ %3 ]").arg(DriverName(d.driver), address).arg(d.channels);
  }
}

bool IsDottedIpv4(const QString& text) {
  const QStringList parts = text.split(QLatin1Char('.'));
  if (parts.size() != 4) return false;
  for (const QString& part : parts) {
    if (part.isEmpty() || part.size() > 3) return false;
    for (QChar c : part) {
      if (!c.isDigit()) return false;
    }
    if (part.toInt() > 255) return false;
  }
  return true;
}

void RegisterOutputDialogs(ModalCommands& modal, Engine& engine, std::function<std::string()> settingsPath) {
  modal.Register(kCmdOutputDevices, [&engine, settingsPath](QWidget* parent) {
    if (!OutputStopped(engine, parent)) return;
    OutputDevicesDialog dialog(engine, parent);
    dialog.settingsPath = settingsPath;
    dialog.exec();
  });
  modal.Register(kCmdOutputPatch, [&engine](QWidget* parent) {
    if (!OutputStopped(engine, parent)) return;
    OutputPatchDialog dialog(engine, parent);
    dialog.exec();
  });
}

// ---------------------------------------------------------------- editor

DeviceEditorDialog::DeviceEditorDialog(const OutputDevice& device, int matrixWidth, int matrixHeight,
                                       QWidget* parent)
    : QDialog(parent),
      working_(device),
      device_(device),
      ports_(ListSerialPorts()),
      matrixWidth_(matrixWidth),
      matrixHeight_(matrixHeight),
      type_(new QComboBox(this)),
      ip_(new QLineEdit(this)),
      port_(new QLineEdit(this)),
      net_(new QLineEdit(this)),
      subnet_(new QLineEdit(this)),
      universe_(new QLineEdit(this)),
      channels_(new QLineEdit(this)),
      chanPerBlock_(new QLineEdit(this)),
      blocks_(new QLineEdit(this)),
      priority_(new QLineEdit(this)),
      serial_(new QComboBox(this)),
      baud_(new QComboBox(this)),
      refreshPorts_(new QPushButton(QStringLiteral("Refresh"), this)),
      redirect_(new QCheckBox(QStringLiteral(" Redirect Output to File"), this)),
      path_(new QLineEdit(this)),
      select_(new QPushButton(QStringLiteral("Select"), this)),
      ok_(nullptr) {
  setWindowTitle(QStringLiteral("Add/Edit Device"));
  setProperty("quorHelpId", kHelpDeviceEditor);
  choosePath = [this](bool folder, const QString& start) {
    if (folder) return QFileDialog::getExistingDirectory(this, QStringLiteral("Select Directory for Bitmap Files ..."), start);
    QFileDialog picker(this, QStringLiteral("Redirect to File ..."), start, QStringLiteral("Output (*.out)"));
    picker.setAcceptMode(QFileDialog::AcceptSave);
    picker.setDefaultSuffix(QStringLiteral("out"));
    return picker.exec() == QDialog::Accepted && !picker.selectedFiles().isEmpty() ? picker.selectedFiles().front()
                                                                                   : QString();
  };
  showError = [this](const QString& title, const QString& text) { QMessageBox::critical(this, title, text); };

  for (const DriverInfo& info : Drivers()) type_->addItem(QString::fromLatin1(info.name));
  for (int baud : kBaudRates) baud_->addItem(QString::number(baud), baud);
  ip_->setMaxLength(15);
  net_->setMaxLength(3);
  subnet_->setMaxLength(2);
  priority_->setMaxLength(3);
  for (QLineEdit* e : {port_, blocks_, path_}) MakeDisplayOnly(e);

  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("Device Type"), type_);
  form->addRow(QStringLiteral("IP Address"), ip_);
  form->addRow(QStringLiteral("Port"), port_);
  form->addRow(QStringLiteral("Net"), net_);
  form->addRow(QStringLiteral("Subnet"), subnet_);
  form->addRow(QStringLiteral("Universe"), universe_);
  form->addRow(QStringLiteral("Channels"), channels_);
  form->addRow(QStringLiteral("Chan/Block"), chanPerBlock_);
  form->addRow(QStringLiteral("Blocks"), blocks_);
  form->addRow(QStringLiteral("Priority"), priority_);
  auto* serialRow = new QHBoxLayout;
  serialRow->addWidget(serial_, 1);
  serialRow->addWidget(refreshPorts_);
  form->addRow(QStringLiteral("Serial Port"), serialRow);
  form->addRow(QStringLiteral("Baud"), baud_);
  auto* pathRow = new QHBoxLayout;
  pathRow->addWidget(path_, 1);
  pathRow->addWidget(select_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel | QDialogButtonBox::Ok, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  // Enter in a field must not bypass the checks by some other default.
  ok_->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(redirect_);
  layout->addLayout(pathRow);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  form_ = OpenForm(working_, ports_);
  ShowForm();

  connect(type_, &QComboBox::currentIndexChanged, this, [this](int driver) {
    ReadWidgets();
    ChangeDriver(form_, driver, matrixWidth_, matrixHeight_, ports_);
    ShowForm();
  });
  for (QLineEdit* edit : {channels_, chanPerBlock_}) {
    connect(edit, &QLineEdit::textEdited, this, [this] {
      ReadWidgets();
      ChannelsEdited(form_);
      ShowForm();
    });
    connect(edit, &QLineEdit::editingFinished, this, [this] {
      ReadWidgets();
      ChannelsLeft(form_);
      ShowForm();
    });
  }
  connect(redirect_, &QCheckBox::toggled, this, [this] {
    ReadWidgets();
    ShowForm();
  });
  connect(refreshPorts_, &QPushButton::clicked, this, [this] { RefreshSerialPorts(ListSerialPorts()); });
  connect(select_, &QPushButton::clicked, this, [this] {
    ReadWidgets();
    const QString chosen = choosePath(form_.driver == kDriverBitmapExport, Text(form_.path));
    if (chosen.isEmpty()) return;
    form_.path = chosen.toStdString();
    ShowForm();
  });
}

void DeviceEditorDialog::RefreshSerialPorts(std::vector<std::string> ports) {
  ReadWidgets();
  ports_ = std::move(ports);
  if (std::find(ports_.begin(), ports_.end(), form_.serialPort) == ports_.end()) {
    form_.serialPort = ports_.empty() ? std::string() : ports_.front();
  }
  ShowForm();
}

void DeviceEditorDialog::ReadWidgets() {
  form_.driver = type_->currentIndex();
  form_.ip = ip_->text().toStdString();
  form_.net = net_->text().toStdString();
  form_.subnet = subnet_->text().toStdString();
  form_.universe = universe_->text().toStdString();
  form_.channels = channels_->text().toStdString();
  form_.chanPerBlock = chanPerBlock_->text().toStdString();
  form_.priority = priority_->text().toStdString();
  form_.serialPort = serial_->currentText().toStdString();
  form_.baud = baud_->currentData().toInt();
  form_.redirect = redirect_->isChecked();
}

void DeviceEditorDialog::ShowForm() {
  const QSignalBlocker blockType(type_), blockSerial(serial_), blockBaud(baud_), blockRedirect(redirect_);
  type_->setCurrentIndex(form_.driver);
  auto put = [](QLineEdit* edit, const std::string& text) {
    const QString value = Text(text);
    if (edit->text() != value) edit->setText(value);
  };
  put(ip_, form_.ip);
  put(port_, form_.port);
  put(net_, form_.net);
  put(subnet_, form_.subnet);
  // Art-Net universes are 0..15; only sACN numbers them up to 63999.
  universe_->setMaxLength(form_.driver == kDriverSacn ? 5 : 2);
  put(universe_, form_.universe);
  put(channels_, form_.channels);
  put(chanPerBlock_, form_.chanPerBlock);
  put(blocks_, form_.blocks);
  put(priority_, form_.priority);
  put(path_, form_.path);
  serial_->clear();
  for (const std::string& p : ports_) serial_->addItem(Text(p));
  serial_->setCurrentIndex(serial_->findText(Text(form_.serialPort)));
  baud_->setCurrentIndex(std::max(0, baud_->findData(form_.baud)));
  redirect_->setChecked(form_.redirect);
  const uint32_t on = EnabledFields(form_);
  for (EditorField f : {kFieldIpAddress, kFieldNet, kFieldSubnet, kFieldUniverse, kFieldChannels, kFieldChanPerBlock,
                        kFieldSerialPort, kFieldBaud, kFieldRedirect, kFieldSelect, kFieldPriority}) {
    FieldWidget(f)->setEnabled((on & f) != 0);
  }
  refreshPorts_->setEnabled((on & kFieldSerialPort) != 0);
}

QWidget* DeviceEditorDialog::FieldWidget(EditorField field) const {
  switch (field) {
    case kFieldIpAddress: return ip_;
    case kFieldNet: return net_;
    case kFieldSubnet: return subnet_;
    case kFieldUniverse: return universe_;
    case kFieldChannels: return channels_;
    case kFieldChanPerBlock: return chanPerBlock_;
    case kFieldSerialPort: return serial_;
    case kFieldBaud: return baud_;
    case kFieldRedirect: return redirect_;
    case kFieldSelect: return select_;
    case kFieldPriority: return priority_;
    case kFieldNone: break;
  }
  return ok_;
}

void DeviceEditorDialog::accept() {
  ReadWidgets();
  ChannelsLeft(form_);
  ShowForm();
  FormCheck check = CheckForm(form_, working_);
  // A network device needs an address the socket can send to; a typing
  // slip would otherwise be stored and only fail when output starts.
  // sACN also takes no address or "multicast": it then sends to the
  // universe's multicast group.
  const bool multicast = form_.driver == kDriverSacn && (ip_->text().isEmpty() || ip_->text() == "multicast");
  if (check.failed == kFieldNone && (EnabledFields(form_) & kFieldIpAddress) != 0 && !multicast &&
      !IsDottedIpv4(ip_->text())) {
    check.failed = kFieldIpAddress;
  }
  refused_ = check.failed;
  if (check.failed != kFieldNone) {
    SelectAllIn(FieldWidget(check.failed));
    if (check.showNoTargetMessage) showError(QStringLiteral("Error"), QString::fromLatin1(kNoExportTargetMessage));
    return;
  }
  device_ = check.device;
  QDialog::accept();
}

// ---------------------------------------------------------------- device list

OutputDevicesDialog::OutputDevicesDialog(Engine& engine, QWidget* parent)
    : QDialog(parent), engine_(engine), list_(new QTreeWidget(this)) {
  setWindowTitle(QStringLiteral("Output Devices"));
  setProperty("quorHelpId", kHelpOutputDevices);
  runEditor = [](DeviceEditorDialog& editor) { return editor.exec(); };
  runPower = [](DevicePowerDialog& dialog) { return dialog.exec(); };
  scan = [this](QWidget* p) {
    if (RunArtNetScanWindow(engine_.outputs().devices(), engine_.console(), p) < 0) {
      QMessageBox::critical(p, QStringLiteral("Error"),
                            QStringLiteral("Artnet Scan: no UDP socket could be opened for the poll. Check that no other "
                                           "program holds the Art-Net port and that a network is up."));
    }
  };
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setHeaderLabels({QStringLiteral("ID"), QStringLiteral("Driver"), QStringLiteral("IP-Address/Serialport"),
                          QStringLiteral("Adressing")});
  const int unit = fontMetrics().averageCharWidth();
  const int widths[] = {30, 100, 150, 200};
  for (int c = 0; c < 4; ++c) list_->setColumnWidth(c, widths[c] * unit / 4 + unit);
  auto* buttons = new QHBoxLayout;
  auto button = [this, buttons](const char* text, void (OutputDevicesDialog::*slot)()) {
    auto* b = new QPushButton(QString::fromLatin1(text), this);
    b->setAutoDefault(false);
    b->setObjectName(QString::fromLatin1(text));
    connect(b, &QPushButton::clicked, this, slot);
    buttons->addWidget(b);
    return b;
  };
  button("Add", &OutputDevicesDialog::Add);
  button("Edit", &OutputDevicesDialog::Edit);
  button("Delete", &OutputDevicesDialog::Delete);
  button("Scan", &OutputDevicesDialog::Scan);
  button("Power...", &OutputDevicesDialog::Power);
  buttons->addStretch();
  button("Close", &OutputDevicesDialog::reject);
  connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] { Edit(); });
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);
  // Wide enough to show every column whole, the "Adressing" text included.
  int columns = 0;
  for (int c = 0; c < 4; ++c) columns += list_->columnWidth(c);
  const QMargins margins = layout->contentsMargins();
  const int listFrame = 2 * list_->frameWidth() + style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  resize(std::max(widths[0] * 2 + 600, columns + listFrame + margins.left() + margins.right()), 320);
  Rebuild();
}

void OutputDevicesDialog::Rebuild() {
  list_->clear();
  const OutputDeviceList& devices = engine_.outputs().devices();
  for (int i = 0; i < devices.count(); ++i) {
    QStringList texts;
    for (const QString& t : DeviceRowTexts(devices[i], i)) texts << t;
    list_->addTopLevelItem(new QTreeWidgetItem(texts));
  }
  // The current device's row is selected; with none (a cancelled "Add")
  // no row is, so "Edit" and "Delete" do nothing until one is chosen.
  if (current_ >= 0 && current_ < devices.count()) {
    list_->setCurrentItem(list_->topLevelItem(current_));
  } else {
    list_->setCurrentItem(nullptr);
    list_->clearSelection();
  }
}

int OutputDevicesDialog::SelectedRow() const {
  const QList<QTreeWidgetItem*> selected = list_->selectedItems();
  return selected.isEmpty() ? -1 : list_->indexOfTopLevelItem(selected.front());
}

void OutputDevicesDialog::Add() {
  OutputDeviceList& devices = engine_.outputs().devices();
  if (devices.Full()) {
    QMessageBox::critical(this, QStringLiteral("Error"), QString::fromLatin1(kDeviceListFullMessage));
    return;
  }
  devices.ReserveOne();
  current_ = -1;
  DeviceEditorDialog editor(NewDeviceDefaults(), engine_.width(), engine_.height(), this);
  if (runEditor(editor) == QDialog::Accepted) {
    engine_.EditDocument("Add Device", [&] { current_ = devices.Add(editor.device()); });
  }
  Rebuild();
}

void OutputDevicesDialog::Edit() {
  const int row = SelectedRow();
  OutputDeviceList& devices = engine_.outputs().devices();
  if (row < 0 || row >= devices.count()) return;
  current_ = row;
  DeviceEditorDialog editor(devices[row], engine_.width(), engine_.height(), this);
  if (runEditor(editor) == QDialog::Accepted) {
    engine_.EditDocument("Edit Device", [&] {
      devices.Replace(row, editor.device(), engine_.patch());
      engine_.outputs().PatchChanged();
    });
  }
  Rebuild();
}

void OutputDevicesDialog::Power() {
  const int row = SelectedRow();
  if (row < 0 || row >= engine_.outputs().devices().count()) return;
  current_ = row;
  DevicePowerDialog dialog(engine_, row, settingsPath ? settingsPath() : std::string(), this);
  runPower(dialog);
}

void OutputDevicesDialog::Delete() {
  const int row = SelectedRow();
  OutputDeviceList& devices = engine_.outputs().devices();
  if (row < 0 || row >= devices.count()) return;
  engine_.EditDocument("Delete Device", [&] {
    current_ = devices.Remove(row, engine_.patch());
    engine_.outputs().PatchChanged();
  });
  Rebuild();
}

void OutputDevicesDialog::Scan() {
  current_ = SelectedRow();
  engine_.EditDocument("Add Scanned Devices", [this] { scan(this); });
  Rebuild();
}

// ---------------------------------------------------------------- patch grid

PatchGridModel::PatchGridModel(const PatchTable& patch, QObject* parent)
    : QAbstractTableModel(parent), patch_(patch) {}

int PatchGridModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : patch_.height() + 1;
}

int PatchGridModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : patch_.width() + 1;
}

QVariant PatchGridModel::data(const QModelIndex& index, int role) const {
  const int x = index.column();
  const int y = index.row();
  if (x > patch_.width() || y > patch_.height()) return {};
  const bool header = x == 0 || y == 0;
  const PatchEntry* entry = header ? nullptr : &patch_.At(x - 1, y - 1);
  const bool selected = x == selX_ && y == selY_;
  switch (role) {
    case Qt::DisplayRole:
      if (x == 0 && y == 0) return {};
      if (y == 0) return QString::number(x);
      if (x == 0) return QString::number(y) + (y < 10 ? QStringLiteral("    ") : QStringLiteral("  "));
      return entry->device >= 0 ? QString::number(entry->device + 1) : QString();
    case Qt::ToolTipRole:
      if (header || entry->device < 0) return {};
      return QStringLiteral("Device %1: R %2 G %3 B %4")
          .arg(entry->device + 1)
          .arg(entry->red)
          .arg(entry->green)
          .arg(entry->blue);
    case Qt::BackgroundRole:
      if (header) return QColor(100, 100, 100);
      if (entry->device >= 0) return selected ? QColor(0, 255, 0) : QColor(0, 100, 0);
      if (entry->device == -1) return selected ? QColor(255, 0, 0) : QColor(100, 0, 0);
      return QColor(Qt::white);
    case Qt::ForegroundRole:
      return (entry != nullptr && entry->device < -1) ? QColor(Qt::black) : QColor(Qt::white);
    case Qt::TextAlignmentRole:
      return int(Qt::AlignCenter);
    default:
      return {};
  }
}

void PatchGridModel::SetSelected(int x, int y) {
  const int oldX = selX_, oldY = selY_;
  selX_ = x;
  selY_ = y;
  CellChanged(oldX, oldY);
  CellChanged(x, y);
}

void PatchGridModel::CellChanged(int x, int y) {
  const QModelIndex cell = index(y, x);
  emit dataChanged(cell, cell);
}

void PatchGridModel::Reset() {
  beginResetModel();
  endResetModel();
}

// ---------------------------------------------------------------- Output Patch

OutputPatchDialog::OutputPatchDialog(Engine& engine, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      model_(new PatchGridModel(engine.patch(), this)),
      grid_(new QTableView(this)),
      x_(new QLabel(this)),
      y_(new QLabel(this)),
      devices_(new QComboBox(this)),
      rgb_{new QLineEdit(this), new QLineEdit(this), new QLineEdit(this)} {
  setWindowTitle(QStringLiteral("Output Patch"));
  setProperty("quorHelpId", kHelpOutputPatch);
  runFastPatch = [](FastPatchDialog& dialog) { return dialog.exec(); };
  runImportLayout = [](LayoutImportDialog& dialog) { return dialog.exec(); };
  runExportLayout = [](LayoutExportDialog& dialog) { return dialog.exec(); };
  grid_->setModel(model_);
  grid_->setSelectionMode(QAbstractItemView::NoSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setFocusPolicy(Qt::NoFocus);
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  // Fixed sections: the view never measures the cells, so a 320 x 320 grid
  // opens as fast as a small one.
  const int cell = fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 6;
  for (QHeaderView* h : {grid_->horizontalHeader(), grid_->verticalHeader()}) {
    h->setSectionResizeMode(QHeaderView::Fixed);
    h->setMinimumSectionSize(4);
  }
  grid_->horizontalHeader()->setDefaultSectionSize(cell);
  grid_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  grid_->setShowGrid(true);
  connect(grid_, &QTableView::clicked, this, [this](const QModelIndex& i) { SelectCell(i.column(), i.row()); });

  devices_->addItem(QStringLiteral("None"), -1);
  FillPatchDevices(devices_, engine_.outputs().devices());
  connect(devices_, &QComboBox::activated, this, [this](int i) { DeviceChosen(i); });
  // A channel is stored when its edit is finished, never keystroke by
  // keystroke: typing 600 must not store 6 and 60 on the way.
  for (int c = 0; c < 3; ++c) {
    connect(rgb_[c], &QLineEdit::editingFinished, this, [this, c] { CommitChannel(c); });
  }
  showError = [this](const QString& text) { QMessageBox::critical(this, QStringLiteral("Error"), text); };

  auto* side = new QFormLayout;
  side->addRow(QStringLiteral("X"), x_);
  side->addRow(QStringLiteral("Y"), y_);
  side->addRow(QStringLiteral("Patch Device"), devices_);
  side->addRow(QStringLiteral("Red"), rgb_[0]);
  side->addRow(QStringLiteral("Green"), rgb_[1]);
  side->addRow(QStringLiteral("Blue"), rgb_[2]);
  auto* fast = new QPushButton(QStringLiteral("Fast Patch"), this);
  auto* clear = new QPushButton(QStringLiteral("Clear Patch"), this);
  auto* importLayout = new QPushButton(QStringLiteral("Import Layout..."), this);
  auto* exportLayout = new QPushButton(QStringLiteral("Export Layout..."), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  for (QPushButton* b : {fast, clear, importLayout, exportLayout, close}) b->setAutoDefault(false);
  connect(fast, &QPushButton::clicked, this, &OutputPatchDialog::FastPatch);
  connect(clear, &QPushButton::clicked, this, &OutputPatchDialog::ClearPatch);
  connect(importLayout, &QPushButton::clicked, this, &OutputPatchDialog::ImportLayout);
  connect(exportLayout, &QPushButton::clicked, this, &OutputPatchDialog::ExportLayout);
  connect(close, &QPushButton::clicked, this, &QDialog::reject);
  auto* column = new QVBoxLayout;
  column->addLayout(side);
  column->addWidget(fast);
  column->addWidget(clear);
  column->addWidget(importLayout);
  column->addWidget(exportLayout);
  column->addStretch();
  column->addWidget(close);
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(grid_, 1);
  layout->addLayout(column);
  resize(900, 600);
  ShowCell();
}

OutputPatchDialog::~OutputPatchDialog() {
  // A field losing the focus while the dialog is torn down must not commit
  // into a half-destroyed dialog.
  for (QLineEdit* edit : rgb_) disconnect(edit, nullptr, this, nullptr);
}

void OutputPatchDialog::SelectCell(int x, int y) {
  if (x < 1 || y < 1 || x > engine_.patch().width() || y > engine_.patch().height()) return;
  if (!CommitChannels()) return;
  selX_ = x;
  selY_ = y;
  model_->SetSelected(x, y);
  ShowCell();
}

void OutputPatchDialog::ShowCell() {
  x_->setText(QString::number(selX_));
  y_->setText(QString::number(selY_));
  const PatchTable& patch = engine_.patch();
  if (selX_ > patch.width() || selY_ > patch.height()) return;
  const PatchEntry& e = patch.At(selX_ - 1, selY_ - 1);
  devices_->setCurrentIndex(std::max(0, devices_->findData(e.device >= 0 ? e.device : -1)));
  const int values[3] = {e.red, e.green, e.blue};
  for (int c = 0; c < 3; ++c) {
    rgb_[c]->setText(QString::number(values[c]));
    rgb_[c]->setModified(false);
    rgb_[c]->setEnabled(e.device >= 0);
  }
}

void OutputPatchDialog::DeviceChosen(int listIndex) {
  const int device = devices_->itemData(listIndex).toInt();
  if (!CommitChannels()) {
    ShowCell();
    return;
  }
  engine_.EditDocument("Patch", [&] {
    engine_.patch().At(selX_ - 1, selY_ - 1).device = device;
    engine_.outputs().PatchChanged();
  });
  model_->CellChanged(selX_, selY_);
  ShowCell();
}

bool OutputPatchDialog::CommitChannel(int colour) {
  QLineEdit* edit = rgb_[colour];
  if (committing_ || !edit->isModified()) return true;
  PatchEntry& e = engine_.patch().At(selX_ - 1, selY_ - 1);
  const OutputDeviceList& devices = engine_.outputs().devices();
  int32_t* fields[3] = {&e.red, &e.green, &e.blue};
  if (e.device < 0 || e.device >= devices.count()) {
    edit->setText(QString::number(*fields[colour]));
    edit->setModified(false);
    return true;
  }
  const OutputDevice& device = devices[e.device];
  bool number = false;
  const QString typed = edit->text().trimmed();
  const int value = typed.toInt(&number);
  if (number && value >= 0 && value < device.channels) {
    engine_.EditDocument("Patch", [&] { *fields[colour] = value; });
    edit->setText(QString::number(value));
    edit->setModified(false);
    engine_.outputs().PatchChanged();
    model_->CellChanged(selX_, selY_);
    return true;
  }
  // Refused: the entry keeps its channel and the field shows it again, so
  // leaving the field does not ask the same question twice.
  const char* names[3] = {"Red", "Green", "Blue"};
  const QString text = QStringLiteral("%1 channel \"%2\" was not stored: device %3 (%4) has %5 channels, so enter a "
                                      "channel from 0 to %6.")
                           .arg(QString::fromLatin1(names[colour]), typed)
                           .arg(e.device + 1)
                           .arg(PatchDeviceText(device))
                           .arg(device.channels)
                           .arg(device.channels - 1);
  edit->setText(QString::number(*fields[colour]));
  edit->setModified(false);
  committing_ = true;
  showError(text);
  committing_ = false;
  SelectAllIn(edit);
  return false;
}

bool OutputPatchDialog::CommitChannels() {
  bool all = true;
  for (int c = 0; c < 3; ++c) all = CommitChannel(c) && all;
  return all;
}

void OutputPatchDialog::reject() {
  if (CommitChannels()) QDialog::reject();
}

void OutputPatchDialog::FastPatch() {
  if (!CommitChannels()) return;
  FastPatchDialog dialog(engine_, selX_, selY_, this);
  engine_.EditDocument("FastPatch", [&] { runFastPatch(dialog); });
  model_->Reset();
  ShowCell();
}

void OutputPatchDialog::ClearPatch() {
  engine_.EditDocument("Clear Patch", [this] {
    engine_.patch().Clear();
    // A cleared patch starts again at the first channel.
    engine_.outputs().fastPatch().firstChannel = 0;
    engine_.outputs().PatchChanged();
  });
  model_->Reset();
  ShowCell();
}

void OutputPatchDialog::ImportLayout() {
  if (!CommitChannels()) return;
  // The dialog works on a copy and commits it as one edit on OK.
  LayoutImportDialog dialog(engine_, this);
  runImportLayout(dialog);
  model_->Reset();
  ShowCell();
}

void OutputPatchDialog::ExportLayout() {
  if (!CommitChannels()) return;
  LayoutExportDialog dialog(engine_, this);
  runExportLayout(dialog);
}

// ---------------------------------------------------------------- FastPatch

FastPatchDialog::FastPatchDialog(Engine& engine, int startX, int startY, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      startX_(startX),
      startY_(startY),
      dimX_(new QLineEdit(this)),
      dimY_(new QLineEdit(this)),
      first_(new QLineEdit(this)),
      order_(new QComboBox(this)),
      colour_(new QComboBox(this)),
      devices_(new QComboBox(this)),
      preview_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("FastPatch"));
  setProperty("quorHelpId", kHelpFastPatch);
  showError = [this](const QString& text) { QMessageBox::critical(this, QStringLiteral("Error"), text); };
  askContinue = [this](const QString& text) {
    return QMessageBox::question(this, QString::fromLatin1(kFastPatchContinueTitle), text,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
  };
  const FastPatchSettings& s = engine_.outputs().fastPatch();
  for (int i = 0; i < kPixelOrderCount; ++i) order_->addItem(QString::fromLatin1(PixelOrderName(i)));
  for (int i = 0; i < kColourOrderCount; ++i) colour_->addItem(QString::fromLatin1(ColourOrderName(i)));
  FillPatchDevices(devices_, engine_.outputs().devices());
  dimX_->setText(QString::number(s.dimensionX));
  dimY_->setText(QString::number(s.dimensionY));
  first_->setText(QString::number(s.firstChannel));
  order_->setCurrentIndex(std::clamp(s.pixelOrder, 0, kPixelOrderCount - 1));
  colour_->setCurrentIndex(std::clamp(s.colourOrder, 0, kColourOrderCount - 1));
  devices_->setCurrentIndex(std::max(0, devices_->findData(s.device)));

  auto* area = new QGroupBox(QStringLiteral("Patch Area"), this);
  auto* areaForm = new QFormLayout(area);
  areaForm->addRow(new QLabel(QStringLiteral("Starting at Pixel: %1/%2").arg(startX).arg(startY), area));
  areaForm->addRow(QStringLiteral("Dimension: X"), dimX_);
  areaForm->addRow(QStringLiteral("Y"), dimY_);
  auto* mode = new QGroupBox(QStringLiteral("Patch Mode"), this);
  auto* modeForm = new QFormLayout(mode);
  modeForm->addRow(order_);
  modeForm->addRow(QStringLiteral("Pixel Order"), colour_);
  modeForm->addRow(QStringLiteral("First Channel"), first_);
  auto* device = new QGroupBox(QStringLiteral("Patch Device"), this);
  (new QVBoxLayout(device))->addWidget(devices_);
  QFont mono(QStringLiteral("Monospace"));
  mono.setStyleHint(QFont::TypeWriter);
  preview_->setFont(mono);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel | QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(area);
  layout->addWidget(mode);
  layout->addWidget(device);
  layout->addWidget(preview_);
  layout->addWidget(buttons);
  for (QComboBox* list : {order_, colour_}) connect(list, &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
  for (QLineEdit* edit : {dimX_, dimY_}) connect(edit, &QLineEdit::textChanged, this, [this] { UpdatePreview(); });
  UpdatePreview();
}

// A numbered drawing of the first cells (at most 6 x 6) in the visiting
// order, made by FastPatch itself on a scratch table.
QString PixelOrderDrawing(int pixelOrder, int width, int height) {
  constexpr int kMax = 6;
  const int w = std::clamp(width, 1, kMax);
  const int h = std::clamp(height, 1, kMax);
  Console quiet;
  quiet.SetSink([](std::string_view) {});
  OutputDeviceList scratchDevices(quiet);
  OutputDevice scratch;
  scratch.driver = kDriverTpm2;
  scratch.channels = w * h * 3;
  scratchDevices.Add(scratch);
  PatchTable table(w, h);
  FastPatchSettings s;
  s.dimensionX = w;
  s.dimensionY = h;
  s.pixelOrder = pixelOrder;
  s.colourOrder = 0;
  s.device = 0;
  ApplyFastPatch(table, scratchDevices, 0, 0, s);
  QString text;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) text += QStringLiteral("%1").arg(table.At(x, y).red / 3 + 1, 4);
    text += QLatin1Char('\n');
  }
  return text;
}

void FastPatchDialog::UpdatePreview() {
  preview_->setText(PixelOrderDrawing(order_->currentIndex(), dimX_->text().toInt(), dimY_->text().toInt()));
}

void FastPatchDialog::accept() {
  bool okX = false, okY = false, okFirst = false;
  const int dimX = dimX_->text().toInt(&okX);
  const int dimY = dimY_->text().toInt(&okY);
  const int first = first_->text().toInt(&okFirst);
  // Sizes below one pixel or a negative channel would patch nothing useful
  // or write channel numbers no device has.
  if (!okX || dimX < 1) return SelectAllIn(dimX_);
  if (!okY || dimY < 1) return SelectAllIn(dimY_);
  if (!okFirst || first < 0) return SelectAllIn(first_);
  const OutputDeviceList& devices = engine_.outputs().devices();
  const int device = devices_->count() > 0 ? devices_->currentData().toInt() : -1;
  if (device >= 0 && device < devices.count() && static_cast<int64_t>(first) + 3 > devices[device].channels) {
    const OutputDevice& d = devices[device];
    const QString name = QStringLiteral("device %1 (%2)").arg(device + 1).arg(PatchDeviceText(d));
    if (d.channels < 3) {
      showError(QStringLiteral("Device %1 (%2) has %3 channels, fewer than one pixel takes: choose another device.")
                    .arg(device + 1)
                    .arg(PatchDeviceText(d))
                    .arg(d.channels));
      return SelectAllIn(devices_);
    }
    showError(QStringLiteral("First Channel %1 leaves no room for a pixel on %2, which has %3 channels: enter a First "
                             "Channel from 0 to %4.")
                  .arg(first)
                  .arg(name)
                  .arg(d.channels)
                  .arg(d.channels - 3));
    return SelectAllIn(first_);
  }
  FastPatchSettings& s = engine_.outputs().fastPatch();
  s.dimensionX = dimX;
  s.dimensionY = dimY;
  s.firstChannel = first;
  s.pixelOrder = order_->currentIndex();
  s.colourOrder = colour_->currentIndex();
  if (device >= 0) {
    s.device = device;
    FastPatchResult result = ApplyFastPatch(engine_.patch(), devices, startX_ - 1, startY_ - 1, s);
    // A device that runs out of channels hands the rest of the area, in the
    // same order, to the next device on the same node when the operator
    // agrees: a matrix spread over consecutive universes.
    while (result.applied && !result.complete()) {
      const int full = s.device;
      const QString summary =
          QStringLiteral("FastPatch patched %1 of %2 pixels. Device %3 (%4) has no channels left for the other %5, "
                         "from cell %6/%7 on in the patch order.")
              .arg(result.next)
              .arg(result.areaPixels)
              .arg(full + 1)
              .arg(PatchDeviceText(devices[full]))
              .arg(result.areaPixels - result.next)
              .arg(result.nextX + 1)
              .arg(result.nextY + 1);
      const int next = NextDeviceLike(devices, full);
      if (next < 0) {
        showError(summary + QStringLiteral(" Add a device for them (for example the next universe) and Fast Patch "
                                           "again from that cell with First Channel 0."));
        break;
      }
      if (!askContinue(summary + QStringLiteral("\n\nContinue with them on device %1 (%2) from channel 0?")
                                     .arg(next + 1)
                                     .arg(PatchDeviceText(devices[next])))) {
        break;
      }
      s.device = next;
      s.firstChannel = 0;
      result = ApplyFastPatch(engine_.patch(), devices, startX_ - 1, startY_ - 1, s, result.next);
    }
    engine_.outputs().PatchChanged();
  }
  QDialog::accept();
}

}  // namespace quor
