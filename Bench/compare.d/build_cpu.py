#!/usr/bin/env python3
"""CPU time of building workload 2's module (N test methods) against one or
more installed Kalvoro prefixes, the builds interleaved round by round.

  Bench/compare.d/build_cpu.py [--tests N] [--rounds R] WORK PREFIX [PREFIX ...]

Each prefix gets its own generated project under WORK/<index>; every round
cleans and rebuilds the module once per prefix with ninja -j2 and prints the
user+sys time of the build's processes. CPU time, unlike wall time, stays
comparable on a machine that others share.
"""

import argparse
import os
import resource
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import suites  # noqa: E402


def project(work, prefix, tests):
    source = os.path.join(work, "kalvoro")
    build = os.path.join(source, "build")
    suites.write_if_changed(source, suites.suite_files("kalvoro", [tests]))
    if not os.path.exists(os.path.join(build, "build.ninja")):
        subprocess.run(["cmake", "-S", source, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                        "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG", f"-DCMAKE_PREFIX_PATH={prefix}"],
                       check=True, capture_output=True)
    return build


def timed_build(build, target):
    subprocess.run(["ninja", "-C", build, "-t", "clean", target], check=True, capture_output=True)
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(["ninja", "-C", build, "-j2", target], check=True, capture_output=True)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return after.ru_utime - before.ru_utime + after.ru_stime - before.ru_stime, wall


def main(argv):
    parser = argparse.ArgumentParser(prog="build_cpu.py", description=__doc__.splitlines()[0])
    parser.add_argument("--tests", type=int, default=2000)
    parser.add_argument("--rounds", type=int, default=3)
    parser.add_argument("work")
    parser.add_argument("prefixes", nargs="+")
    args = parser.parse_args(argv)
    target = f"tests_{args.tests}"
    builds = [project(os.path.join(os.path.abspath(args.work), str(i)), os.path.abspath(p), args.tests)
              for i, p in enumerate(args.prefixes)]
    for round_index in range(args.rounds):
        for prefix, build in zip(args.prefixes, builds):
            cpu, wall = timed_build(build, target)
            per_test = cpu / args.tests * 1000
            print(f"round {round_index} {prefix}: CPU {cpu:.2f} s, {per_test:.2f} ms per test method "
                  f"({per_test / 2:.2f} ms on 2 cores), wall {wall:.1f} s, load {os.getloadavg()[0]:.1f}",
                  flush=True)


if __name__ == "__main__":
    main(sys.argv[1:])
