// Helpers shared by the project tests: a scratch folder and whole-file I/O.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace KalvoroTest {

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class TScratchDir {
public:
  TScratchDir() {
    std::string Template =
        (std::filesystem::temp_directory_path() / "kalvoro-project-XXXXXX").string();
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

inline void WriteFile(const std::string& aFileName, const std::string& aContent) {
  std::ofstream Stream(aFileName, std::ios::binary | std::ios::trunc);
  Stream << aContent;
}

inline std::string ReadFile(const std::string& aFileName) {
  std::ifstream Stream(aFileName, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(Stream), std::istreambuf_iterator<char>());
}

// Turns LF line ends into CR LF, so that expected files read naturally.
inline std::string CrLf(const std::string& aText) {
  std::string Result;
  for (const char Char : aText) {
    if (Char == '\n')
      Result += '\r';
    Result += Char;
  }
  return Result;
}

inline const std::string DemoModule = std::string(KALVORO_EXAMPLES_DIR) + "/Demo.so";
inline const std::string WorkedExampleModule =
    std::string(KALVORO_TEST_MODULES_DIR) + "/ProjectWorkedExample.so";

} // namespace KalvoroTest
