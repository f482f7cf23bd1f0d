// The imports and exports windows' lists, references and moves.
#include <gtest/gtest.h>

#include "analysis/id_refs.h"
#include "base/text_format.h"
#include "document/document.h"
#include "document/import_export_views.h"
#include "support/fixtures.h"
#include "support/opened_document.h"

namespace {

struct Opened : TOpenedDocument {
  explicit Opened(const char* fixture) : TOpenedDocument(fixturePath(fixture)) {}
};

TEST(ImportsView, ModulesFunctionsAndReferences) {
  Opened o("gui.exe");
  // KERNEL32.dll's GetTickCount (name at file 0xF9C) is used at 0x616.
  TImpRefStore refs;
  TImpRef ref(0x4040EC, 0x1118, 0xF9C);
  ref.refs.add(TMInt{0x616});
  refs.add(std::move(ref));

  TImportsView view;
  ASSERT_TRUE(view.open(o.doc, true, refs, true));
  ASSERT_EQ(view.modules().size(), 3u);
  EXPECT_EQ(view.modules()[0].name, "fixdll.dll");
  ASSERT_EQ(view.references().size(), 1u);
  EXPECT_EQ(view.references()[0].text, "Import scanning not completed yet!");
  EXPECT_FALSE(view.chooseReference(o.doc, 0, true));

  view.chooseModule(o.doc, 1, refs, false);
  ASSERT_EQ(view.functions().size(), 5u);
  EXPECT_EQ(view.functions()[3].text, "GetTickCount");
  view.chooseFunction(o.doc, 3, refs, false);
  ASSERT_EQ(view.references().size(), 1u);
  EXPECT_EQ(view.references()[0].text, " 00000616  -  :00401216");
  ASSERT_TRUE(view.chooseReference(o.doc, 0, false));
  EXPECT_EQ(o.doc.view().topOffset, 0x616u);
  EXPECT_EQ(o.doc.history().getReturn(0).kind, uint32_t(RK_IMPORT));

  // Sorted lists keep the chosen module and function.
  view.toggleKeepOriginal(o.doc, refs, false);
  EXPECT_FALSE(view.keepOriginal());
  ASSERT_GE(view.module(), 0);
  EXPECT_EQ(view.modules()[view.module()].name, "KERNEL32.dll");
  EXPECT_EQ(view.functions()[view.function()].text, "GetTickCount");
  EXPECT_EQ(view.references().size(), 1u);
}

TEST(ExportsView, LinesAddressesAndGoThere) {
  Opened o("fixdll.dll");
  TExportsView view;
  view.open(o.doc);
  ASSERT_EQ(view.lines().size(), 6u);
  std::vector<std::string> names;
  for (const auto& l : view.lines()) names.push_back(l.text);
  EXPECT_EQ(names, (std::vector<std::string>{"FixAdd", "FixScale", "FixSub", "FixVersion",
                                             "FwdTick", "ORD: 0003"}));
  const uint32_t fixAdd = view.lines()[0].data;
  EXPECT_EQ(view.addressText(o.doc, 0, false), wsString("%.8X", fixAdd));
  EXPECT_EQ(view.addressText(o.doc, 0, true), ":1000102A");
  view.goThere(o.doc, -1);
  EXPECT_EQ(o.host.messageLines(),
            std::vector<std::string>{"No funcion selected!: Please select an item first!"});
  view.goThere(o.doc, 0);
  EXPECT_EQ(o.doc.view().topOffset, fixAdd);
  EXPECT_EQ(o.doc.history().getReturn(0).kind, uint32_t(RK_EXPORT));

  Opened g("gui.exe");
  view.open(g.doc);
  EXPECT_EQ(view.title(), "Wrong directory entry!");
  EXPECT_EQ(view.failureText(), "This programm doesn't export any functions!");
  Opened d("dos.exe");
  view.open(d.doc);
  EXPECT_EQ(view.title(), "Not a portable executable!");
}

}  // namespace
