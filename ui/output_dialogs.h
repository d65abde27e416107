// The output setup dialogs: "Output Devices" (the device list), "Add/Edit
// Device" (one record), "Output Patch" (the pixel-to-channel grid) and
// "FastPatch" (a rectangular area at once). The rules live in output/ (the
// device list, the editor form, the patch table, FastPatch); these classes
// show them and pass the user's actions on. They run only while output is
// stopped. GUI thread only.
#pragma once
#include <QAbstractTableModel>
#include <QDialog>
#include <QString>
#include <functional>
#include <string>
#include <vector>
#include "output/device_editor.h"
#include "output/output_device.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTreeWidget;

namespace quor {

class Engine;
class ModalCommands;
class OutputDeviceList;
class PatchTable;

inline constexpr int kHelpOutputDevices = 26;
inline constexpr int kHelpDeviceEditor = 27;
inline constexpr int kHelpOutputPatch = 28;
inline constexpr int kHelpFastPatch = 29;
inline constexpr const char* kFastPatchContinueTitle = "FastPatch - Device Full";
inline constexpr const char* kStopOutputFirstMessage = "Output is running. Stop the output before changing devices or the patch.";

// The four texts of a device's row in "Output Devices".
std::vector<QString> DeviceRowTexts(const OutputDevice& device, int index);
// A device's entry in the patch device lists; empty for the file drivers,
// which take no patch.
QString PatchDeviceText(const OutputDevice& device);
// The numbered drawing FastPatch shows: the first cells (at most 6 x 6) of
// a width x height area numbered in `pixelOrder`'s visiting order, one text
// line per row, for a fixed-width font.
QString PixelOrderDrawing(int pixelOrder, int width, int height);
// True for a dotted IPv4 address of four numbers 0..255.
bool IsDottedIpv4(const QString& text);

// Registers the two menu dialogs; each refuses to open while output runs.
// `settingsPath` names the side file the power settings are kept in.
void RegisterOutputDialogs(ModalCommands& modal, Engine& engine, std::function<std::string()> settingsPath = {});

class DeviceEditorDialog : public QDialog {
 public:
  // `device` is the record being edited (NewDeviceDefaults() for a new one).
  DeviceEditorDialog(const OutputDevice& device, int matrixWidth, int matrixHeight, QWidget* parent);
  // The record "OK" stored (valid after accept()).
  const OutputDevice& device() const { return device_; }
  // Path chooser: (folder wanted, starting path) -> chosen path or "".
  std::function<QString(bool folder, const QString& start)> choosePath;
  // Error box; tests replace it to read the message.
  std::function<void(const QString& title, const QString& text)> showError;
  // Re-reads the system's serial ports, keeping the selection when present.
  void RefreshSerialPorts(std::vector<std::string> ports);

  QComboBox* typeList() const { return type_; }
  QLineEdit* ipEdit() const { return ip_; }
  QLineEdit* portEdit() const { return port_; }
  QLineEdit* netEdit() const { return net_; }
  QLineEdit* subnetEdit() const { return subnet_; }
  QLineEdit* universeEdit() const { return universe_; }
  QLineEdit* channelsEdit() const { return channels_; }
  QLineEdit* chanPerBlockEdit() const { return chanPerBlock_; }
  QLineEdit* blocksEdit() const { return blocks_; }
  QLineEdit* priorityEdit() const { return priority_; }
  QComboBox* serialList() const { return serial_; }
  QComboBox* baudList() const { return baud_; }
  QCheckBox* redirectBox() const { return redirect_; }
  QLineEdit* pathEdit() const { return path_; }
  QPushButton* selectButton() const { return select_; }
  QPushButton* okButton() const { return ok_; }
  // The field "OK" last refused (kFieldNone after success).
  EditorField refusedField() const { return refused_; }

  void accept() override;

 private:
  void ReadWidgets();
  void ShowForm();
  QWidget* FieldWidget(EditorField field) const;

  OutputDevice working_;
  OutputDevice device_;
  DeviceForm form_;
  std::vector<std::string> ports_;
  int matrixWidth_;
  int matrixHeight_;
  EditorField refused_ = kFieldNone;
  QComboBox* type_;
  QLineEdit *ip_, *port_, *net_, *subnet_, *universe_, *channels_, *chanPerBlock_, *blocks_, *priority_;
  QComboBox* serial_;
  QComboBox* baud_;
  QPushButton* refreshPorts_;
  QCheckBox* redirect_;
  QLineEdit* path_;
  QPushButton* select_;
  QPushButton* ok_;
};

class DevicePowerDialog;

class OutputDevicesDialog : public QDialog {
 public:
  OutputDevicesDialog(Engine& engine, QWidget* parent);
  // Runs the editor and returns its result; tests fill it in instead.
  std::function<int(DeviceEditorDialog&)> runEditor;
  // Runs "Power" for the selected device; the side file it keeps them in.
  std::function<int(DevicePowerDialog&)> runPower;
  std::function<std::string()> settingsPath;
  // The "Scan" button's action (Art-Net discovery); afterwards the list is
  // rebuilt.
  std::function<void(QWidget* parent)> scan;

  QTreeWidget* list() const { return list_; }
  void Add();
  void Edit();
  void Delete();
  void Scan();
  void Power();
  void Rebuild();

 private:
  int SelectedRow() const;  // -1 when no row is selected
  Engine& engine_;
  int current_ = 0;
  QTreeWidget* list_;
};

// The grid behind "Output Patch": one row and column of numbers, then one
// cell per pixel, read straight from the patch table.
class PatchGridModel : public QAbstractTableModel {
 public:
  PatchGridModel(const PatchTable& patch, QObject* parent);
  int rowCount(const QModelIndex& = {}) const override;
  int columnCount(const QModelIndex& = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  void SetSelected(int x, int y);  // 1-based cell
  void Reset();
  void CellChanged(int x, int y);

 private:
  const PatchTable& patch_;
  int selX_ = 1;
  int selY_ = 1;
};

class FastPatchDialog;
class LayoutImportDialog;
class LayoutExportDialog;

class OutputPatchDialog : public QDialog {
 public:
  OutputPatchDialog(Engine& engine, QWidget* parent);
  ~OutputPatchDialog() override;
  std::function<int(FastPatchDialog&)> runFastPatch;
  // Run "Import Layout..." and "Export Layout..."; tests fill them in.
  std::function<int(LayoutImportDialog&)> runImportLayout;
  std::function<int(LayoutExportDialog&)> runExportLayout;

  QTableView* grid() const { return grid_; }
  PatchGridModel* model() const { return model_; }
  QComboBox* deviceList() const { return devices_; }
  QLineEdit* redEdit() const { return rgb_[0]; }
  QLineEdit* greenEdit() const { return rgb_[1]; }
  QLineEdit* blueEdit() const { return rgb_[2]; }
  QLabel* xLabel() const { return x_; }
  QLabel* yLabel() const { return y_; }
  // Error box; tests replace it to read the message.
  std::function<void(const QString& text)> showError;
  // Selects the 1-based cell, as a click does; header cells are ignored.
  void SelectCell(int x, int y);
  void FastPatch();
  void ClearPatch();
  void ImportLayout();
  void ExportLayout();
  // Closing first stores the channel being edited (or refuses it).
  void reject() override;

 private:
  void ShowCell();
  void DeviceChosen(int listIndex);
  // Stores a changed "Red", "Green" or "Blue" field when its value is a
  // channel of the pixel's device; otherwise says so and shows the stored
  // channel again. False when refused.
  bool CommitChannel(int colour);
  bool CommitChannels();

  Engine& engine_;
  bool committing_ = false;
  int selX_ = 1;
  int selY_ = 1;
  PatchGridModel* model_;
  QTableView* grid_;
  QLabel* x_;
  QLabel* y_;
  QComboBox* devices_;
  QLineEdit* rgb_[3];
};

class FastPatchDialog : public QDialog {
 public:
  // `startX`, `startY`: the selected cell, 1-based.
  FastPatchDialog(Engine& engine, int startX, int startY, QWidget* parent);
  // Error box and the yes/no question whether to go on with the next
  // device; tests replace them.
  std::function<void(const QString& text)> showError;
  std::function<bool(const QString& text)> askContinue;
  QLineEdit* dimensionXEdit() const { return dimX_; }
  QLineEdit* dimensionYEdit() const { return dimY_; }
  QLineEdit* firstChannelEdit() const { return first_; }
  QComboBox* pixelOrderList() const { return order_; }
  QComboBox* colourOrderList() const { return colour_; }
  QComboBox* deviceList() const { return devices_; }
  QLabel* previewLabel() const { return preview_; }
  void accept() override;

 private:
  void UpdatePreview();
  Engine& engine_;
  int startX_;
  int startY_;
  QLineEdit* dimX_;
  QLineEdit* dimY_;
  QLineEdit* first_;
  QComboBox* order_;
  QComboBox* colour_;
  QComboBox* devices_;
  QLabel* preview_;
};

}  // namespace quor
