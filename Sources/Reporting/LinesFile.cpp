#include "LinesFile.h"

#include "Exception.h"

#include <cerrno>
#include <cstring>
#include <utility>

namespace Kalvoro {

namespace {

// Report files get one large buffer: they can run to millions of short lines.
constexpr std::size_t ReportBufferSize = 1 << 16;

} // namespace

TLinesFile::TLinesFile(std::string aPath)
    : FPath(std::move(aPath)), FBuffer(std::make_unique<char[]>(ReportBufferSize)),
      FFile(std::fopen(FPath.c_str(), "wb")) {
  if (FFile == nullptr)
    Fail(errno);
  else
    std::setvbuf(FFile, FBuffer.get(), _IOFBF, ReportBufferSize);
}

TLinesFile::~TLinesFile() {
  if (FFile != nullptr)
    std::fclose(FFile);
}

void TLinesFile::Write(std::string_view aText) noexcept {
  if (FFile == nullptr || FError != 0)
    return;
  if (std::fwrite(aText.data(), 1, aText.size(), FFile) != aText.size())
    Fail(errno);
}

void TLinesFile::Flush() noexcept {
  if (FFile != nullptr && FError == 0 && std::fflush(FFile) != 0)
    Fail(errno);
}

void TLinesFile::WriteLine(std::string_view aLine) noexcept {
  // One message is one line: a line break inside it is written as \n or \r,
  // so that no text can forge a line of the file.
  for (std::size_t Break; (Break = aLine.find_first_of("\r\n")) != std::string_view::npos;) {
    Write(aLine.substr(0, Break));
    Write(aLine[Break] == '\n' ? "\\n" : "\\r");
    aLine.remove_prefix(Break + 1);
  }
  Write(aLine);
  Write("\r\n");
  if (FFlushRule.LineDue())
    Flush();
}

void TLinesFile::Close() {
  std::FILE* File = FFile;
  FFile = nullptr;
  if (File != nullptr && std::fclose(File) != 0 && FError == 0)
    Fail(errno);
  if (FError != 0)
    throw Exception("Unable to write to " + FPath + ": " + std::strerror(FError));
}

void TLinesFile::Fail(int aError) noexcept {
  if (FError == 0)
    FError = aError != 0 ? aError : EIO;
}

void SaveLinesToFile(const std::string& aPath, const std::vector<std::string>& aLines) {
  TLinesFile File(aPath);
  for (const std::string& Line : aLines)
    File.WriteLine(Line);
  File.Close();
}

void SaveTextToFile(const std::string& aPath, std::string_view aText) {
  TLinesFile File(aPath);
  File.Write(aText);
  File.Close();
}

} // namespace Kalvoro
