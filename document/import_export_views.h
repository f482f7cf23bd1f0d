// What the imports and exports windows show: modules, functions and the
// code that uses them; exports with their addresses; and the moves they make.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "image/import_list.h"
#include "image/resources.h"

class TDocument;
class TImpRefStore;

class TImportsView {
 public:
  // Fills the module list (one entry per descriptor when keepOriginal), and
  // the functions and references of the first module. False when the
  // directory is not in the file: title() and the failure texts then apply.
  bool open(const TDocument& doc, bool keepOriginal, const TImpRefStore& refs, bool scanning);
  void chooseModule(const TDocument& doc, int index, const TImpRefStore& refs, bool scanning);
  void chooseFunction(const TDocument& doc, int index, const TImpRefStore& refs, bool scanning);
  // An IMPORT history entry and a move to the reference; false when nothing
  // is chosen or references are not known yet.
  bool chooseReference(TDocument& doc, int index, bool scanning);
  // "Keep original import structure" clicked: lists rebuilt, the remembered
  // module and function chosen again.
  void toggleKeepOriginal(const TDocument& doc, const TImpRefStore& refs, bool scanning);

  bool keepOriginal() const { return keepOriginal_; }
  const std::string& title() const { return title_; }
  const std::vector<TImportListModule>& modules() const { return model_.modules(); }
  const std::vector<TImportListFunction>& functions() const { return functions_; }
  const std::vector<TListLine>& references() const { return references_; }
  int module() const { return module_; }
  int function() const { return function_; }

 private:
  void listReferences(const TDocument& doc, const TImpRefStore& refs, bool scanning);
  bool keepOriginal_ = true;
  TImportListModel model_;
  std::vector<TImportListFunction> functions_;
  std::vector<TListLine> references_;
  int module_ = -1;
  int function_ = -1;
  std::string title_;
  uint32_t rememberedModuleName_ = 0xFFFFFFFFu;
  uint32_t rememberedFunction_ = 0xFFFFFFFFu;
};

class TExportsView {
 public:
  // Runs the export walk; on failure title() is set and the message to show
  // is in failureText()/failureCaption() (empty when none).
  void open(const TDocument& doc);
  // ":%.8lX" memory address, or "%.8lX" file offset.
  std::string addressText(const TDocument& doc, int index, bool memoryShown) const;
  // "Go there!": an EXPORT history entry and the move; with nothing chosen,
  // "Please select an item first!".
  void goThere(TDocument& doc, int index) const;

  const std::vector<TListLine>& lines() const { return lines_; }  // data: file offset
  const std::string& title() const { return title_; }
  const std::string& failureText() const { return failureText_; }
  const std::string& failureCaption() const { return failureCaption_; }

 private:
  std::vector<TListLine> lines_;
  std::string title_, failureText_, failureCaption_;
};
