// A private directory for one test, removed with everything in it when the object goes away.
// It lives under $MORLAN_TEST_TMP when that is set (the build sets it), else under /tmp.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace morlan::testing {

class TempDir {
 public:
  TempDir() {
    const char* base = std::getenv("MORLAN_TEST_TMP");
    std::filesystem::path root = base != nullptr ? base : "/tmp";
    std::filesystem::create_directories(root);
    std::string pattern = (root / "morlan-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // Full name of `file` inside the directory.
  std::string File(std::string_view file) const { return (path_ / file).string(); }

  // Writes `content` byte for byte to `file` and returns its full name.
  std::string Write(std::string_view file, std::string_view content) const {
    const std::string name = File(file);
    std::ofstream out(name, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return name;
  }

  // The whole content of `file`.
  std::string Read(std::string_view file) const {
    std::ifstream in(File(file), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
};

}  // namespace morlan::testing
