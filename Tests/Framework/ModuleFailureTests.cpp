// Test modules that fail to load: missing files, broken entry points,
// another ABI version, errors raised by the module's own code.
#include "ModuleTestSupport.h"

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ModuleTest;

TEST(FrameworkModule, MissingLibraryFailsToLoad) {
  const std::string Path = ModulePath("Missing.so");
  TModule Module(Path);
  EXPECT_EQ(LoadError(Module), "Failed to load package or library \"" + Path + "\"");
  EXPECT_EQ(Module.State(), msLoadFailed);
  EXPECT_EQ(Module.Handle(), nullptr);
  EXPECT_FALSE(Module.LoaderError().empty());
  EXPECT_FALSE(Module.UnloadModule());
  // A failed module may be loaded again.
  EXPECT_EQ(LoadError(Module), "Failed to load package or library \"" + Path + "\"");
}

TEST(FrameworkModule, PackageLoaderReportsItsOwnErrorAndFailsTheLoad) {
  const std::string Missing = ModulePath("Missing.bpl");
  TModule Module(Missing);
  const std::string Text = LoadError(Module);
  EXPECT_NE(Text.find(Missing), std::string::npos) << Text;
  EXPECT_EQ(Text.find("Failed to load package or library"), std::string::npos) << Text;
  EXPECT_EQ(Module.State(), msLoadFailed);
  EXPECT_EQ(Module.Handle(), nullptr);

  // A plain library under a package name lacks the package entries; it is
  // refused and let go.
  TScratchDir Dir;
  const std::string Fake = Dir.File("NotAPackage.bpl");
  fs::copy_file(ModulePath("ReportA.so"), Fake);
  TModule NotAPackage(Fake);
  EXPECT_NE(LoadError(NotAPackage).find(Fake), std::string::npos);
  EXPECT_EQ(NotAPackage.State(), msLoadFailed);
  EXPECT_EQ(NotAPackage.Handle(), nullptr);
  EXPECT_FALSE(IsMapped(Fake));

  // A package whose start-up raises is let go; its error, whose type lives in
  // the package, reaches the caller as the loader's own text.
  const std::string RaisingPath = ModulePath("RaisingPackage.bpl");
  TModule Raising(RaisingPath);
  EXPECT_EQ(LoadError(Raising), "Unable to load package \"" + RaisingPath + "\"\rstart-up refused");
  EXPECT_EQ(Raising.State(), msLoadFailed);
  EXPECT_EQ(Raising.Handle(), nullptr);
  EXPECT_FALSE(IsMapped(RaisingPath));
}

TEST(FrameworkModule, FailedLoadsLetGoOfTheLibraryAndTryAgain) {
  const std::string NoRegisterPath = ModulePath("NoRegister.so");
  const std::string NoRegisterError =
      "Invalid module\rNo \"Register\" procedure in module \"" + NoRegisterPath + "\"";
  TModule NoRegister(NoRegisterPath);
  EXPECT_EQ(LoadError(NoRegister), NoRegisterError);
  EXPECT_EQ(NoRegister.State(), msLoadFailed);
  EXPECT_EQ(NoRegister.Handle(), nullptr);
  EXPECT_FALSE(IsMapped(NoRegisterPath));
  EXPECT_EQ(LoadError(NoRegister), NoRegisterError);
  EXPECT_FALSE(NoRegister.UnloadModule());

  const std::string NoEnumPath = ModulePath("NoEnum.so");
  const std::string NoEnumError = "Invalid module\rNo \"EnumRegisteredUnitTests\" procedure in "
                                  "module \"" +
                                  NoEnumPath + "\"";
  TModule NoEnum(NoEnumPath);
  EXPECT_EQ(LoadError(NoEnum), NoEnumError);
  EXPECT_EQ(NoEnum.State(), msLoadFailed);
  EXPECT_EQ(NoEnum.Handle(), nullptr);
  EXPECT_FALSE(IsMapped(NoEnumPath));
  EXPECT_EQ(LoadError(NoEnum), NoEnumError);

  // A module file that failed, then replaced by a good one, loads for real.
  TScratchDir Dir;
  const std::string Path = Dir.File("Replaced.so");
  fs::copy_file(NoRegisterPath, Path);
  TModule Replaced(Path);
  EXPECT_NE(LoadError(Replaced).find("\"Register\""), std::string::npos);
  ASSERT_FALSE(IsMapped(Path));
  fs::copy_file(ModulePath("ReportA.so"), Path, fs::copy_options::overwrite_existing);
  ASSERT_TRUE(Replaced.LoadModule());
  EXPECT_EQ(Replaced.State(), msLoadSuccess);
  EXPECT_EQ(ReportsOf(Replaced, "TReporter"), std::vector<std::string>{"Report A"});
}

TEST(FrameworkModule, ModuleOfAnotherAbiVersionIsRefusedAndReleased) {
  const std::string Path = ModulePath("OtherAbi.so");
  unsetenv("KALVORO_OTHER_ABI_REGISTERED");
  TModule Module(Path);
  const std::string Text = LoadError(Module);
  EXPECT_EQ(Text.rfind("Invalid module\r", 0), 0u) << Text;
  EXPECT_NE(Text.find(Path), std::string::npos) << Text;
  const std::string Versions = "built for framework ABI version 3; this framework has version " +
                               std::to_string(KalvoroAbiVersion);
  EXPECT_NE(Text.find(Versions), std::string::npos) << Text;
  EXPECT_EQ(Module.State(), msLoadFailed);
  EXPECT_EQ(Module.Handle(), nullptr);
  EXPECT_FALSE(IsMapped(Path));
  EXPECT_EQ(getenv("KALVORO_OTHER_ABI_REGISTERED"), nullptr) << "the module's Register ran";
  EXPECT_NE(LoadError(Module).find(Versions), std::string::npos);
}

TEST(FrameworkModule, ErrorsOfTheModulesOwnCodePassUnchanged) {
  TModule Raising(ModulePath("RaisingRegister.so"));
  try {
    Raising.LoadModule();
    ADD_FAILURE() << "Register's error was lost";
  } catch (const TModuleException& Error) {
    ADD_FAILURE() << "wrapped: " << Error.what();
  } catch (const std::runtime_error& Error) {
    EXPECT_STREQ(Error.what(), "Register refused");
  }
  // The failed load lets go of the library: a second load runs Register again.
  EXPECT_EQ(Raising.State(), msNotLoaded);
  EXPECT_EQ(Raising.Handle(), nullptr);
  EXPECT_EQ(Raising.UnitTestList().Count(), 0);
  EXPECT_FALSE(IsMapped(ModulePath("RaisingRegister.so")));
  EXPECT_THROW(Raising.LoadModule(), std::runtime_error);
  EXPECT_FALSE(Raising.UnloadModule());

  // An error of a type defined in the module cannot outlive the release: its
  // text arrives as the framework's own error.
  const std::string OwnTypePath = ModulePath("RaisingOwnType.so");
  TModule OwnType(OwnTypePath);
  try {
    OwnType.LoadModule();
    ADD_FAILURE() << "Register's error was lost";
  } catch (const Exception& Error) {
    EXPECT_STREQ(Error.what(), "refused with a type of its own");
  }
  EXPECT_EQ(OwnType.Handle(), nullptr);
  EXPECT_FALSE(IsMapped(OwnTypePath));

  // The second of three unit tests raises in its Register: the load fails as
  // a whole, and the first one goes with the library that holds its code.
  TModule Partial(ModulePath("RaisingUnitTest.so"));
  EXPECT_THROW(Partial.LoadModule(), std::logic_error);
  EXPECT_EQ(Partial.State(), msNotLoaded);
  EXPECT_EQ(Partial.Handle(), nullptr);
  EXPECT_TRUE(Names(Partial).empty());
  EXPECT_FALSE(IsMapped(ModulePath("RaisingUnitTest.so")));
  EXPECT_THROW(Partial.LoadModule(), std::logic_error);
}

// Anything but a regular file is refused before the loader reads it: a named
// pipe must not hang the load (until someone writes to it), nor a directory
// or device reach the loader. A symbolic link to a module loads.
TEST(FrameworkModule, OnlyARegularFileLoads) {
  TScratchDir Dir;
  const std::string Pipe = Dir.File("Pipe.so");
  ASSERT_EQ(mkfifo(Pipe.c_str(), 0600), 0);
  const std::string Folder = Dir.File("Folder.so");
  fs::create_directory(Folder);
  const std::string Link = Dir.File("Link.so");
  fs::create_symlink(ModulePath("ReportA.so"), Link);
  const std::string PipeLink = Dir.File("PipeLink.so");
  fs::create_symlink(Pipe, PipeLink);

  // A blocking open of the pipe would wait for a writer: this one comes by
  // every few milliseconds, so that such a load ends (and fails) instead.
  std::atomic<bool> Done = false;
  std::thread Writer([&] {
    while (!Done) {
      const int File = open(Pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (File >= 0)
        close(File);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  const struct {
    std::string Path;
    std::string LoaderError; // empty: loads
  } Cases[] = {{Pipe, Pipe + ": not a regular file"},
               {PipeLink, PipeLink + ": not a regular file"},
               {Folder, Folder + ": not a regular file"},
               {"/dev/zero", "/dev/zero: not a regular file"},
               {Link, ""}};
  for (const auto& Case : Cases) {
    SCOPED_TRACE(Case.Path);
    TModule Module(Case.Path);
    if (Case.LoaderError.empty()) {
      ASSERT_TRUE(Module.LoadModule());
      EXPECT_EQ(Names(Module), (std::vector<std::string>{"TReporter", "TIdle"}));
      EXPECT_TRUE(Module.UnloadModule());
      continue;
    }
    EXPECT_EQ(LoadError(Module), "Failed to load package or library \"" + Case.Path + "\"");
    EXPECT_EQ(Module.LoaderError(), Case.LoaderError);
    EXPECT_EQ(Module.State(), msLoadFailed);
  }
  Done = true;
  Writer.join();
}
