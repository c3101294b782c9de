// Outcomes of tests whose program ran ahead of the run, kept until the run
// asks for them. A runner keeps them in memory up to MemoryBound bytes; past
// that it puts them here, in an unlinked temporary file, and reads each back
// when the run comes to its test. Records are flat: texts and numbers one
// after another (TRecord writes them, TRecordReader reads them in order).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace Kalvoro {

class TAheadStore {
public:
  static constexpr std::size_t MemoryBound = 4u << 20;

  TAheadStore() = default;
  ~TAheadStore();
  TAheadStore(const TAheadStore&) = delete;
  TAheadStore& operator=(const TAheadStore&) = delete;

  // Where in the file aRecord now lies; raises std::runtime_error when the
  // file cannot take it.
  std::uint64_t Put(std::string_view aRecord);
  // The record of aSize bytes put at aAt.
  std::string Get(std::uint64_t aAt, std::size_t aSize) const;
  // Forgets every record (the file goes).
  void Clear();

private:
  int FFile = -1;
  std::uint64_t FWritten = 0;
};

// A record being written: each value in turn.
class TRecord {
public:
  void Text(std::string_view aText);
  void Number(std::uint64_t aNumber);
  const std::string& Bytes() const { return FBytes; }

private:
  std::string FBytes;
};

// A record being read back, value by value in the order written.
class TRecordReader {
public:
  explicit TRecordReader(std::string_view aBytes) : FBytes(aBytes) {}
  std::string Text();
  std::uint64_t Number();

private:
  std::string_view FBytes;
};

// The outcomes that wait for the run to come to their test: in memory while
// they take up to the bound, then all of them in the store. TOutcome has
// Save, Load, Bytes, Drop and the Stored fields.
template <class TOutcome> class TAheadKeeper {
public:
  // aOutcome is final: kept as it is, or stored with the rest.
  void Keep(TOutcome& aOutcome) {
    if (aOutcome.Stored || aOutcome.Replayed ||
        !FKept.try_emplace(&aOutcome, aOutcome.Bytes()).second)
      return;
    FHeld += FKept[&aOutcome];
    if (FHeld <= TAheadStore::MemoryBound)
      return;
    for (const auto& [Outcome, Bytes] : FKept) {
      const std::string Record = Outcome->Save();
      Outcome->StoredAt = FStore.Put(Record);
      Outcome->StoredSize = Record.size();
      Outcome->Stored = true;
      Outcome->Drop();
    }
    FKept.clear();
    FHeld = 0;
  }
  // What aOutcome holds for its replay: itself, or aCopy read back.
  const TOutcome& Take(TOutcome& aOutcome, TOutcome& aCopy) {
    aOutcome.Replayed = true;
    if (!aOutcome.Stored) {
      if (const auto Found = FKept.find(&aOutcome); Found != FKept.end()) {
        FHeld -= Found->second;
        FKept.erase(Found);
      }
      return aOutcome;
    }
    aCopy = aOutcome;
    aCopy.Load(FStore.Get(aOutcome.StoredAt, aOutcome.StoredSize));
    return aCopy;
  }
  void Clear() {
    FKept.clear();
    FHeld = 0;
    FStore.Clear();
  }

private:
  TAheadStore FStore;
  std::unordered_map<TOutcome*, std::size_t> FKept;
  std::size_t FHeld = 0;
};

} // namespace Kalvoro
