#include "ui/controls_window.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>
#include <map>

#include "engine/control_inputs.h"
#include "engine/engine.h"
#include "files/control_settings.h"
#include "input/control_activity.h"
#include "input/midi_input.h"
#include "input/osc_input.h"

namespace quor {
namespace {

constexpr int kDefaultFeedbackPort = 9000;
const QColor kLightOn(60, 200, 60);

QString Dotted(const std::array<uint8_t, 4>& address) {
  return QStringLiteral("%1.%2.%3.%4").arg(address[0]).arg(address[1]).arg(address[2]).arg(address[3]);
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
  return item;
}

// Puts `name` first among `ports` (as the input keeps it even while the
// port is not there) and selects it; "(none)" stands for no port.
void FillPortList(QComboBox* list, const std::vector<std::string>& ports, const std::string& chosen) {
  list->clear();
  list->addItem(QStringLiteral("(none)"), QString());
  bool found = chosen.empty();
  for (const std::string& port : ports) {
    list->addItem(QString::fromStdString(port), QString::fromStdString(port));
    found = found || port == chosen;
  }
  if (!found) list->addItem(QString::fromStdString(chosen) + QStringLiteral(" (not there)"), QString::fromStdString(chosen));
  list->setCurrentIndex(list->findData(QString::fromStdString(chosen)));
}

}  // namespace

ControlsWindow::ControlsWindow(Engine& engine, MidiInput& midi, const ControlActivity& activity,
                               ControlsWindowServices services, QWidget* owner)
    : QDialog(owner), engine_(engine), midi_(midi), activity_(activity), services_(std::move(services)) {
  setWindowTitle(QString::fromLatin1(kControlsTitle));
  setObjectName(QStringLiteral("QuorControlsWindow"));
  setModal(false);
  setProperty("quorHelpId", kHelpControls);
  resize(720, 500);

  auto* surfaces = new QHBoxLayout;
  auto* midiGroup = new QGroupBox(QStringLiteral("MIDI"), this);
  auto* midiGrid = new QGridLayout(midiGroup);
  midiOn_ = new QCheckBox(QStringLiteral("MIDI on"), midiGroup);
  inputPort_ = new QComboBox(midiGroup);
  outputPort_ = new QComboBox(midiGroup);
  rescan_ = new QPushButton(QStringLiteral("Rescan"), midiGroup);
  midiGrid->addWidget(midiOn_, 0, 0);
  midiGrid->addWidget(rescan_, 0, 1);
  midiGrid->addWidget(new QLabel(QStringLiteral("Input port"), midiGroup), 1, 0);
  midiGrid->addWidget(inputPort_, 1, 1);
  midiGrid->addWidget(new QLabel(QStringLiteral("Output port"), midiGroup), 2, 0);
  midiGrid->addWidget(outputPort_, 2, 1);
  midiGrid->setColumnStretch(1, 1);
  surfaces->addWidget(midiGroup, 1);

  auto* oscGroup = new QGroupBox(QStringLiteral("OSC"), this);
  auto* oscGrid = new QGridLayout(oscGroup);
  oscOn_ = new QCheckBox(QStringLiteral("OSC on"), oscGroup);
  listen_ = new QLineEdit(oscGroup);
  listen_->setPlaceholderText(QStringLiteral("0.0.0.0 (every interface)"));
  port_ = new QSpinBox(oscGroup);
  port_->setRange(1, 65535);
  feedbackHost_ = new QLineEdit(oscGroup);
  feedbackHost_->setPlaceholderText(QStringLiteral("none"));
  feedbackPort_ = new QSpinBox(oscGroup);
  feedbackPort_->setRange(1, 65535);
  for (QSpinBox* box : {port_, feedbackPort_}) box->setKeyboardTracking(false);  // one reopen per entry
  oscGrid->addWidget(oscOn_, 0, 0, 1, 2);
  oscGrid->addWidget(new QLabel(QStringLiteral("Listen address"), oscGroup), 1, 0);
  oscGrid->addWidget(listen_, 1, 1);
  oscGrid->addWidget(new QLabel(QStringLiteral("Port"), oscGroup), 1, 2);
  oscGrid->addWidget(port_, 1, 3);
  oscGrid->addWidget(new QLabel(QStringLiteral("Feedback host"), oscGroup), 2, 0);
  oscGrid->addWidget(feedbackHost_, 2, 1);
  oscGrid->addWidget(new QLabel(QStringLiteral("Port"), oscGroup), 2, 2);
  oscGrid->addWidget(feedbackPort_, 2, 3);
  oscGrid->setColumnStretch(1, 1);
  surfaces->addWidget(oscGroup, 1);

  message_ = new QLabel(this);
  message_->setWordWrap(true);
  message_->setStyleSheet(QStringLiteral("color: #b00000"));
  message_->hide();

  table_ = new QTableWidget(0, kColumnCount, this);
  table_->setHorizontalHeaderLabels({QString(), QStringLiteral("Control"), QStringLiteral("OSC address"),
                                     QStringLiteral("MIDI")});
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  table_->horizontalHeader()->setSectionResizeMode(kLightColumn, QHeaderView::Fixed);
  table_->setColumnWidth(kLightColumn, 18);
  table_->setColumnWidth(kNameColumn, 170);
  table_->setColumnWidth(kOscColumn, 280);
  table_->horizontalHeader()->setStretchLastSection(true);

  auto* mapping = new QHBoxLayout;
  learn_ = new QPushButton(QStringLiteral("Learn"), this);
  clear_ = new QPushButton(QStringLiteral("Clear"), this);
  buttonMode_ = new QComboBox(this);
  buttonMode_->addItems({QStringLiteral("Momentary"), QStringLiteral("Toggle")});
  low_ = new QSpinBox(this);
  high_ = new QSpinBox(this);
  for (QSpinBox* box : {low_, high_}) box->setKeyboardTracking(false);
  inverted_ = new QCheckBox(QStringLiteral("Inverted"), this);
  softTakeover_ = new QCheckBox(QStringLiteral("Soft takeover"), this);
  mapping->addWidget(learn_);
  mapping->addWidget(clear_);
  mapping->addSpacing(12);
  mapping->addWidget(buttonMode_);
  mapping->addWidget(new QLabel(QStringLiteral("Low"), this));
  mapping->addWidget(low_);
  mapping->addWidget(new QLabel(QStringLiteral("High"), this));
  mapping->addWidget(high_);
  mapping->addWidget(inverted_);
  mapping->addWidget(softTakeover_);
  mapping->addStretch(1);

  auto* bottom = new QHBoxLayout;
  help_ = new QPushButton(QStringLiteral("Help"), this);
  auto* close = new QPushButton(QStringLiteral("Close"), this);
  bottom->addStretch(1);
  bottom->addWidget(help_);
  bottom->addWidget(close);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(surfaces);
  layout->addWidget(message_);
  layout->addWidget(table_, 1);
  layout->addLayout(mapping);
  layout->addLayout(bottom);
  for (QPushButton* button : {learn_, clear_, rescan_, help_, close}) button->setAutoDefault(false);

  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(help_, &QPushButton::clicked, this, [this] {
    if (services_.openHelp) services_.openHelp(kHelpControls);
  });
  connect(table_, &QTableWidget::itemSelectionChanged, this, [this] { ShowSelected(); });
  connect(learn_, &QPushButton::clicked, this, [this] { ToggleLearn(); });
  connect(clear_, &QPushButton::clicked, this, [this] {
    const std::optional<ControlAddress> selected = Selected();
    if (!selected) return;
    midi_.Clear(*selected);
    FillMidiColumn();
    ShowSelected();
    Keep();
  });
  connect(buttonMode_, &QComboBox::currentIndexChanged, this, [this](int index) {
    EditMapping([index](MidiMapping& m) { m.buttonMode = index == 1 ? MidiButtonMode::kToggle : MidiButtonMode::kMomentary; });
  });
  connect(low_, &QSpinBox::valueChanged, this, [this](int value) { EditMapping([value](MidiMapping& m) { m.low = value; }); });
  connect(high_, &QSpinBox::valueChanged, this,
          [this](int value) { EditMapping([value](MidiMapping& m) { m.high = value; }); });
  connect(inverted_, &QCheckBox::toggled, this, [this](bool on) { EditMapping([on](MidiMapping& m) { m.inverted = on; }); });
  connect(softTakeover_, &QCheckBox::toggled, this,
          [this](bool on) { EditMapping([on](MidiMapping& m) { m.softTakeover = on; }); });
  connect(midiOn_, &QCheckBox::toggled, this, [this] { ApplyMidi(); });
  connect(inputPort_, &QComboBox::currentIndexChanged, this, [this] { ApplyMidi(); });
  connect(outputPort_, &QComboBox::currentIndexChanged, this, [this] { ApplyMidi(); });
  connect(rescan_, &QPushButton::clicked, this, [this] { FillPorts(); });
  connect(oscOn_, &QCheckBox::toggled, this, [this] { ApplyOsc(); });
  connect(port_, &QSpinBox::valueChanged, this, [this] { ApplyOsc(); });
  connect(feedbackPort_, &QSpinBox::valueChanged, this, [this] { ApplyOsc(); });
  connect(listen_, &QLineEdit::editingFinished, this, [this] { ApplyOsc(); });
  connect(feedbackHost_, &QLineEdit::editingFinished, this, [this] { ApplyOsc(); });

  poll_.setInterval(kControlsPollMs);
  connect(&poll_, &QTimer::timeout, this, [this] { Poll(); });
  if (owner != nullptr) move(owner->frameGeometry().center() - QPoint(width() / 2, height() / 2));
  Refresh();
}

ControlsWindow::~ControlsWindow() {
  if (learning_) midi_.CancelLearn();
}

void ControlsWindow::Refresh() {
  BuildRows();
  FillSettings();
  FillPorts();
  FillMidiColumn();
  ShowSelected();
}

void ControlsWindow::BuildRows() {
  const std::optional<ControlAddress> selected = Selected();
  // The short addresses OSC also takes, per control.
  std::map<std::pair<int, int>, QString> aliases;
  for (const auto& [address, control] : OscPatternSpace(engine_)) {
    if (address != "/quor/" + ControlName(control)) {
      aliases[{static_cast<int>(control.id), control.instance}] = QString::fromStdString(address);
    }
  }
  rows_.clear();
  instanceCounts_.clear();
  for (const ControlSpec& kind : ControlSpecs()) {
    const int instances = engine_.ControlInstances(kind.id);
    instanceCounts_.push_back(instances);
    for (int n = 0; n < instances; ++n) rows_.push_back({{kind.id, n}});
  }
  table_->setUpdatesEnabled(false);
  table_->setRowCount(static_cast<int>(rows_.size()));
  for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
    Row& row = rows_[static_cast<size_t>(r)];
    row.count = activity_.Count(row.address);
    const std::string name = ControlName(row.address);
    QString osc = QStringLiteral("/quor/") + QString::fromStdString(name);
    const auto alias = aliases.find({static_cast<int>(row.address.id), row.address.instance});
    if (alias != aliases.end()) osc += QStringLiteral(", ") + alias->second;
    if (row.address.id == ControlId::kSceneRecall) osc += QStringLiteral(", /quor/scene/%1").arg(row.address.instance + 1);
    table_->setItem(r, kLightColumn, Cell(QString()));
    table_->setItem(r, kNameColumn, Cell(QString::fromStdString(name)));
    table_->setItem(r, kOscColumn, Cell(osc));
    table_->setItem(r, kMidiColumn, Cell(QString()));
  }
  table_->setUpdatesEnabled(true);
  if (selected) {
    const int r = RowOf(*selected);
    if (r >= 0) table_->selectRow(r);
  }
}

int ControlsWindow::RowOf(const ControlAddress& address) const {
  for (size_t r = 0; r < rows_.size(); ++r) {
    if (rows_[r].address == address) return static_cast<int>(r);
  }
  return -1;
}

void ControlsWindow::FillMidiColumn() {
  mappingsVersion_ = midi_.MappingsVersion();
  learning_ = midi_.Learning();
  std::map<std::pair<int, int>, QString> texts;
  for (const MidiMapping& mapping : midi_.Settings().mappings) {
    QString& text = texts[{static_cast<int>(mapping.control.id), mapping.control.instance}];
    if (!text.isEmpty()) text += QStringLiteral(", ");
    text += QString::fromStdString(MidiSourceText(mapping.source));
  }
  for (size_t r = 0; r < rows_.size(); ++r) {
    const ControlAddress& address = rows_[r].address;
    const auto found = texts.find({static_cast<int>(address.id), address.instance});
    QString text = found == texts.end() ? QString() : found->second;
    if (learning_ && *learning_ == address) text = QStringLiteral("Learning…");
    QTableWidgetItem* item = table_->item(static_cast<int>(r), kMidiColumn);
    if (item->text() != text) item->setText(text);
  }
  learn_->setText(learning_ ? QStringLiteral("Cancel") : QStringLiteral("Learn"));
}

void ControlsWindow::FillSettings() {
  filling_ = true;
  const OscSettings& osc = engine_.oscSettings();
  oscOn_->setChecked(osc.enabled);
  listen_->setText(osc.listenAddress == std::array<uint8_t, 4>{} ? QString() : Dotted(osc.listenAddress));
  port_->setValue(osc.port);
  feedbackHost_->setText(osc.feedback ? Dotted(osc.feedback->address) : QString());
  feedbackPort_->setValue(osc.feedback ? osc.feedback->port : kDefaultFeedbackPort);
  midiOn_->setChecked(midi_.Settings().enabled);
  filling_ = false;
}

void ControlsWindow::FillPorts() {
  filling_ = true;
  const MidiPortList ports = midi_.Ports();
  const MidiSettings settings = midi_.Settings();
  FillPortList(inputPort_, ports.inputs, settings.inputPort);
  FillPortList(outputPort_, ports.outputs, settings.outputPort);
  filling_ = false;
}

std::optional<ControlAddress> ControlsWindow::Selected() const {
  const QList<QTableWidgetItem*> items = table_->selectedItems();
  if (items.isEmpty()) return std::nullopt;
  const int r = items.front()->row();
  if (r < 0 || r >= static_cast<int>(rows_.size())) return std::nullopt;
  return rows_[static_cast<size_t>(r)].address;
}

void ControlsWindow::ShowSelected() {
  const std::optional<ControlAddress> selected = Selected();
  std::optional<MidiMapping> mapping;
  if (selected) {
    for (const MidiMapping& m : midi_.Settings().mappings) {
      if (m.control == *selected) mapping = m;
    }
  }
  learn_->setEnabled(selected.has_value());
  clear_->setEnabled(mapping.has_value());
  const ControlType kind = selected ? SpecOf(selected->id).kind : ControlType::kButton;
  const bool fader = mapping && kind == ControlType::kFader;
  buttonMode_->setEnabled(mapping && kind == ControlType::kToggle);
  for (QWidget* widget : std::initializer_list<QWidget*>{low_, high_, inverted_, softTakeover_}) widget->setEnabled(fader);
  filling_ = true;
  if (selected) {
    const ControlSpec& range = SpecOf(selected->id);
    low_->setRange(range.min, range.max);
    high_->setRange(range.min, range.max);
  }
  if (mapping) {
    buttonMode_->setCurrentIndex(mapping->buttonMode == MidiButtonMode::kToggle ? 1 : 0);
    low_->setValue(mapping->low);
    high_->setValue(mapping->high);
    inverted_->setChecked(mapping->inverted);
    softTakeover_->setChecked(mapping->softTakeover);
  }
  filling_ = false;
}

void ControlsWindow::EditMapping(const std::function<void(MidiMapping&)>& edit) {
  if (filling_) return;
  const std::optional<ControlAddress> selected = Selected();
  if (!selected) return;
  MidiSettings settings = midi_.Settings();
  bool changed = false;
  for (MidiMapping& mapping : settings.mappings) {
    if (mapping.control == *selected) edit(mapping), changed = true;
  }
  if (!changed) return;
  midi_.Apply(settings);
  mappingsVersion_ = midi_.MappingsVersion();  // this change is kept here, not by the poll
  Keep();
}

void ControlsWindow::ApplyMidi() {
  if (filling_) return;
  MidiSettings settings = midi_.Settings();
  settings.enabled = midiOn_->isChecked();
  settings.inputPort = inputPort_->currentData().toString().toStdString();
  settings.outputPort = outputPort_->currentData().toString().toStdString();
  midi_.Apply(settings);
  mappingsVersion_ = midi_.MappingsVersion();
  Keep();
}

void ControlsWindow::ApplyOsc() {
  if (filling_) return;
  OscSettings settings = engine_.oscSettings();
  settings.enabled = oscOn_->isChecked();
  settings.port = port_->value();
  const QString listen = listen_->text().trimmed();
  const std::optional<Ipv4Endpoint> local =
      listen.isEmpty() ? Ipv4Endpoint{{0, 0, 0, 0}, 0} : Ipv4Endpoint::Parse(listen.toStdString(), 0);
  if (!local) {
    Say(QStringLiteral("\"%1\" is no IPv4 address: type one like 192.168.1.5, or leave the field empty to listen "
                       "on every interface.").arg(listen));
    return;
  }
  settings.listenAddress = local->address;
  const QString host = feedbackHost_->text().trimmed();
  if (host.isEmpty()) {
    settings.feedback.reset();
  } else {
    settings.feedback = Ipv4Endpoint::Parse(host.toStdString(), static_cast<uint16_t>(feedbackPort_->value()));
    if (!settings.feedback) {
      Say(QStringLiteral("\"%1\" is no IPv4 address: type the feedback host like 192.168.1.20, or leave the field "
                         "empty for no feedback.").arg(host));
      return;
    }
  }
  // Same settings: nothing to reopen (leaving a field unchanged ends its edit too).
  const OscSettings& now = engine_.oscSettings();
  if (settings.enabled == now.enabled && settings.port == now.port && settings.listenAddress == now.listenAddress &&
      settings.feedback == now.feedback && (engine_.osc().IsOpen() || !settings.enabled)) {
    return;
  }
  Say(QString());
  if (!ApplyOscSettings(engine_, settings)) {
    Say(QStringLiteral("OSC cannot listen on %1 port %2: another program may use the port, or the address is not "
                       "one of this computer's. Choose another port or address.")
            .arg(Dotted(settings.listenAddress))
            .arg(settings.port));
  }
  Keep();
}

void ControlsWindow::ToggleLearn() {
  if (midi_.Learning()) {
    midi_.CancelLearn();
  } else if (const std::optional<ControlAddress> selected = Selected()) {
    // The side file keeps no more than this many: one more would make the
    // whole kept section unreadable at the next start.
    if (midi_.Settings().mappings.size() >= static_cast<size_t>(kMaxMidiMappings)) {
      Say(QStringLiteral("Quor keeps at most %1 MIDI mappings: clear one before you learn another.")
              .arg(kMaxMidiMappings));
      return;
    }
    // The input hears nothing while MIDI is off: a learn turns it on.
    if (!midiOn_->isChecked()) midiOn_->setChecked(true);
    midi_.Learn(*selected);
  }
  FillMidiColumn();
}

void ControlsWindow::Keep() {
  const std::string path = services_.settingsPath ? services_.settingsPath() : std::string();
  if (path.empty()) return;
  if (const std::optional<Failure> failed = WriteControlSettings(path, CurrentControlSettings(engine_))) {
    Say(QStringLiteral("Cannot keep the control settings in %1: %2. They are used until Quor ends; check that the "
                       "folder can be written.")
            .arg(QString::fromStdString(path), QString::fromStdString(failed->message)));
  } else if (problem_.startsWith(QStringLiteral("Cannot keep")) ||
             problem_.startsWith(QStringLiteral("The control surface settings"))) {
    Say(QString());  // kept now: the file holds sound settings again
  }
}

void ControlsWindow::Say(const QString& text) {
  problem_ = text;
  message_->setText(text);
  message_->setVisible(!text.isEmpty());
}

QString ControlsWindow::message() const { return problem_; }

bool ControlsWindow::LightOn(int row) const {
  return row >= 0 && row < static_cast<int>(rows_.size()) && rows_[static_cast<size_t>(row)].lit;
}

void ControlsWindow::Poll() {
  // Scenes or chases added or removed since the rows were built.
  size_t i = 0;
  for (const ControlSpec& kind : ControlSpecs()) {
    if (i >= instanceCounts_.size() || engine_.ControlInstances(kind.id) != instanceCounts_[i]) {
      BuildRows();
      FillMidiColumn();
      break;
    }
    ++i;
  }
  if (midi_.MappingsVersion() != mappingsVersion_ || midi_.Learning() != learning_) {
    const bool learned = midi_.MappingsVersion() != mappingsVersion_;
    FillMidiColumn();
    ShowSelected();
    if (learned) Keep();
  }
  const auto now = std::chrono::steady_clock::now();
  for (size_t r = 0; r < rows_.size(); ++r) {
    Row& row = rows_[r];
    const uint64_t count = activity_.Count(row.address);
    if (count != row.count) row.count = count, row.litUntil = now + kActivityLightTime;
    const bool lit = now < row.litUntil;
    if (lit == row.lit) continue;
    row.lit = lit;
    table_->item(static_cast<int>(r), kLightColumn)->setBackground(lit ? QBrush(kLightOn) : QBrush());
  }
}

void ControlsWindow::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  Refresh();
  // Settings of the side file that cannot be used: say so; nothing changes.
  const std::string path = services_.settingsPath ? services_.settingsPath() : std::string();
  if (!path.empty()) {
    const ControlSettingsRead read = ReadControlSettings(path);
    if (!read.problem.empty()) Say(QString::fromStdString(read.problem));
  }
  for (Row& row : rows_) row.count = activity_.Count(row.address);
  poll_.start();
}

void ControlsWindow::hideEvent(QHideEvent* event) {
  poll_.stop();
  if (midi_.Learning()) midi_.CancelLearn();
  QDialog::hideEvent(event);
}

void ControlsWindow::keyPressEvent(QKeyEvent* event) {
  // Escape ends a learn first; the window closes with the next one.
  if (event->key() == Qt::Key_Escape && midi_.Learning()) {
    midi_.CancelLearn();
    FillMidiColumn();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace quor
