#include "app/dialogs/imports_dlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QStringList>
#include <algorithm>

#include "base/host.h"
#include "document/document.h"
#include "persist/profile_file.h"
#include "persist/settings.h"

namespace {
// Function names and reference lines are this long at most where the window opens.
constexpr int kFunctionChars = 40;
constexpr int kReferenceChars = 26;
constexpr int kOpeningHeight = 420;
}  // namespace

TImportsDlg::TImportsDlg(TDocument& doc, TProfileFile* profile, QWidget* parent)
    : QDialog(parent), doc_(doc), profile_(profile) {
  setWindowTitle(QStringLiteral("Imported functions"));
  setModal(false);
  modules_ = new QComboBox(this);
  modules_->setModel(&moduleNames_);
  modules_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  modules_->setMinimumContentsLength(24);
  // A drop-down of many thousand modules must not measure each line.
  if (auto* v = qobject_cast<QListView*>(modules_->view())) v->setUniformItemSizes(true);
  functions_ = new TLineList(this);
  references_ = new TLineList(this);
  keep_ = new QCheckBox(QStringLiteral("Keep original import structure"), this);

  auto* moduleLabel = new QLabel(QStringLiteral("Module :"), this);
  moduleLabel->setBuddy(modules_);
  auto* functionLabel = new QLabel(QStringLiteral("Function names :"), this);
  functionLabel->setBuddy(functions_);
  auto* referenceLabel = new QLabel(QStringLiteral("Programm references:"), this);
  referenceLabel->setBuddy(references_);

  auto* grid = new QGridLayout(this);
  grid->addWidget(moduleLabel, 0, 0);
  grid->addWidget(modules_, 0, 1);
  grid->addWidget(functionLabel, 1, 0, 1, 2);
  grid->addWidget(referenceLabel, 1, 2);
  grid->addWidget(functions_, 2, 0, 1, 2);
  grid->addWidget(references_, 2, 2);
  grid->addWidget(keep_, 3, 0, 1, 3);
  grid->setColumnStretch(1, 3);
  grid->setColumnStretch(2, 2);
  grid->setRowStretch(2, 1);

  connect(modules_, &QComboBox::currentIndexChanged, this, [this](int i) {
    if (!filling_) moduleChosen(i);
  });
  connect(functions_, &TLineList::rowChosen, this, &TImportsDlg::functionChosen);
  connect(references_, &TLineList::rowChosen, this, &TImportsDlg::referenceChosen);
  connect(keep_, &QCheckBox::clicked, this, &TImportsDlg::keepOriginalClicked);

  const bool keep = profile_ ? readKey(*profile_, kKeepOrigImport) != 0 : true;
  keep_->setChecked(keep);
  if (!view_.open(doc_, keep, doc_.stores().imports, scanning())) {
    setWindowTitle(QString::fromStdString(view_.title()));
    doc_.host().message(TImportListModel::kFailureText, TImportListModel::kFailureCaption,
                        MsgIcon::Information);
  }
  showModules();

  const QFontMetrics fm = fontMetrics();
  const int columns =
      fm.horizontalAdvance(QString(kFunctionChars + kReferenceChars, QLatin1Char('0')));
  resize(std::max(sizeHint().width(), columns + 80), kOpeningHeight);
}

TImportsDlg::~TImportsDlg() {
  if (profile_) writeKey(*profile_, kKeepOrigImport, view_.keepOriginal() ? 1 : 0);
}

bool TImportsDlg::scanning() const { return doc_.stores().locks.isLocked(TRefStoreKind::Import); }

void TImportsDlg::showModules() {
  QStringList names;
  names.reserve(qsizetype(view_.modules().size()));
  for (const TImportListModule& m : view_.modules())
    names.append(QString::fromLatin1(m.name.c_str()));
  filling_ = true;
  moduleNames_.setStringList(names);
  modules_->setCurrentIndex(view_.module());
  filling_ = false;
  showFunctions();
}

void TImportsDlg::showFunctions() {
  std::vector<TListLine> lines;
  lines.reserve(view_.functions().size());
  for (const TImportListFunction& f : view_.functions()) lines.push_back({f.text, f.data});
  functions_->setLines(lines, view_.function());
  showReferences();
}

void TImportsDlg::showReferences() { references_->setLines(view_.references()); }

void TImportsDlg::moduleChosen(int index) {
  view_.chooseModule(doc_, index, doc_.stores().imports, scanning());
  showFunctions();
}

void TImportsDlg::functionChosen(int row) {
  view_.chooseFunction(doc_, row, doc_.stores().imports, scanning());
  showReferences();
}

void TImportsDlg::referenceChosen(int row) {
  if (view_.chooseReference(doc_, row, scanning())) emit moved();
}

void TImportsDlg::keepOriginalClicked() {
  view_.toggleKeepOriginal(doc_, doc_.stores().imports, scanning());
  keep_->setChecked(view_.keepOriginal());
  if (!view_.title().empty()) setWindowTitle(QString::fromStdString(view_.title()));
  showModules();
}

void TImportsDlg::storeFilled(TRefStoreKind kind) {
  if (kind != TRefStoreKind::Import) return;
  view_.chooseFunction(doc_, view_.function(), doc_.stores().imports, scanning());
  showReferences();
}
