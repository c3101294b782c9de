// What a host that runs ahead of the run has sent, kept until the run asks
// for its methods: records of a tag and a payload, in the order they came.
// Up to MemoryBound bytes lie in memory; past that the rest goes to an
// unlinked temporary file, read back in order, so that a host that runs far
// ahead (or writes much) never waits for the runner to read it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace Kalvoro {

class THostBacklog {
public:
  static constexpr std::size_t MemoryBound = 4u << 20;

  THostBacklog() = default;
  ~THostBacklog();
  THostBacklog(const THostBacklog&) = delete;
  THostBacklog& operator=(const THostBacklog&) = delete;

  // Keeps a record; raises std::runtime_error when the file cannot take it.
  void Add(std::uint8_t aTag, std::string_view aPayload);
  // The oldest record not handed out yet; the view lives until the next call.
  bool Next(std::uint8_t& aTag, std::string_view& aPayload);
  bool Empty() const { return FRead == FData.size() && FFileRead == FWritten; }
  // Forgets every record.
  void Clear();

private:
  void AddToFile(std::uint8_t aTag, std::string_view aPayload);
  // Moves the file's next record into memory; false when it holds none.
  bool ReadFromFile();

  std::string FData;
  std::size_t FRead = 0;
  int FFile = -1;
  std::uint64_t FWritten = 0;
  std::uint64_t FFileRead = 0;
};

} // namespace Kalvoro
