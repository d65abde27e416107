// "Import Layout" and "Export Layout" of the Output Patch window. Import
// reads an LED layout file (files/layout_file.h), shows its problems with
// their lines and the patch it would give, and changes the patch only on
// "OK", as one undoable edit. Export writes one device chain's patch as
// CSV. GUI thread only, while output is stopped.
#pragma once
#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "files/layout_file.h"
#include "output/patch_table.h"

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableView;

namespace quor {

class Engine;
class PatchGridModel;

inline constexpr const char* kImportLayoutTitle = "Import Layout";
inline constexpr const char* kExportLayoutTitle = "Export Layout";
inline constexpr size_t kMaxLayoutFileBytes = size_t{8} << 20;

// The chain fields both dialogs share: device, pixels per device, channels
// per LED, colour order, First Channel.
class LayoutChainFields {
 public:
  LayoutChainFields(Engine& engine, QWidget* parent);
  QComboBox* deviceList() const { return device_; }
  QLineEdit* pixelsEdit() const { return pixels_; }
  QComboBox* channelsList() const { return channels_; }
  QComboBox* colourOrderList() const { return colour_; }
  QLineEdit* firstChannelEdit() const { return first_; }
  // The chain as typed, or the field to correct (set to nullptr on success).
  bool Read(LayoutChain& chain, QWidget** refused) const;
  void AddRows(QFormLayout* form) const;

 private:
  QComboBox* device_;
  QLineEdit* pixels_;
  QComboBox* channels_;
  QComboBox* colour_;
  QLineEdit* first_;
};

class LayoutImportDialog : public QDialog {
 public:
  LayoutImportDialog(Engine& engine, QWidget* parent);
  ~LayoutImportDialog() override;
  // File chooser; tests replace it.
  std::function<QString()> chooseFile;

  // Reads `path` and shows what it would patch.
  void LoadFile(const QString& path);
  void Choose();
  LayoutChainFields& chain() { return chain_; }
  QListWidget* problemList() const { return problems_; }
  QLabel* summaryLabel() const { return summary_; }
  QPushButton* okButton() const { return ok_; }
  const PatchTable& preview() const { return preview_; }
  void accept() override;

 private:
  void UpdatePreview();

  Engine& engine_;
  LayoutChainFields chain_;
  std::string fileName_;
  LayoutFormat format_ = LayoutFormat::kCsv;
  Layout layout_;
  PatchTable preview_;
  PatchGridModel* model_;
  QLineEdit* path_;
  QListWidget* problems_;
  QLabel* summary_;
  QTableView* grid_;
  QPushButton* ok_;
};

class LayoutExportDialog : public QDialog {
 public:
  LayoutExportDialog(Engine& engine, QWidget* parent);
  // Save-file chooser and error box; tests replace them.
  std::function<QString()> chooseFile;
  std::function<void(const QString& text)> showError;
  LayoutChainFields& chain() { return chain_; }
  QLabel* summaryLabel() const { return summary_; }
  void accept() override;

 private:
  Engine& engine_;
  LayoutChainFields chain_;
  QLabel* summary_;
};

}  // namespace quor
