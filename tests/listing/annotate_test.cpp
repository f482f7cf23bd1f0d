// The annotation behind listing addresses, over built images and the fixtures:
// import names, jump and pointer chains, previews, string-table texts, labels,
// and every capacity cut.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "analysis/comment_container.h"
#include "analysis/id_refs.h"
#include "analysis/store_locks.h"
#include "listing/annotate.h"
#include "support/fixtures.h"
#include "support/marked_text.h"
#include "support/parsed_image.h"
#include "support/pe_builder.h"

namespace {

constexpr uint32_t kBias = 0x400 - 0x401000;  // builder images: .text offset 0x400 at 0x401000
constexpr int kData = TAnnotator::FlavourData;
constexpr int kJump = TAnnotator::FlavourJumpChain;
constexpr int kCall = TAnnotator::FlavourCallTarget;

// One call: annotateValue (flag = no-hops) or annotateBranch (flag = follow-jumps).
struct TCall {
  bool branch;
  uint32_t v;
  bool memory, flag;
  int flavour;
  uint32_t bias;
  size_t cap;
};
TCall val(uint32_t v, bool memory = false, bool noHops = false, int flavour = kData,
          uint32_t bias = 0, size_t cap = 400) {
  return {false, v, memory, noHops, flavour, bias, cap};
}
// annotateValue of a data value with only cap bytes of room.
TCall cut(uint32_t v, size_t cap, bool memory = false) {
  return val(v, memory, false, kData, 0, cap);
}
TCall br(uint32_t v, bool memory, bool follow, uint32_t bias, size_t cap = 120) {
  return {true, v, memory, follow, kData, bias, cap};
}

// One image with its stores and an annotator over them. The 16 bytes behind
// the file are not zero here: a read past the end would show in the text.
struct TScene {
  TParsedImage file;
  uint32_t size;
  TCommentContainer names;
  TStrRefStore strings;
  TStoreLocks locks;
  TListingAnnotator annotator;

  explicit TScene(const std::vector<uint8_t>& bytes)
      : file(bytes),
        size(uint32_t(bytes.size())),
        annotator(file.image, file.bytes(), size, names, &strings, &locks) {
    for (int i = 0; i < 16; ++i) file.bytes()[size + i] = (i & 1) ? 0 : 'Z';
  }

  void addString(uint32_t id, uint32_t textOffset) {
    TStrRef r(id, textOffset);
    r.refs.add(TMIntType(0x400, 0));
    strings.add(std::move(r));
  }

  // Runs one call on a buffer prefilled with 'X', checks that nothing was
  // written at or behind cap and that out is terminated, and renders it.
  std::string run(const std::function<void(char*)>& call, size_t cap) const {
    std::vector<char> out(cap + 8, 'X');
    call(out.data());
    for (size_t i = cap; i < out.size(); ++i)
      EXPECT_EQ(out[i], 'X') << "written behind cap " << cap;
    if (cap == 0) return "";
    EXPECT_LT(strnlen(out.data(), cap), cap) << "not terminated";
    out[cap - 1] = 0;
    for (const char* p = out.data(); *p; ++p) {
      if (*p == 0x1E || *p == 0x1F) {
        if (p[1]) ++p;
        continue;
      }
      EXPECT_GE(uint8_t(*p), 0x20) << "control byte in the text";
    }
    return visible(out.data());
  }
  std::string operator()(const TCall& k) const {
    return run(
        [&](char* out) {
          if (k.branch)
            annotator.annotateBranch(k.v, out, k.cap, k.memory, k.flag, k.bias);
          else
            annotator.annotateValue(k.v, out, k.cap, k.memory, k.flag, k.flavour, k.bias);
        },
        k.cap);
  }
};

// .text at RVA 0x1000 (file 0x400..0x7FF), .data at RVA 0x2000 (file 0x800..0xBFF).
std::vector<uint8_t> builtImage(const std::function<void(TPeBuilder&)>& fill) {
  TPeBuilder b;
  b.addSection(".text", 0x1000, 0x1000, 0x400);
  b.addSection(".data", 0x2000, 0x1000, 0x400, 0xC0000040);
  fill(b);
  return b.build();
}

// RVA of a file offset of a builder image.
constexpr uint32_t rvaOf(uint32_t offset) {
  return offset < 0x800 ? offset + 0xC00 : offset + 0x1800;
}

void putUtf16(TPeBuilder& b, uint32_t rva, const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i) b.put16(rva + 2 * uint32_t(i), uint8_t(text[i]));
}

struct TCase {
  const char* what;
  TCall call;
  std::string expected;
};

void runCases(const TScene& s, const std::vector<TCase>& cases) {
  for (const auto& c : cases) {
    EXPECT_EQ(s(c.call), c.expected) << c.what;
  }
}

// gui.exe: slots 0x004040E0 ExitProcess (key 0x4166), 0x004040D0 ordinal 3 of
// fixdll.dll, stubs "jmp [slot]" at 0x840 (FixSub) and 0x5D1 (DefWindowProcA).
TEST(Annotate, ImportNames) {
  TScene s(readFixture("gui.exe"));
  s.addString(0x3EB, 0x1978);  // the fixture's string table entry
  const uint32_t bias = 0x400 - 0x401000;
  const std::string exit = " <c 4>-> KERNEL32.dll: ExitProcess<c FF>";
  runCases(s,
           {
               {"slot", val(0x004040E0, true), exit},
               {"key", val(0x4166), " <c 4>= KERNEL32.dll: ExitProcess<c FF>"},
               {"slot value taken as key", val(0x004040E0), ""},
               {"ordinal", val(0x004040D0, true), " <c 4>-> fixdll.dll: ORD: 0003<c FF>"},
               {"memory offset", br(0x004040E0, true, false, bias), exit},
               {"thunk FixSub", br(0x840, false, true, bias), " <c 4>=> fixdll.dll: FixSub<c FF>"},
               {"thunk in code", br(0x5D1, false, true, 0),
                " <c 4>=> USER32.dll: DefWindowProcA<c FF>"},
               // A memory address is no file offset: its number's bytes are not a thunk.
               {"thunk bytes at a memory offset", br(0x840, true, false, bias), ""},
               // Module (12) + 11 is the least room; the function is cut to what fits.
               {"cap 22", cut(0x004040E0, 22, true), ""},
               {"cap 23", cut(0x004040E0, 23, true), " <c 4>-> KERNEL32.dll: <c FF>"},
               {"cap 33", cut(0x004040E0, 33, true), " <c 4>-> KERNEL32.dll: ExitProces<c FF>"},
               {"cap 34", cut(0x004040E0, 34, true), exit},
               {"string table entry", val(0x3EB), " => <c 6>'First line.Second line'<c FF>"},
               // The cut is the same for the shorter "=" form.
               {"key form cap 33", cut(0x4166, 33), " <c 4>= KERNEL32.dll: ExitProces<c FF>"},
           });

  // The slot is read now: a patched slot names nothing any more.
  TScene patched(readFixture("gui.exe"));
  patched.file.patch32(0xEE0, 0);
  EXPECT_EQ(patched(val(0x004040E0, true)), "");

  // Names made by the tracer may hold any byte; none of them can pass as a mark.
  const uint32_t module = s.file.image.findOrAddModule("EV\x1E\x04IL.dll", 1);
  const uint32_t key = s.file.image.findOrAddFunction(module, "F\x1F\x01n");
  EXPECT_EQ(s(val(key)), " <c 4>= EV..IL.dll: F..n<c FF>");

  // Labels go behind the import name, the slot's before the thunk's.
  s.names.add(0x004040E0, "__imp__ExitProcess@4", REPLACE_ALWAYS);
  s.names.add(0x00401440, "FixSubStub", REPLACE_ALWAYS);
  s.names.add(0x004040D4, "__imp__FixSub", REPLACE_ALWAYS);
  EXPECT_EQ(s(val(0x004040E0, true)), exit + "<c 7> => __imp__ExitProcess@4<c FF>");
  EXPECT_EQ(
      s(br(0x840, false, true, bias)),
      " <c 4>=> fixdll.dll: FixSub<c FF><c 7> => __imp__FixSub<c FF><c 7> => FixSubStub<c FF>");
  // The import name may end exactly at cap - 1: no label behind it then.
  EXPECT_EQ(s(cut(0x004040E0, 34, true)), exit);
  EXPECT_EQ(s(cut(0x004040E0, 43, true)), exit);
  EXPECT_EQ(s(cut(0x004040E0, 44, true)), exit + "<c 7> => _<c FF>");
  EXPECT_EQ(s(br(0x840, false, true, 0, 26)), " <c 4>=> fixdll.dll: FixSu<c FF>");
}

TEST(Annotate, JumpChains) {
  TScene s(builtImage([](TPeBuilder& b) {
    b.putBytes(rvaOf(0x400), {0xE9, 0x0B, 0, 0, 0});  // -> 0x410
    b.putBytes(rvaOf(0x410), {0xEB, 0x0E});           // -> 0x420
    b.put8(rvaOf(0x420), 0xC3);
    for (uint32_t o = 0x500; o < 0x530; o += 8) b.putBytes(rvaOf(o), {0xEB, 0x06});  // six jumps
    b.put8(rvaOf(0x530), 0xC3);
    b.putBytes(rvaOf(0x440), {0xE9, 0, 0, 1, 0});        // leaves the file
    b.putBytes(rvaOf(0x448), {0xE9, 0xF3, 0xFB, 0, 0});  // -> 0x1040 (RVA 0x1C40: no raw data)
    b.putBytes(rvaOf(0x450), {0xEB, 0xFE});              // jumps to itself
    b.putBytes(rvaOf(0xBF9),
               {0xEB, 0x00, 0xEB, 0x00});  // the second one ends 5 bytes before the end
  }));
  const std::string twoOffsets = " -> {3}00000410 -> {3}00000420";
  const std::string fiveOffsets =
      " -> {3}00000508 -> {3}00000510 -> {3}00000518 -> {3}00000520 -> {3}00000528";
  runCases(s,
           {
               {"jmp, jmp, ret", br(0x400, false, true, 0), twoOffsets},
               {"memory addresses", br(0x400, false, true, kBias),
                " -> {3}00401010 -> {3}00401020"},
               {"six jumps show five", br(0x500, false, true, 0), fiveOffsets},
               {"no-hops: two", val(0x500, false, true, kJump), " -> {3}00000508 -> {3}00000510"},
               {"self loop", br(0x450, false, true, kBias),
                " -> {3}00401050 -> {3}00401050 -> {3}00401050 -> {3}00401050 -> {3}00401050"},
               {"target outside the file", br(0x440, false, true, 0), ""},
               {"target outside, memory", br(0x440, false, true, kBias), ""},
               {"memory target without file bytes", br(0x448, false, true, kBias), ""},
               {"last jump too near the end", br(0xBF9, false, true, 0), " -> {3}00000BFB"},
               {"no jump", br(0x420, false, true, 0), ""},
               // Each link needs 14 characters and the terminator.
               {"cap 14", br(0x400, false, true, 0, 14), ""},
               {"cap 15", br(0x400, false, true, 0, 15), " -> {3}00000410"},
               {"cap 28", br(0x400, false, true, 0, 28), " -> {3}00000410"},
               {"cap 29", br(0x400, false, true, 0, 29), twoOffsets},
           });
}

// .data (0x402000 = file 0x800): a chain of five pointers ending at "Hello",
// and texts for the previews.
TEST(Annotate, PointerChainsAndPreviews) {
  TScene s(builtImage([](TPeBuilder& b) {
    for (uint32_t a = 0x2000; a < 0x2040; a += 0x10) b.put32(a, 0x00400000 + a + 0x10);
    b.put32(0x2040, 0x00402100);
    b.putString(0x2100, "Hello");
    b.putString(0x2110, "Hi");
    b.putString(0x2120, "A\tB\r\nC");
    b.putString(0x2130, "~ \xC4\xD6\xDC\xE4\xF6\xFC\xDF\x7F");  // DEL is no text
    putUtf16(b, 0x2140, "Wide");
    b.put32(0x2160, 0x80402100);  // top byte differs from the image base's
    b.put32(0x2170, 0x00409000);  // top byte fits, but no byte of the file
    b.put32(0x2180, 0x00402100);
    b.putBytes(0x2190, {'a', 'b', 'c', 0x1F, 0x01});
    b.putBytes(0x21A0, {'x', 0, 'y', 0, 'z', 1});
    b.putBytes(rvaOf(0xBFA), {'T', 'a', 'i', 'l', 'E', 'n'});  // runs into the file's end
  }));
  TScene wideTail(builtImage([](TPeBuilder& b) { putUtf16(b, rvaOf(0xBFC), "UV"); }));
  EXPECT_EQ(wideTail(val(0x400000 + rvaOf(0xBFC))), " -> <c 6>'UV'<c FF>");
  const std::string hello = " -> <c 6>\"Hello\"<c FF>";
  runCases(
      s,
      {
          {"text", val(0x402100), hello},
          {"two characters are no text", val(0x402110), ""},
          {"layout controls", val(0x402120), " -> <c 6>\"A.B..C\"<c FF>"},
          {"tilde, blank, German letters", val(0x402130),
           " -> <c 6>\"~ \xC4\xD6\xDC\xE4\xF6\xFC\xDF\"<c FF>"},
          {"control byte ends the text", val(0x402190), " -> <c 6>\"abc\"<c FF>"},
          {"UTF-16", val(0x402140), " -> <c 6>'Wide'<c FF>"},
          {"UTF-16 ends at a high byte", val(0x4021A0), " -> <c 6>'xy'<c FF>"},
          {"ASCII ends with the file", val(0x400000 + rvaOf(0xBFA)), " -> <c 6>\"TailEn\"<c FF>"},
          {"one pointer", val(0x402180), " -> {1}00402100" + hello},
          {"four pointers at most, then no preview", val(0x402000),
           " -> {1}00402010 -> {1}00402020 -> {1}00402030 -> {1}00402040"},
          {"four pointers reach the text", val(0x402010),
           " -> {1}00402020 -> {1}00402030 -> {1}00402040 -> {1}00402100"},
          {"three pointers and the text", val(0x402020),
           " -> {1}00402030 -> {1}00402040 -> {1}00402100" + hello},
          {"no-hops: one pointer", val(0x402000, true, true), " -> {1}00402010"},
          {"other top byte", val(0x402160), ""},
          {"pointer outside the file", val(0x402170), ""},
          {"call target: no preview without a pointer", val(0x402100, true, false, kCall), ""},
          {"call target: preview behind a pointer", val(0x402180, true, false, kCall),
           " -> {1}00402100" + hello},
          {"thunk through a pointer slot", val(0x402180, true, true, kCall), " -> {1}00402100"},
          {"not in the file", val(0x00500000), ""},
          // ASCII needs 12 characters of room, UTF-16 11; the closing quote,
          // colour mark and terminator always fit.
          {"ASCII cap 12", cut(0x402100, 12), ""},
          {"ASCII cap 13", cut(0x402100, 13), " -> <c 6>\"He\"<c FF>"},
          {"ASCII cap 15", cut(0x402100, 15), " -> <c 6>\"Hell\"<c FF>"},
          {"ASCII cap 16", cut(0x402100, 16), hello},
          {"UTF-16 cap 11", cut(0x402140, 11), ""},
          {"UTF-16 cap 12", cut(0x402140, 12), " -> <c 6>'W'<c FF>"},
          {"UTF-16 cap 15", cut(0x402140, 15), " -> <c 6>'Wide'<c FF>"},
          {"pointer then no room for the text", cut(0x402180, 26), " -> {1}00402100"},
          {"pointer cap 14", cut(0x402180, 14), ""},
          {"pointer cap 15", cut(0x402180, 15), " -> {1}00402100"},
          {"capacity below 6", cut(0x402100, 5), ""},
      });
  // A capacity too small for anything still empties out.
  char out[4] = "abc";
  s.annotator.annotateValue(0x402100, out, sizeof out, false, false, kData, 0);
  EXPECT_STREQ(out, "");
  EXPECT_EQ(s.annotator.memoryToFileOffset(0x402100), 0x900u);
}

TEST(Annotate, StringReferences) {
  TScene s(builtImage([](TPeBuilder& b) {
    b.put16(0x2200, 5);
    putUtf16(b, 0x2202, "Hello");
    b.put16(0x2220, 3);
    b.putBytes(0x2222, {'A', 0, '\n', 0, 0x1F, 0});  // no control byte may reach the text
    b.put16(rvaOf(0xBF6), 40);                       // longer than the rest of the file
    putUtf16(b, rvaOf(0xBF8), "Cut!");
    b.putBytes(rvaOf(0x400), {0xEB, 0xFE});
  }));
  s.addString(0x3EB, 0xA00);
  s.addString(0x10, 0xA20);
  s.addString(0x11, 0xBF6);
  s.addString(0x12, 0xBFB);   // offset + 5 is the file's end
  s.addString(0x400, 0xA00);  // an id that is also a file offset holding a jump
  s.addString(0x402200, 0xA00);
  const std::string hello = " => <c 6>'Hello'<c FF>";
  runCases(s, {
                  {"found", val(0x3EB), hello},
                  {"absent", val(0x3EC), ""},
                  {"control bytes", val(0x10), " => <c 6>'A..'<c FF>"},
                  {"count beyond the file", val(0x11), " => <c 6>'Cut!'<c FF>"},
                  {"string at the file's end", val(0x12), ""},
                  {"behind a jump chain, by the value", br(0x400, false, true, 0),
                   " -> {3}00000400 -> {3}00000400 -> {3}00000400 -> {3}00000400 -> {3}00000400" +
                       hello},
                  // A value in the file takes the pointer path, which ends in a preview.
                  {"value in the file", val(0x402200), ""},
                  {"cap 11", cut(0x3EB, 11), ""},
                  {"cap 12", cut(0x3EB, 12), " => <c 6>'H'<c FF>"},
                  {"cap 16", cut(0x3EB, 16), hello},
              });
  s.locks.lock(TRefStoreKind::String);
  EXPECT_EQ(s(val(0x3EB)), "") << "a store being filled is not read";
  s.locks.lock(TRefStoreKind::Menu);
  s.locks.unlock(TRefStoreKind::String);
  EXPECT_EQ(s(val(0x3EB)), hello) << "only the string flag counts";

  TListingAnnotator noStore(s.file.image, s.file.bytes(), s.size, s.names);
  char out[64];
  noStore.annotateValue(0x3EB, out, sizeof out, false, false, kData, 0);
  EXPECT_STREQ(out, "");
}

TEST(Annotate, Labels) {
  TScene s(builtImage([](TPeBuilder& b) {
    b.putString(0x2100, "Hello");
    b.put32(0x2000, 0x00402100);
    b.putBytes(rvaOf(0x400), {0xE9, 0x0B, 0, 0, 0});
    b.putBytes(rvaOf(0x410), {0xEB, 0x0E});
    b.putBytes(rvaOf(0x600), {0xFF, 0x25, 0x00, 0x20, 0x40, 0x00});  // jmp [00402000]
    b.put8(0xC10, 0x90);                                             // a byte behind every section
  }));
  s.names.add(0x402100, "greeting", REPLACE_ALWAYS);
  s.names.add(0x401000, "start", REPLACE_ALWAYS);
  s.names.add(0x401200, "thunk", REPLACE_ALWAYS);  // file 0x600
  s.names.add(0x402000, "table", REPLACE_ALWAYS);
  s.names.add(0x400C10, "overlay", REPLACE_ALWAYS);
  s.names.add(0xFFFFFFFF, "nowhere", REPLACE_ALWAYS);
  s.names.add(0x00000400, "offset key", REPLACE_ALWAYS);
  s.names.add(0x3000,
              std::string("a\x1F\x01"
                          "b\x1E"),
              REPLACE_ALWAYS);
  s.names.add(0x4000, std::string(254, 'n'), REPLACE_ALWAYS);
  auto lbl = [](const std::string& text) { return "<c 7> => " + text + "<c FF>"; };
  runCases(s, {
                  {"behind a preview", val(0x402100), " -> <c 6>\"Hello\"<c FF>" + lbl("greeting")},
                  {"immediate", val(0x401000), lbl("start")},
                  {"jump chain: keyed by memory address", br(0x400, false, true, 0),
                   " -> {3}00000410 -> {3}00000420" + lbl("start")},
                  {"same with memory addresses shown", br(0x400, false, true, kBias),
                   " -> {3}00401010 -> {3}00401020" + lbl("start")},
                  {"file offset in no section", br(0xC10, false, true, 0), lbl("overlay")},
                  {"file offset beyond the file", br(0x00500000, false, true, 0), ""},
                  {"call target keyed by its address", val(0x402000, true, true, kCall),
                   " -> {1}00402100" + lbl("table")},
                  {"thunk: slot label, then the thunk's", br(0x600, false, true, 0),
                   " => {1}00402100" + lbl("table") + lbl("thunk")},
                  {"control bytes", val(0x3000), lbl("a..b.")},
                  {"long name", val(0x4000), lbl(std::string(254, 'n'))},
                  // Written only with room for one character; the text keeps out below cap - 3.
                  {"cap 10", cut(0x401000, 10), ""},
                  {"cap 11", cut(0x401000, 11), lbl("s")},
                  {"cap 14", cut(0x401000, 14), lbl("star")},
                  {"cap 15", cut(0x401000, 15), lbl("start")},
                  {"branch label cut", br(0xC10, false, true, 0, 12), lbl("ov")},
                  {"after a chain that fills out", br(0x400, false, true, 0, 38),
                   " -> {3}00000410 -> {3}00000420"},
                  {"after a chain, one character", br(0x400, false, true, 0, 39),
                   " -> {3}00000410 -> {3}00000420" + lbl("s")},
              });
}

// Only PE images are annotated, whatever the stores hold.
TEST(Annotate, OtherFilesGetNothing) {
  std::vector<uint8_t> mz = buildMz(2, 0, 0, 0x200);
  std::copy_n("\xFF\x25\x10", 3, mz.begin() + 0x100);
  for (const auto& bytes : {mz, readFixture("dos.exe"), readFixture("raw.bin")}) {
    TScene s(bytes);
    ASSERT_FALSE(s.file.image.isPE());
    for (uint32_t key : {0x100u, 0x200100u, 0x10u}) s.names.add(key, "name", REPLACE_ALWAYS);
    s.addString(0x100, 0x20);
    for (int flavour : {kData, kJump, kCall}) EXPECT_EQ(s(val(0x100, true, false, flavour)), "");
    EXPECT_EQ(s(br(0x100, false, true, 0)), "");
    EXPECT_EQ(s(br(0x100, true, false, 0)), "");
  }
}

}  // namespace
