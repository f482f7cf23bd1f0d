// "Search...": the modeless byte search. It edits the listing's search state
// (whose phrase lasts for the whole run) and runs the search command; the
// type, direction and case switches come from the settings file when the
// window opens and go back to it when the window closes.
#pragma once
#include <QCheckBox>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <array>

class TDocument;
class TListingView;
class TProfileFile;
struct TPopupContext;
struct TSearchState;

class TSearchDlg : public QDialog {
  Q_OBJECT
 public:
  // profile may be null: the switches then start cleared and are not kept.
  TSearchDlg(TDocument& doc, TListingView& listing, TProfileFile* profile,
             QWidget* parent = nullptr);
  ~TSearchDlg() override;

  // "Search (again)": one search from the listing's top line.
  bool searchAgain();
  // A pop-up menu's search (196, 138 or 139) at the place that menu was
  // opened for: the value goes into the phrase as a hex value and is
  // searched forward from the start of the file.
  bool searchFromMenu(int id, const TPopupContext& context);

  QLineEdit* phrase() const { return phrase_; }
  QRadioButton* typeButton(int type) const { return types_.at(size_t(type)); }
  QCheckBox* caseSensitive() const { return case_; }
  QRadioButton* forward() const { return forward_; }
  QRadioButton* backward() const { return backward_; }
  QPushButton* searchButton() const { return search_; }

 signals:
  // The listing moved or changed its mode: repaint it.
  void moved();

 private:
  TSearchState& state() const;
  // The controls into the search state, and back after a search rewrote it.
  void takeControls();
  void showState();
  void placeInListingCorner();

  TDocument& doc_;
  TListingView& listing_;
  TProfileFile* profile_;
  QLineEdit* phrase_;
  std::array<QRadioButton*, 5> types_{};
  QCheckBox* case_;
  QRadioButton* forward_;
  QRadioButton* backward_;
  QPushButton* search_;
};
