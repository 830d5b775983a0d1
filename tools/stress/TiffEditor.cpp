// TiffEditor: classic TIFF only (BigTIFF files are mutated byte-wise instead).
#include "TiffEditor.h"

namespace stress {

TiffEditor::TiffEditor(std::vector<std::uint8_t>& file) : file_(file) {
  if (file_.size() < 8) return;
  if (file_[0] == 'M' && file_[1] == 'M') {
    bigEndian_ = true;
  } else if (file_[0] != 'I' || file_[1] != 'I') {
    return;
  }
  if (Read(2, 2) != 42) return;
  directory_ = Read(4, 4);
  if (directory_ > file_.size() || file_.size() - directory_ < 2) return;
  const std::size_t count = Read(directory_, 2);
  const std::size_t room = (file_.size() - directory_ - 2) / 12;
  entries_ = count < room ? count : room;
}

std::uint32_t TiffEditor::Read(std::size_t at, int bytes) const {
  if (at > file_.size() || file_.size() - at < static_cast<std::size_t>(bytes)) return 0;
  std::uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) {
    const std::uint32_t b = file_[at + (bigEndian_ ? i : bytes - 1 - i)];
    v = v << 8 | b;
  }
  return v;
}

void TiffEditor::Write(std::size_t at, int bytes, std::uint32_t value) {
  if (at > file_.size() || file_.size() - at < static_cast<std::size_t>(bytes)) return;
  for (int i = 0; i < bytes; ++i) {
    const int shift = 8 * (bigEndian_ ? bytes - 1 - i : i);
    file_[at + i] = static_cast<std::uint8_t>(value >> shift);
  }
}

TiffEntry TiffEditor::Entry(std::size_t i) const {
  if (i >= entries_) return {};
  const std::size_t at = EntryAt(i);
  TiffEntry e;
  e.tag = static_cast<std::uint16_t>(Read(at, 2));
  e.type = static_cast<std::uint16_t>(Read(at + 2, 2));
  e.count = Read(at + 4, 4);
  e.value = Read(at + 8, 4);
  return e;
}

std::optional<std::size_t> TiffEditor::Find(std::uint16_t tag) const {
  for (std::size_t i = 0; i < entries_; ++i)
    if (Entry(i).tag == tag) return i;
  return std::nullopt;
}

void TiffEditor::SetType(std::size_t i, std::uint16_t type) {
  if (i < entries_) Write(EntryAt(i) + 2, 2, type);
}

void TiffEditor::SetCount(std::size_t i, std::uint32_t count) {
  if (i < entries_) Write(EntryAt(i) + 4, 4, count);
}

void TiffEditor::SetValue(std::size_t i, std::uint32_t value) {
  if (i < entries_) Write(EntryAt(i) + 8, 4, value);
}

void TiffEditor::SetEntryCountField(std::uint16_t count) {
  if (directory_ != 0) Write(directory_, 2, count);
}

void TiffEditor::SetNextDirectory(std::uint32_t offset) {
  if (directory_ != 0) Write(EntryAt(Read(directory_, 2)), 4, offset);
}

}  // namespace stress
