// The settings file reader and writer: lookups, lenient numbers, in-place
// updates that keep every other line, and the file on disk.
#include <sys/stat.h>
#include <unistd.h>

#include "persist/profile_file.h"
#include "persist_test_support.h"

namespace {

TEST(ProfileInt, LenientDecimal) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"15", 15},         {"  15  ", 15},
      {"+7", 7},          {"-3", -3},
      {"12px", 12},       {"007", 7},
      {"0x10", 0},        {"1 2", 1},
      {"\t42", 42},       {"2147483647", 2147483647},
      {"4294967295", -1},  // a 32-bit word read back
      {"4294967296", 0},  {"-2147483648", INT32_MIN},
  };
  for (const Case& c : cases) EXPECT_EQ(parseProfileInt(c.text, -99), c.expected) << c.text;
  for (const char* noNumber : {"", "abc", "-", "+", "--1", "x12", " \t"})
    EXPECT_EQ(parseProfileInt(noNumber, -99), -99) << noNumber;
}

const char* const kSample =
    "; OXU settings\n"
    "[Colors]\n"
    "Memory_ref=123\n"
    "  text_REF = 77  \n"
    "Quoted=\"42\"\n"
    "Single='5'\n"
    "Half=\"6\n"
    "Empty=\n"
    "NoEquals line\n"
    "\n"
    "[ General ]\n"
    "Font_size=12\n"
    "Font_size=13\n"
    "Path=a=b\n"
    "[general]\n"
    "Dump_rows=9\n"
    "orphan=1\n";

TEST(ProfileText, Lookups) {
  const TProfileText t(kSample);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;  // nullptr: missing
  } cases[] = {
      {"Colors", "Memory_ref", "123"},
      {"COLORS", "MEMORY_REF", "123"},  // names compare without case
      {"colors", "Text_ref", "77"},     // blanks around key and value
      {"Colors", "Quoted", "42"},
      {"Colors", "Single", "5"},
      {"Colors", "Half", "\"6"},
      {"Colors", "Empty", ""},
      {"Colors", "NoEquals line", nullptr},
      {"Colors", "Font_size", nullptr},  // another section's key
      {"General", "Font_size", "12"},    // section name trimmed; the first key counts
      {"General", "Path", "a=b"},
      {"General", "Dump_rows", nullptr},  // only the first section of a name counts
      {"Missing", "Memory_ref", nullptr},
      {"", "orphan", nullptr},
  };
  for (const Case& c : cases)
    EXPECT_EQ(t.get(c.section, c.key),
              c.expected ? std::optional<std::string>(c.expected) : std::nullopt)
        << c.section << "/" << c.key;
  EXPECT_EQ((std::vector<int>{t.getInt("Colors", "Empty", 4), t.getInt("Colors", "Missing", 4),
                              t.getInt("Colors", "Quoted", 4)}),
            (std::vector<int>{4, 4, 42}));
}

TEST(ProfileText, WritesKeepOtherLines) {
  struct Case {
    const char* name;
    std::string before;
    const char* section;
    const char* key;
    const char* value;
    std::string after;
  } cases[] = {
      {"empty file", "", "General", "Version", "2350", "[General]\nVersion=2350\n"},
      {"value replaced in place, spelling and blanks kept",
       "; c\n[general]\n  FONT_size = 12  \n; tail\n", "General", "Font_size", "9",
       "; c\n[general]\n  FONT_size = 9\n; tail\n"},
      {"new key after the section's last key", "[A]\nx=1\n; about B\n\n[B]\ny=2\n", "a", "z", "3",
       "[A]\nx=1\nz=3\n; about B\n\n[B]\ny=2\n"},
      {"new key in a section without keys", "[A]\n\n[B]\n", "A", "k", "1", "[A]\nk=1\n\n[B]\n"},
      {"new section after a blank line", "[A]\nx=1\n", "B", "k", "0", "[A]\nx=1\n\n[B]\nk=0\n"},
      {"last line without a break", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n"},
      {"new section, last line without a break", "; only", "B", "k", "1", "; only\n\n[B]\nk=1\n"},
      {"CRLF file stays CRLF", "[A]\r\nx=1\r\n", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
      {"CRLF file ending in a bare CR", "[A]\r\nx=1\r", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
      {"CRLF replaced in place", "[A]\r\nx=1\r\n", "A", "X", "5", "[A]\r\nx=5\r\n"},
      {"only the first of two same-named sections", "[A]\nx=1\n[A]\nx=2\n", "A", "x", "7",
       "[A]\nx=7\n[A]\nx=2\n"},
      {"bytes the file holds survive", std::string("[A]\n\x01\xFF\0z\n", 9), "A", "k", "1",
       std::string("[A]\nk=1\n\x01\xFF\0z\n", 13)},
  };
  for (const Case& c : cases) {
    TProfileText t(c.before);
    EXPECT_TRUE(t.set(c.section, c.key, c.value)) << c.name;
    EXPECT_EQ(t.text(), c.after) << c.name;
    EXPECT_EQ(t.get(c.section, c.key).value_or("<missing>"), c.value) << c.name;
  }
}

TEST(ProfileText, RefusesWhatCannotBeOneLine) {
  struct Case {
    const char* section;
    const char* key;
    const char* value;
  } cases[] = {
      {"", "k", "1"},    {"A]", "k", "1"},     {"A\n", "k", "1"}, {" A", "k", "1"},
      {"A", "", "1"},    {"A", "k=", "1"},     {"A", "[k", "1"},  {"A", "k ", "1"},
      {"A", "k\r", "1"}, {"A", "k", "1\n[B]"},
  };
  for (const Case& c : cases) {
    TProfileText t("[A]\nk=0\n");
    EXPECT_FALSE(t.set(c.section, c.key, c.value)) << c.section << "/" << c.key;
    EXPECT_EQ(t.text(), "[A]\nk=0\n");
  }
}

TEST(ProfileFile, OnDisk) {
  TempDir dir;
  TProfileFile missing(dir.file("sub/none.ini"));
  EXPECT_EQ(missing.readInt("General", "Font_size", 15), 15);
  EXPECT_FALSE(missing.writeInt("General", "Font_size", 9));  // no folder: nothing written

  // Created by the first write.
  TProfileFile created(dir.file("new.ini"));
  EXPECT_TRUE(created.writeInt("General", "Font_size", -9));
  EXPECT_EQ(readWhole(created.path()), "[General]\nFont_size=-9\n");
  EXPECT_EQ(created.readInt("general", "FONT_SIZE", 15), -9);

  // Several writes saved once, all or nothing.
  EXPECT_FALSE(created.writeAll({{"A", "x", "1"}, {"A", "bad=", "2"}}));
  EXPECT_EQ(readWhole(created.path()), "[General]\nFont_size=-9\n");
  EXPECT_TRUE(created.writeAll({{"A", "x", "1"}, {"General", "Font_size", "10"}}));
  EXPECT_EQ(readWhole(created.path()), "[General]\nFont_size=10\n\n[A]\nx=1\n");

  // A file that is there but cannot be read is never overwritten.
  ::mkdir(dir.file("dir.ini").c_str(), 0700);
  TProfileFile unreadable(dir.file("dir.ini"));
  EXPECT_EQ(unreadable.readInt("A", "x", 3), 3);
  EXPECT_FALSE(unreadable.writeInt("A", "x", 1));

  // A link is followed: the file it points to is updated and stays a link.
  writeWhole(dir.file("real.ini"), "; mine\n[A]\nx=1\n");
  ASSERT_EQ(::symlink(dir.file("real.ini").c_str(), dir.file("link.ini").c_str()), 0);
  TProfileFile linked(dir.file("link.ini"));
  EXPECT_TRUE(linked.writeInt("A", "x", 2));
  EXPECT_EQ(readWhole(dir.file("real.ini")), "; mine\n[A]\nx=2\n");
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("link.ini").c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
}

}  // namespace
