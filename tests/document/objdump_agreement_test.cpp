// Our reading of Debian's i686 mingw DLLs agrees with objdump on sections,
// entry point and imported names. Skipped where the DLLs or objdump are missing.
#include <gtest/gtest.h>

#include <set>
#include <sstream>
#include <tuple>

#include "document/document.h"
#include "support/mingw_files.h"
#include "support/process.h"
#include "support/recording_host.h"

namespace {

std::string run(const std::string& command) { return runCommand(command).out; }

TEST(ObjdumpAgreement, MingwDlls) {
  const std::string tool = i686Objdump();
  const auto dlls = i686MingwDlls();
  if (tool.empty() || dlls.empty()) GTEST_SKIP() << "no objdump or no i686 mingw DLLs installed";
  for (const auto& dll : dlls) {
    SCOPED_TRACE(dll);
    RecordingHost host;
    TDocument doc(host);
    doc.setPath(dll);
    ASSERT_EQ(doc.LoadFile(true), LOAD_OK);
    const TImageInfo& im = doc.image();
    ASSERT_EQ(im.isPE(), 1u);

    const auto sections = objdumpSections(tool, dll);
    ASSERT_EQ(sections.size(), im.sectionCount());
    for (size_t i = 0; i < sections.size(); ++i) {
      const SectionInfo& s = im.sections()[i];
      if (sections[i].name[0] != '/' && s.name[0] != '/') {
        EXPECT_EQ(sections[i].name.substr(0, 8), s.name);
      }
      EXPECT_EQ(sections[i].vma - im.imageBase(), s.rva) << s.name;
      EXPECT_EQ(sections[i].fileOffset, s.rawOffset) << s.name;
    }

    // Entry point and imports from the private headers.
    std::string line;
    std::istringstream p(run(tool + " -p '" + dll + "'"));
    std::set<std::tuple<std::string, uint32_t, std::string>> theirs, ours;
    std::string module;
    uint32_t entryRva = 0;
    while (std::getline(p, line)) {
      std::istringstream l(line);
      std::string first;
      l >> first;
      if (first == "AddressOfEntryPoint") {
        std::string v;
        l >> v;
        entryRva = uint32_t(std::stoul(v, nullptr, 16));
      } else if (first == "DLL" && line.find("DLL Name:") != std::string::npos) {
        module = line.substr(line.find(':') + 2);
      } else if (!module.empty() && line.size() > 1 && line[0] == '\t') {
        std::string vma = first, hint, name;
        if (!(l >> hint >> name) || vma.find_first_not_of("0123456789abcdef") != std::string::npos)
          continue;
        theirs.emplace(module, uint32_t(std::stoul(vma, nullptr, 16)), name);
      } else if (line.empty()) {
        module.clear();
      }
    }
    EXPECT_EQ(im.entryMemoryAddress(), entryRva + im.imageBase());
    EXPECT_EQ(im.fileOffsetToRva(im.entryOffset()), entryRva);
    for (const auto& f : im.imports().functions())
      if (!(f.importKey & 0x80000000u))
        ours.emplace(im.imports().moduleById(f.moduleId)->name, f.importKey, f.name);
    EXPECT_FALSE(ours.empty());
    EXPECT_EQ(ours, theirs);
  }
}

}  // namespace
