"""Running the programs: wall time and peak memory of one run, interleaved
series of runs, and instruction counts under callgrind."""

import os
import re
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

TIME = "/usr/bin/time"


class RunError(Exception):
    pass


@dataclass
class Sample:
    seconds: float  # wall time
    peak_kib: int  # peak resident set size of the process
    status: int  # exit code, or 128 + the signal that ended it


@dataclass
class Command:
    """One framework's way of running one workload."""

    argv: list
    stdout: str  # file that receives standard output ("/dev/null" to drop it)
    env: dict = field(default_factory=dict)
    expect_status: int = 0  # or a tuple of the codes that are right
    # Called with the command after its first run; returns a problem or None.
    validate: object = None
    report: str = ""  # the file that the framework writes its report to, if any


def run_once(argv, stdout="/dev/null", env=None):
    """Runs argv once; standard error is dropped. The wall time is taken around
    the whole run. The peak memory comes from /usr/bin/time, whose own small
    process is what the child starts from: measured from here, the child would
    count this interpreter's memory, which it shares until it execs."""
    environment = dict(os.environ)
    environment.update(env or {})
    with tempfile.NamedTemporaryFile("r", prefix="compare-time-") as usage:
        actions = [
            (os.POSIX_SPAWN_OPEN, 0, "/dev/null", os.O_RDONLY, 0),
            (os.POSIX_SPAWN_OPEN, 1, stdout, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644),
            (os.POSIX_SPAWN_OPEN, 2, "/dev/null", os.O_WRONLY, 0),
        ]
        timed = [TIME, "-q", "-f", "%M", "-o", usage.name] + list(argv)
        start = time.perf_counter()
        pid = os.posix_spawn(TIME, timed, environment, file_actions=actions)
        _, wait_status = os.waitpid(pid, 0)
        seconds = time.perf_counter() - start
        fields = usage.read().split()
    # GNU time exits with the child's code, 128 + the signal that ended it,
    # or 127 when the program could not be started.
    status = os.waitstatus_to_exitcode(wait_status)
    if status == 127 or not fields:
        raise RunError("could not run: " + " ".join(argv))
    return Sample(seconds, int(fields[-1]), status)


def median(values):
    ordered = sorted(values)
    if not ordered:
        raise ValueError("median of nothing")
    middle = len(ordered) // 2
    if len(ordered) % 2:
        return ordered[middle]
    return (ordered[middle - 1] + ordered[middle]) / 2


def check_run(name, command, sample):
    expected = command.expect_status
    if sample.status not in (expected if isinstance(expected, tuple) else (expected,)):
        raise RunError(
            f"{name}: exit status {sample.status}, expected {command.expect_status}: "
            + " ".join(command.argv)
        )


# A workload with a run shorter than SHORT_SECONDS is measured at least
# SHORT_RUNS times, as long as a round of every framework stays under
# SHORT_ROUND_SECONDS: at a few milliseconds a run's time is mostly the
# machine's noise, and a median of a handful of them moves by a third from one
# invocation to the next.
SHORT_SECONDS = 0.1
SHORT_RUNS = 21
SHORT_ROUND_SECONDS = 1.0


def rounds_for(runs, warm_up_seconds):
    """The rounds to measure, given the warm-up runs' wall times."""
    if (warm_up_seconds and min(warm_up_seconds) < SHORT_SECONDS
            and sum(warm_up_seconds) < SHORT_ROUND_SECONDS):
        return max(runs, SHORT_RUNS)
    return runs


def interleaved(commands, runs, run=run_once):
    """Runs every command once unmeasured (warming caches; its output is
    validated), then rounds of A B C ..., so that a disturbance of the machine
    hits every framework alike: `runs` rounds, or more when a run is short
    (rounds_for). Returns {name: [Sample, ...]}."""
    warm_up = []
    for name, command in commands.items():
        sample = run(command.argv, command.stdout, command.env)
        check_run(name, command, sample)
        warm_up.append(sample.seconds)
        if command.validate is not None:
            problem = command.validate(command)
            if problem:
                raise RunError(f"{name}: {problem}")
    samples = {name: [] for name in commands}
    for _ in range(rounds_for(runs, warm_up)):
        for name, command in commands.items():
            sample = run(command.argv, command.stdout, command.env)
            check_run(name, command, sample)
            samples[name].append(sample)
    return samples


def summarize(samples):
    """Median wall time (s) and median peak memory (KiB) of a series."""
    return median([s.seconds for s in samples]), median([s.peak_kib for s in samples])


_TOTALS = re.compile(r"^(?:summary|totals):\s+(\d+)", re.M)


def callgrind_instructions(argv, out_file, env=None):
    """Instructions executed by the whole program under callgrind."""
    environment = dict(os.environ)
    environment.update(env or {})
    subprocess.run(
        ["valgrind", "--tool=callgrind", f"--callgrind-out-file={out_file}"] + argv,
        env=environment,
        stdout=subprocess.DEVNULL,
        stderr=subprocess.DEVNULL,
        check=False,
    )
    try:
        with open(out_file, encoding="utf-8", errors="replace") as profile:
            match = _TOTALS.search(profile.read())
    except FileNotFoundError:
        match = None
    if match is None:
        raise RunError("callgrind gave no totals: " + " ".join(argv))
    return int(match.group(1))


def per_item(total_small, total_large, small, large):
    """Instructions per item from two runs that differ only in the item count:
    start-up and shut-down cancel out."""
    return (total_large - total_small) / (large - small)


# Validators: each reads what the command wrote and says what is wrong.


def count_in_file(path, needle):
    count = 0
    with open(path, "rb") as text:
        for line in text:
            count += line.count(needle)
    return count


def expect_count(path_of, needle, expected):
    def validate(command):
        found = count_in_file(path_of(command), needle.encode())
        if found != expected:
            return f'{found} times "{needle}" in {path_of(command)}, expected {expected}'
        return None

    return validate


def expect_text(path_of, text):
    def validate(command):
        with open(path_of(command), encoding="utf-8", errors="replace") as out:
            if text not in out.read():
                return f'"{text}" missing from {path_of(command)}'
        return None

    return validate


def expect_regex(path_of, pattern):
    def validate(command):
        with open(path_of(command), encoding="utf-8", errors="replace") as out:
            if re.search(pattern, out.read()) is None:
                return f"nothing matches {pattern} in {path_of(command)}"
        return None

    return validate


def all_of(*validators):
    def validate(command):
        for check in validators:
            problem = check(command)
            if problem:
                return problem
        return None

    return validate
