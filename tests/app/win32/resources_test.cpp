// kestrin.exe's resources as Windows reads them: the manifest that asks for version 6 of the
// common controls, the icon (a PNG image in an icon group) and the version.
#include <gtest/gtest.h>

#include "runtime/windows/windows_api.h"

#include <string>
#include <string_view>

namespace kestrin::app {
namespace {

std::wstring ProgramPath() {
  // The build's path, on the drive where Wine shows the whole file system.
  std::wstring path = L"Z:";
  for (const char c : std::string_view(KESTRIN_PROGRAM)) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

class ResourcesTest : public testing::Test {
 protected:
  void SetUp() override {
    module_ = ::LoadLibraryExW(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << "cannot read the program's resources";
  }
  void TearDown() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  [[nodiscard]] std::string_view Resource(const wchar_t* type, int id) const {
    const HRSRC found = ::FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (found == nullptr) return {};
    return {static_cast<const char*>(::LockResource(::LoadResource(module_, found))), ::SizeofResource(module_, found)};
  }

  HMODULE module_ = nullptr;
};

TEST_F(ResourcesTest, TheManifestAsksForVersion6OfTheCommonControlsAndIsAwareOfEachScreensDpi) {
  const std::string_view manifest = Resource(reinterpret_cast<const wchar_t*>(RT_MANIFEST), 1);
  EXPECT_NE(manifest.find(R"(name="Microsoft.Windows.Common-Controls" version="6.0.0.0")"), std::string_view::npos);
  // The program scales itself: Windows must not stretch the window as a bitmap.
  EXPECT_NE(manifest.find(">PerMonitorV2, PerMonitor</dpiAwareness>"), std::string_view::npos);
  EXPECT_NE(manifest.find(">true/pm</dpiAware>"), std::string_view::npos);
}

TEST_F(ResourcesTest, TheIconGroupNamesAnImageWindowsCanDrawAtEverySize) {
  const std::string_view group = Resource(reinterpret_cast<const wchar_t*>(RT_GROUP_ICON), 1);
  ASSERT_FALSE(group.empty());
  auto* bytes = reinterpret_cast<BYTE*>(const_cast<char*>(group.data()));
  for (const int size : {16, 32, 48, 128}) {
    SCOPED_TRACE(size);
    const int id = ::LookupIconIdFromDirectoryEx(bytes, TRUE, size, size, LR_DEFAULTCOLOR);
    ASSERT_EQ(id, 1);
    const std::string_view image = Resource(reinterpret_cast<const wchar_t*>(RT_ICON), id);
    ASSERT_EQ(image.substr(1, 3), "PNG");
    const HICON icon = ::CreateIconFromResourceEx(reinterpret_cast<BYTE*>(const_cast<char*>(image.data())),
                                                  static_cast<DWORD>(image.size()), TRUE, 0x00030000, size, size, 0);
    ASSERT_NE(icon, nullptr);
    ICONINFO info{};
    ASSERT_TRUE(::GetIconInfo(icon, &info));
    BITMAP colour{};
    ::GetObjectW(info.hbmColor, sizeof colour, &colour);
    EXPECT_EQ(colour.bmWidth, size);
    ::DeleteObject(info.hbmColor);
    ::DeleteObject(info.hbmMask);
    ::DestroyIcon(icon);
  }
}

TEST_F(ResourcesTest, TheVersionNamesTheProgram) {
  const std::wstring path = ProgramPath();
  DWORD ignored = 0;
  std::string data(::GetFileVersionInfoSizeW(path.c_str(), &ignored), '\0');
  ASSERT_FALSE(data.empty());
  ASSERT_TRUE(::GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(data.size()), data.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u) << "1.0";
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
  wchar_t* description = nullptr;
  ASSERT_TRUE(::VerQueryValueW(data.data(), L"\\StringFileInfo\\080404b0\\FileDescription",
                               reinterpret_cast<void**>(&description), &length));
  EXPECT_STREQ(description, L"Kestrin百度推送");
}

}  // namespace
}  // namespace kestrin::app
