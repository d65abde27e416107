#include "ui/chase_window.h"

#include <QGroupBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <utility>

#include "engine/engine.h"
#include "ui/chase_editor_dialog.h"
#include "ui/fixed_layout.h"
#include "ui/preview_renderer.h"
#include "ui/window_state.h"

namespace quor {

ChaseWindow::ChaseWindow(Engine& engine, WindowState& windows, QWidget* owner)
    : ListWindow(QStringLiteral("Chases"), kHelpChaseWindow, owner), engine_(engine), windows_(windows) {
  setObjectName(QStringLiteral("QuorChaseWindow"));
  list_ = new QListWidget(this);
  list_->setObjectName(QStringLiteral("chaselist"));
  list_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  control_ = new QGroupBox(QStringLiteral("Control"), this);
  play_ = new QPushButton(QStringLiteral("Play"), this);
  stop_ = new QPushButton(QStringLiteral("Stop"), this);
  manage_ = new QGroupBox(QStringLiteral("Manage Chases"), this);
  up_ = new QPushButton(QStringLiteral("Up"), this);
  down_ = new QPushButton(QStringLiteral("Down"), this);
  delete_ = new QPushButton(QStringLiteral("Delete"), this);
  edit_ = new QPushButton(QStringLiteral("Edit"), this);
  add_ = new QPushButton(QStringLiteral("Add"), this);
  control_->lower();
  manage_->lower();
  for (QPushButton* b : {play_, stop_, up_, down_, delete_, edit_, add_}) b->setAutoDefault(false);
  play_->setCheckable(true);
  stop_->setCheckable(true);

  ChaseList& chases = engine_.show().chaseList();
  connect(list_, &QListWidget::currentRowChanged, this, [&chases](int row) { chases.Select(row); });
  connect(list_, &QListWidget::itemDoubleClicked, this, [this, &chases](QListWidgetItem* item) {
    chases.PlayAt(list_->row(item));
    Refresh();
  });
  connect(list_, &QListWidget::customContextMenuRequested, this, [this, &chases](const QPoint& at) {
    QListWidgetItem* item = list_->itemAt(at);
    if (item == nullptr) return;
    const int row = list_->row(item);
    FollowEdit("Edit Chase", [&chases, row] { return chases.EditAt(row); });
  });
  // A click on a pressed "Play" or "Stop" leaves it pressed; the player's
  // state decides what both buttons show.
  connect(play_, &QPushButton::clicked, this, [this, &chases] {
    chases.Play();
    Refresh();
  });
  connect(stop_, &QPushButton::clicked, this, [this, &chases] {
    chases.Stop();
    Refresh();
  });
  auto command = [this](QPushButton* button, const std::function<void()>& run) {
    connect(button, &QPushButton::clicked, this, [this, run] {
      run();
      Refresh();
    });
  };
  command(up_, [this, &chases] { engine_.EditDocument("Move Chase Up", [&chases] { chases.MoveUp(); }); });
  command(down_, [this, &chases] { engine_.EditDocument("Move Chase Down", [&chases] { chases.MoveDown(); }); });
  command(delete_, [this, &chases] { engine_.EditDocument("Delete Chase", [&chases] { chases.Delete(); }); });
  connect(edit_, &QPushButton::clicked, this, [this, &chases] { FollowEdit("Edit Chase", [&chases] { return chases.Edit(); }); });
  connect(add_, &QPushButton::clicked, this, [this, &chases] { FollowEdit("Add Chase", [&chases] { return chases.Add(); }); });
  SetPreviewHeight(kDefaultPreviewHeight);  // the main window applies its own
  Refresh();
}

ChaseWindow::~ChaseWindow() {
  if (editor_) delete editor_.data();
}

QPushButton* ChaseWindow::button(const QString& text) const {
  for (QPushButton* b : {play_, stop_, up_, down_, delete_, edit_, add_}) {
    if (b->text() == text) return b;
  }
  return nullptr;
}

void ChaseWindow::LayoutControls(int m, int p) {
  Place(list_, 10, 10, 210, m + p + 133);
  Place(control_, 10, m + p + 149, 210, 56);
  Place(play_, 20, m + p + 168, 56, 23);
  Place(stop_, 87, m + p + 168, 57, 23);
  Place(manage_, 10, m + p + 211, 210, 89);
  Place(up_, 20, m + p + 230, 57, 23);
  Place(down_, 87, m + p + 230, 56, 23);
  Place(delete_, 153, m + p + 230, 57, 23);
  Place(edit_, 87, m + p + 266, 56, 23);
  Place(add_, 153, m + p + 266, 57, 23);
}

void ChaseWindow::Refresh() {
  const ChaseList& chases = engine_.show().chaseList();
  const std::vector<std::string> names = chases.Names();
  {
    const QSignalBlocker block(list_);
    bool same = list_->count() == static_cast<int>(names.size());
    for (int i = 0; same && i < list_->count(); ++i) same = list_->item(i)->text() == QString::fromStdString(names[i]);
    if (!same) {
      list_->clear();
      for (const std::string& name : names) list_->addItem(QString::fromStdString(name));
    }
    list_->setCurrentRow(chases.selection() < list_->count() ? chases.selection() : -1);
  }
  // The player's own state, whoever started or stopped it (command line,
  // show mode, remote input, a chase that ran out).
  const bool running = engine_.show().player().PlayingOrStarting();
  play_->setChecked(running);
  stop_->setChecked(!running);
}

void ChaseWindow::Follow(const ChaseListResult& result) {
  Refresh();
  if (result.error) {
    QMessageBox::critical(this, QStringLiteral("Error"), QString::fromStdString(*result.error));
    return;
  }
  if (result.editorChase >= 0) OpenEditor(result.editorChase);
}

void ChaseWindow::FollowEdit(const char* what, const std::function<ChaseListResult()>& run) {
  // The chase the editor changes (a new one, too) is one undo step, taken
  // from before the command to the editor's close.
  DocumentSnapshot before = engine_.SnapshotDocument();
  const ChaseListResult result = run();
  if (result.error || result.editorChase < 0 || editor_) {
    engine_.RecordDocumentEdit(what, std::move(before));
    Follow(result);
    return;
  }
  editStart_ = std::move(before);
  editWhat_ = what;
  Follow(result);
}

void ChaseWindow::OpenEditor(int chase) {
  if (editor_) return;
  std::vector<QWidget*> guarded = guarded_;
  guarded.push_back(this);
  editor_ = new ChaseEditorDialog(engine_, chase, windows_.chaseEditorPosition, parentWidget(), guarded);
  connect(editor_, &QObject::destroyed, this, [this] { Refresh(); });
  editor_->onClosed = [this](int edited) {
    // The dialog deletes itself later; a new one may open at once.
    editor_ = nullptr;
    if (editStart_) engine_.RecordDocumentEdit(editWhat_, *std::exchange(editStart_, std::nullopt));
    engine_.show().chaseList().Refresh(edited);
    Refresh();
  };
  editor_->show();
}

}  // namespace quor
