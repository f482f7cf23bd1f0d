// Listing lines and rows over the fixtures and small buffers: golden rows with
// their marks rendered visibly ("<c N>" colour, "{k}" reference), string and
// data lines, byte cells, resolved references and their hotspots, extra rows.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "analysis/comment_container.h"
#include "analysis/jc_refs.h"
#include "analysis/store_locks.h"
#include "base/text_format.h"
#include "image/image_info.h"
#include "listing/annotate.h"
#include "listing/listing_lines.h"
#include "listing/listing_marks.h"
#include "listing/listing_rows.h"
#include "support/fixtures.h"
#include "support/marked_text.h"
#include "support/recording_host.h"

namespace {

using namespace std::string_view_literals;

// A file as the document holds it: bytes + 16 zero bytes, the parsed image,
// names, a jump/call store and the annotation over them.
struct TListingFile {
  std::vector<uint8_t> bytes;
  uint32_t size = 0;
  TImageInfo image;
  TCommentContainer names;
  TJCRefContainer jumpCalls;
  TStoreLocks locks;
  std::unique_ptr<TListingAnnotator> annotator;
  RecordingHost host;
  TListingContext ctx;
  TListingState state;

  explicit TListingFile(std::vector<uint8_t> data, const std::string& name = "test.bin") {
    size = static_cast<uint32_t>(data.size());
    bytes = std::move(data);
    bytes.resize(size + 16, 0);
    image.parseImage(bytes.data(), size, name);
    annotator = std::make_unique<TListingAnnotator>(image, bytes.data(), size, names);
    ctx.lines.buffer = bytes.data();
    ctx.lines.size = size;
    ctx.lines.image = &image;
    ctx.lines.annotator = annotator.get();
    ctx.lines.host = &host;
    ctx.names = &names;
    ctx.jumpCalls = &jumpCalls;
    ctx.locks = &locks;
    ctx.host = &host;
    reset();
  }
  static TListingFile& fixture(const std::string& name) {
    static std::map<std::string, std::unique_ptr<TListingFile>> cache;
    auto& f = cache[name];
    if (!f) f = std::make_unique<TListingFile>(readFixture(name), name);
    f->reset();
    return *f;
  }
  void reset() {
    state = TListingState{};
    state.fileOffsets = !image.isPE();
    state.bits16 = !image.isPE();
    names.clear();
    jumpCalls.clear();
    host.messages.clear();
    ctx.lines.trace = nullptr;
    ctx.lines.segments = nullptr;
    ctx.cursorFollowsView = false;
  }
  // The rows of a paint, one string each.
  std::vector<std::string> rows(uint32_t offset, uint32_t count, uint32_t width = 120) {
    state.topOffset = offset;
    paintRows(state, ctx, count, width, paint);
    std::vector<std::string> out;
    for (const auto& r : paint.rows) out.push_back(visible(r.text));
    return out;
  }
  // One line through Disassembly with 10 cells, and the cursor's advance.
  std::string line(uint32_t offset, uint32_t& length, bool memory = false, bool strings = true,
                   uint8_t* stringState = nullptr) {
    char text[CODE_LINE_CAPACITY];
    const uint8_t* p = bytes.data() + offset;
    uint8_t s = stringState ? *stringState : 0;
    Disassembly(p, ctx.lines, LISTING_BYTE_CELLS, strings, text, sizeof text, memory, state.bits16,
                s);
    if (stringState) *stringState = s;
    length = static_cast<uint32_t>(p - bytes.data()) - offset;
    return visible(text);
  }
  // Top, cursor and its line set and painted, as before a key.
  void place(uint32_t top, uint32_t cursor, uint32_t cursorLine, uint32_t count) {
    state.topOffset = top;
    state.cursor = cursor;
    state.cursorLine = cursorLine;
    paintRows(state, ctx, count, 80, paint);
  }
  // A narrow-thumb scroll event and what it leaves: "moved top pos max [thumb]".
  std::string scroll(TScrollCode code, int64_t thumb) {
    const bool moved = EvVScroll(state, ctx, code, thumb, 16, false);
    return wsString("%d top %X pos %X max %X%s", moved, state.topOffset, state.scrollPos,
                    state.scrollMax, state.thumbTracking ? " thumb" : "");
  }
  TKeyAction key(TListingKey k, uint32_t count) { return keyDown(state, ctx, paint, k, count, 80); }
  std::string where() const {
    return wsString("%X.%u top %X", state.cursor, unsigned(state.nibble), state.topOffset);
  }
  TListingPaint paint;
};

TEST(ShownAddress, AddressSpacesAndHeaders) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    uint32_t offset;
    bool memory;
    uint32_t expected;
  } cases[] = {
      {"gui memory", readFixture("gui.exe"), 0x400, true, 0x00401000},
      {"gui file", readFixture("gui.exe"), 0x400, false, 0x400},
      {"gui header", readFixture("gui.exe"), 0x10, true, 0x00400010},
      {"raw memory", readFixture("raw.bin"), 0x20, true, 0x200020},
      {"dos memory", readFixture("dos.exe"), 0x220, true, 0x220},
      {"MZ too short for a header", {'M', 'Z'}, 1, true, 1},
      // e_lfanew 0x1F0 > size - 120
      {"e_lfanew beyond the file",
       zeroBytesWith(0x200, {{0, 'M'}, {1, 'Z'}, {0x3C, 0xF0}, {0x3D, 1}}), 0x30, true, 0x30},
      // image base 0x00400000
      {"PE below one header page",
       zeroBytesWith(0x100,
                     {{0, 'M'}, {1, 'Z'}, {0x3C, 0x40}, {0x40, 'P'}, {0x41, 'E'}, {0x76, 0x40}}),
       0x20, true, 0x00400020},
  };
  for (auto& c : cases) {
    c.bytes.resize(c.bytes.size() + 16, 0);
    EXPECT_EQ(shownAddress(c.offset, c.bytes.data(), uint32_t(c.bytes.size() - 16), c.memory),
              c.expected)
        << c.what;
  }
}

// ---- string runs and lines from small buffers ----------------------------

TEST(ListingLines, StringRunsAndDataLines) {
  struct Case {
    const char* what;
    std::string_view bytes;
    uint8_t state;
    std::string expected;
    uint32_t length;
    uint8_t stateAfter;
    bool strings = true;
  } cases[] = {
      {"zero-terminated string", "Hello\0\x90"sv, 0,
       " 00000000 48656C6C6F00         db    <c 6>\"Hello\"<c FF>,0", 6, 0},
      {"two characters are code", "Hi\0\x90"sv, 0, " 00000000 48                   dec   eax", 1,
       0},
      {"continuation accepts one character", "x\1\x90"sv, STRING_ASCII,
       " 00000000 78                   db    <c 6>\"x\"<c FF>", 1, STRING_ASCII},
      {"UTF-16 with terminator", "A\0b\0c\0d\0\0\0\x90"sv, 0,
       " 00000000 41006200630064000000 db    <c 6>'Abcd'<c FF>,0", 10, 0},
      {"tab and line feed as dots", "a\tb\nc\0"sv, 0,
       " 00000000 6109620A6300         db    <c 6>\"a.b.c\"<c FF>,0", 6, 0},
      {"single byte before a string", "\xC3Text\0"sv, 0, " 00000000 C3                   db    C3",
       1, 0},
      {"instruction cut before a string", "\5\0\0\0ABCDE\0"sv, 0,
       " 00000000 05000000             db    05,00,00,00", 4, 0},
      {"whole instruction of text is not cut", "\0\0W\0x\0y\0z\0"sv, 0,
       " 00000000 0000                 add   byte ptr [eax],al", 2, 0},
      {"12-byte instruction shows +", "\x26\xC7\x84\x24\1\2\3\4\5\6\7\10"sv, 0,
       " 00000000 26C78424010203040506+mov   dword ptr es:[esp+{1}04030201],{1}08070605", 12, 0},
      {"instruction running past the end", "\x90\xE8\1"sv, 0,
       " 00000000 90                   nop   ", 1, 0},
      {"32 characters at most, the string goes on", "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\0"sv,
       0, " 00000000 61616161616161616161+db    <c 6>\"" + std::string(32, 'a') + "\"<c FF>", 32,
       STRING_ASCII},
      {"without string detection text is code", "aaaaaaaa\0"sv, 0,
       " 00000000 61                   popa  ", 1, 0, false},
  };
  for (auto& c : cases) {
    TListingFile f(std::vector<uint8_t>(c.bytes.begin(), c.bytes.end()));
    f.state.bits16 = false;
    uint32_t length = 0;
    uint8_t s = c.state;
    const std::string text = f.line(0, length, false, c.strings, &s);
    EXPECT_EQ(std::tie(text, length, s), std::tie(c.expected, c.length, c.stateAfter)) << c.what;
  }
  // The clamped tail of a file: a call whose displacement lies behind the end.
  TListingFile tail(std::vector<uint8_t>{0x90, 0xE8, 0x01});
  uint32_t length = 0;
  EXPECT_EQ(tail.line(1, length), " 00000001 E801                 db    E8,01");
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(asciiRunLength(tail.bytes.data(), 3, 3, 0, 4), 0u);
}

TEST(ListingLines, CapacityFailuresLeaveTextEmpty) {
  TListingFile f(std::vector<uint8_t>{0x90, 0x90});
  char text[40] = "x";
  const uint8_t* p = f.bytes.data();
  uint8_t s = 0;
  Disassembly(p, f.ctx.lines, 10, true, text, 51, false, false, s);
  EXPECT_EQ(p, f.bytes.data());
  EXPECT_STREQ(text, "");
  HexDump(f.ctx.lines, 0, 16, text, 68, false);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(
      f.host.messageLines(),
      (std::vector<std::string>{
          "Disassembly() : string size error: String has not enough space for this disassembly!",
          "HexDump() : string size error: String has not enough space for this hex dump!"}));
  // Just room enough: the line is the whole line cut at the capacity, the
  // instruction's text included (an annotated import call of gui.exe).
  auto& gui = TListingFile::fixture("gui.exe");
  for (size_t cap : {size_t(52), size_t(60), size_t(75), size_t(90)}) {
    char whole[CODE_LINE_CAPACITY], cut[CODE_LINE_CAPACITY];
    const uint8_t* at = gui.bytes.data() + 0x633;
    Disassembly(at, gui.ctx.lines, 10, true, whole, sizeof whole, true, false, s);
    at = gui.bytes.data() + 0x633;
    Disassembly(at, gui.ctx.lines, 10, true, cut, cap, true, false, s);
    EXPECT_EQ(std::string(cut), std::string(whole).substr(0, cap - 1)) << cap;
  }
}

TEST(ListingLines, HexDumpRows) {
  auto& raw = TListingFile::fixture("raw.bin");
  char text[HEX_LINE_CAPACITY];
  struct Case {
    uint32_t offset, count;
    bool memory;
    const char* expected;
  } cases[] = {
      {0x2A, 16, false, " 0000002A  5468 6973 2069 7320-7261 772E 6269 6E2C  This is raw.bin,"},
      {0x13C, 16, true, ":0020013C  0000 0000                                ...."},
      {0x00, 8, false, " 00000000  EB04 5241-5700 BE2A  \xEB.RAW.\xBE*"},
  };
  for (const auto& c : cases) {
    HexDump(raw.ctx.lines, c.offset, c.count, text, sizeof text, c.memory);
    EXPECT_EQ(std::string(text), c.expected) << c.offset;
  }
}

TEST(ListingLines, MarkStyles) {
  const char* text = "a\36\3b\36\377c\37\1d\36\120e";  // colours 03, FF, 50 and reference 1
  struct Case {
    TMarkStyle style;
    const char* expected;
  } cases[] = {
      {TMarkStyle::Plain, "abcde"},
      {TMarkStyle::Tokens, "a<c 3>b<c FF>c{1}d<c 50>e"},
      {TMarkStyle::Ansi, "a\x1b[32mb\x1b[39mcd\x1b[48;5;217me\x1b[0m"},
  };
  for (const auto& c : cases) {
    std::string out;
    appendMarkedText(out, text, c.style);
    EXPECT_EQ(out, c.expected) << int(c.style);
  }
  std::string plain;
  appendMarkedText(plain, "no marks", TMarkStyle::Ansi);
  EXPECT_EQ(plain, "no marks");
}

// ---- resolved marks -----------------------------------------------------

TEST(ListingLines, ResolvedMarksAndHotspots) {
  struct Case {
    const char* what;
    const char* file;
    bool memory, bits16;
    const char* in;  // "{k}": reference mark of kind k
    const char* out;
    std::string hotspots;  // type target source shown column width, hex, per hotspot
  } cases[] = {
      {"data reference", "gui.exe", true, false, "ab [{1}00402008]", "ab [<c 1>00402008<c FF>]",
       "0 A08 402008 402008 4 8;"},
      {"data reference outside every section", "gui.exe", true, false, "x {1}00000010",
       "x 00000010", ""},
      {"call in a memory listing", "gui.exe", true, false, "call  {2}00401440",
       "call  <c 2>00401440<c FF>", "40 840 10 401440 6 8;"},
      {"jump in a file-offset listing", "gui.exe", false, false, "jz {3}00000840",
       "jz <c 3>00000840<c FF>", "41 840 10 840 3 8;"},
      {"jump beyond the file", "gui.exe", false, false, "jmp {3}00100000", "jmp <c FF>00100000",
       ""},
      {"16-bit target in a PE memory listing gets eight digits", "gui.exe", true, true,
       "jmp {3}1234", "jmp <c FF>00001234", ""},
      {"kind 5 in a file-offset listing prints the offset", "gui.exe", false, false,
       "call {5}00401440", "call <c 2>00000840<c FF>", "40 840 10 840 5 8;"},
      {"kind 6 that converts nowhere", "gui.exe", true, false, "jmp {6}00000010",
       "jmp <c FF>00000010", ""},
      {"far call in a PE drops the mark", "gui.exe", true, false, "call {4}0010:011C",
       "call 0010:011C", ""},
      {"far call in an MZ program", "dos.exe", false, true, "call {4}0010:011C",
       "call <c 2>0010:011C<c FF>", "60 23C 10 10011C 5 9;"},
      {"far jump beyond the file", "dos.exe", false, true, "jmp {7}F000:0000",
       "jmp <c FF>F000:0000", ""},
      {"MZ call in a memory listing shows the offset in the load module", "dos.exe", true, true,
       "call {2}0237", "call <c 2>0217<c FF>", "40 237 10 217 5 4;"},
      {"16-bit address, file offsets", "dos.exe", false, true, "mov dx,{8}d0123",
       "mov dx,<c 1>0123<c FF>", "0 143 123 123 7 4;"},
      {"16-bit address, memory addresses", "dos.exe", true, true, "mov dx,{8}d0123",
       "mov dx,<c 1>00000143<c FF>", "0 143 123 143 7 8;"},
      {"16-bit address beyond the file loses its letter", "dos.exe", false, true, "mov ax,{8}d4C00",
       "mov ax,<c FF>4C00", ""},
      {"fs address in 32-bit code names the TIB field", "gui.exe", true, false,
       "mov eax,fs:[{8}f0018]", "mov eax,fs:[<c FF>0018] <c 7>-> TIB.ptibSelf", ""},
      {"raw file: marks and letters go", "raw.bin", false, true, "mov si,{8}d0184 {3}0012",
       "mov si,0184 0012", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    auto& f = TListingFile::fixture(c.file);
    char text[RENDERED_LINE_CAPACITY];
    Hotspot h[8];
    const uint32_t n = resolveMarks(marked(c.in).c_str(), 0x10, f.ctx.lines, c.memory, c.bits16,
                                    text, sizeof text, h, 8, 3);
    EXPECT_EQ(visible(text), c.out);
    std::string spots;
    for (uint32_t i = 0; i < n; ++i) {
      spots += wsString("%X %X %X %X %d %X;", h[i].type, h[i].target, h[i].source, h[i].shown,
                        h[i].column, h[i].width);
      EXPECT_EQ(h[i].row, 3);
    }
    EXPECT_EQ(spots, c.hotspots);
  }
  // A segment register of the tracer moves a 16-bit address; an unknown kind
  // is reported; without room nothing is recorded.
  auto& dos = TListingFile::fixture("dos.exe");
  TSegmentView seg{{0, 0, 0, 0x10, 0, 0}};
  dos.ctx.lines.segments = &seg;
  char text[RENDERED_LINE_CAPACITY];
  Hotspot h[2];
  const auto resolve = [&](const char* in, uint32_t room) {
    return resolveMarks(marked(in).c_str(), 0, dos.ctx.lines, false, true, text, sizeof text, h,
                        room, 0);
  };
  ASSERT_EQ(resolve("{8}d0023", 2), 1u);
  EXPECT_EQ(h[0].target, 0x143u);
  EXPECT_EQ(resolve("x{9}12", 2), 0u);
  EXPECT_EQ(visible(text), "x<c FF>12");
  EXPECT_EQ(dos.host.messageLines(), std::vector<std::string>{"renderCodeLine(): ARGH! tag=09"});
  EXPECT_EQ(resolve("{8}d0023", 0), 0u);
}

// ---- byte cell marks ----------------------------------------------------

struct TStripes : TByteStateSource {
  uint8_t byteState(uint32_t offset) const override { return uint8_t(offset & 7); }
};

TEST(ListingLines, ByteCellMarks) {
  auto& gui = TListingFile::fixture("gui.exe");
  char text[RENDERED_LINE_CAPACITY];
  uint8_t s = 0;
  // mov ecx,[00404124]: the relocated dword starts at 0x41E.
  TLineSource src = gui.ctx.lines;
  src.markRelocations = true;
  // (the bytes 0D 24 41 40 read as a string: decode them as the instruction)
  const uint8_t* p = gui.bytes.data() + 0x41C;
  renderCodeLine(p, src, true, false, false, s, text, sizeof text, nullptr, 0, 0);
  const std::string relocated =
      ":0040101C 8B0D<c 50>24<c 40><c 51>41<c 40><c 51>40<c 40><c 51>00<c 40>         mov   ecx";
  EXPECT_EQ(visible(text).substr(0, relocated.size()), relocated);
  // Without relocation marking the trace states colour the cells (state 0 unmarked).
  TStripes stripes;
  src.markRelocations = false;
  src.trace = &stripes;
  p = gui.bytes.data() + 0x41C;
  renderCodeLine(p, src, false, false, false, s, text, sizeof text, nullptr, 0, 0);
  EXPECT_EQ(visible(text).substr(0, 82),
            " 0000041C <c 44>8B<c 40><c 45>0D<c 40><c 46>24<c 40><c 47>41<c 40>40<c 41>00<c 40>");
}

// ---- painted rows -------------------------------------------------------

TEST(ListingRows, TlsCallbackRowsWithReferencesAndEndLines) {
  auto& gui = TListingFile::fixture("gui.exe");
  gui.jumpCalls.append(0x5F9, 0x5EA, 1);
  gui.jumpCalls.sort();
  gui.names.add(0x004011FD, "tls_second", REPLACE_ALWAYS);
  const std::vector<std::string> expected = {
      "<c 9> --- 1. TLS callback ---",
      ":004011E3 55                   push  ebp",
      ":004011E4 89E5                 mov   ebp,esp",
      ":004011E6 837D0C01             cmp   dword ptr [ebp+0000000C],01",
      ":004011EA 750D                 jnz   <c 3>004011F9<c FF>",
      ":004011EC A108204000           mov   eax,dword ptr [<c 1>00402008<c FF>]",
      ":004011F1 83C801               or    eax,01",
      ":004011F4 A308204000           mov   dword ptr [<c 1>00402008<c FF>],eax",
      "<c B>---> Possible reference from <c A>004011EA",
      ":004011F9 5D                   pop   ebp",
      ":004011FA C20C00               ret   000C",
      "<c 9>---------------------------------------end",
      "",
      "",
      "<c 9> --- 2. TLS callback ---",
      "<c 7> ----  tls_second  ----",
      ":004011FD 55                   push  ebp",
  };
  EXPECT_EQ(gui.rows(0x5E3, 17), expected);
  const std::vector<uint32_t> table = {0x5E3, 0x5E3, 0x5E4, 0x5E6, 0x5EA, 0x5EC,
                                       0x5F1, 0x5F4, 0x5F9, 0x5F9, 0x5FA, 0x5FD,
                                       0x5FD, 0x5FD, 0x5FD, 0x5FD, 0x5FD, 0x5FE};
  EXPECT_EQ(gui.paint.lineTable, table);
  EXPECT_EQ(gui.paint.nextLineOffset, 0x5E3u);  // the first row is a marker
  // Hotspots carry their row: the jump (row 4), two data references, the reference source.
  const Hotspot* h = gui.paint.hotspots;
  EXPECT_EQ(wsString("%u: %d, %X %X %d", gui.paint.hotspotCount, h[0].row, h[3].type, h[3].target,
                     h[3].column),
            wsString("4: 4, %X 5EA 29", HOTSPOT_POSSIBLE_REF));
  // While the scanner fills the store, no reference lines.
  gui.locks.lock(TRefStoreKind::JumpCall);
  EXPECT_EQ(gui.rows(0x5F4, 2)[1], ":004011F9 5D                   pop   ebp");
  gui.locks.unlock(TRefStoreKind::JumpCall);
  // The first row being a code line sets the next-line offset; the entry
  // marker gets its blank row when it is not first.
  gui.rows(0x622, 6);
  EXPECT_EQ(gui.paint.nextLineOffset, 0x625u);
  EXPECT_EQ(visible(gui.paint.rows[3].text), "");
  EXPECT_EQ(visible(gui.paint.rows[4].text), "<c 9> --- Programm entry point ---");
}

TEST(ListingRows, ReferenceListsWrapAndEndInDots) {
  auto& gui = TListingFile::fixture("gui.exe");
  for (uint32_t s = 0x400; s < 0x400 + 9 * 0x10; s += 0x10) gui.jumpCalls.append(0x625, s, 1);
  gui.jumpCalls.sort();
  gui.state.fileOffsets = true;
  const std::string first =
      "<c B>---> Possible reference from <c A>00000400<c B>, <c A>00000410<c B>, "
      "<c A>00000420<c B>, <c A>00000430<c B>,";
  const std::string second =
      "                             <c A>00000440<c B>, <c A>00000450<c B>, <c A>00000460<c B>, "
      "<c A>00000470";
  const std::string marker = "<c 9> --- Programm entry point ---";
  const std::string code = " 00000625 55                   push  ebp";
  struct Case {
    uint32_t rows, hotspots;
    std::vector<std::string> expected;
  } cases[] = {
      {6,
       9,
       {marker, first, second + "<c B>,", "                             <c A>00000480", code,
        " 00000626 89E5                 mov   ebp,esp"}},
      {2, 0, {marker, code}},  // the code line keeps its row
      {4, 8, {marker, first, second + "<c B>, ...", code}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(gui.rows(0x625, c.rows, 70), c.expected) << c.rows;
    EXPECT_EQ(gui.paint.hotspotCount, c.hotspots) << c.rows;
  }
  EXPECT_EQ(gui.paint.hotspots[7].row, 2);
  EXPECT_EQ(gui.paint.hotspots[7].column, 29 + 3 * 10);
  EXPECT_EQ(rowsForLine(gui.state, gui.ctx, 0x625, 70, false), 6u);
  EXPECT_EQ(rowsForLine(gui.state, gui.ctx, 0x625, 70, true), 5u);
  gui.state.showCodeReferences = false;
  EXPECT_EQ(rowsForLine(gui.state, gui.ctx, 0x625, 70, true), 2u);
}

TEST(ListingRows, JumpBlankLabelAndPastEnd) {
  // jmp +0; label; nop; ret at the end of the file.
  TListingFile f(std::vector<uint8_t>{0xEB, 0x00, 0x90, 0xC3});
  f.names.add(0x200002, "there", REPLACE_ALWAYS);
  f.state.fileOffsets = true;
  EXPECT_EQ(f.rows(0, 8), (std::vector<std::string>{
                              " 00000000 EB00                 jmp   0002",
                              "",
                              "<c 7> ----  there  ----",
                              " 00000002 90                   nop   ",
                              " 00000003 C3                   ret   ",
                              "<c 9>---------------------------------------end",
                              "",
                              "",
                          }));
  EXPECT_EQ(f.paint.lineTable, (std::vector<uint32_t>{0, 2, 2, 2, 3, 4, 4, 4, 4}));
  EXPECT_EQ(f.paint.rows[7].kind, TRowKind::PastEnd);
  f.state.hexDump = true;
  EXPECT_EQ(f.rows(1, 2)[0], " 00000001  0090 C3                                  ..\xC3");
  EXPECT_EQ(f.paint.lineTable, (std::vector<uint32_t>{1, 4, 4}));
  // The whole listing streamed: the same rows without the past-end ones.
  f.state.hexDump = false;
  f.state.topOffset = 0;
  std::vector<std::string> all;
  listRows(f.state, f.ctx, 120, 0,
           [&](const TListingRow& r, const Hotspot*) { all.push_back(visible(r.text)); });
  EXPECT_EQ(all.size(), 7u);
  // A name given while the listing runs (a loader thread) still gets its
  // label line, though the lines above it found no name below it.
  f.names.remove(0);
  all.clear();
  listRows(f.state, f.ctx, 120, 0, [&](const TListingRow& r, const Hotspot*) {
    if (r.offset == 0) f.names.add(0x200003, "later", REPLACE_ALWAYS);
    all.push_back(visible(r.text));
  });
  EXPECT_EQ(all[3], "<c 7> ----  later  ----");
}

// ---- stepping -------------------------------------------------------------

TEST(ListingRows, LinesBackAndForwardAreInverse) {
  for (const char* name : {"gui.exe", "fixdll.dll", "dos.exe", "raw.bin", "tiny.exe"}) {
    auto& f = TListingFile::fixture(name);
    for (bool strings : {false, true}) {
      f.state.detectStrings = strings;
      for (uint32_t o = 1; o < f.size; ++o) {
        const uint32_t back = linesBack(f.state, f.ctx, o, 1);
        ASSERT_LT(back, o) << name << " " << o;
        ASSERT_GE(linesForward(f.state, f.ctx, back, 1), o) << name << " " << o;
      }
      // Over a stretch of real code, line starts map back to themselves.
      if (std::string(name) == "gui.exe") {
        uint32_t line = linesForward(f.state, f.ctx, 0x625, 0);
        for (int i = 0; i < 100; ++i) {
          const uint32_t next = linesForward(f.state, f.ctx, line, 1);
          ASSERT_EQ(linesBack(f.state, f.ctx, next, 1), line) << line;
          line = next;
        }
        EXPECT_EQ(linesBack(f.state, f.ctx, linesForward(f.state, f.ctx, 0x625, 20), 20), 0x625u);
      }
    }
  }
}

TEST(ListingRows, StepBackOverFiveByteInstruction) {
  for (uint8_t filler : {0x90, 0x40}) {
    std::vector<uint8_t> b(44, filler);
    for (uint8_t x : {0xE8, 0x10, 0x00, 0x00, 0x00, 0xC3}) b.push_back(x);
    TListingFile f(b);
    f.state.bits16 = false;
    f.state.topOffset = 49;
    EXPECT_EQ(linesBack(f.state, f.ctx, LINES_BACK_TOP, 1), 44u);
    EXPECT_TRUE(EvVScroll(f.state, f.ctx, TScrollCode::LineUp, 0, 10));
    EXPECT_EQ(f.state.topOffset, 44u);
  }
  TListingFile f(std::vector<uint8_t>{0x90, 0x90, 0x90});
  EXPECT_EQ(previousLineStart(f.bytes.data(), 3, 2, false), 1u);
  EXPECT_EQ(previousLineStart(f.bytes.data(), 3, 9, false), 0u);
  EXPECT_FALSE(isReturn(f.bytes.data() + 3));
  // The first six are unconditional jumps; calls, a push and jz are not.
  const uint8_t starts[][2] = {{0xE9, 0},    {0xEA, 0},    {0xEB, 0},    {0xFF, 0x25}, {0xFF, 0xE0},
                               {0xFF, 0x64}, {0xFF, 0x15}, {0xFF, 0x35}, {0xE8, 0},    {0x74, 0}};
  std::string jumps;
  for (const auto& start : starts) jumps += isUnconditionalJump(start) ? 'J' : '.';
  EXPECT_EQ(jumps, "JJJJJJ....");
}

TEST(ListingRows, GotoOffsets) {
  auto& gui = TListingFile::fixture("gui.exe");
  auto where = [&] {
    return wsString("top %X pos %X highlight %X", gui.state.topOffset, gui.state.scrollPos,
                    gui.state.highlight);
  };
  EXPECT_TRUE(gotoOffset(gui.state, gui.ctx, 0x625, 3));
  EXPECT_EQ(where(), "top 61C pos 61C highlight 625");    // three code lines above
  EXPECT_TRUE(gotoLineOf(gui.state, gui.ctx, 0x627, 0));  // inside mov ebp,esp
  EXPECT_EQ(gui.state.topOffset, 0x626u);
  gui.rows(0x61C, 8);
  EXPECT_TRUE(gui.paint.rows[7].highlighted);
  EXPECT_FALSE(gui.paint.rows[0].highlighted);
  gui.state.hexDump = true;
  EXPECT_TRUE(gotoOffset(gui.state, gui.ctx, 0x625, 2));
  EXPECT_EQ(where(), "top 605 pos 60 highlight 625");
}

// ---- scroll bar -----------------------------------------------------------

TEST(ListingRows, ScrollArithmeticAtTheEnds) {
  auto& f = TListingFile::fixture("tiny.exe");  // 0x600 bytes
  struct Case {
    bool hex;
    uint32_t top;
    TScrollCode code;
    int64_t thumb;
    uint32_t expected;
  } cases[] = {
      {false, 0, TScrollCode::LineUp, 0, 0},
      {false, 0x5FF, TScrollCode::LineDown, 0, 0x5FF},
      {false, 0x5FE, TScrollCode::PageDown, 0, 0x5FE},  // the last line
      {false, 0x200, TScrollCode::Bottom, 0, 0x5FF},
      {false, 0x200, TScrollCode::Top, 0, 0},
      {false, 0x200, TScrollCode::ThumbTrack, 0x345, 0x345},
      {false, 0x200, TScrollCode::ThumbTrack, 0x9000, 0x5FF},
      {true, 0x8, TScrollCode::LineUp, 0, 0},
      {true, 0x5F0, TScrollCode::LineDown, 0, 0x5F0},
      {true, 0x5E0, TScrollCode::PageDown, 0, 0x5E0},
      {true, 0x100, TScrollCode::PageUp, 0, 0x10},
      {true, 0x100, TScrollCode::Bottom, 0, 0x550},
      {true, 0x103, TScrollCode::ThumbTrack, 0x10, 0x103},
      {true, 0x103, TScrollCode::ThumbTrack, 0x20, 0x203},
  };
  for (const auto& c : cases) {
    f.reset();
    f.state.hexDump = c.hex;
    f.state.topOffset = c.top;
    EXPECT_TRUE(EvVScroll(f.state, f.ctx, c.code, c.thumb, 16)) << int(c.code);
    EXPECT_EQ(f.state.topOffset, c.expected) << c.hex << " " << int(c.code) << " " << c.top;
  }
  // The narrow thumb: the first event switches ranges, later ones map, too far is reported.
  f.reset();
  EXPECT_EQ(f.scroll(TScrollCode::ThumbTrack, 100), "0 top 0 pos 0 max C350 thumb");  // 50000
  EXPECT_EQ(f.scroll(TScrollCode::ThumbTrack, 25000), "1 top 2FF pos 0 max C350 thumb");
  EXPECT_EQ(f.scroll(TScrollCode::ThumbTrack, 50000), "1 top 5FF pos 0 max C350 thumb");
  EXPECT_EQ(f.scroll(TScrollCode::ThumbTrack, 50001), "0 top 5FF pos 0 max C350 thumb");
  EXPECT_EQ(f.host.messageLines(),
            std::vector<std::string>{"THUMBPOS>50000!!!!!: thumbPos=00050001"});
  EXPECT_EQ(f.scroll(TScrollCode::EndScroll, 0), "0 top 5FF pos 5FF max 5FF");
  // Cursor following the view.
  f.reset();
  f.ctx.cursorFollowsView = true;
  f.state.cursor = 0x10;
  f.state.topOffset = 0x100;
  EvVScroll(f.state, f.ctx, TScrollCode::LineDown, 0, 4);
  EXPECT_EQ(f.state.cursor, f.state.topOffset);
  f.state.cursor = 0x5F0;
  EvVScroll(f.state, f.ctx, TScrollCode::LineDown, 0, 4);
  f.rows(f.state.topOffset, 4);
  EXPECT_EQ(f.state.cursor, f.paint.lineTable[4] - 1);
  f.state.hexDump = true;
  f.state.topOffset = 0x100;
  f.state.cursor = 0x305;
  EvVScroll(f.state, f.ctx, TScrollCode::LineDown, 0, 4);
  EXPECT_EQ(f.state.cursor, 0x145u);  // last row, same column
}

// ---- keys -----------------------------------------------------------------

TEST(ListingRows, CodeCursorKeys) {
  // 16 bytes of nops, a 5-byte mov, then a 2-byte or 6-byte instruction.
  struct Case {
    std::vector<uint8_t> next;
    const char* down;  // cursor.nibble and top after Down from byte 3 of the mov
    const char* up;
  } cases[] = {
      {{0x89, 0xE5, 0x90, 0x90}, "16.1 top C", "11.1 top C"},
      {{0x81, 0xEC, 0xA8, 0, 0, 0, 0x90}, "18.0 top C", "13.0 top C"},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> b(0x10, 0x90);
    for (uint8_t x : {0xB8, 1, 2, 3, 4}) b.push_back(x);
    b.insert(b.end(), c.next.begin(), c.next.end());
    b.resize(0x40, 0x90);
    TListingFile f(b);
    f.state.bits16 = false;
    f.state.cursorShown = true;
    f.place(0xC, 0x13, 0x10, 8);
    EXPECT_EQ(f.key(TListingKey::Down, 8), TKeyAction::Repaint);
    EXPECT_EQ(f.where(), c.down);
    EXPECT_EQ(f.state.cursorLine, 0x15u);
    f.key(TListingKey::Up, 8);
    EXPECT_EQ(f.state.cursorLine, 0x10u);
    EXPECT_EQ(f.where(), c.up);
  }
  // Left and right through the nibbles; left at the top scrolls up one line.
  TListingFile f(std::vector<uint8_t>(0x40, 0x90));
  f.state.cursorShown = true;
  f.place(0x10, 0x10, 0x10, 4);
  f.key(TListingKey::Right, 4);
  EXPECT_EQ(f.where(), "10.1 top 10");
  f.key(TListingKey::Left, 4);
  f.key(TListingKey::Left, 4);
  EXPECT_EQ(f.where(), "F.1 top F");
  // Down from the last row scrolls the view so the new line shows.
  f.state.nibble = 0;
  f.place(f.state.topOffset, 0x12, 0x12, 4);
  f.key(TListingKey::Down, 4);
  EXPECT_EQ(f.where(), "13.0 top 10");
  // A cursor far outside the rows brings the view to it, a third down.
  f.place(f.state.topOffset, 0x30, 0x30, 9);
  f.key(TListingKey::Right, 9);
  EXPECT_EQ(f.state.topOffset, 0x2Du);
  // Hidden cursor: Right moves the top by one byte, Tab switches to hex and back.
  f.state.cursorShown = false;
  f.state.topOffset = 0x10;
  f.key(TListingKey::Right, 9);
  EXPECT_EQ(f.state.topOffset, 0x11u);
  f.state.bits16 = true;
  EXPECT_EQ(f.key(TListingKey::Tab, 9), TKeyAction::ToggleHex);
  EXPECT_TRUE(f.state.hexDump);
  f.key(TListingKey::Tab, 9);
  EXPECT_FALSE(f.state.hexDump);
  EXPECT_TRUE(f.state.bits16);
  EXPECT_EQ(f.key(TListingKey::Backspace, 9), TKeyAction::Undo);
  // Ctrl held: cursor keys scroll instead.
  f.state.cursorShown = true;
  f.key(TListingKey::Control, 9);
  const uint32_t cursor = f.state.cursor;
  f.key(TListingKey::Up, 9);
  EXPECT_EQ(f.state.cursor, cursor);
  keyUp(f.state, TListingKey::Control);
  EXPECT_FALSE(f.state.controlDown);
}

TEST(ListingRows, HexCursorKeys) {
  TListingFile f(std::vector<uint8_t>(0x45, 0));
  f.state.hexDump = true;
  f.state.cursorShown = true;
  const std::pair<TListingKey, const char*> steps[] = {
      {TListingKey::Right, "0.1 top 0"},  {TListingKey::Right, "1.0 top 0"},
      {TListingKey::Left, "0.1 top 0"},   {TListingKey::Left, "0.0 top 0"},
      {TListingKey::Left, "0.0 top 0"},   {TListingKey::Up, "0.0 top 0"},
      {TListingKey::Down, "10.0 top 0"},  {TListingKey::Down, "20.0 top 10"},
      {TListingKey::Down, "30.0 top 20"}, {TListingKey::Down, "40.0 top 30"},
      {TListingKey::Down, "40.0 top 30"},  // no byte 16 further on
      {TListingKey::Up, "30.0 top 30"},   {TListingKey::Up, "20.0 top 20"},
  };
  paintRows(f.state, f.ctx, 2, 80, f.paint);
  for (const auto& [key, where] : steps) {
    f.key(key, 2);
    EXPECT_EQ(f.where(), where) << int(key);
  }
  f.state.cursor = 0x44;
  f.state.nibble = 1;
  f.key(TListingKey::Right, 2);
  EXPECT_EQ(f.state.cursor, 0x44u);  // the last byte
}

}  // namespace
