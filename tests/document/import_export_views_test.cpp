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

}  // namespace
