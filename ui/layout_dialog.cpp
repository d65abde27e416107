#include "ui/layout_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <span>

#include "engine/engine.h"
#include "files/safe_file.h"
#include "output/device_list.h"
#include "output/fast_patch.h"
#include "ui/output_dialogs.h"

namespace quor {
namespace {

void Refuse(QWidget* widget) {
  widget->setFocus();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) edit->selectAll();
}

}  // namespace

LayoutChainFields::LayoutChainFields(Engine& engine, QWidget* parent)
    : device_(new QComboBox(parent)),
      pixels_(new QLineEdit(QStringLiteral("170"), parent)),
      channels_(new QComboBox(parent)),
      colour_(new QComboBox(parent)),
      first_(new QLineEdit(QStringLiteral("0"), parent)) {
  const OutputDeviceList& devices = engine.outputs().devices();
  for (int i = 0; i < devices.count(); ++i) {
    const QString text = PatchDeviceText(devices[i]);
    if (!text.isEmpty()) device_->addItem(QStringLiteral("%1: %2").arg(i + 1).arg(text), i);
  }
  channels_->addItem(QStringLiteral("3 (RGB)"), 3);
  channels_->addItem(QStringLiteral("4 (RGBW, white unused)"), 4);
  for (int i = 0; i < kColourOrderCount; ++i) colour_->addItem(QString::fromLatin1(ColourOrderName(i)));
  const FastPatchSettings& kept = engine.outputs().fastPatch();
  device_->setCurrentIndex(std::max(0, device_->findData(kept.device)));
  colour_->setCurrentIndex(std::clamp(kept.colourOrder, 0, kColourOrderCount - 1));
}

void LayoutChainFields::AddRows(QFormLayout* form) const {
  form->addRow(QStringLiteral("First Device"), device_);
  form->addRow(QStringLiteral("Pixels per Device"), pixels_);
  form->addRow(QStringLiteral("Channels per LED"), channels_);
  form->addRow(QStringLiteral("Pixel Order"), colour_);
  form->addRow(QStringLiteral("First Channel"), first_);
}

bool LayoutChainFields::Read(LayoutChain& chain, QWidget** refused) const {
  *refused = nullptr;
  bool okPixels = false, okFirst = false;
  const int pixels = pixels_->text().trimmed().toInt(&okPixels);
  const int first = first_->text().trimmed().toInt(&okFirst);
  if (device_->count() == 0) *refused = device_;
  else if (!okPixels || pixels < 1) *refused = pixels_;
  else if (!okFirst || first < 0) *refused = first_;
  if (*refused != nullptr) return false;
  chain.firstDevice = device_->currentData().toInt();
  chain.pixelsPerDevice = pixels;
  chain.channelsPerLed = channels_->currentData().toInt();
  chain.colourOrder = colour_->currentIndex();
  chain.firstChannel = first;
  return true;
}

// ---------------------------------------------------------------- import

LayoutImportDialog::LayoutImportDialog(Engine& engine, QWidget* parent)
    : QDialog(parent),
      engine_(engine),
      chain_(engine, this),
      preview_(engine.patch()),
      model_(new PatchGridModel(preview_, this)),
      path_(new QLineEdit(this)),
      problems_(new QListWidget(this)),
      summary_(new QLabel(this)),
      grid_(new QTableView(this)),
      ok_(nullptr) {
  setWindowTitle(QString::fromLatin1(kImportLayoutTitle));
  setProperty("quorHelpId", kHelpOutputPatch);
  chooseFile = [this] {
    return QFileDialog::getOpenFileName(this, QStringLiteral("Import Layout ..."), QString(),
                                        QStringLiteral("LED layouts (*.json *.xmodel *.csv);;All files (*)"));
  };
  path_->setReadOnly(true);
  auto* choose = new QPushButton(QStringLiteral("Choose..."), this);
  choose->setAutoDefault(false);
  connect(choose, &QPushButton::clicked, this, &LayoutImportDialog::Choose);
  auto* file = new QHBoxLayout;
  file->addWidget(path_, 1);
  file->addWidget(choose);
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("File"), file);
  chain_.AddRows(form);
  connect(chain_.deviceList(), &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
  connect(chain_.channelsList(), &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
  connect(chain_.colourOrderList(), &QComboBox::currentIndexChanged, this, [this] { UpdatePreview(); });
  connect(chain_.pixelsEdit(), &QLineEdit::textChanged, this, [this] { UpdatePreview(); });
  connect(chain_.firstChannelEdit(), &QLineEdit::textChanged, this, [this] { UpdatePreview(); });

  grid_->setModel(model_);
  grid_->setSelectionMode(QAbstractItemView::NoSelection);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->horizontalHeader()->hide();
  grid_->verticalHeader()->hide();
  for (QHeaderView* h : {grid_->horizontalHeader(), grid_->verticalHeader()}) {
    h->setSectionResizeMode(QHeaderView::Fixed);
    h->setMinimumSectionSize(4);
  }
  grid_->horizontalHeader()->setDefaultSectionSize(fontMetrics().horizontalAdvance(QStringLiteral("0000")) + 6);
  grid_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
  model_->SetSelected(0, 0);  // no cell is selected in the preview

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel | QDialogButtonBox::Ok, this);
  ok_ = buttons->button(QDialogButtonBox::Ok);
  ok_->setEnabled(false);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  summary_->setWordWrap(true);
  auto* left = new QVBoxLayout;
  left->addLayout(form);
  left->addWidget(new QLabel(QStringLiteral("Problems"), this));
  left->addWidget(problems_, 1);
  left->addWidget(summary_);
  auto* top = new QHBoxLayout;
  top->addLayout(left, 2);
  top->addWidget(grid_, 3);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top, 1);
  layout->addWidget(buttons);
  resize(900, 560);
  UpdatePreview();
}

LayoutImportDialog::~LayoutImportDialog() { grid_->setModel(nullptr); }

void LayoutImportDialog::Choose() {
  const QString path = chooseFile();
  if (!path.isEmpty()) LoadFile(path);
}

void LayoutImportDialog::LoadFile(const QString& path) {
  path_->setText(path);
  fileName_ = QFileInfo(path).fileName().toStdString();
  const FileReadResult read = ReadRegularFile(path.toStdString(), kMaxLayoutFileBytes);
  layout_ = Layout{};
  if (read.status == FileReadStatus::kDone) {
    const std::string_view text(reinterpret_cast<const char*>(read.bytes.data()), read.bytes.size());
    format_ = LayoutFormatFor(fileName_, text);
    layout_ = ParseLayout(format_, text, engine_.patch().width());
  } else if (read.status == FileReadStatus::kTooLarge) {
    layout_.problems.push_back({0, "the file is larger than a layout can be (8 MB); choose the layout file"});
  } else {
    layout_.problems.push_back({0, "cannot read the file: " + (read.reason.empty() ? "not a regular file" : read.reason)});
  }
  UpdatePreview();
}

void LayoutImportDialog::UpdatePreview() {
  preview_ = engine_.patch();
  problems_->clear();
  Layout checked = layout_;
  LayoutChain chain;
  QWidget* refused = nullptr;
  int patched = 0;
  std::vector<LayoutProblem> problems;
  const bool chainOk = chain_.Read(chain, &refused);
  if (checked.readable) {
    const std::vector<LayoutLed> kept = CheckLayout(checked, preview_.width(), preview_.height());
    if (chainOk) patched = PatchLayout(preview_, engine_.outputs().devices(), kept, chain, problems);
  }
  for (const LayoutProblem& p : checked.problems) problems_->addItem(QString::fromStdString(ProblemText(p)));
  for (const LayoutProblem& p : problems) problems_->addItem(QString::fromStdString(ProblemText(p)));
  if (path_->text().isEmpty()) {
    summary_->setText(QStringLiteral("Choose a layout file (ledmap .json, .xmodel or index,x,y .csv)."));
  } else if (!checked.readable) {
    summary_->setText(QStringLiteral("The file cannot be used as a layout; nothing will change."));
  } else if (!chainOk) {
    summary_->setText(QStringLiteral("Enter the chain: pixels per device 1 or more, First Channel 0 or more."));
  } else {
    summary_->setText(QStringLiteral("%1 of %2 LEDs (%3) will be patched; OK changes the patch.")
                          .arg(patched)
                          .arg(static_cast<qsizetype>(checked.leds.size()))
                          .arg(QString::fromLatin1(LayoutFormatName(format_))));
  }
  ok_->setEnabled(checked.readable && chainOk && patched > 0);
  model_->Reset();
}

void LayoutImportDialog::accept() {
  if (!ok_->isEnabled()) return;
  engine_.EditDocument("Import Layout", [this] {
    engine_.patch() = preview_;
    engine_.outputs().PatchChanged();
  });
  QDialog::accept();
}

// ---------------------------------------------------------------- export

LayoutExportDialog::LayoutExportDialog(Engine& engine, QWidget* parent)
    : QDialog(parent), engine_(engine), chain_(engine, this), summary_(new QLabel(this)) {
  setWindowTitle(QString::fromLatin1(kExportLayoutTitle));
  setProperty("quorHelpId", kHelpOutputPatch);
  chooseFile = [this] {
    QFileDialog dialog(this, QStringLiteral("Export Layout ..."), QString(), QStringLiteral("CSV (*.csv)"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    return dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty() ? dialog.selectedFiles().front()
                                                                                   : QString();
  };
  showError = [this](const QString& text) { QMessageBox::critical(this, QStringLiteral("Error"), text); };
  auto* form = new QFormLayout;
  chain_.AddRows(form);
  summary_->setText(QStringLiteral("Writes the chain's patched cells as index,x,y lines."));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel | QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(summary_);
  layout->addWidget(buttons);
}

void LayoutExportDialog::accept() {
  LayoutChain chain;
  QWidget* refused = nullptr;
  if (!chain_.Read(chain, &refused)) return Refuse(refused);
  const std::string csv = ExportLayoutCsv(engine_.patch(), engine_.outputs().devices(), chain);
  const QString path = chooseFile();
  if (path.isEmpty()) return;  // the dialog stays open for another try
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(csv.data()), csv.size());
  if (const std::optional<Failure> failed = ReplaceFile(path.toStdString(), bytes)) {
    showError(QString::fromStdString(failed->DialogText()) +
              QStringLiteral("\n\nThe layout was not written; choose a folder you can write to."));
    return;
  }
  QDialog::accept();
}

}  // namespace quor
