#include "ui/scene_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QWheelEvent>

#include "engine/engine.h"
#include "ui/engine_binding.h"
#include "ui/fixed_layout.h"
#include "ui/preview_renderer.h"

namespace quor {

namespace {

// At most this many characters are ever entered as a scene name.
constexpr int kMaxSceneName = 253;

// Makes the list show `names` and `selection` without emitting anything.
void FillList(QListWidget* list, const std::vector<std::string>& names, int selection) {
  const QSignalBlocker block(list);
  bool same = list->count() == static_cast<int>(names.size());
  for (int i = 0; same && i < list->count(); ++i) same = list->item(i)->text() == QString::fromStdString(names[i]);
  if (!same) {
    list->clear();
    for (const std::string& name : names) list->addItem(QString::fromStdString(name));
  }
  if (selection >= 0 && selection < list->count()) {
    list->setCurrentRow(selection);
  } else {
    list->clearSelection();
    list->setCurrentRow(-1);
  }
}

}  // namespace

SceneWindow::SceneWindow(Engine& engine, QWidget* owner)
    : ListWindow(QStringLiteral("Scenes"), kHelpSceneWindow, owner), engine_(engine), binding_(new EngineBinding(this)) {
  setObjectName(QStringLiteral("QuorSceneWindow"));
  SceneList& scenes = engine_.show().sceneList();
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("scenelist"));
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  control_ = new QGroupBox(QStringLiteral("Control"), this);
  fadeTime_ = new QSlider(Qt::Horizontal, this);
  fadeTime_->setObjectName(QStringLiteral("Fadetime"));
  fadeTime_->setRange(0, 26);
  fadeOut_ = new QCheckBox(QStringLiteral("Fade Out"), this);
  manage_ = new QGroupBox(QStringLiteral("Manage Scenes"), this);
  up_ = new QPushButton(QStringLiteral("Up"), this);
  down_ = new QPushButton(QStringLiteral("Down"), this);
  delete_ = new QPushButton(QStringLiteral("Delete"), this);
  name_ = new QLineEdit(this);
  name_->setMaxLength(kMaxSceneName);
  replace_ = new QPushButton(QStringLiteral("Replace"), this);
  add_ = new QPushButton(QStringLiteral("Add"), this);
  // The group boxes are drawn behind the controls placed over them.
  control_->lower();
  manage_->lower();
  for (QPushButton* b : {up_, down_, delete_, replace_, add_}) b->setAutoDefault(false);

  binding_->Bind(fadeTime_, [&scenes] { return scenes.FadeTimePosition(); },
                 [&scenes](int position) { scenes.SetFadeTime(position); });
  binding_->Bind(fadeOut_, [&scenes] { return scenes.FadeOutChecked() ? 1 : 0; },
                 [&scenes](int checked) { scenes.SetFadeOut(checked != 0); });
  connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0) return;
    engine_.show().sceneList().SelectByUser(row);
    Refresh();
  });
  connect(up_, &QPushButton::clicked, this, [this] {
    engine_.EditDocument("Move Scene Up", [this] { engine_.show().sceneList().MoveUp(); });
    Refresh();
  });
  connect(down_, &QPushButton::clicked, this, [this] {
    engine_.EditDocument("Move Scene Down", [this] { engine_.show().sceneList().MoveDown(); });
    Refresh();
  });
  connect(delete_, &QPushButton::clicked, this, [this] { DeleteScene(); });
  connect(replace_, &QPushButton::clicked, this, [this] { ReplaceScene(); });
  connect(add_, &QPushButton::clicked, this, [this] { AddScene(); });
  connect(name_, &QLineEdit::returnPressed, this, [this] { AddScene(); });
  SetPreviewHeight(kDefaultPreviewHeight);  // the main window applies its own
  Refresh();
}

SceneWindow::~SceneWindow() = default;

QPushButton* SceneWindow::button(const QString& text) const {
  for (QPushButton* b : {up_, down_, delete_, replace_, add_}) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

void SceneWindow::LayoutControls(int m, int p) {
  Place(list_, 10, 10, 210, m + p + 99);
  Place(control_, 10, m + p + 115, 210, 56);
  Place(fadeTime_, 20, m + p + 134, 118, 25);
  Place(fadeOut_, 148, m + p + 138, 65, 16);
  // A larger desktop font must not cut "Fade Out" off: shrink it to fit
  // beside the check mark.
  QFont font = fadeOut_->font();
  const int room = fadeOut_->width() - fadeOut_->style()->pixelMetric(QStyle::PM_IndicatorWidth) - 6;
  while (QFontMetrics(font).horizontalAdvance(fadeOut_->text()) > room && font.pointSizeF() > 6.0) {
    font.setPointSizeF(font.pointSizeF() - 0.5);
  }
  fadeOut_->setFont(font);
  Place(manage_, 10, m + p + 175, 210, 125);
  Place(up_, 20, m + p + 194, 57, 23);
  Place(down_, 87, m + p + 194, 56, 23);
  Place(delete_, 153, m + p + 194, 57, 23);
  Place(name_, 20, m + p + 230, 190, 21);
  Place(replace_, 87, m + p + 266, 56, 23);
  Place(add_, 153, m + p + 266, 57, 23);
}

void SceneWindow::Refresh() {
  SceneList& scenes = engine_.show().sceneList();
  FillList(list_, scenes.Names(), scenes.selection());
  binding_->Refresh();
}

void SceneWindow::AddScene() {
  SceneList& scenes = engine_.show().sceneList();
  if (const std::optional<std::string> full = scenes.AddRefusal(); full && !name_->text().isEmpty()) {
    QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(*full));
    return;
  }
  bool added = false;
  engine_.EditDocument("Store Scene", [&] { added = scenes.Add(name_->text().toStdString()); });
  if (added) name_->clear();
  Refresh();
}

void SceneWindow::ReplaceScene() {
  // A name in the box renames the scene too.
  bool replaced = false;
  engine_.EditDocument(name_->text().isEmpty() ? "Replace Scene" : "Replace and Rename Scene",
                       [&] { replaced = engine_.show().sceneList().Replace(name_->text().toStdString()); });
  if (replaced) name_->clear();
  Refresh();
}

void SceneWindow::DeleteScene() {
  std::optional<std::string> error;
  engine_.EditDocument("Delete Scene", [&] { error = engine_.show().sceneList().Delete(); });
  if (error) {
    QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(*error));
  }
  Refresh();
}

// The wheel scrolls the list wherever the pointer is over the window, also
// when the list does not have the focus.
void SceneWindow::wheelEvent(QWheelEvent* event) {
  QApplication::sendEvent(list_->verticalScrollBar(), event);
}

}  // namespace quor
