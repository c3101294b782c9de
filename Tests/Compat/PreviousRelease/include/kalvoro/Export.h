// Symbol visibility for the framework library and for test modules.
#pragma once

// Classes and functions of libkalvoro.so that modules and programs use.
#define KALVORO_API __attribute__((visibility("default")))

// Entry points that a test module exports to the loader (extern "C").
#define KALVORO_EXPORT __attribute__((visibility("default")))

namespace Kalvoro {

// Version of the binary contract between libkalvoro.so and test modules: the
// layout of the framework classes, the entry-point signatures and the callback
// structure. A module built for another version is refused when loaded.
inline constexpr unsigned KalvoroAbiVersion = 4;

// The framework's release, shown by the programs.
inline constexpr const char* KalvoroVersion = "0.7.0";

} // namespace Kalvoro
