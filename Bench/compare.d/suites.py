"""Generates the synthetic test suites: the same work written for each framework.

Every suite lives in its own CMake project under the work folder:

  passing      one test with COMPARE_COUNT passing checks (workloads 1 and 3)
  passing_aligned  the same, its loops aligned to 64 bytes (workload 1a)
  failing      one test with COMPARE_COUNT failing checks (workload 5)
  tests_N      N test methods with one passing check each (workloads 2 and 4)
  units_N      N unit tests of one method each, and the load driver (workload 6,
               Kalvoro only)

The checks compare a loop index with a value read from a volatile variable, so
that the compiler can neither fold a check nor drop the loop. The check count
of the loop suites comes from the environment, so one build serves every size.
"""

import os

FRAMEWORKS = ("kalvoro", "gtest", "catch2", "doctest")

# Test methods per unit test (Kalvoro class, GoogleTest suite name) and per
# source file. Files of a usual size: g++ -O2 takes superlinear time on files
# of many hundred tests (their registrations end up in one huge static
# initialiser), which would measure that rather than each framework's cost.
METHODS_PER_CLASS = 100
TESTS_PER_FILE = 100
UNITS_PER_FILE = 100

SUPPORT_H = """\
#pragma once
// -1, read at run time: no check can be decided by the compiler.
extern volatile int CompareOffset;
// COMPARE_COUNT from the environment (the number of checks of a loop test).
int CompareCount();
"""

SUPPORT_CPP = """\
#include "Support.h"

#include <cstdlib>

volatile int CompareOffset = -1;

int CompareCount() {
  const char* Text = std::getenv("COMPARE_COUNT");
  return Text != nullptr ? std::atoi(Text) : 1000;
}
"""

# Workload 1a builds the passing loop again with this option for every
# framework. A loop of a few instructions costs a third more when it happens to
# straddle a 64-byte line of code, which depends on whatever code precedes it
# in the file; with the option no framework's loop straddles one, so 1a shows
# the cost of the checks themselves and 1 what plain -O2 placement gave.
ALIGN_LOOPS = "-falign-loops=64"

# The entry point that every Kalvoro module exports.
KALVORO_ENTRY = 'extern "C" KALVORO_EXPORT void Register() {}\n'

DOCTEST_MAIN = """\
#define DOCTEST_CONFIG_IMPLEMENT_WITH_MAIN
#include <doctest/doctest.h>
"""

# How each framework spells a test, a passing check and a failing check.
HEADER = {
    "kalvoro": '#include "UnitTest.h"\n',
    "gtest": "#include <gtest/gtest.h>\n",
    "catch2": "#include <catch2/catch.hpp>\n",
    "doctest": "#include <doctest/doctest.h>\n",
}
CHECK = {
    "kalvoro": 'Check({cond}, "value holds");',
    "gtest": "EXPECT_TRUE({cond});",
    "catch2": "CHECK({cond});",
    "doctest": "CHECK({cond});",
}


def check(framework, condition):
    return CHECK[framework].format(cond=condition)


def loop_test(framework, condition):
    """One test that runs COMPARE_COUNT checks of the condition."""
    pad = "    " if framework == "kalvoro" else "  "
    body = (
        f"{pad}const int Count = CompareCount();\n"
        f"{pad}const int Offset = CompareOffset;\n"
        f"{pad}for (int I = 0; I < Count; ++I)\n"
        f"{pad}  {check(framework, condition)}\n"
    )
    head = HEADER[framework] + '#include "Support.h"\n\n'
    if framework == "kalvoro":
        return head + (
            "class TChecks : public TUnitTest {\n"
            "public:\n"
            "  using TUnitTest::TUnitTest;\n"
            "  void Register() override { REGISTER_METHOD(TestChecks); }\n"
            "  void TestChecks() {\n" + body + "  }\n"
            "};\n\n"
            "REGISTER_UNIT_TEST(TChecks);\n\n" + KALVORO_ENTRY
        )
    opening = {
        "gtest": "TEST(Checks, Checks) {\n",
        "catch2": 'TEST_CASE("Checks") {\n',
        "doctest": 'TEST_CASE("Checks") {\n',
    }[framework]
    return head + opening + body + "}\n"


def test_name(index):
    return f"Test{index:06d}"


def class_name(index):
    return f"Suite{index // METHODS_PER_CLASS:04d}"


def many_tests_file(framework, first, count):
    """Source of the test methods first .. first+count-1, one check each."""
    out = [HEADER[framework], '#include "Support.h"\n\n']
    one = check(framework, "CompareOffset < 0")
    if framework == "kalvoro":
        index = first
        while index < first + count:
            group_end = min(first + count, (index // METHODS_PER_CLASS + 1) * METHODS_PER_CLASS)
            name = "T" + class_name(index)
            out.append(f"class {name} : public TUnitTest {{\npublic:\n  using TUnitTest::TUnitTest;\n")
            out.append("  void Register() override {\n")
            for i in range(index, group_end):
                out.append(f"    REGISTER_METHOD({test_name(i)});\n")
            out.append("  }\n")
            for i in range(index, group_end):
                out.append(f"  void {test_name(i)}() {{ {one} }}\n")
            out.append(f"}};\nREGISTER_UNIT_TEST({name});\n\n")
            index = group_end
        return "".join(out)
    for i in range(first, first + count):
        if framework == "gtest":
            out.append(f"TEST({class_name(i)}, {test_name(i)}) {{ {one} }}\n")
        else:
            out.append(f'TEST_CASE("{class_name(i)}.{test_name(i)}") {{ {one} }}\n')
    return "".join(out)


def units_file(first, count):
    """Kalvoro unit tests first .. first+count-1, one method each (workload 6)."""
    out = [HEADER["kalvoro"], '#include "Support.h"\n\n']
    one = check("kalvoro", "CompareOffset < 0")
    for i in range(first, first + count):
        out.append(
            f"class TUnit{i:06d} : public TUnitTest {{\npublic:\n  using TUnitTest::TUnitTest;\n"
            f"  void Register() override {{ REGISTER_METHOD(TestOne); }}\n"
            f"  void TestOne() {{ {one} }}\n}};\nREGISTER_UNIT_TEST(TUnit{i:06d});\n\n"
        )
    return "".join(out)


def split(total, per_file):
    """(first, count) of each file when total items go per_file to a file."""
    return [(first, min(per_file, total - first)) for first in range(0, total, per_file)]


def cmake_target(framework, target, sources):
    """CMake lines that build one suite target from its sources."""
    files = " ".join(sources)
    if framework == "kalvoro":
        return f"kalvoro_add_test_module({target} SOURCES {files} Support.cpp)\n"
    lines = f"add_executable({target} {files} Support.cpp"
    lines += " DoctestMain.cpp)\n" if framework == "doctest" else ")\n"
    library = {
        "gtest": "GTest::gtest_main",
        "catch2": "Catch2::Catch2WithMain",
        "doctest": "doctest::doctest",
    }[framework]
    return lines + f"target_link_libraries({target} PRIVATE {library})\n"


def cmake_project(framework, targets, load_driver=None):
    """The CMakeLists.txt of a framework's suites; targets maps name -> sources."""
    package = {
        "kalvoro": "find_package(Kalvoro REQUIRED)\n",
        "gtest": "find_package(GTest REQUIRED)\n",
        "catch2": "find_package(Catch2 REQUIRED)\n",
        "doctest": "find_package(doctest REQUIRED)\n",
    }[framework]
    text = (
        "# Generated by Bench/compare; rebuilt from scratch whenever it is missing.\n"
        "cmake_minimum_required(VERSION 3.25)\n"
        f"project(Compare_{framework} CXX)\n"
        "set(CMAKE_CXX_STANDARD 20)\n"
        "set(CMAKE_CXX_STANDARD_REQUIRED ON)\n"
        "include_directories(${CMAKE_CURRENT_SOURCE_DIR})\n"
        + package
    )
    for target, sources in targets.items():
        text += cmake_target(framework, target, sources)
        if target.endswith("_aligned"):
            text += f"target_compile_options({target} PRIVATE {ALIGN_LOOPS})\n"
    if load_driver:
        text += (
            f"add_executable(loadcycle {load_driver})\n"
            "target_link_libraries(loadcycle PRIVATE Kalvoro::kalvoro)\n"
        )
    return text


def suite_files(framework, tests_sizes, units_sizes=()):
    """Every generated file of a framework's project: {relative path: text}."""
    files = {"Support.h": SUPPORT_H, "Support.cpp": SUPPORT_CPP}
    if framework == "doctest":
        files["DoctestMain.cpp"] = DOCTEST_MAIN
    files["Passing.cpp"] = loop_test(framework, "I != Offset")
    files["Failing.cpp"] = loop_test(framework, "I == Offset")
    targets = {"passing": ["Passing.cpp"], "passing_aligned": ["Passing.cpp"], "failing": ["Failing.cpp"]}
    for size in sorted(set(tests_sizes)):
        sources = []
        for first, count in split(size, TESTS_PER_FILE):
            name = f"tests_{size}/Tests{first // TESTS_PER_FILE:04d}.cpp"
            files[name] = many_tests_file(framework, first, count)
            sources.append(name)
        targets[f"tests_{size}"] = sources
    if framework == "kalvoro":
        for size in sorted(set(units_sizes)):
            sources = []
            for first, count in split(size, UNITS_PER_FILE):
                name = f"units_{size}/Units{first // UNITS_PER_FILE:04d}.cpp"
                files[name] = units_file(first, count)
                sources.append(name)
            targets[f"units_{size}"] = sources
        files["Entry.cpp"] = HEADER["kalvoro"] + "\n" + KALVORO_ENTRY
        for target, sources in targets.items():
            if target not in ("passing", "passing_aligned", "failing"):
                sources.append("Entry.cpp")
    here = os.path.dirname(os.path.abspath(__file__))
    driver = os.path.join(here, "LoadCycle.cpp") if framework == "kalvoro" else None
    files["CMakeLists.txt"] = cmake_project(framework, targets, driver)
    return files


def write_if_changed(root, files):
    """Writes the files under root, leaving unchanged ones untouched so that the
    build does not redo them. Returns the number of files written."""
    written = 0
    for relative, text in files.items():
        path = os.path.join(root, relative)
        try:
            with open(path, encoding="utf-8") as existing:
                if existing.read() == text:
                    continue
        except FileNotFoundError:
            os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as out:
            out.write(text)
        written += 1
    return written
