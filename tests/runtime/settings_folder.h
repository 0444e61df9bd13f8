// A fresh folder for each settings test, with the settings file "bb.ini" in it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace kestrin {

class SettingsFolderTest : public testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    directory_ = std::filesystem::temp_directory_path() / ("kestrin-settings-" + std::to_string(random()));
    ASSERT_TRUE(std::filesystem::create_directory(directory_));
    // The path as the program's texts hold it: GBK on Windows.
    file_ = (directory_ / "bb.ini").string();
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(directory_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(directory_, ignored);
  }

  void Put(const std::string& content) const {
    std::ofstream(file_, std::ios::binary | std::ios::trunc) << content;
  }
  [[nodiscard]] std::optional<std::string> Contents() const {
    std::ifstream in(file_, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // Files other than the settings file: what a failed write may have left behind.
  [[nodiscard]] std::vector<std::string> Strays() const {
    std::vector<std::string> names;
    for (const auto& item : std::filesystem::directory_iterator(directory_)) {
      if (item.path().filename() != "bb.ini") names.push_back(item.path().filename().string());
    }
    return names;
  }

  std::filesystem::path directory_;
  std::string file_;
};

}  // namespace kestrin
