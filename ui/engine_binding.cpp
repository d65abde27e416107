#include "ui/engine_binding.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QComboBox>
#include <QSignalBlocker>

namespace quor {

void EngineBinding::Bind(QAbstractSlider* slider, Getter get, Setter set) {
  QObject::connect(slider, &QAbstractSlider::valueChanged, owner_, [this, set](int value) {
    set(value);
    Followed();
  });
  entries_.push_back({[slider] { return slider->value(); },
                      [slider](int value) {
                        QSignalBlocker block(slider);
                        slider->setValue(value);
                      },
                      std::move(get)});
}

void EngineBinding::Bind(QComboBox* list, Getter get, Setter set) {
  QObject::connect(list, &QComboBox::currentIndexChanged, owner_, [this, set](int index) {
    if (index < 0) return;
    set(index);
    Followed();
  });
  entries_.push_back({[list] { return list->currentIndex(); },
                      [list](int index) {
                        QSignalBlocker block(list);
                        list->setCurrentIndex(index);
                      },
                      std::move(get)});
}

void EngineBinding::Bind(QAbstractButton* button, Getter get, Setter set) {
  QObject::connect(button, &QAbstractButton::toggled, owner_, [this, set](bool on) {
    set(on ? 1 : 0);
    Followed();
  });
  entries_.push_back({[button] { return button->isChecked() ? 1 : 0; },
                      [button](int value) {
                        QSignalBlocker block(button);
                        button->setChecked(value != 0);
                      },
                      [get = std::move(get)] { return get() != 0 ? 1 : 0; }});
}

void EngineBinding::Refresh() {
  bool changed = false;
  for (Entry& entry : entries_) {
    const int value = entry.get();
    if (entry.read() == value) continue;
    entry.write(value);
    changed = true;
  }
  if (changed) Followed();
}

void EngineBinding::Followed() {
  for (auto& follow : follow_) follow();
}

}  // namespace quor
