// The settings store against the registry: defaults, malformed values of every kind, the
// colour lists over their defaults, and reads that never create the key.
#include <gtest/gtest.h>

#include <cstring>

#include "TestEnvironment.h"
#include "settings/SettingsStore.h"

namespace quorvel {
namespace {

using testsupport::CleanSettings;

struct Stored {
  const char* what;
  DWORD type;
  std::vector<std::uint8_t> bytes;
};

std::vector<Stored> MalformedDwords(std::uint32_t value) {
  std::vector<std::uint8_t> four(4), eight(8, 0);
  std::memcpy(four.data(), &value, 4);
  std::memcpy(eight.data(), &value, 4);
  const wchar_t text[] = L"1";
  std::vector<std::uint8_t> sz(reinterpret_cast<const std::uint8_t*>(text),
                               reinterpret_cast<const std::uint8_t*>(text) + sizeof(text));
  return {{"REG_SZ", REG_SZ, sz},
          {"REG_QWORD", REG_QWORD, eight},
          {"4-byte REG_BINARY", REG_BINARY, four},
          {"2-byte REG_DWORD", REG_DWORD, {four[0], four[1]}},
          {"empty REG_DWORD", REG_DWORD, {}}};
}

TEST(SettingsStore, WithoutAKeyEverythingTakesItsDefaultAndNothingIsCreated) {
  const CleanSettings settings;
  const DecodeSettings read = ReadDecodeSettings();
  EXPECT_TRUE(read.composite);
  EXPECT_EQ(read.color, 0x00FFFFFFu);
  EXPECT_TRUE(read.useOrientation);
  const SettingsKey key = SettingsKey::OpenForRead(kSettingsKeyPath);
  EXPECT_FALSE(key.IsOpen());
  EXPECT_EQ(LoadColorHistory(key), kDefaultColorHistory);
  EXPECT_EQ(LoadCustomColors(key)[15], 0x00FFFFFFu);
  EXPECT_FALSE(settings.KeyExists()) << "reading never creates the key";
}

TEST(SettingsStore, OnlyAlphaModeOneCompositesAndOnlyThenIsTheColourRead) {
  const CleanSettings settings;
  settings.SetDword(kValueColor, 0xAB0000FF);
  for (DWORD mode : {0u, 2u, 0xFFFFFFFFu}) {
    settings.SetDword(kValueAlpha, mode);
    const DecodeSettings read = ReadDecodeSettings();
    EXPECT_FALSE(read.composite) << mode;
    EXPECT_EQ(read.color, 0x00FFFFFFu) << "the colour is left at its default when not compositing";
  }
  settings.SetDword(kValueAlpha, 1);
  const DecodeSettings read = ReadDecodeSettings();
  EXPECT_TRUE(read.composite);
  EXPECT_EQ(read.color, 0xAB0000FFu) << "as stored; the top byte is dropped where it is used";
}

TEST(SettingsStore, DwordsOfAnotherTypeOrSizeCountAsMissing) {
  const CleanSettings settings;
  for (const Stored& s : MalformedDwords(0)) {
    SCOPED_TRACE(s.what);
    settings.SetRaw(kValueAlpha, s.type, s.bytes.data(), static_cast<DWORD>(s.bytes.size()));
    settings.SetRaw(kValueExifOrientation, s.type, s.bytes.data(), static_cast<DWORD>(s.bytes.size()));
    settings.SetRaw(kValueColor, s.type, s.bytes.data(), static_cast<DWORD>(s.bytes.size()));
    const DecodeSettings read = ReadDecodeSettings();
    EXPECT_TRUE(read.composite) << "a stored 0 of the wrong shape does not switch compositing off";
    EXPECT_EQ(read.color, 0x00FFFFFFu) << "and the colour falls back to white";
    EXPECT_TRUE(read.useOrientation);
  }
}

TEST(SettingsStore, OrientationIsOffOnlyForAStoredZero) {
  const CleanSettings settings;
  settings.SetDword(kValueExifOrientation, 0);
  EXPECT_FALSE(ReadDecodeSettings().useOrientation);
  for (DWORD v : {1u, 5u, 7u, 0x80000000u}) {
    settings.SetDword(kValueExifOrientation, v);
    EXPECT_TRUE(ReadDecodeSettings().useOrientation) << v;
  }
}

TEST(SettingsStore, ColourListsTakeWholeElementsOverTheirDefaults) {
  const CleanSettings settings;
  std::vector<std::uint8_t> bytes(40);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(0x10 + i);
  auto element = [&](std::size_t i) {
    return static_cast<COLORREF>(bytes[4 * i] | bytes[4 * i + 1] << 8 | bytes[4 * i + 2] << 16 | bytes[4 * i + 3] << 24);
  };
  struct Case {
    std::size_t length;
    std::size_t fromRegistry;
  };
  for (const Case c : {Case{0, 0}, {3, 0}, {12, 3}, {13, 3}, {32, 8}, {40, 8}}) {
    SCOPED_TRACE(c.length);
    // The type does not matter for the lists.
    settings.SetRaw(kValueColorHistory, c.length == 13 ? REG_SZ : REG_BINARY, bytes.data(), static_cast<DWORD>(c.length));
    const ColorHistory history = LoadColorHistory(SettingsKey::OpenForRead(kSettingsKeyPath));
    for (std::size_t i = 0; i < 8; ++i)
      EXPECT_EQ(history[i], i < c.fromRegistry ? element(i) : kDefaultColorHistory[i]) << "slot " << i;
  }
  std::vector<std::uint8_t> custom(64 + 6, 0x42);
  for (std::size_t length : {0u, 64u, 70u}) {
    settings.SetRaw(kValueCustomColors, REG_BINARY, custom.data(), static_cast<DWORD>(length));
    const CustomColors colors = LoadCustomColors(SettingsKey::OpenForRead(kSettingsKeyPath));
    for (COLORREF c : colors) EXPECT_EQ(c, length ? 0x42424242u : 0x00FFFFFFu) << length;
  }
}

TEST(SettingsKey, WritesCreateTheKeyWithItsParentsAndReadBack) {
  const CleanSettings settings;
  {
    const SettingsKey key = SettingsKey::CreateForWrite(kSettingsKeyPath);
    ASSERT_TRUE(key.IsOpen());
    EXPECT_TRUE(key.WriteDword(L"Probe", 0x12345678));
    const std::uint8_t blob[5] = {1, 2, 3, 4, 5};
    key.WriteBlob(L"Blob", blob, sizeof(blob));
  }
  EXPECT_TRUE(settings.KeyExists());
  const SettingsKey key = SettingsKey::OpenForRead(kSettingsKeyPath);
  std::uint32_t value = 0;
  EXPECT_TRUE(key.ReadDword(L"Probe", value));
  EXPECT_EQ(value, 0x12345678u);
  std::vector<std::uint8_t> bytes;
  EXPECT_TRUE(key.ReadBlob(L"Blob", bytes));
  EXPECT_EQ(bytes, (std::vector<std::uint8_t>{1, 2, 3, 4, 5}));
  EXPECT_FALSE(key.ReadBlob(L"Absent", bytes));
  EXPECT_FALSE(key.ReadDword(L"Absent", value));
  const SettingsKey closed = SettingsKey::OpenForRead(L"Software\\Larkspur_Vale\\NoSuchKey");
  EXPECT_FALSE(closed.ReadDword(L"Probe", value));
  EXPECT_FALSE(closed.WriteDword(L"Probe", 1));
}

}  // namespace
}  // namespace quorvel
