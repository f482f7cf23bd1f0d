#include "document/image_props.h"

#include "base/le_read.h"
#include "base/text_format.h"
#include "document/document.h"
#include "image/pe_layout.h"

const std::array<TImageFlagBox, 6> kImageFlagBoxes = {{
    {IPC_FLAG_CODE, 0x00000020u, " Code", "code"},
    {IPC_FLAG_EXECUTABLE, 0x20000000u, " Executable", "exec"},
    {IPC_FLAG_INIT_DATA, 0x00000040u, " Init. data", "init"},
    {IPC_FLAG_READABLE, 0x40000000u, " Readable", "read"},
    {IPC_FLAG_UNINIT_DATA, 0x00000080u, " Uninit. data", "uninit"},
    {IPC_FLAG_WRITEABLE, 0x80000000u, " Writeable", "write"},
}};

namespace {

// Where the PE headers and the section table are, as the buffer says now.
struct THeaderSpot {
  uint32_t pe = 0;            // offset of "PE"
  uint64_t tableStart = 0;    // first section header
  uint32_t sectionCount = 0;  // NumberOfSections
  uint64_t tableEnd() const {
    return tableStart + uint64_t(pe_section::kHeaderSize) * sectionCount;
  }
};

// "MZ" at 0, a PE offset that is positive and leaves room for the 120
// bytes of headers read here, and "PE" there. The PE offset is taken as a
// signed number so that a huge dword cannot pass as an offset; the room is
// reckoned in 64 bits so that a small file cannot wrap it around.
bool findHeaders(const uint8_t* buf, uint32_t size, THeaderSpot& spot) {
  if (size < 2 || buf[0] != 'M' || buf[1] != 'Z') return false;
  const int32_t p = static_cast<int32_t>(boundedLe32(buf, size, mz_header::kPeHeaderOffset));
  if (p <= 0 || int64_t(p) >= int64_t(size) - 120) return false;
  const uint32_t pe = static_cast<uint32_t>(p);
  if (buf[pe] != 'P' || buf[pe + 1] != 'E') return false;
  spot.pe = pe;
  spot.sectionCount = readLe16(buf + pe + pe_header::kNumberOfSections);
  spot.tableStart = uint64_t(pe) +
                    pe_header::sectionTable(readLe32(buf + pe + pe_header::kNumberOfRvaAndSizes));
  return true;
}

std::string hexText(uint32_t v) { return wsString("%lX", v); }

}  // namespace

const char* imagePropsLabel(int control) {
  switch (control) {
    case IPC_NUM_SECTIONS: return "Num. of sections :";
    case IPC_ENTRY_POINT: return "Entry point :";
    case IPC_IMAGE_BASE: return "Image base :";
    case IPC_SECTION_ALIGNMENT: return "Section alignment :";
    case IPC_FILE_ALIGNMENT: return "File alignment :";
    case IPC_DIR_ENTRIES: return "Num. of dir. entries :";
    case IPC_SECTION_LIST: return "Section :";
    case IPC_VIRTUAL_SIZE: return "Virtual size :";
    case IPC_VIRTUAL_ADDRESS: return "Virtual address :";
    case IPC_RAW_SIZE: return "Size of raw data :";
    case IPC_RAW_OFFSET: return "File offset :";
    case IPC_APPLY: return "Apply";
    case IPC_GOTO_SECTION: return "Goto section";
    default: break;
  }
  for (const auto& box : kImageFlagBoxes)
    if (box.control == control) return box.text;
  return "";
}

TImagePropsModel::TImagePropsModel(TDocument& doc) : doc_(doc) {}

TImagePropsModel::~TImagePropsModel() {
  // No onClosed here: whoever destroys the model already knows it is gone.
  if (open_) doc_.removeChangeListener(listenerId_);
}

void TImagePropsModel::open() {
  if (!open_) {
    listenerId_ = doc_.addChangeListener([this](uint32_t offset) {
      if (changeConcerns(offset)) refresh();
    });
    open_ = true;
  }
  chosen_ = 0;
  fill(0);
}

void TImagePropsModel::close() {
  if (!open_) return;
  doc_.removeChangeListener(listenerId_);
  open_ = false;
  listenerId_ = 0;
  if (onClosed) onClosed();
}

void TImagePropsModel::refresh() { fill(chosen_); }

bool TImagePropsModel::changeConcerns(uint32_t offset) const {
  THeaderSpot spot;
  // Unreadable headers: any change may have made them readable again (or
  // broken them just now), so the dialog looks again.
  if (!findHeaders(doc_.buffer(), doc_.fileSize(), spot)) return true;
  return offset < spot.tableEnd();
}

int TImagePropsModel::fieldIndex(int control) {
  if (control >= IPC_NUM_SECTIONS && control <= IPC_DIR_ENTRIES) return control - IPC_NUM_SECTIONS;
  if (control >= IPC_VIRTUAL_SIZE && control <= IPC_RAW_OFFSET)
    return control - IPC_VIRTUAL_SIZE + 6;
  return -1;
}

const std::string& TImagePropsModel::fieldText(int control) const {
  static const std::string kNone;
  int i = fieldIndex(control);
  return i < 0 ? kNone : fields_[i];
}

bool TImagePropsModel::checked(int control) const {
  for (const auto& box : kImageFlagBoxes)
    if (box.control == control) return (boxes_ & box.bit) != 0;
  return false;
}

void TImagePropsModel::setChecked(int control, bool on) {
  for (const auto& box : kImageFlagBoxes) {
    if (box.control != control) continue;
    boxes_ = on ? (boxes_ | box.bit) : (boxes_ & ~box.bit);
    contentsChanged();
    return;
  }
}

uint32_t TImagePropsModel::characteristicsFromBoxes() const {
  return (remembered_ & ~kImageFlagMask) | (boxes_ & kImageFlagMask);
}

void TImagePropsModel::clearContents() {
  for (auto& f : fields_) f.clear();
  sections_.clear();
  sectionShown_ = false;
  boxes_ = 0;
  remembered_ = 0;
}

void TImagePropsModel::fill(int keepIndex) {
  const uint8_t* buf = doc_.buffer();
  const uint32_t size = doc_.fileSize();
  THeaderSpot spot;
  valid_ = findHeaders(buf, size, spot);
  if (!valid_) {
    // Nothing from headers that no longer stand may remain: Apply would
    // write into whatever the old offsets hold now.
    title_ = kNotPeTitle;
    clearContents();
    contentsChanged();
    return;
  }
  title_ = kTitle;
  const uint32_t p = spot.pe;
  fields_[fieldIndex(IPC_NUM_SECTIONS)] = wsString("%d", int(spot.sectionCount));
  fields_[fieldIndex(IPC_ENTRY_POINT)] =
      hexText(readLe32(buf + p + pe_header::kAddressOfEntryPoint));
  fields_[fieldIndex(IPC_IMAGE_BASE)] = hexText(readLe32(buf + p + pe_header::kImageBase));
  fields_[fieldIndex(IPC_SECTION_ALIGNMENT)] =
      hexText(readLe32(buf + p + pe_header::kSectionAlignment));
  fields_[fieldIndex(IPC_FILE_ALIGNMENT)] = hexText(readLe32(buf + p + pe_header::kFileAlignment));
  fields_[fieldIndex(IPC_DIR_ENTRIES)] =
      hexText(readLe32(buf + p + pe_header::kNumberOfRvaAndSizes));

  sections_.clear();
  for (uint32_t i = 0; i < spot.sectionCount; ++i) {
    const uint64_t h = spot.tableStart + uint64_t(pe_section::kHeaderSize) * i;
    if (h >= size) break;  // a cut table lists the headers that start inside the file
    char name[9];
    copyBoundedText(buf, size, h, name, sizeof name, 8);
    sections_.push_back({name, static_cast<uint32_t>(h)});
  }
  chosen_ = keepIndex >= 0 && size_t(keepIndex) < sections_.size() ? keepIndex : 0;
  showSection();
}

bool TImagePropsModel::chosenHeaderInFile(uint32_t& header) const {
  if (!valid_ || sections_.empty()) return false;
  header = sections_[chosen_].headerOffset;
  return fitsIn(doc_.fileSize(), header, pe_section::kHeaderSize);
}

void TImagePropsModel::showSection() {
  const int first = fieldIndex(IPC_VIRTUAL_SIZE);
  uint32_t h = 0;
  if (sections_.empty()) {
    for (int i = first; i < kFieldCount; ++i) fields_[i].clear();
    sectionShown_ = false;
    boxes_ = remembered_ = 0;
  } else if (!chosenHeaderInFile(h)) {
    // The boxes and the remembered dword stay as they were.
    fields_[first] = "Invalid";
    fields_[first + 1] = "section";
    fields_[first + 2] = "data !";
    fields_[first + 3].clear();
    sectionShown_ = false;
  } else {
    const uint8_t* buf = doc_.buffer();
    // Virtual size, virtual address, raw size and raw offset stand in a row.
    for (int i = 0; i < 4; ++i)
      fields_[first + i] = hexText(readLe32(buf + h + pe_section::kVirtualSize + 4 * i));
    remembered_ = readLe32(buf + h + pe_section::kCharacteristics);
    boxes_ = remembered_ & kImageFlagMask;
    sectionShown_ = true;
  }
  contentsChanged();
}

void TImagePropsModel::chooseSection(int index) {
  if (index < 0 || size_t(index) >= sections_.size()) return;
  chosen_ = index;
  showSection();
}

bool TImagePropsModel::apply() {
  uint32_t h;
  // A header that is not wholly in the file was never shown: the boxes
  // still hold another section's flags, and there is nothing to write to.
  if (!open_ || !chosenHeaderInFile(h)) return false;
  const uint32_t value = characteristicsFromBoxes();
  if (value == remembered_) return false;
  uint8_t bytes[4];
  writeLe32(bytes, value);
  // The document's change is undoable, re-parses the image and comes back
  // here through the change listener, which reads the new value.
  doc_.ChangeMemory(h + pe_section::kCharacteristics, bytes, 4);
  return true;
}

bool TImagePropsModel::gotoSection() {
  uint32_t h;
  if (!open_ || !chosenHeaderInFile(h)) return false;
  const uint8_t* buf = doc_.buffer();
  const uint32_t rawOffset = readLe32(buf + h + pe_section::kPointerToRawData);
  const uint32_t characteristics = readLe32(buf + h + pe_section::kCharacteristics);
  doc_.history().pushReturn(RK_SECTION);
  // The listing's move deals with offsets outside the file itself.
  doc_.gotoOffset(rawOffset);
  TViewState& view = doc_.view();
  if (characteristics & pe_section::kCode) {
    view.hexDump = false;
    view.bits16 = false;
  } else {
    view.hexDump = true;
  }
  return true;
}

void TImagePropsModel::contentsChanged() {
  if (onContentsChanged) onContentsChanged();
}
