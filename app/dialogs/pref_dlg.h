// The preferences window: the three numbers, the switches and the fourteen
// listing colours over TPrefModel, which validates and writes them on OK.
#pragma once
#include <QAbstractButton>
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <array>
#include <string>

#include "persist/settings.h"

class Host;
class TProfileFile;

// A button filled with one colour (0x00BBGGRR).
class TColorSwatch : public QAbstractButton {
  Q_OBJECT
 public:
  explicit TColorSwatch(QWidget* parent = nullptr);
  void setColor(uint32_t bgr);
  uint32_t color() const { return color_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* e) override;

 private:
  uint32_t color_ = 0;
};

class TPrefDlg : public QDialog {
  Q_OBJECT
 public:
  // settings and window are the values the program runs with; they change
  // only when OK is accepted. custom: the colour chooser's custom colours,
  // kept by the caller for the whole run.
  TPrefDlg(TSettings& settings, TMainWindowSettings& window, TProfileFile& profile, Host& host,
           TCustomColors& custom, QWidget* parent = nullptr);

  // OK: refused values keep the window open; accepted ones are stored and
  // written and the window closes. outcome() says what the caller must do.
  void accept() override;
  const TPrefOutcome& outcome() const { return outcome_; }

  // "Add shortcut to all file types...": the desktop entry for the program
  // at exePath, in the user's applications folder unless one is given.
  void addShortcut();
  std::string exePath;
  std::string applicationsDir;

  QLineEdit* minStringLength() const { return fields_[0]; }
  QLineEdit* fontSize() const { return fields_[1]; }
  QLineEdit* dumpRows() const { return fields_[2]; }
  // The switches in the order of TPrefModel's members, openFileOnStartup first.
  enum Switch {
    OpenFileOnStartup,
    KeepUndoAfterSave,
    ShowCodeReferences,
    ExtremeScan,
    FixedRegsAutoMode,
    StartTracerAtTls,
    ShowEipOnLoad,
    CursorFollowView,
    SwitchCount
  };
  QCheckBox* switchBox(Switch s) const { return switches_[s]; }
  TColorSwatch* swatch(int i) const { return swatches_[size_t(i)]; }
  QPushButton* shortcutButton() const { return shortcut_; }
  QPushButton* okButton() const { return ok_; }

 private:
  bool& modelSwitch(Switch s);
  void chooseColor(int swatch);

  TSettings& settings_;
  TMainWindowSettings& window_;
  TProfileFile& profile_;
  Host& host_;
  TCustomColors& custom_;
  TPrefModel model_;
  TPrefOutcome outcome_;
  std::array<QLineEdit*, 3> fields_{};
  std::array<QCheckBox*, SwitchCount> switches_{};
  std::array<TColorSwatch*, kSwatchCount> swatches_{};
  QPushButton* shortcut_;
  QPushButton* ok_;
};
