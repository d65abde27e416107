// Line edits that only show a value. GUI thread only.
#pragma once

#include <QLineEdit>
#include <QPalette>

namespace quor {

// Makes `edit` show a value without taking typing: read-only and drawn on
// the window's colour instead of the white of a field that takes input, so
// it never looks editable. It stays a tab stop, so its text can still be
// selected and copied from the keyboard.
inline void MakeDisplayOnly(QLineEdit* edit) {
  edit->setReadOnly(true);
  QPalette palette = edit->palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    palette.setColor(group, QPalette::Base, palette.color(group, QPalette::Window));
  }
  edit->setPalette(palette);
}

}  // namespace quor
