// Imported modules and functions: those read from the file's import directory
// and those the tracer makes up while it stands in for module and function
// lookups. Both lists stay sorted by their first field; a re-parse drops the
// file's entries and keeps the tracer's.
#pragma once
#include <cstdint>
#include <string>
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
  // Adds the functions read from the file in one go (a directory may hold
  // very many thunks; inserting one by one would be quadratic).
  void addFileFunctions(std::vector<TImportedFunction>&& batch);
  // Drops the file's functions and every module not kept.
  void pruneFileEntries();

  const TImportedFunction* functionByKey(uint32_t key) const;
  const TImportedModule* moduleById(uint32_t id) const;

  const std::vector<TImportedModule>& modules() const { return modules_; }
  const std::vector<TImportedFunction>& functions() const { return functions_; }
  uint32_t nextModuleId() const { return nextModuleId_; }
  uint32_t nextFunctionKey() const { return nextFunctionKey_; }

 private:
  void insertFunction(TImportedFunction f);
  std::vector<TImportedModule> modules_;      // ascending by moduleId
  std::unordered_map<std::string, uint32_t> moduleIdByName_;  // names are unique
  std::vector<TImportedFunction> functions_;  // ascending by importKey, ties in arrival order
  uint32_t nextModuleId_ = kFirstModuleId;
  uint32_t nextFunctionKey_ = kFirstFunctionKey;
};
