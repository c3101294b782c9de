// The texts of the crash guard: a time limit, and what ended a guarded phase.
#include "CrashGuard.h"

#include "Interruption.h"

#include <signal.h>

#include <charconv>
#include <string>

namespace Kalvoro {

std::string SecondsText(double aSeconds) {
  char Buffer[32];
  const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, aSeconds);
  return std::string(Buffer, Result.ptr);
}

std::string CrashText(const TCrashFrame& aFrame) {
  if (aFrame.ExitCall != nullptr)
    return std::string(aFrame.ExitCall) + "(" + std::to_string(aFrame.ExitStatus) +
           ") called by the test";
  if (aFrame.TimedOut)
    return "Time limit of " + SecondsText(aFrame.DeadlineLimit) + " s exceeded";
  switch (aFrame.Signal) {
  case SIGSEGV:
    return aFrame.StackOverflow ? "Stack overflow (SIGSEGV)" : "Access violation (SIGSEGV)";
  case SIGFPE:
    if (aFrame.Code == FPE_INTDIV)
      return "Integer division by zero (SIGFPE)";
    if (aFrame.Code == FPE_INTOVF)
      return "Integer overflow (SIGFPE)";
    return "Arithmetic error (SIGFPE)";
  case SIGBUS:
    return "Bus error (SIGBUS)";
  case SIGILL:
    return "Illegal instruction (SIGILL)";
  case SIGABRT:
    return "Abnormal termination (SIGABRT)";
  case SIGINT:
  case SIGTERM:
    return std::string("Interrupted (") + InterruptSignalName(aFrame.Signal) + ")";
  default:
    return "Signal " + std::to_string(aFrame.Signal);
  }
}

} // namespace Kalvoro
