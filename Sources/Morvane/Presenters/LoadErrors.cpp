#include "LoadErrors.h"

#include "Exception.h"
#include "UnitTestBase.h"

namespace Kalvoro {

std::string LoadErrorText(const std::string& aPath, const std::string& aError,
                          const std::string& aReason) {
  std::string Text = aError;
  if (!aPath.empty() && aError.find(aPath) == std::string::npos)
    Text = "Failed to load module \"" + aPath + "\"\r" + aError;
  if (!aReason.empty() && Text.find(aReason) == std::string::npos)
    Text += "\r" + aReason;
  return Text;
}

namespace {

// Runs aLoad; an error whose text does not name the module goes on as an
// Exception that does.
template <class TLoad> bool NamingModule(TModule& aModule, TLoad&& aLoad) {
  try {
    return aLoad();
  } catch (const std::exception& Error) {
    const std::string Text =
        LoadErrorText(aModule.FullFileName(), Error.what(), aModule.LoaderError());
    if (Text == Error.what())
      throw;
    throw Exception(Text);
  } catch (...) {
    throw Exception(
        LoadErrorText(aModule.FullFileName(), CurrentExceptionText(), aModule.LoaderError()));
  }
}

} // namespace

bool LoadNamingModule(TModule& aModule) {
  return NamingModule(aModule, [&] { return aModule.LoadModule(); });
}

bool RelistNamingModule(TModule& aModule, std::vector<std::string>& aReturning) {
  return NamingModule(aModule, [&] { return aModule.RelistModule(aReturning); });
}

} // namespace Kalvoro
