// What the widget tests share: typing into line edits, answering the modal
// dialogs and message boxes a command opens, and the usual includes.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>
#include <functional>

#include "engine/engine.h"
#include "generators/builtin_generators.h"
#include "test_support.h"

namespace quor::test {

// Replaces the text of `edit` key by key, as a user would.
inline void Retype(QLineEdit* edit, const QString& text) {
  edit->setFocus();
  edit->selectAll();
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClicks(edit, text);
}

// Runs `work` on the first modal dialog of type T that opens while this
// object lives, then rejects the dialog if `work` left it open.
template <typename T>
class OnModal {
 public:
  explicit OnModal(std::function<void(T&)> work) : work_(std::move(work)) {
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
      if (dialog == nullptr) return;
      timer_.stop();
      opened = true;
      work_(*dialog);
      if (dialog->isVisible()) dialog->reject();
    });
    timer_.start(20);
  }
  bool opened = false;

 private:
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
