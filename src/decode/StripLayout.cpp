// ReadStripRows: the metadata queries for TileLength (323) and RowsPerStrip (278), each
// stored as a SHORT or a LONG.
#include "decode/StripLayout.h"

#include "common/Owners.h"
#include "decode/PropVariant.h"

namespace quorvel {
namespace {

std::uint32_t ReadCount(IWICMetadataQueryReader* reader, const wchar_t* query) noexcept {
  PropVariant value;
  if (FAILED(reader->GetMetadataByName(query, value.Get()))) return 0;
  switch (value.Get()->vt) {
    case VT_UI2: return value.Get()->uiVal;
    case VT_UI4: return value.Get()->ulVal;
    default: return 0;
  }
}

}  // namespace

std::uint32_t ReadStripRows(IWICBitmapFrameDecode* frame) noexcept {
  if (frame == nullptr) return 0;
  ComPtr<IWICMetadataQueryReader> reader;
  if (FAILED(frame->GetMetadataQueryReader(reader.Put())) || !reader) return 0;
  if (const std::uint32_t tileRows = ReadCount(reader.Get(), L"/ifd/{ushort=323}")) return tileRows;
  return ReadCount(reader.Get(), L"/ifd/{ushort=278}");
}

}  // namespace quorvel
