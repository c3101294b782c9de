#include "LoadErrors.h"

#include "Exception.h"
#include "UnitTestBase.h"

namespace Kalvoro {

std::string LoadErrorText(const std::string& aPath, const std::string& aError) {
  if (aPath.empty() || aError.find(aPath) != std::string::npos)
    return aError;
  return "Failed to load module \"" + aPath + "\"\r" + aError;
}

bool LoadNamingModule(TModule& aModule) {
  try {
    return aModule.LoadModule();
  } catch (const std::exception& Error) {
    const std::string Text = LoadErrorText(aModule.FullFileName(), Error.what());
    if (Text == Error.what())
      throw;
    throw Exception(Text);
  } catch (...) {
    throw Exception(LoadErrorText(aModule.FullFileName(), CurrentExceptionText()));
  }
}

} // namespace Kalvoro
