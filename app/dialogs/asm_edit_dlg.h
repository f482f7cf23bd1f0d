// "Edit assembler command...": the user types an instruction that replaces
// the one at a listing line. A line under the field shows, while typing,
// the bytes the text assembles to or why it does not; OK writes them through
// the document (undoable) and closes only when they were written.
#pragma once
#include <QDialog>

#include "document/assembler_bridge.h"
#include "persist/settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TDocument;
class TProfileFile;

// Whether a shorter new instruction is padded with NOPs to the old one's end.
inline constexpr TSettingKey kAsmFillNops{"Dialogs", "AsmFillNops", 0};

class TAsmEditDlg : public QDialog {
  Q_OBJECT
 public:
  // profile: where the NOP choice is kept (may be null). bridge: the
  // assembler library to use (tests name one; by default it is searched).
  TAsmEditDlg(TDocument& doc, uint32_t fileOffset, TProfileFile* profile, QWidget* parent = nullptr,
              TAssemblerBridge bridge = TAssemblerBridge());

  QLineEdit* edit() const { return edit_; }
  QLabel* preview() const { return preview_; }
  QCheckBox* fillNops() const { return fillNops_; }
  QPushButton* okButton() const { return ok_; }
  uint32_t fileOffset() const { return offset_; }
  // The result of the last OK.
  AsmEditResult lastResult() const { return last_; }

  // OK: assembles and writes; the dialog stays open on every failure.
  void accept() override;
  void done(int result) override;

 private:
  void updatePreview();
  uint32_t fillTo() const;

  TDocument& doc_;
  uint32_t offset_;
  uint32_t oldLength_;
  TProfileFile* profile_;
  TAssemblerBridge bridge_;
  QLineEdit* edit_;
  QLabel* preview_;
  QCheckBox* fillNops_;
  QPushButton* ok_;
  AsmEditResult last_ = AsmEditResult::NoFile;
};
