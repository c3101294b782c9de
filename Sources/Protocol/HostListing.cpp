#include "HostListing.h"

namespace Kalvoro {

namespace {
void WriteIdentity(THostFrameWriter& aWriter, const TModuleFileIdentity& aIdentity) {
  aWriter.U64(aIdentity.Device);
  aWriter.U64(aIdentity.Inode);
  aWriter.U64(static_cast<std::uint64_t>(aIdentity.Size));
  aWriter.U64(static_cast<std::uint64_t>(aIdentity.Modified));
  aWriter.U64(static_cast<std::uint64_t>(aIdentity.Changed));
}

TModuleFileIdentity ReadIdentity(THostFields& aFields) {
  TModuleFileIdentity Identity;
  Identity.Device = aFields.U64();
  Identity.Inode = aFields.U64();
  Identity.Size = static_cast<std::int64_t>(aFields.U64());
  Identity.Modified = static_cast<std::int64_t>(aFields.U64());
  Identity.Changed = static_cast<std::int64_t>(aFields.U64());
  return Identity;
}
} // namespace

void WriteListRequest(THostFrameWriter& aWriter, const THostListRequest& aRequest) {
  aWriter.Begin(THostFrame::List);
  aWriter.U32(aRequest.Version);
  aWriter.Text(aRequest.FileName);
  aWriter.Text(aRequest.BaseDirectory);
  aWriter.U8(aRequest.Release ? 1 : 0);
  aWriter.End();
}

void WriteListing(THostFrameWriter& aWriter, const THostListing& aListing) {
  aWriter.Begin(THostFrame::Listing);
  aWriter.U8(aListing.Listed ? 1 : 0);
  aWriter.U8(static_cast<std::uint8_t>(aListing.State));
  aWriter.U8(aListing.LoaderException ? 1 : 0);
  aWriter.Text(aListing.Error);
  aWriter.Text(aListing.LoaderError);
  WriteIdentity(aWriter, aListing.Identity);
  aWriter.U32(static_cast<std::uint32_t>(aListing.UnitTests.size()));
  for (const THostListedUnitTest& UnitTest : aListing.UnitTests) {
    aWriter.Text(UnitTest.Name);
    aWriter.U32(static_cast<std::uint32_t>(UnitTest.Methods.size()));
    for (const std::string& Method : UnitTest.Methods)
      aWriter.Text(Method);
  }
  aWriter.U32(static_cast<std::uint32_t>(aListing.NameChanges.size()));
  for (const TNameChange& Change : aListing.NameChanges) {
    aWriter.Text(Change.Registered);
    aWriter.Text(Change.Given);
  }
  aWriter.End();
}

THostListRequest DecodeListRequest(std::string_view aPayload) {
  THostFields Fields(aPayload);
  THostListRequest Request;
  Request.Version = Fields.U32();
  Request.FileName = Fields.Text();
  Request.BaseDirectory = Fields.Text();
  Request.Release = Fields.Bool();
  Fields.End();
  return Request;
}

THostListing DecodeListing(std::string_view aPayload) {
  THostFields Fields(aPayload);
  THostListing Listing;
  Listing.Listed = Fields.Bool();
  const std::uint8_t State = Fields.U8();
  if (State > msLoadFailed)
    throw EHostProtocol("Garbled frame from the test process: unknown module state");
  Listing.State = static_cast<TModuleState>(State);
  Listing.LoaderException = Fields.Bool();
  Listing.Error = Fields.Text();
  Listing.LoaderError = Fields.Text();
  Listing.Identity = ReadIdentity(Fields);
  // A unit test takes at least 8 bytes, a method or a name change 4 or 8.
  Listing.UnitTests.resize(Fields.Count(8));
  for (THostListedUnitTest& UnitTest : Listing.UnitTests) {
    UnitTest.Name = Fields.Text();
    UnitTest.Methods.resize(Fields.Count(4));
    for (std::string& Method : UnitTest.Methods)
      Method = Fields.Text();
  }
  Listing.NameChanges.resize(Fields.Count(8));
  for (TNameChange& Change : Listing.NameChanges) {
    Change.Registered = Fields.Text();
    Change.Given = Fields.Text();
  }
  Fields.End();
  return Listing;
}

} // namespace Kalvoro
