// Files for the tests without Qt: a scratch folder of the test's own and
// whole files read and written as bytes.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>

namespace KalvoroTest {

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes. Tests may run at the same time: each has its
// own.
class TScratchDir {
public:
  TScratchDir() {
    std::string Template = (std::filesystem::temp_directory_path() / "kalvoro-XXXXXX").string();
    if (::mkdtemp(Template.data()) == nullptr)
      throw std::runtime_error("cannot create a scratch folder");
    FPath = Template;
  }
  ~TScratchDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(FPath, Ignored);
  }
  TScratchDir(const TScratchDir&) = delete;
  TScratchDir& operator=(const TScratchDir&) = delete;

  // The path of a file in the folder.
  std::string File(const std::string& aName) const { return (FPath / aName).string(); }
  const std::filesystem::path& Path() const { return FPath; }

private:
  std::filesystem::path FPath;
};

// The whole file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& aPath) {
  std::ifstream Stream(aPath, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
}

// Replaces the file's content.
inline void WriteFile(const std::filesystem::path& aPath, std::string_view aContent) {
  std::ofstream Stream(aPath, std::ios::binary | std::ios::trunc);
  Stream << aContent;
}

} // namespace KalvoroTest
