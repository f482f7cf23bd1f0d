// Imported modules and functions: those read from the file's import directory
// and those the tracer makes up while it stands in for module and function
// lookups. Both lists stay sorted by their first field; a re-parse drops the
// file's entries and keeps the tracer's.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct TImportedModule {
  uint32_t moduleId;
  std::string name;
  uint32_t keep;  // 1: made or used by the tracer, survives a re-parse
};

struct TImportedFunction {
  uint32_t importKey;  // thunk value, or a pseudo-address made by the tracer
  uint32_t moduleId;
  std::string name;
  uint32_t fromFile;  // 1: read from the file, dropped by a re-parse
};

// The functions one parse reads from the file, gathered before they join the
// list: a directory may hold hundreds of thousands, and they are sorted once.
class TFileFunctionBatch {
 public:
  void add(uint32_t key, uint32_t moduleId, std::string_view name);
  size_t size() const { return entries_.size(); }

 private:
  friend class TImportLists;
  struct Entry {
    uint32_t key;
    uint32_t moduleId;
    size_t nameAt;  // in names_
    uint32_t nameLength;
  };
  std::vector<Entry> entries_;  // in the order read
  std::string names_;
};

class TImportLists {
 public:
  static constexpr uint32_t kFirstModuleId = 0xD0121000u;
  static constexpr uint32_t kModuleIdStep = 0x1000u;
  static constexpr uint32_t kFirstFunctionKey = 0x0B017384u;
  static constexpr uint32_t kFunctionKeyStep = 19u;

  uint32_t findOrAddModule(const std::string& name, uint32_t keep);
  // Key of the first function (in key order) of that name, else a new tracer
  // function of the module; 0 when the module id is unknown.
  uint32_t findOrAddFunction(uint32_t moduleId, const std::string& name);

  // Reading the file, in this order: pruneFileEntries, addFileModule for
  // each descriptor, addFileFunctions once. A directory may name very many
  // modules and functions, so each list is put in order once, at the end.
  // Drops the file's functions and every module not kept.
  void pruneFileEntries();
  // findOrAddModule(name, 0), leaving the module list in order only after
  // the next addFileFunctions.
  uint32_t addFileModule(const std::string& name);
  // Adds the functions read from the file, after the entries already listed
  // when keys are equal, and puts both lists in order.
  void addFileFunctions(const TFileFunctionBatch& batch);

  const TImportedFunction* functionByKey(uint32_t key) const;
  const TImportedModule* moduleById(uint32_t id) const;

  const std::vector<TImportedModule>& modules() const { return modules_; }
  const std::vector<TImportedFunction>& functions() const { return functions_; }
  uint32_t nextModuleId() const { return nextModuleId_; }
  uint32_t nextFunctionKey() const { return nextFunctionKey_; }

 private:
  uint32_t takeModuleId();
  void insertFunction(TImportedFunction f);
  std::vector<TImportedModule> modules_;                      // ascending by moduleId
  std::unordered_map<std::string, uint32_t> moduleIdByName_;  // names are unique
  std::vector<TImportedFunction> functions_;  // ascending by importKey, ties in arrival order
  // The lowest key of each function name, built when the tracer first asks
  // after a parse, so that the parse itself does not pay for it.
  std::unordered_map<std::string, uint32_t> firstKeyByName_;
  bool firstKeyByNameValid_ = false;
  uint32_t nextModuleId_ = kFirstModuleId;
  uint32_t nextFunctionKey_ = kFirstFunctionKey;
};
