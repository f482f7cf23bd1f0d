// The module and function lists of the imports dialog, read straight from the
// import descriptors (the dialog shows the file's own structure, not the
// merged lists of TImageInfo).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

class TImageInfo;

struct TImportListDescriptor {
  uint32_t offset;      // file offset of the descriptor
  uint32_t thunkLimit;  // how many of its thunks may be listed (see thunk_allowance.h)
};

struct TImportListModule {
  std::string name;
  uint32_t descriptorOffset;  // first descriptor of this entry
  uint32_t nameOffset;        // file offset of the module name
  std::vector<TImportListDescriptor>
      chainedDescriptors;  // every descriptor listed under this entry, in order
};

struct TImportListFunction {
  std::string text;
  uint32_t data;  // file offset of the name, or the ordinal thunk with bits 16-30 cleared
};

class TImportListModel {
 public:
  // Reads the descriptors. keepOriginal: one entry per descriptor in file
  // order; otherwise entries sorted by name and same-named descriptors chained.
  // False when the directory is not in the file (see failure texts below).
  bool build(const TImageInfo& image, bool keepOriginal);

  const std::vector<TImportListModule>& modules() const { return modules_; }

  // The functions of every descriptor chained to module entry `index`
  // (sorted by text unless the original structure is kept).
  std::vector<TImportListFunction> functions(const TImageInfo& image, size_t index) const;

  // Failure texts of build().
  static constexpr const char* kFailureTitle = "Wrong directory entry!";
  static constexpr const char* kFailureText = "This programm doesn't import any functions!?!";
  static constexpr const char* kFailureCaption = "Unable to show imported functions!";

 private:
  bool keepOriginal_ = true;
  std::vector<TImportListModule> modules_;
};
