#include "ui/chase_editor_dialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QTreeWidget>
#include <algorithm>
#include <cassert>

#include "engine/engine.h"
#include "ui/dialog_units.h"
#include "ui/window_lock.h"

namespace quor {

namespace {

constexpr int kMaxChaseName = 253;

template <typename T>
T* At(T* widget, const DialogUnits& units, int x, int y, int w, int h) {
  widget->setGeometry(units.Rect(x, y, w, h));
  return widget;
}

}  // namespace

ChaseEditorDialog::ChaseEditorDialog(Engine& engine, int chase, std::optional<QPoint>& position, QWidget* owner,
                                     std::vector<QWidget*> guarded)
    : QDialog(owner), engine_(engine), position_(position) {
  // The chase window opens the model first; the dialog only shows it.
  assert(engine_.show().editor().IsOpen() && engine_.show().editor().chaseIndex() == chase);
  (void)chase;
  setWindowTitle(QStringLiteral("Edit Chase"));
  setModal(false);
  setAttribute(Qt::WA_DeleteOnClose);
  setProperty("quorHelpId", kHelpChaseEditor);
  Build();
  lock_ = std::make_unique<WindowLock>(this, guarded);
  Place();
  Refresh();
}

ChaseEditorDialog::~ChaseEditorDialog() { Finish(true); }

void ChaseEditorDialog::Build() {
  const DialogUnits u(font());
  setFixedSize(u.X(303), u.Y(292));
  ChaseEditor& model = engine_.show().editor();
  auto group = [this, &u](const char* text, int x, int y, int w, int h) {
    At(new QGroupBox(QString::fromLatin1(text), this), u, x, y, w, h)->lower();
  };
  auto label = [this, &u](const char* text, int x, int y, int w, int h) {
    return At(new QLabel(QString::fromLatin1(text), this), u, x, y, w, h);
  };
  auto slider = [this, &u](int y) {
    auto* s = At(new QSlider(Qt::Horizontal, this), u, 156, y, 95, 16);
    return s;
  };

  steps_ = At(new QTreeWidget(this), u, 7, 7, 140, 222);
  steps_->setColumnCount(2);
  steps_->setHeaderLabels({QStringLiteral("Step"), QStringLiteral("Time")});
  steps_->setColumnWidth(0, 150);
  steps_->setColumnWidth(1, 50);
  steps_->setRootIsDecorated(false);
  steps_->setSelectionMode(QAbstractItemView::SingleSelection);
  steps_->setSelectionBehavior(QAbstractItemView::SelectRows);
  group("Name", 155, 7, 140, 32);
  name_ = At(new QLineEdit(this), u, 161, 19, 127, 12);
  name_->setMaxLength(kMaxChaseName);
  group("Options", 155, 42, 140, 32);
  loop_ = At(new QCheckBox(QStringLiteral(" Infinite Loop for Chase"), this), u, 161, 56, 89 + 40, 8 + 4);
  auto* insert = At(new QPushButton(QStringLiteral("Insert New Step"), this), u, 161, 79, 127, 14);
  group("Step Type", 155, 97, 140, 167);
  type_ = At(new QComboBox(this), u, 161, 109, 127, 12);
  type_->addItems({QStringLiteral("Scene"), QStringLiteral("Masterstrobe"), QStringLiteral("Crossfade")});
  durationLabel_ = label("Duration (in seconds)", 161, 133, 90, 8);
  duration_ = At(new QLineEdit(this), u, 258, 131, 30, 12);
  duration_->setToolTip(QStringLiteral("Seconds (\"2.5\"), or beats of the tempo in use (\"2 beats\", \"1/2 beat\")"));
  sceneLabel_ = label("Scene", 162, 153, 22, 8);
  scene_ = At(new QComboBox(this), u, 161, 163, 127, 12);
  for (const std::string& name : engine_.show().scenes().Names()) scene_->addItem(QString::fromStdString(name));
  sceneFade_ = slider(183);
  sceneFade_->setRange(0, 27);
  sceneFadeLabel_ = label("Scenefade", 253, 187, 40, 8);
  strobe_ = slider(203);
  strobe_->setRange(0, 255);
  strobeLabel_ = label("Strobe", 253, 207, 40, 8);
  crossfade_ = slider(223);
  crossfade_->setRange(0, 255);
  crossfade_->setValue(128);
  crossfadeLabel_ = label("Crossfade", 253, 227, 40, 8);
  autofade_ = At(new QCheckBox(QStringLiteral(" Enable Autofade"), this), u, 161, 247, 71 + 30, 8 + 4);
  group("Manage Steps", 7, 232, 140, 32);
  auto* up = At(new QPushButton(QStringLiteral("Up"), this), u, 13, 244, 37, 14);
  auto* down = At(new QPushButton(QStringLiteral("Down"), this), u, 58, 244, 37, 14);
  auto* remove = At(new QPushButton(QStringLiteral("Delete"), this), u, 102, 244, 37, 14);
  auto* close = At(new QPushButton(QStringLiteral("Close"), this), u, 248, 271, 47, 14);
  buttons_ = {insert, up, down, remove, close};
  for (QPushButton* b : buttons_) b->setAutoDefault(false);
  close->setDefault(true);

  connect(steps_, &QTreeWidget::itemSelectionChanged, this, [this, &model] {
    const QList<QTreeWidgetItem*> selected = steps_->selectedItems();
    Run([&] {
      if (selected.isEmpty()) {
        model.ClearSelection();
      } else {
        model.SelectRow(steps_->indexOfTopLevelItem(selected.first()));
      }
    });
  });
  // The new step takes its duration from the box (the model keeps its text).
  connect(insert, &QPushButton::clicked, this, [this, &model] {
    if (const std::optional<std::string> full = model.InsertRefusal()) {
      QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(*full));
      return;
    }
    Run([&] { model.InsertStep(); });
  });
  connect(up, &QPushButton::clicked, this, [this, &model] { Run([&] { model.MoveUp(); }); });
  connect(down, &QPushButton::clicked, this, [this, &model] { Run([&] { model.MoveDown(); }); });
  connect(remove, &QPushButton::clicked, this, [this, &model] { Run([&] { model.DeleteStep(); }); });
  connect(close, &QPushButton::clicked, this, &QDialog::close);
  connect(name_, &QLineEdit::textEdited, this, [&model](const QString& text) { model.SetName(text.toStdString()); });
  connect(loop_, &QCheckBox::toggled, this, [&model](bool on) { model.SetLoop(on); });
  connect(type_, &QComboBox::currentIndexChanged, this, [this, &model](int kind) { Run([&] { model.SetType(kind); }); });
  // Typing changes the duration at once; leaving the box shows the rows.
  connect(duration_, &QLineEdit::textEdited, this,
          [&model](const QString& text) { model.SetDurationText(text.toStdString()); });
  connect(duration_, &QLineEdit::editingFinished, this, [this] { Refresh(); });
  connect(scene_, &QComboBox::currentIndexChanged, this, [this, &model](int index) { Run([&] { model.SetScene(index); }); });
  connect(sceneFade_, &QSlider::valueChanged, this, [this, &model](int v) { Run([&] { model.SetSceneFade(v); }); });
  connect(strobe_, &QSlider::valueChanged, this, [this, &model](int v) { Run([&] { model.SetStrobe(v); }); });
  connect(crossfade_, &QSlider::valueChanged, this, [this, &model](int v) { Run([&] { model.SetCrossfade(v); }); });
  connect(autofade_, &QCheckBox::toggled, this, [this, &model](bool on) { Run([&] { model.SetAutofade(on); }); });
}

QPushButton* ChaseEditorDialog::button(const QString& text) const {
  for (QPushButton* b : buttons_) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

void ChaseEditorDialog::Run(const std::function<void()>& change) {
  change();
  Refresh();
}

void ChaseEditorDialog::Refresh() {
  const ChaseEditor& model = engine_.show().editor();
  if (!model.IsOpen()) return;
  std::vector<QSignalBlocker> blocks;
  blocks.reserve(10);
  for (QObject* o : std::initializer_list<QObject*>{steps_, name_, loop_, type_, duration_, scene_, sceneFade_, strobe_,
                                                    crossfade_, autofade_}) {
    blocks.emplace_back(o);
  }
  const std::vector<ChaseStepRow> rows = model.Rows();
  steps_->clear();
  for (const ChaseStepRow& row : rows) {
    steps_->addTopLevelItem(new QTreeWidgetItem({QString::fromStdString(row.step), QString::fromStdString(row.time)}));
  }
  if (model.currentStep() >= 0 && model.currentStep() < steps_->topLevelItemCount()) {
    steps_->topLevelItem(model.currentStep())->setSelected(true);
    steps_->setCurrentItem(steps_->topLevelItem(model.currentStep()));
  }
  const QString name = QString::fromStdString(model.name());
  if (name_->text() != name) name_->setText(name);
  loop_->setChecked(model.loop());

  const ChaseStepControls& c = model.controls();
  const bool any = c.enabledKind >= 0;
  for (QWidget* w : std::initializer_list<QWidget*>{type_, durationLabel_, duration_}) w->setEnabled(any);
  for (QWidget* w : std::initializer_list<QWidget*>{sceneLabel_, scene_, sceneFadeLabel_, sceneFade_}) {
    w->setEnabled(c.enabledKind == kStepScene);
  }
  strobe_->setEnabled(c.enabledKind == kStepMasterstrobe);
  strobeLabel_->setEnabled(c.enabledKind == kStepMasterstrobe);
  for (QWidget* w : std::initializer_list<QWidget*>{crossfade_, crossfadeLabel_, autofade_}) {
    w->setEnabled(c.enabledKind == kStepCrossfade);
  }
  type_->setCurrentIndex(c.type);
  if (any && !duration_->hasFocus()) duration_->setText(QString::fromStdString(c.durationText));
  if (scene_->count() > 0) scene_->setCurrentIndex(std::clamp(c.scene, 0, scene_->count() - 1));
  sceneFade_->setValue(c.sceneFade);
  strobe_->setValue(c.strobe);
  crossfade_->setRange(0, c.crossfadeMax);
  crossfade_->setValue(c.crossfade);
  autofade_->setChecked(c.autofade);
}

void ChaseEditorDialog::Place() {
  if (position_) {
    move(*position_);
  } else {
    QWidget* main = parentWidget();
    const QRect around = main != nullptr ? main->frameGeometry() : QRect(QPoint(0, 0), size());
    move(around.center() - QPoint(width() / 2, height() / 2));
    position_ = pos();
  }
  placed_ = true;
}

void ChaseEditorDialog::moveEvent(QMoveEvent* event) {
  QDialog::moveEvent(event);
  if (!placed_ || !isVisible()) return;
  position_ = pos();
}

void ChaseEditorDialog::closeEvent(QCloseEvent* event) {
  Finish();
  QDialog::closeEvent(event);
}

// The cancel key closes the dialog like "Close".
void ChaseEditorDialog::reject() {
  Finish();
  QDialog::reject();
}

void ChaseEditorDialog::Finish(bool destroying) {
  if (finished_) return;
  finished_ = true;
  ChaseEditor& model = engine_.show().editor();
  const int edited = model.IsOpen() ? model.Close() : -1;
  lock_.reset();
  if (onClosed) onClosed(edited);
  if (!destroying) deleteLater();
}

}  // namespace quor
