// What the widget tests share: typing, answering modal dialogs and message boxes, includes.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <functional>

#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "show/show.h"
#include "test_support.h"
#include "ui/chase_editor_dialog.h"
#include "ui/chase_window.h"
#include "ui/command_ids.h"
#include "ui/help_viewer.h"
#include "ui/main_window.h"
#include "ui/mixer_panel.h"
#include "ui/scene_window.h"

namespace quor::test {

// Replaces the text of `edit` key by key, as a user would.
inline void Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus(), edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace), QTest::keyClicks(edit, text);
}

// A left click on `widget`, and on row `row` of `view`.
inline void Click(QWidget* widget) { QTest::mouseClick(widget, Qt::LeftButton); }
inline void ClickRow(QAbstractItemView* view, int row) {
  QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(view->model()->index(row, 0)).center());
}

// Runs `work` on the first modal T that opens while this lives; rejects it if left open.
template <typename T>
struct OnModal {
  explicit OnModal(std::function<void(T&)> work) : work_(std::move(work)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      timer_.stop(), opened = true, work_(*dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    timer_.start(20);
  }
  bool opened = false;
  std::function<void(T&)> work_;
  QTimer timer_;
};

// Closes the next message box and keeps its title and text.
struct BoxCatcher : OnModal<QMessageBox> {
  BoxCatcher() : OnModal([this](QMessageBox& box) { title = box.windowTitle(), text = box.text(); }) {}
  QString title, text;
};

// A frame clock the test advances by hand.
inline constexpr EngineOptions kManualClock{FrameClock::Mode::kManual, 1};

}  // namespace quor::test
