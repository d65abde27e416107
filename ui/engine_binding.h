// Connects controls to engine values in both directions. A control's user
// changes call the engine command given at binding time; Refresh() brings
// every control in line with the engine with the control's signals blocked,
// so a refreshed value never comes back as a command (a crossfader moved by
// its own glide does not end the glide).
//
// GUI thread only. The engine values are read through the getter, so the
// engine always keeps the copy the mix pass reads.
#pragma once

#include <QObject>
#include <functional>
#include <vector>

#include "core/controls.h"

class QAbstractButton;
class QAbstractSlider;
class QComboBox;

namespace quor {

class EngineBinding {
 public:
  using Getter = std::function<int()>;
  using Setter = std::function<void(int)>;

  explicit EngineBinding(QObject* owner) : owner_(owner) {}

  // Slider position <-> value.
  void Bind(QAbstractSlider* slider, Getter get, Setter set);
  // Selected list position <-> value.
  void Bind(QComboBox* list, Getter get, Setter set);
  // Check box or button that stays pressed: checked <-> value != 0.
  void Bind(QAbstractButton* button, Getter get, Setter set);
  // A control of the address space: read and set by its address.
  template <class Widget>
  void Bind(Widget* widget, ControlSurface& controls, ControlAddress address) {
    Bind(widget, [&controls, address] { return controls.ControlValue(address).value_or(0); },
         [&controls, address](int value) { controls.SetControl(address, value); });
  }
  // Runs after every refresh that changed something and after user changes
  // (labels that show a value, for example).
  void OnChange(std::function<void()> follow) { follow_.push_back(std::move(follow)); }

  // Reads every bound value and updates the controls that differ.
  void Refresh();

 private:
  struct Entry {
    std::function<int()> read;         // the control's value
    std::function<void(int)> write;    // into the control, signals blocked
    Getter get;
  };
  void Followed();

  QObject* owner_;
  std::vector<Entry> entries_;
  std::vector<std::function<void()>> follow_;
};

}  // namespace quor
