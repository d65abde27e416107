#include "ui/modal_commands.h"

#include <QMessageBox>
#include <QWidget>

#include "engine/engine.h"
#include "generators/generator_catalogue.h"
#include "show/show.h"

namespace quor {

void ModalCommands::SetGuardedWindows(std::vector<QWidget*> windows) {
  guarded_.clear();
  for (QWidget* window : windows) guarded_.emplace_back(window);
}

void ModalCommands::Run(const std::function<void()>& body) {
  engine_.show().player().RequestChaseStop();
  for (auto& window : guarded_) {
    if (window) window->setEnabled(false);
  }
  body();
  for (auto& window : guarded_) {
    if (window) window->setEnabled(true);
  }
}

void ModalCommands::RunCommand(int commandId, const QString& name) {
  auto found = dialogs_.find(commandId);
  Run([&] {
    if (found == dialogs_.end()) {
      ShowNotAvailable(parent_, name);
    } else {
      found->second(parent_);
    }
  });
}

void ModalCommands::EditSlot(int slot) {
  const int type = engine_.BoundType(slot);
  if (type == 0) {
    // None / Blackout has no settings, but "Edit" stops the chase all the same.
    engine_.show().player().RequestChaseStop();
    return;
  }
  auto found = slotDialogs_.find(type);
  Run([&] {
    if (found == slotDialogs_.end()) {
      ShowNotAvailable(parent_, QString::fromLatin1(kEffectListTexts[static_cast<size_t>(EffectListPosition(type))].data(), static_cast<qsizetype>(kEffectListTexts[static_cast<size_t>(EffectListPosition(type))].size())) +
                                    QStringLiteral(" settings"));
    } else {
      found->second(parent_, slot);
    }
  });
}

void ModalCommands::ShowNotAvailable(QWidget* parent, const QString& name) {
  QMessageBox::information(parent, QStringLiteral("Quor!"),
                           QStringLiteral("%1 is not available yet in this build.").arg(name));
}

}  // namespace quor
