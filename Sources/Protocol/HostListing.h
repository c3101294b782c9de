// Listing a module in a run host: the runner asks a host to load a module
// file and answers what it registered (its unit tests and their methods, as
// a load names them) or why it could not be loaded. The host keeps the
// module loaded for the plans that follow.
#pragma once

#include "HostProtocol.h"
#include "UnitTestBase.h"

#include <string>
#include <string_view>
#include <vector>

namespace Kalvoro {

struct THostListRequest {
  std::uint32_t Version = HostProtocolVersion;
  std::string FileName;      // the module's path as the program names it
  std::string BaseDirectory; // where a relative FileName counts from
  // The program lists more modules after this one: the host lets go of it
  // once listed (a host that holds a project's modules makes every later
  // load and unload compare with all of them), and loads it again when a
  // plan names it. The last one listed stays loaded for the run that
  // follows.
  bool Release = false;
};

struct THostListedUnitTest {
  std::string Name;
  std::vector<std::string> Methods;
};

struct THostListing {
  bool Listed = false;
  // When not listed: the state the load left, whether its error was the
  // loader's own (TModuleException) or the module's, its text and the
  // loader's.
  TModuleState State = msLoadFailed;
  bool LoaderException = true;
  std::string Error;
  std::string LoaderError;
  // The file that was loaded.
  TModuleFileIdentity Identity;
  std::vector<THostListedUnitTest> UnitTests;
  std::vector<TNameChange> NameChanges;
};

void WriteListRequest(THostFrameWriter& aWriter, const THostListRequest& aRequest);
void WriteListing(THostFrameWriter& aWriter, const THostListing& aListing);
// Raise EHostProtocol on a payload that does not fit exactly.
THostListRequest DecodeListRequest(std::string_view aPayload);
THostListing DecodeListing(std::string_view aPayload);

} // namespace Kalvoro
