// Load errors as the error box shows them: each one names the module it is
// about, also an error that the module's own code raised while it loaded.
#pragma once

#include <string>
#include <vector>

namespace Kalvoro {

class TModule;

// aError as raised by loading the module at aPath: the path goes in front,
// unless the text names it already; the loader's own reason (the dynamic
// loader's text, or the signal of a crash in the module) goes under it.
std::string LoadErrorText(const std::string& aPath, const std::string& aError,
                          const std::string& aReason = {});

// TModule::LoadModule; an error whose text does not name the module goes on
// as an Exception that does (one that names it goes on unchanged).
bool LoadNamingModule(TModule& aModule);

// TModule::RelistModule (a rebuilt module listed again in place), its
// errors named as LoadNamingModule names them.
bool RelistNamingModule(TModule& aModule, std::vector<std::string>& aReturning);

} // namespace Kalvoro
