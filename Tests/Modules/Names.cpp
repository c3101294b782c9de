// Unit tests and methods whose names are hard to carry through listings,
// filters and project files: line breaks, leading blanks, empty names,
// repeated names, dots, filter and CMake characters, bytes that are not
// UTF-8, and long UTF-8
// names that share their first 255 bytes. Built twice: NamesReversed.so
// registers the long ones in the opposite order, and one whose name holds '|'.
#include "UnitTest.h"

#include <string>

namespace {

using Kalvoro::Detail::RegisterClass;

struct TMethodSpec {
  const char* Name;
  bool Passes;
};

// Each unit test class N registers the methods of Specs<N>.
template <int N> struct TSpecs;

class TNamedBase : public TUnitTest {
public:
  using TUnitTest::TUnitTest;
  void Pass() { Check(true, "passes"); }
  void Fail() { Check(false, "fails"); }

protected:
  template <std::size_t Count> void RegisterSpecs(const TMethodSpec (&aSpecs)[Count]) {
    for (const TMethodSpec& Spec : aSpecs)
      RegisterMethod(static_cast<void (TUnitTestBase::*)()>(Spec.Passes ? &TNamedBase::Pass
                                                                        : &TNamedBase::Fail),
                     Spec.Name);
  }
};

template <int N> class TNamed : public TNamedBase {
public:
  using TNamedBase::TNamedBase;
  void Register() override { RegisterSpecs(TSpecs<N>::Methods); }
};

template <> struct TSpecs<0> { // many odd method names
  static constexpr TMethodSpec Methods[] = {{"X\nBroken", false},
                                            {"  Leading", true},
                                            {"", false},
                                            {"dup", true},
                                            {"dup", false},
                                            {"a:b-c*d?[e]", true},
                                            {"semi;colon ${x} ]=] \"q\" \\", true},
                                            {"Tab\there", false},
                                            {"Bad\xff\xc3(", true}};
};
template <> struct TSpecs<1> { // "TA" with "B.C", which fails
  static constexpr TMethodSpec Methods[] = {{"B.C", false}};
};
template <> struct TSpecs<2> { // "TA.B" with "C", which passes
  static constexpr TMethodSpec Methods[] = {{"C", true}};
};
template <> struct TSpecs<3> { // a method that passes
  static constexpr TMethodSpec Methods[] = {{"M", true}};
};
template <> struct TSpecs<4> { // a method that fails
  static constexpr TMethodSpec Methods[] = {{"M", false}};
};
// 254 letters, then "é" across bytes 254 and 255.
#define KALVORO_M10 "mmmmmmmmmm"
#define KALVORO_M50 KALVORO_M10 KALVORO_M10 KALVORO_M10 KALVORO_M10 KALVORO_M10
template <> struct TSpecs<5> { // a method whose long name a cut at 255 bytes would split
  static constexpr TMethodSpec Methods[] = {
      {KALVORO_M50 KALVORO_M50 KALVORO_M50 KALVORO_M50 KALVORO_M50 "mmmm\xC3\xA9tail", true}};
};

// 254 letters, then "é" across bytes 254 and 255: a cut at 255 bytes would
// split it. The two names differ after it.
const std::string LongStart = std::string(254, 'L') + "\xC3\xA9";
const std::string LongOne = LongStart + "One";
const std::string LongTwo = LongStart + "Two";
// Long, but no other unit test shares its first 255 bytes; split by a cut at
// 255 bytes too.
const std::string LongAlone = std::string(254, 'A') + "\xC3\xA9" + std::string(44, 'Z');

void RegisterAll() {
#ifndef KALVORO_NAMES_REVERSED
  RegisterClass<TNamed<0>>("TOdd");
  RegisterClass<TNamed<1>>("TA");
  RegisterClass<TNamed<2>>("TA.B");
  RegisterClass<TNamed<3>>("TLine\nBreak");
  RegisterClass<TNamed<4>>("");
  RegisterClass<TNamed<3>>("TSame");
  RegisterClass<TNamed<4>>("TSame");
  RegisterClass<TNamed<3>>(LongOne.c_str());
  RegisterClass<TNamed<4>>(LongTwo.c_str());
  RegisterClass<TNamed<5>>(LongAlone.c_str());
#else
  RegisterClass<TNamed<3>>("TPipe|Name");
  RegisterClass<TNamed<5>>(LongAlone.c_str());
  RegisterClass<TNamed<4>>(LongTwo.c_str());
  RegisterClass<TNamed<3>>(LongOne.c_str());
#endif
}

} // namespace

extern "C" KALVORO_EXPORT void Register() {
  RegisterAll();
}
