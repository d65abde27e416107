// "New Matrix Output": sets up the output of the whole matrix in one
// dialog. The operator picks the protocol, the node's address, the first
// universe, how many pixels each universe holds, how the strips are wired
// and the LEDs' colour order; the dialog shows live what that creates, and
// OK appends the devices and patches every pixel to them. The planning is
// output/matrix_output_plan.h, the change engine/matrix_output.h. Runs only
// while output is stopped. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <string>

#include "output/matrix_output_plan.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace quor {

class Engine;
class ModalCommands;

inline constexpr int kHelpMatrixOutput = 30;
inline constexpr const char* kMatrixOutputTitle = "New Matrix Output";
inline constexpr const char* kMatrixOutputDoneTitle = "Matrix Output Added";

// Registers the Setup menu's "New Matrix Output..." (command id
// kCmdNewMatrixOutput); it refuses to open while output runs.
void RegisterMatrixOutputDialog(ModalCommands& modal, Engine& engine);

class MatrixOutputDialog : public QDialog {
 public:
  MatrixOutputDialog(Engine& engine, QWidget* parent);

  // Carries out the plan; by default ApplyMatrixOutput. False with `why`
  // set when refused.
  std::function<bool(const MatrixOutputPlan& plan, std::string* why)> apply;
  // Message boxes; tests replace them to read the texts.
  std::function<void(const QString& text)> showError;
  std::function<void(const QString& text)> showDone;

  // The settings as the fields hold them, and the plan they make now.
  MatrixOutputSettings settings() const;
  const MatrixOutputPlan& plan() const { return plan_; }

  QComboBox* protocolList() const { return protocol_; }
  QLineEdit* ipEdit() const { return ip_; }
  QSpinBox* netBox() const { return net_; }
  QSpinBox* subnetBox() const { return subnet_; }
  QSpinBox* universeBox() const { return universe_; }
  QSpinBox* pixelsBox() const { return pixels_; }
  QComboBox* wiringList() const { return wiring_; }
  QComboBox* cornerList() const { return corner_; }
  QComboBox* colourList() const { return colour_; }
  QLabel* drawingLabel() const { return drawing_; }
  QLabel* summaryLabel() const { return summary_; }
  QLabel* portAddressLabel() const { return portAddress_; }
  QPushButton* okButton() const { return ok_; }

  void accept() override;

 private:
  void ProtocolChanged();
  void Replan();

  Engine& engine_;
  MatrixOutputPlan plan_;
  QComboBox* protocol_;
  QLineEdit* ip_;
  QSpinBox* net_;
  QSpinBox* subnet_;
  QSpinBox* universe_;
  QLabel* portAddress_;
  QLabel* pixelsLabel_;
  QSpinBox* pixels_;
  QComboBox* wiring_;
  QComboBox* corner_;
  QLabel* drawing_;
  QComboBox* colour_;
  QLabel* summary_;
  QPushButton* ok_;
};

}  // namespace quor
