#include "FrameworkProbe.h"

#include "FileIdentity.h"
#include "TestProgram.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <utility>

namespace Kalvoro {

TForeignFramework FrameworkOfHelp(const std::string& aHelp) {
  if (aHelp.find("doctest version is") != std::string::npos)
    return TForeignFramework::Doctest;
  if (aHelp.find("Catch v") != std::string::npos || aHelp.find("Catch2 v") != std::string::npos)
    return TForeignFramework::Catch2;
  if (aHelp.find("This program contains tests written using Google Test") != std::string::npos)
    return TForeignFramework::GoogleTest;
  return TForeignFramework::None;
}

TForeignFramework ProbedFramework(const std::string& aPath) {
  static std::mutex Lock;
  static std::map<std::string, std::pair<TFileIdentity, TForeignFramework>> Known;
  const TFileIdentity Identity = FileIdentityOf(aPath);
  {
    const std::lock_guard<std::mutex> Guard(Lock);
    const auto Found = Known.find(aPath);
    if (Found != Known.end() && Found->second.first == Identity)
      return Found->second.second;
  }
  TForeignFramework Framework = TForeignFramework::None;
  std::error_code Error;
  std::filesystem::path Scratch =
      std::filesystem::temp_directory_path(Error) / "kalvoro-probe-XXXXXX";
  std::string Folder = Scratch.string();
  if (!Error && mkdtemp(Folder.data()) != nullptr) {
    try {
      TProgramStart Start;
      Start.Path = aPath;
      Start.Arguments = {"--help"};
      Start.Environment = {"GTEST_FILTER=-*"};
      Start.Directory = Folder;
      std::string Output;
      std::string Errors;
      std::string Report;
      TTestProgram Program(Start);
      if (Program.Finish(10.0, PollWait, Output, Errors, Report))
        Framework = FrameworkOfHelp(Output + Errors);
    } catch (const std::exception&) {
      // A program that cannot start is of no kind.
    }
    std::filesystem::remove_all(Folder, Error);
  }
  const std::lock_guard<std::mutex> Guard(Lock);
  Known[aPath] = {Identity, Framework};
  return Framework;
}

} // namespace Kalvoro
