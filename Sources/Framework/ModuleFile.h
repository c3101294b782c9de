// How TModule opens a module file and names it to the dynamic loader: the
// file is opened once and checked, and the loader reads that very file
// through its descriptor, so nothing can change between check and load.
#pragma once

#include "UnitTestBase.h"

#include <string>

struct stat;

namespace Kalvoro {

// Opens the module file without blocking (a named pipe in its place would
// hang a plain open) and refuses anything but a regular file, which may be
// reached through a symbolic link. Returns the descriptor, with what the
// file is in aStatus, or -1 with aError in the loader's words.
int OpenModuleFile(const std::string& aPath, std::string& aError, struct stat& aStatus);

// The name under which the loader reads the open file aFile.
std::string DescriptorPath(int aFile);

// True when a library that is still mapped was opened under aName (one whose
// shut-down crashed stays mapped after its release): the loader would hand
// that library out again instead of reading the file.
bool NameTaken(const std::string& aName);
// Notes that a library was opened under aName: only such a name is looked
// for among the loaded objects, so that a host listing a project's modules
// (whose descriptors, and so names, are all new) does not search them all at
// each module.
void NameHanded(const std::string& aName);

// The loader's texts name the descriptor's path; the user knows the file.
std::string WithFileName(std::string aText, const std::string& aName, const std::string& aPath);

// The identity of a file from its status (see TModuleFileIdentity).
TModuleFileIdentity IdentityOf(const struct stat& aStatus);

} // namespace Kalvoro
