// LoadSystemLibrary against a DLL planted in the current folder, where the plain search
// finds it.
#include <gtest/gtest.h>

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

#include "common/SystemLibrary.h"
#include "Plugin.h"

namespace quorvel {
namespace {

using Module = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)>;

// A folder of its own holding a copy of a DLL that does nothing (the plug-in itself stays
// loaded once loaded, in the 32-bit build) under a name no system DLL has, made the
// current folder for the scope's life.
class PlantedFolder {
 public:
  static constexpr const wchar_t* kName = L"quorvel-planted.dll";

  PlantedFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"quorvel-planted-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    copied_ = CopyFileW((hostkit::ProgramFolder() + L"planted_library.dll").c_str(), File().c_str(), FALSE) != FALSE;
    GetCurrentDirectoryW(MAX_PATH, previous_);
    entered_ = SetCurrentDirectoryW(folder_.c_str()) != FALSE;
  }
  ~PlantedFolder() {
    SetCurrentDirectoryW(previous_);
    DeleteFileW(File().c_str());
    RemoveDirectoryW(folder_.c_str());
  }
  PlantedFolder(const PlantedFolder&) = delete;
  PlantedFolder& operator=(const PlantedFolder&) = delete;

  bool Ready() const { return copied_ && entered_; }

 private:
  std::wstring File() const { return folder_ + L"\\" + kName; }

  std::wstring folder_;
  wchar_t previous_[MAX_PATH] = {};
  bool copied_ = false, entered_ = false;
};

TEST(SystemLibrary, LoadsSystemDllsButNeverOneFromTheCurrentFolder) {
  {
    PlantedFolder planted;
    ASSERT_TRUE(planted.Ready());
    Module plain(LoadLibraryW(PlantedFolder::kName), &FreeLibrary);
    ASSERT_NE(plain.get(), nullptr) << "the plain search takes the current folder's copy";
    plain.reset();
    Module guarded(LoadSystemLibrary(PlantedFolder::kName), &FreeLibrary);
    EXPECT_EQ(guarded.get(), nullptr);
  }
  Module system(LoadSystemLibrary(L"ole32.dll"), &FreeLibrary);
  EXPECT_NE(system.get(), nullptr);
  EXPECT_EQ(LoadSystemLibrary(L""), nullptr);
}

}  // namespace
}  // namespace quorvel
