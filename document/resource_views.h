// What the menu and string resource windows show, with the code that uses
// each menu command and string: lists, texts and reference lines as data.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "analysis/return_manager.h"
#include "image/resources.h"

class TDocument;
class TMenuRefStore;
class TStrRefStore;

// Marks a list line that is a notice, not a reference.
constexpr uint32_t kNoticeLine = 0xFFFFFFFFu;

// " %.8lX  -  :%.8lX" (file offset, memory address), sorted like a list control.
std::vector<TListLine> referenceLines(const TDocument& doc, const std::vector<uint32_t>& offsets);

// Choosing a reference: a MENU or STRING history entry, then the listing
// shows the referencing instruction in 32-bit code.
void followResourceReference(TDocument& doc, uint32_t offset, ReturnKind kind);

class TMenuResourceView {
 public:
  // Fills the menu list, selects the first menu and renders it. The caller
  // shows kNoResourcesText when noResourcesMessage() says so.
  void open(const TDocument& doc);
  void select(const TDocument& doc, int index);
  // The reference list for the caret's line of the menu text.
  std::vector<TListLine> referencesForLine(const TDocument& doc, int line,
                                           const TMenuRefStore& store, bool scanning) const;

  const TResourceList& menus() const { return menus_; }
  const TRenderedMenu& shown() const { return shown_; }
  int selected() const { return selected_; }

 private:
  TResourceList menus_;
  TRenderedMenu shown_;
  int selected_ = -1;
};

class TStringResourceView {
 public:
  bool onlyReferenced = false;  // "Only show strings with programm references"
  bool noArithmetic = false;    // "Don't show arithmetic operations (add, sub, shl, ...)"
  bool noBitwise = false;       // "Don't show bitwise operations (and, or, ...)"

  // Fills the string list and selects the first string; its references (or
  // the scanning notice) come from references().
  void open(const TDocument& doc, const TStrRefStore& store, bool scanning);
  void select(int index) { selected_ = index; }
  std::vector<TListLine> references(const TDocument& doc, const TStrRefStore& store,
                                    bool scanning) const;
  // Enter in the window: the next string containing `text`. True when the
  // search ran and found nothing ("Not found" is then shown).
  bool search(const std::string& text);

  const TResourceList& strings() const { return strings_; }
  int selected() const { return selected_; }

 private:
  TResourceList strings_;
  int selected_ = -1;
};
