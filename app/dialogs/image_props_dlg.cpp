#include "app/dialogs/image_props_dlg.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

#include "document/document.h"

namespace {

constexpr int kHeaderFields[] = {IPC_NUM_SECTIONS,      IPC_ENTRY_POINT,    IPC_IMAGE_BASE,
                                 IPC_SECTION_ALIGNMENT, IPC_FILE_ALIGNMENT, IPC_DIR_ENTRIES};
constexpr int kSectionFields[] = {IPC_VIRTUAL_SIZE, IPC_VIRTUAL_ADDRESS, IPC_RAW_SIZE,
                                  IPC_RAW_OFFSET};
// Rows of the section list shown without scrolling.
constexpr int kListRows = 7;

QString label(int control) { return QString::fromLatin1(imagePropsLabel(control)); }

}  // namespace

bool TSectionListModel::take(const std::vector<TImageSectionEntry>& sections) {
  bool same = sections.size() == sections_.size();
  for (size_t i = 0; same && i < sections.size(); ++i)
    same = sections[i].headerOffset == sections_[i].headerOffset &&
           sections[i].name == sections_[i].name;
  if (same) return false;
  beginResetModel();
  sections_ = sections;
  endResetModel();
  return true;
}

int TSectionListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : int(sections_.size());
}

QVariant TSectionListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || size_t(index.row()) >= sections_.size()) return {};
  const TImageSectionEntry& entry = sections_[size_t(index.row())];
  // Names are raw header bytes: Latin-1 shows every byte as one character.
  if (role == Qt::DisplayRole) return QString::fromLatin1(entry.name);
  // Says which header a nameless entry is.
  if (role == Qt::ToolTipRole)
    return QStringLiteral("Section %1, header at file offset %2")
        .arg(index.row() + 1)
        .arg(QString::number(entry.headerOffset, 16).rightJustified(8, QLatin1Char('0')).toUpper());
  return {};
}

TImPropDlg::TImPropDlg(TDocument& doc, QWidget* parent)
    : QDialog(parent), model_(doc), sections_(this) {
  setModal(false);
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  auto makeField = [&](int control) {
    auto* e = new QLineEdit(this);
    e->setReadOnly(true);
    e->setFont(fixed);
    // Room for eight hex digits or "Invalid".
    e->setFixedWidth(QFontMetrics(fixed).horizontalAdvance(QStringLiteral("MMMMMMMMM")) + 12);
    fields_[control] = e;
    return e;
  };

  auto* header = new QFormLayout;
  header->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  for (int c : kHeaderFields) header->addRow(label(c), makeField(c));
  auto* headerBox = new QGroupBox(this);
  headerBox->setLayout(header);

  list_ = new QListView(this);
  list_->setModel(&sections_);
  list_->setUniformItemSizes(true);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setFont(fixed);
  list_->setMinimumHeight(QFontMetrics(fixed).height() * kListRows + 8);
  // Names have eight characters at most: the list needs no more width than that.
  list_->setFixedWidth(QFontMetrics(fixed).horizontalAdvance(QStringLiteral("MMMMMMMMMM")) +
                       list_->verticalScrollBar()->sizeHint().width() + 8);
  auto* sectionLabel = new QLabel(label(IPC_SECTION_LIST), this);
  sectionLabel->setBuddy(list_);

  auto* sectionForm = new QFormLayout;
  sectionForm->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
  for (int c : kSectionFields) sectionForm->addRow(label(c), makeField(c));

  auto* flags = new QGridLayout;
  for (size_t i = 0; i < kImageFlagBoxes.size(); ++i) {
    const TImageFlagBox& b = kImageFlagBoxes[i];
    auto* box = new QCheckBox(QString::fromLatin1(b.text), this);
    boxes_[b.control] = box;
    flags->addWidget(box, int(i / 2), int(i % 2));
    const int control = b.control;
    connect(box, &QCheckBox::clicked, this,
            [this, control](bool on) { model_.setChecked(control, on); });
  }
  auto* flagsLabel = new QLabel(QStringLiteral("Flags :"), this);

  apply_ = new QPushButton(label(IPC_APPLY), this);
  goto_ = new QPushButton(label(IPC_GOTO_SECTION), this);
  apply_->setAutoDefault(false);
  goto_->setAutoDefault(false);
  connect(apply_, &QPushButton::clicked, this, [this] { model_.apply(); });
  connect(goto_, &QPushButton::clicked, this, [this] {
    if (model_.gotoSection()) emit moved();
  });

  auto* sectionColumn = new QVBoxLayout;
  sectionColumn->addLayout(sectionForm);
  sectionColumn->addWidget(flagsLabel);
  sectionColumn->addLayout(flags);
  sectionColumn->addStretch(1);
  auto* listColumn = new QVBoxLayout;
  listColumn->addWidget(sectionLabel);
  listColumn->addWidget(list_, 1);
  auto* sectionRow = new QHBoxLayout;
  sectionRow->addLayout(listColumn);
  sectionRow->addLayout(sectionColumn, 1);
  auto* sectionBox = new QGroupBox(this);
  sectionBox->setLayout(sectionRow);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(apply_);
  buttons->addWidget(goto_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(headerBox);
  layout->addWidget(sectionBox, 1);
  layout->addLayout(buttons);

  // The keyboard path through the dialog: list, boxes, buttons.
  setTabOrder(list_, boxes_[kImageFlagBoxes[0].control]);
  for (size_t i = 1; i < kImageFlagBoxes.size(); ++i)
    setTabOrder(boxes_[kImageFlagBoxes[i - 1].control], boxes_[kImageFlagBoxes[i].control]);
  setTabOrder(boxes_[kImageFlagBoxes.back().control], apply_);
  setTabOrder(apply_, goto_);

  connect(list_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { chooseRow(current); });
  // Enter or a double click on a section goes there.
  connect(list_, &QListView::activated, this, [this](const QModelIndex&) { goto_->click(); });

  model_.onContentsChanged = [this] { showModel(); };
  fill();
}

TImPropDlg::~TImPropDlg() { model_.onContentsChanged = nullptr; }

void TImPropDlg::fill() {
  model_.open();
  list_->setFocus();
}

void TImPropDlg::chooseRow(const QModelIndex& index) {
  if (index.isValid() && index.row() != model_.selection()) model_.chooseSection(index.row());
}

void TImPropDlg::showModel() {
  setWindowTitle(QString::fromLatin1(model_.title().c_str()));
  for (auto f = fields_.cbegin(); f != fields_.cend(); ++f)
    f.value()->setText(QString::fromLatin1(model_.fieldText(f.key()).c_str()));
  sections_.take(model_.sections());
  const int row = model_.selection();
  if (row >= 0 && list_->currentIndex().row() != row) {
    const QModelIndex index = sections_.index(row);
    list_->setCurrentIndex(index);
    list_->scrollTo(index);
  }
  const bool shown = model_.sectionShown();
  for (auto b = boxes_.cbegin(); b != boxes_.cend(); ++b) {
    b.value()->setChecked(model_.checked(b.key()));
    // A header outside the file has nothing to change or go to.
    b.value()->setEnabled(shown);
  }
  apply_->setEnabled(shown);
  goto_->setEnabled(shown);
}
