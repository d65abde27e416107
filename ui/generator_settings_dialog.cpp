#include "ui/generator_settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <array>

#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "ui/audio_trigger_setup_dialog.h"
#include "ui/display_field.h"
#include "ui/fixed_layout.h"
#include "ui/modal_commands.h"
#include "ui/selection_slider.h"

namespace quor {
namespace {

constexpr int kCaptionUnits = 44;     // caption left of a trackbar or list
constexpr int kLoadButtonUnits = 40;  // "Load" right of the file name
constexpr int kWatchMs = 100;         // how often the slot's type is checked

QString Text(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr size_t kColorFramePart = 5;

// A file chooser filter as Qt's file dialogs read it: the table writes the
// patterns of one filter the classic way, "Images (*.gif;*.png)", but Qt
// separates them by spaces ("Images (*.gif *.png)") and takes ";;" only
// between filters, so semicolons inside the parentheses become spaces.
QString QtNameFilter(std::string_view filter) {
  QString text = Text(filter);
  int depth = 0;
  for (QChar& c : text) {
    if (c == QLatin1Char('(')) ++depth;
    if (c == QLatin1Char(')') && depth > 0) --depth;
    if (c == QLatin1Char(';') && depth > 0) c = QLatin1Char(' ');
  }
  return text;
}

}  // namespace

SettingsDialogServices DefaultSettingsDialogServices(std::function<void(int topic)> openHelp) {
  SettingsDialogServices services;
  services.openHelp = std::move(openHelp);
  services.chooseFile = [](QWidget* parent, const QString& title, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
  };
  services.chooseFolder = [](QWidget* parent, const QString& title) {
    return QFileDialog::getExistingDirectory(parent, title);
  };
  services.showError = [](QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QStringLiteral("Error"), text);
  };
  return services;
}

// The widgets of one control and what the generator showed last.
struct GeneratorSettingsDialog::View {
  const DialogControl* control = nullptr;
  std::array<QWidget*, 6> parts{};
  QLabel* caption = nullptr;
  // Read from the generator by Refresh.
  int position = 0;
  PositionRange accepted;
  std::array<int, 3> color{};
  int autoColorMode = 0;
  std::string text;
  bool enabled = true;
};

GeneratorSettingsDialog::GeneratorSettingsDialog(Engine& engine, int slot, const SettingsDialogTable& dialogTable,
                                                 SettingsDialogPosition& position, SettingsDialogServices services,
                                                 QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      slot_(slot),
      table_(dialogTable),
      position_(position),
      services_(std::move(services)),
      units_(*this) {
  setWindowTitle(Text(table_.title));
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(units_.X(table_.width), units_.Y(table_.height));
  Build();
  Refresh();
  // A scene recall or a remote command may rebind the slot while the
  // dialog is open: another type closes the dialog; the same type with
  // other settings shows them.
  connect(&watch_, &QTimer::timeout, this, [this] { Refresh(); });
  watch_.start(kWatchMs);
}

GeneratorSettingsDialog::~GeneratorSettingsDialog() = default;

void GeneratorSettingsDialog::Build() {
  for (const DialogControl& control : table_.controls) {
    auto view = std::make_unique<View>();
    view->control = &control;
    BuildControl(*view);
    views_.push_back(std::move(view));
  }
}

void GeneratorSettingsDialog::BuildControl(View& view) {
  const DialogControl& c = *view.control;
  const ControlRect& r = c.rect;
  const QRect whole = units_.Rect(r.x, r.y, r.width, r.height);
  // A caption on the left, the control in the rest of the row.
  auto captioned = [&](int captionUnits) {
    if (c.text.empty()) return whole;
    view.caption = new QLabel(Text(c.text), this);
    view.caption->setGeometry(units_.Rect(r.x, r.y, captionUnits, r.height));
    FitLabel(view.caption, view.caption->text());
    return units_.Rect(r.x + captionUnits, r.y, r.width - captionUnits, r.height);
  };
  auto slider = [&](QRect geometry, PositionRange range, auto moved) {
    // It marks the positions it accepts now on its groove (the rest of the
    // range springs back when chosen).
    auto* s = new SelectionSlider(this);
    s->setGeometry(geometry);
    s->setRange(range.first, range.last);
    s->setPageStep(std::max(1, (range.last - range.first) / 10));
    connect(s, &QSlider::valueChanged, this, moved);
    return s;
  };
  switch (c.kind) {
    case ControlKind::kGroupBox: {
      auto* box = new QGroupBox(Text(c.text), this);
      box->setGeometry(whole);
      box->lower();  // behind the controls it frames
      view.parts[0] = box;
      break;
    }
    case ControlKind::kLabel: {
      auto* label = new QLabel(Text(c.text), this);
      label->setGeometry(whole);
      view.parts[0] = label;
      break;
    }
    case ControlKind::kSlider:
      view.parts[0] = slider(captioned(kCaptionUnits), ControlRange(c), [this, &c](int position) {
        Edit([&](Generator& g) { ApplyControlPosition(c, g, position); });
      });
      break;
    case ControlKind::kCheckBox: {
      auto* box = new QCheckBox(Text(c.text), this);
      box->setGeometry(whole);
      // A narrow fixed box takes a smaller font rather than cutting its text.
      const int indicator = box->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, box) +
                            box->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, box);
      QFont font = box->font();
      while (indicator + QFontMetrics(font).horizontalAdvance(box->text()) > whole.width() && font.pointSizeF() > 6.0) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
      }
      box->setFont(font);
      connect(box, &QCheckBox::toggled, this, [this, &c](bool checked) {
        Edit([&](Generator& g) { ApplyControlPosition(c, g, checked ? 1 : 0); });
      });
      view.parts[0] = box;
      break;
    }
    case ControlKind::kDropDown:
    case ControlKind::kTextDropDown: {
      auto* list = new QComboBox(this);
      list->setGeometry(captioned(kCaptionUnits + 16));
      for (std::string_view item : c.items) list->addItem(Text(item));
      connect(list, &QComboBox::currentIndexChanged, this, [this, &c](int index) {
        if (index >= 0) Edit([&](Generator& g) { ApplyControlPosition(c, g, index); });
      });
      view.parts[0] = list;
      break;
    }
    case ControlKind::kColorGroup: {
      int top = r.y;
      if (!c.text.empty()) {
        auto* box = new QGroupBox(Text(c.text), this);
        box->setGeometry(whole);
        box->lower();
        view.parts[kColorFramePart] = box;
        top += 10;
      } else {
        top += 2;
      }
      const std::string_view names[] = {kRedText, kGreenText, kBlueText};
      for (int channel = 0; channel < 3; ++channel) {
        auto* caption = new QLabel(Text(names[channel]), this);
        caption->setGeometry(units_.Rect(r.x + 5, top, 30, 14));
        view.parts[static_cast<size_t>(channel)] =
            slider(units_.Rect(r.x + 36, top, r.width - 41, 14), {0, 255}, [this, &c, channel](int value) {
              Edit([&](Generator& g) { ApplyColorChannel(c, g, static_cast<ColorChannel>(channel), value); });
            });
        top += 16;
      }
      if (c.color.getMode != nullptr) {
        const AutoColorBox boxes[] = {AutoColorBox::kAutoColor, AutoColorBox::kAutoColorSync};
        const std::string_view texts[] = {kAutoColorText, kAutoColorSyncText};
        for (int i = 0; i < 2; ++i) {
          auto* box = new QCheckBox(Text(texts[i]), this);
          box->setGeometry(units_.Rect(r.x + 5, top, r.width - 10, 12));
          connect(box, &QCheckBox::toggled, this, [this, &c, which = boxes[i]](bool checked) {
            Edit([&](Generator& g) { ApplyAutoColorBox(c, g, which, checked); });
          });
          view.parts[static_cast<size_t>(3 + i)] = box;
          top += 12;
        }
      }
      break;
    }
    case ControlKind::kTextBox: {
      auto* edit = new QLineEdit(this);
      edit->setGeometry(whole);
      edit->setMaxLength(c.maxLength);
      connect(edit, &QLineEdit::textEdited, this, [this, &c](const QString& text) {
        const std::string bytes = text.toLatin1().toStdString();
        Edit([&](Generator& g) { ApplyControlText(c, g, bytes); });
      });
      view.parts[0] = edit;
      break;
    }
    case ControlKind::kAudioTriggerButton:
    case ControlKind::kPushButton: {
      auto* button = new QPushButton(Text(c.text), this);
      button->setGeometry(whole);
      button->setAutoDefault(false);
      if (c.kind == ControlKind::kAudioTriggerButton) {
        connect(button, &QPushButton::clicked, this, [this, &c] { OpenTriggerSetup(c); });
      } else if (c.closes) {
        button->setDefault(true);
        connect(button, &QPushButton::clicked, this, &QDialog::accept);
      }
      view.parts[0] = button;
      break;
    }
    case ControlKind::kFileChooser: {
      auto* name = new QLineEdit(this);
      MakeDisplayOnly(name);
      name->setGeometry(units_.Rect(r.x, r.y, r.width - kLoadButtonUnits - 4, r.height));
      auto* load = new QPushButton(Text(c.text), this);
      load->setAutoDefault(false);
      load->setGeometry(units_.Rect(r.x + r.width - kLoadButtonUnits, r.y, kLoadButtonUnits, r.height));
      connect(load, &QPushButton::clicked, this, [this, &c] { LoadFile(c); });
      view.parts[0] = name;
      view.parts[1] = load;
      break;
    }
  }
}

QWidget* GeneratorSettingsDialog::Widget(int controlId, int part) const {
  if (part < 0 || part >= static_cast<int>(kColorFramePart) + 1) return nullptr;
  for (const auto& view : views_) {
    if (view->control->id == controlId) return view->parts[static_cast<size_t>(part)];
  }
  return nullptr;
}

bool GeneratorSettingsDialog::StillBound() {
  if (engine_.BoundType(slot_) == table_.typeId) return true;
  if (!closing_) {
    closing_ = true;
    watch_.stop();
    // Closed from the event loop, never from inside a signal of one of the
    // dialog's own widgets.
    QTimer::singleShot(0, this, [this] { reject(); });
  }
  return false;
}

bool GeneratorSettingsDialog::Edit(const std::function<void(Generator&)>& edit) {
  if (closing_ || !StillBound()) return false;
  engine_.EditGenerator(slot_, edit);
  Refresh();
  return true;
}

void GeneratorSettingsDialog::Refresh() {
  if (!StillBound()) return;
  const int width = engine_.width();
  const int height = engine_.height();
  engine_.EditGenerator(slot_, [&](Generator& g) {
    for (auto& view : views_) {
      const DialogControl& c = *view->control;
      view->enabled = ControlEnabled(table_, c, g, width, height);
      switch (c.kind) {
        case ControlKind::kColorGroup:
          for (int channel = 0; channel < 3; ++channel) {
            view->color[static_cast<size_t>(channel)] = ReadColorChannel(c, g, static_cast<ColorChannel>(channel));
          }
          view->autoColorMode = c.color.getMode != nullptr ? c.color.getMode(g) : 0;
          break;
        case ControlKind::kTextBox:
        case ControlKind::kFileChooser:
          view->text = ReadControlText(c, g);
          break;
        case ControlKind::kLabel:
          view->text = c.label != nullptr ? c.label(g, width, height) : std::string(c.text);
          break;
        default:
          view->position = ReadControlPosition(c, g, width, height);
          view->accepted = AcceptedPositions(c, g);
          if (c.kind == ControlKind::kCheckBox && c.label != nullptr) view->text = c.label(g, width, height);
          break;
      }
    }
  });
  // The widgets show what the generator holds, without echoing it back.
  for (auto& view : views_) {
    const DialogControl& c = *view->control;
    for (QWidget* part : view->parts) {
      if (part == nullptr) continue;
      const QSignalBlocker blocker(part);
      part->setEnabled(view->enabled);
      if (auto* s = qobject_cast<QSlider*>(part); s != nullptr && c.kind == ControlKind::kSlider) {
        s->setValue(view->position);
        if (c.accepts != nullptr) static_cast<SelectionSlider*>(s)->SetSelection(view->accepted.first, view->accepted.last);
      } else if (auto* list = qobject_cast<QComboBox*>(part)) {
        // A list whose choices depend on the generator offers just those.
        const int count = c.accepts != nullptr ? std::max(0, view->accepted.last + 1) : list->count();
        while (list->count() > count) list->removeItem(list->count() - 1);
        while (list->count() < count && list->count() < static_cast<int>(c.items.size())) {
          list->addItem(Text(c.items[static_cast<size_t>(list->count())]));
        }
        list->setCurrentIndex(view->position);
      } else if (auto* edit = qobject_cast<QLineEdit*>(part)) {
        // Paths are in the system's encoding, typed texts one byte a character.
        const QString text = c.kind == ControlKind::kFileChooser ? QString::fromLocal8Bit(view->text.c_str())
                                                                 : QString::fromLatin1(view->text.c_str());
        if (edit->text() != text) edit->setText(text);
      } else if (auto* label = qobject_cast<QLabel*>(part)) {
        label->setText(QString::fromLatin1(view->text.c_str()));
      }
    }
    if (view->caption != nullptr) view->caption->setEnabled(view->enabled);
    if (c.kind == ControlKind::kCheckBox) {
      const QSignalBlocker blocker(view->parts[0]);
      auto* box = static_cast<QCheckBox*>(view->parts[0]);
      box->setChecked(view->position != 0);
      if (c.label != nullptr) box->setText(QString::fromLatin1(view->text.c_str()));
    } else if (c.kind == ControlKind::kColorGroup) {
      for (size_t i = 0; i < 3; ++i) {
        const QSignalBlocker blocker(view->parts[i]);
        static_cast<QSlider*>(view->parts[i])->setValue(view->color[i]);
      }
      const AutoColorBox boxes[] = {AutoColorBox::kAutoColor, AutoColorBox::kAutoColorSync};
      for (size_t i = 0; i < 2; ++i) {
        if (auto* box = static_cast<QCheckBox*>(view->parts[3 + i])) {
          const QSignalBlocker blocker(box);
          box->setChecked(AutoColorBoxChecked(view->autoColorMode, boxes[i]));
        }
      }
    }
  }
}

void GeneratorSettingsDialog::OpenTriggerSetup(const DialogControl& control) {
  if (!StillBound()) return;
  AudioTriggerSetupDialog setup(engine_, slot_, table_.typeId, control.trigger, services_.openHelp, this);
  if (services_.runModal) {
    services_.runModal(setup);
  } else {
    setup.exec();
  }
  Refresh();
}

void GeneratorSettingsDialog::LoadFile(const DialogControl& control) {
  if (!StillBound()) return;
  bool folder = false;
  if (control.choosesFolder != nullptr) {
    engine_.EditGenerator(slot_, [&](Generator& g) { folder = control.choosesFolder(g); });
  }
  QString path;
  if (folder) {
    if (services_.chooseFolder) path = services_.chooseFolder(this, Text(control.folderTitle));
  } else if (services_.chooseFile) {
    path = services_.chooseFile(this, QStringLiteral("Open"), QtNameFilter(control.filter));
  }
  if (path.isEmpty()) return;
  const std::string bytes = path.toLocal8Bit().toStdString();
  // Examined outside the generator's lock: the slot keeps rendering meanwhile.
  std::string message = control.check != nullptr ? control.check(bytes, folder) : std::string();
  if (message.empty() && !Edit([&](Generator& g) { message = control.load(g, bytes); })) return;
  if (!message.empty() && services_.showError) services_.showError(this, QString::fromLocal8Bit(message.c_str()));
  Refresh();
}

void GeneratorSettingsDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_F1 && services_.openHelp) {
    services_.openHelp(table_.helpTopic);
    return;
  }
  QDialog::keyPressEvent(event);  // Escape ends the dialog
}

void GeneratorSettingsDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (placed_) return;
  placed_ = true;
  // Centred over the parent (or the screen) the first time; where the last
  // generator dialog was every time after.
  const QWidget* over = parentWidget() != nullptr ? parentWidget()->window() : nullptr;
  const QRect area = over != nullptr ? over->frameGeometry() : screen()->availableGeometry();
  const QPoint centred = area.center() - QPoint(frameGeometry().width() / 2, frameGeometry().height() / 2);
  const SettingsDialogPosition place = PlaceSettingsDialog(position_, {centred.x(), centred.y()});
  move(place.x, place.y);
}

void GeneratorSettingsDialog::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  if (placed_ && isVisible()) position_ = {pos().x(), pos().y()};
}

void RegisterGeneratorSettingsDialogs(ModalCommands& modal, Engine& engine, SettingsDialogServices services) {
  auto position = std::make_shared<SettingsDialogPosition>();
  for (const SettingsDialogTable* dialogTable : BuiltinSettingsDialogs()) {
    modal.RegisterGeneratorDialog(dialogTable->typeId, [&engine, dialogTable, position, services](QWidget* parent, int slot) {
      GeneratorSettingsDialog dialog(engine, slot, *dialogTable, *position, services, parent);
      dialog.exec();
    });
  }
}

}  // namespace quor
