// The hosts' output: shown as it arrives, in pieces, and kept per method up
// to a bound, so that it never lies whole in this process.
#include "HostOutput.h"

#include "HostProcess.h"
#include "UnitTestBase.h"

#include <algorithm>
#include <cstdio>

namespace Kalvoro {

void THostOutput::TKept::Add(std::string_view aText) {
  Size += aText.size();
  const std::size_t ToHead = std::min(aText.size(), KeptOutput - std::min(KeptOutput, Head.size()));
  Head.append(aText.substr(0, ToHead));
  aText.remove_prefix(ToHead);
  if (aText.empty())
    return;
  // The tail keeps the last bytes, cut back once it holds twice as many.
  if (aText.size() >= KeptOutput)
    Tail.assign(aText.substr(aText.size() - KeptOutput));
  else
    Tail.append(aText);
  if (Tail.size() >= 2 * KeptOutput)
    Tail.erase(0, Tail.size() - KeptOutput);
}

std::string THostOutput::Kept(const TUnitTestMethod& aMethod) const {
  const auto Found = FKept.find(&aMethod);
  if (Found == FKept.end())
    return {};
  const TKept& Kept = Found->second;
  const std::size_t Tail = std::min(Kept.Tail.size(), KeptOutput);
  const std::uint64_t Left = Kept.Size - Kept.Head.size() - Tail;
  if (Left == 0)
    return Kept.Head + Kept.Tail;
  return Kept.Head + "\n[... " + std::to_string(Left) + " bytes left out ...]\n" +
         Kept.Tail.substr(Kept.Tail.size() - Tail);
}

void THostOutput::Take(THostProcess& aHost, const TUnitTestMethod& aMethod, std::uint64_t aOutput,
                       std::uint64_t aError) {
  for (int Stream = 0; Stream < 2; ++Stream) {
    bool Shown = false;
    aHost.TakeOutput(Stream, Stream == 0 ? aOutput : aError, [&](std::string_view aPiece) {
      Show(Stream, aMethod, aPiece);
      Shown = true;
    });
    if (Shown)
      std::fflush(Stream == 0 ? stdout : stderr);
  }
}

void THostOutput::Show(int aStream, const TUnitTestMethod& aMethod, std::string_view aPiece) {
  std::fwrite(aPiece.data(), 1, aPiece.size(), aStream == 0 ? stdout : stderr);
  if (aStream == 1 && FLook)
    FReport.Add(aPiece);
  FKept[&aMethod].Add(aPiece);
}

} // namespace Kalvoro
