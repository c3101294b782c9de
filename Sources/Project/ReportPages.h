// The three pages of a run (summary, log, errors) and where each is written:
// one kind to name a page by, one record per page, and a table indexed by the
// kind. The project, the runner core, both programs and the results view all
// speak of the pages so.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace Kalvoro {

// The pages in the order in which they are shown and written.
enum TPageKind { pkSummary, pkLog, pkErrors };
inline constexpr std::array<TPageKind, 3> PageKinds{pkSummary, pkLog, pkErrors};

// One value per page, indexed by its kind.
template <typename T> struct TPerPage {
  std::array<T, PageKinds.size()> Items{};

  T& operator[](TPageKind aKind) { return Items[static_cast<std::size_t>(aKind)]; }
  const T& operator[](TPageKind aKind) const { return Items[static_cast<std::size_t>(aKind)]; }
  bool operator==(const TPerPage&) const = default;
};

// Where one page goes after a run, as the project stores it: whether it is
// written and the file's name (relative names against the project's folder).
// A page that is written is written whole, replacing its file.
struct TPageFile {
  bool Enabled = false;
  std::string FileName;

  bool operator==(const TPageFile&) const = default;
};

class TProject;

// Where the three pages of the project's runs are written. Every write of a
// value, even of the value already held, marks the project modified.
class TFileInfo {
public:
  // Defaults: all three written, to Summary.txt, Log.txt and Error.txt in the
  // program's folder. aProject must not be null.
  explicit TFileInfo(TProject* aProject);
  TFileInfo(const TFileInfo&) = delete;
  TFileInfo& operator=(const TFileInfo&) = delete;

  TProject* Project() const { return FProject; }

  const TPageFile& Page(TPageKind aKind) const { return FPages[aKind]; }
  const TPerPage<TPageFile>& Pages() const { return FPages; }

  void SetEnabled(TPageKind aKind, bool aValue);
  void SetFileName(TPageKind aKind, std::string aValue);

private:
  TProject* FProject;
  TPerPage<TPageFile> FPages;
};

// The page's name as the project file's keys begin ("Summary", "Log",
// "Error": "ErrorEnabled", "ErrorFileName") and as the default file is named.
const char* PageKey(TPageKind aKind);

} // namespace Kalvoro
