// The names that a method's Init and Exit phases carry in its progress
// messages and exceptions, and the one of a module's end where a runner
// reports it: the framework's run uses them, and so do the runners that
// rebuild a run's messages elsewhere (hosts, other kinds). Internal: not an
// installed header.
#pragma once

#include <string>

namespace Kalvoro::PhaseNames {

inline const std::string Init = "Init";
inline const std::string Exit = "Exit";
inline const std::string Unload = "Unload";

} // namespace Kalvoro::PhaseNames
