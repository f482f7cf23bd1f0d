// oxu menus | strings, and the references behind oxu imports --refs
#include <cstdio>
#include <string>

#include "base/text_format.h"
#include "cli/commands.h"
#include "document/document.h"
#include "document/import_export_views.h"
#include "document/resource_views.h"

namespace {

void showListFailure(const TResourceList& list, Host& host, const char* command, const char* what) {
  if (list.noResourcesMessage)
    host.message(kNoResourcesText, kNoResourcesCaption, MsgIcon::Information);
  if (!list.title.empty()) std::fprintf(stderr, "title: %s\n", list.title.c_str());
  // The dialog just stays empty (a file that is not PE, or no such resource);
  // a command that prints nothing says why.
  if (list.lines.empty() && !list.noResourcesMessage && list.title.empty())
    std::fprintf(stderr, "oxu %s: no %s listed\n", command, what);
}

int runMenus(const TCliArgs& args, TCliHost& host) {
  const bool refs = args.flag("refs");
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc, refs ? LoadScan::On : LoadScan::Off)) return rc;
  TMenuResourceView view;
  view.open(doc);
  showListFailure(view.menus(), host, "menus", "menu resources");
  if (view.menus().lines.empty()) return EXIT_FAILED;
  std::string t = "menus:";
  for (const auto& l : view.menus().lines) t += " " + l.text;
  t += "\n";
  int chosen = 0;
  if (auto want = args.value("menu")) {
    chosen = -1;
    for (size_t i = 0; i < view.menus().lines.size(); ++i) {
      std::string text = view.menus().lines[i].text;
      if (text.size() > 1 && text.front() == '"') text = text.substr(1, text.size() - 2);
      if (text == *want) chosen = int(i);
    }
    if (chosen < 0) {
      std::fprintf(stderr, "oxu menus: no menu %s\n", want->c_str());
      return EXIT_FAILED;
    }
  }
  view.select(doc, chosen);
  // The MENU block, and under each command line the code that uses it.
  const std::string& text = view.shown().text;
  size_t start = 0;
  for (int line = 0; start < text.size(); ++line) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size() - 1;
    std::string l = text.substr(start, end + 1 - start);
    if (l.size() >= 2 && l[l.size() - 2] == '\r') l.erase(l.size() - 2, 1);
    t += l;
    if (refs && line < int(view.shown().lineIds.size()) &&
        view.shown().lineIds[line] != kNoMenuCommand)
      for (const auto& r :
           view.referencesForLine(doc, line, doc.stores().menus, doc.workers().scanning()))
        t += "        " + r.text + "\n";
    start = end + 1;
  }
  printOut(t);
  return EXIT_OK;
}

int runStrings(const TCliArgs& args, TCliHost& host) {
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc, LoadScan::On)) return rc;
  TStringResourceView view;
  view.onlyReferenced = args.flag("only-referenced");
  view.noArithmetic = args.flag("no-arith");
  view.noBitwise = args.flag("no-bitwise");
  view.open(doc, doc.stores().strings, doc.workers().scanning());
  showListFailure(view.strings(), host, "strings", "string-table strings");
  if (view.strings().lines.empty()) return EXIT_FAILED;
  std::string t;
  if (auto find = args.value("find")) {
    view.select(-1);
    if (view.search(*find)) {
      host.message("Not found", "Show resource strings", MsgIcon::Information);
      return EXIT_FAILED;
    }
    if (view.selected() < 0) return EXIT_USAGE;  // nothing to search for
    t += view.strings().lines[view.selected()].text + "\n";
    for (const auto& r : view.references(doc, doc.stores().strings, doc.workers().scanning()))
      t += "        " + r.text + "\n";
    printOut(t);
    return EXIT_OK;
  }
  for (size_t i = 0; i < view.strings().lines.size(); ++i) {
    view.select(int(i));
    t += view.strings().lines[i].text + "\n";
    for (const auto& r : view.references(doc, doc.stores().strings, doc.workers().scanning()))
      t += "        " + r.text + "\n";
  }
  printOut(t);
  return view.strings().title.empty() ? EXIT_OK : EXIT_FAILED;
}

}  // namespace

int printImportReferences(const TCliArgs& args, TCliHost& host) {
  TDocument doc(host);
  if (int rc = loadDocumentArg(args, doc, LoadScan::On)) return rc;
  TImportsView view;
  if (!view.open(doc, true, doc.stores().imports, doc.workers().scanning())) {
    host.message(TImportListModel::kFailureText, TImportListModel::kFailureCaption,
                 MsgIcon::Information);
    return EXIT_FAILED;
  }
  std::string t;
  for (size_t m = 0; m < view.modules().size(); ++m) {
    view.chooseModule(doc, int(m), doc.stores().imports, false);
    t += view.modules()[m].name + "\n";
    for (size_t f = 0; f < view.functions().size(); ++f) {
      view.chooseFunction(doc, int(f), doc.stores().imports, false);
      t += "  " + view.functions()[f].text + "\n";
      for (const auto& r : view.references()) t += "      " + r.text + "\n";
    }
  }
  printOut(t);
  return EXIT_OK;
}

void addResourceCommands(std::vector<TCliCommand>& commands) {
  commands.push_back(
      {"menus",
       "FILE [--menu NAME] [--refs]   menu resources as MENU blocks, with the code using each command",
       {"menu"},
       {"refs"},
       runMenus});
  commands.push_back(
      {"strings",
       "FILE [--only-referenced] [--no-arith] [--no-bitwise] [--find TEXT]   string-table "
       "strings with the code using them",
       {"find"},
       {"only-referenced", "no-arith", "no-bitwise"},
       runStrings});
}
