// The "Image properties" dialog without its widgets: the PE header fields,
// the section list and the chosen section's fields and six flag check
// boxes, read straight from the document's buffer (never from TImageInfo,
// so that the user sees what the bytes say even when the parser would
// reject them). The desktop dialog shows what this model holds and forwards
// the user's clicks to it; `oxu props` drives it from the command line.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class TDocument;

// Control numbers of the dialog.
enum ImagePropsControl : int {
  IPC_NUM_SECTIONS = 250,
  IPC_ENTRY_POINT = 251,
  IPC_IMAGE_BASE = 252,
  IPC_SECTION_ALIGNMENT = 253,
  IPC_FILE_ALIGNMENT = 254,
  IPC_DIR_ENTRIES = 255,
  IPC_SECTION_LIST = 256,
  IPC_VIRTUAL_SIZE = 257,
  IPC_VIRTUAL_ADDRESS = 258,
  IPC_RAW_SIZE = 259,
  IPC_RAW_OFFSET = 260,
  IPC_FLAG_EXECUTABLE = 261,
  IPC_FLAG_INIT_DATA = 262,
  IPC_FLAG_READABLE = 263,
  IPC_FLAG_UNINIT_DATA = 264,
  IPC_FLAG_WRITEABLE = 265,
  IPC_FLAG_CODE = 266,
  IPC_APPLY = 267,
  IPC_GOTO_SECTION = 268,
};

// One flag check box: its control, the Characteristics bit it stands for,
// its text and the short name the command-line tool uses for it.
struct TImageFlagBox {
  int control;
  uint32_t bit;
  const char* text;
  const char* shortName;
};

// In the dialog's order: " Code", " Executable", " Init. data", " Readable",
// " Uninit. data", " Writeable".
extern const std::array<TImageFlagBox, 6> kImageFlagBoxes;
// The six bits together.
constexpr uint32_t kImageFlagMask = 0x00000020u | 0x00000040u | 0x00000080u | 0x20000000u |
                                    0x40000000u | 0x80000000u;

// The label the dialog shows beside a control ("Entry point :", " Code",
// "Apply", ...); "" for an unknown control.
const char* imagePropsLabel(int control);

struct TImageSectionEntry {
  std::string name;       // the header's 8-byte name up to its first zero
  uint32_t headerOffset;  // file offset of the 40-byte section header
};

class TImagePropsModel {
 public:
  static constexpr const char* kTitle = "Image properties";
  static constexpr const char* kNotPeTitle = "Not a portable executable!";

  // The document must outlive the model.
  explicit TImagePropsModel(TDocument& doc);
  ~TImagePropsModel();
  TImagePropsModel(const TImagePropsModel&) = delete;
  TImagePropsModel& operator=(const TImagePropsModel&) = delete;

  // Fills everything from the buffer, chooses the first section and starts
  // following the document's changes. Opening an open model fills it again.
  void open();
  // Stops following changes and tells onClosed.
  void close();
  bool isOpen() const { return open_; }

  // Reads everything again, keeping the chosen section index while it is
  // still in the list. The document's changes call it by themselves; the
  // owner calls it after another file was loaded into the document.
  void refresh();
  // Whether a change at this offset can alter what the dialog shows: it lies
  // before the end of the section table, or the headers cannot be read.
  bool changeConcerns(uint32_t offset) const;

  // ---- contents ----------------------------------------------------------
  const std::string& title() const { return title_; }
  // False when the buffer holds no readable PE header ("Not a portable
  // executable!"): then every field, the list and the boxes are empty.
  bool headersValid() const { return valid_; }
  // The text of a value field (250..255, 257..260); "" for other controls.
  const std::string& fieldText(int control) const;
  const std::vector<TImageSectionEntry>& sections() const { return sections_; }
  // Index of the chosen list entry, -1 when the list is empty.
  int selection() const { return sections_.empty() ? -1 : chosen_; }
  // Whether the chosen header lies wholly inside the file (its fields show
  // values rather than "Invalid", "section", "data !").
  bool sectionShown() const { return sectionShown_; }
  bool checked(int control) const;
  // The Characteristics dword last read for the chosen section.
  uint32_t rememberedCharacteristics() const { return remembered_; }
  // The Characteristics Apply would write: the remembered dword with the six
  // flag bits taken from the boxes.
  uint32_t characteristicsFromBoxes() const;

  // ---- user actions ------------------------------------------------------
  // The user chose list entry `index`: shows that section. Ignored when
  // there is no such entry.
  void chooseSection(int index);
  // The user clicked a flag box (nothing is written before Apply).
  void setChecked(int control, bool on);
  // "Apply": writes the Characteristics through the document's undoable
  // change when a box differs from the remembered dword. True when written.
  bool apply();
  // "Goto section": records a SECTION history step, moves the listing to
  // the chosen section's raw data and shows it as 32-bit code (code bit
  // set) or as hex dump. False when the chosen header is not in the file.
  bool gotoSection();

  // Called whenever the contents changed (fill, refresh, section shown).
  std::function<void()> onContentsChanged;
  // Called by close(): the main view forgets the dialog.
  std::function<void()> onClosed;

 private:
  static constexpr int kFieldCount = 10;
  static int fieldIndex(int control);
  void fill(int keepIndex);
  void showSection();
  void clearContents();
  bool chosenHeaderInFile(uint32_t& header) const;
  void contentsChanged();

  TDocument& doc_;
  bool open_ = false;
  int listenerId_ = 0;
  std::string title_ = kTitle;
  bool valid_ = false;
  std::array<std::string, kFieldCount> fields_;
  std::vector<TImageSectionEntry> sections_;
  int chosen_ = 0;
  bool sectionShown_ = false;
  uint32_t boxes_ = 0;  // the states of the six boxes as Characteristics bits
  uint32_t remembered_ = 0;
};
