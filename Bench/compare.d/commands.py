"""What each framework runs for each workload, and the check that a smoke
run measured every figure it should have."""

import os
import sys

import measure
import report
import targets

WORKLOADS = [
    (1, "passing checks"),
    ("1a", "passing checks, loops aligned"),
    (2, "test methods"),
    (3, "checks logged to a file"),
    (4, "JUnit XML"),
    (5, "failing checks to a file"),
]


def workload_commands(number, args, suite, runner, out):
    """{framework: Command} for one workload, the frameworks that take part."""
    def file(framework, ext):
        return os.path.join(out, f"w{number}-{framework}.{ext}")

    def stdout_of(command):
        return command.stdout

    def report_of(command):
        return command.report

    commands = {}
    for framework in args.frameworks + ([report.HOSTS] if args.hosts else []):
        # The default run in hosts runs Kalvoro's suite as Kalvoro does.
        kind = "kalvoro" if framework == report.HOSTS else framework
        s = suite[kind]
        text = file(framework, "txt")
        kalvoro = [runner, "run"] if kind == "kalvoro" else []
        quiet = ["--no-progress"] if kind == "kalvoro" else []
        if framework == "kalvoro" and args.hosts:
            quiet.append("--in-process")
        command = None
        if number in (1, "1a", 3):
            n = args.log_checks if number == 3 else args.checks
            env = {"COMPARE_COUNT": str(n)}
            program = kalvoro + [s.path("passing_aligned" if number == "1a" else "passing")] + quiet
            if number != 3:
                totals = {
                    "kalvoro": measure.expect_text(stdout_of, "# Success    = 1\n"),
                    "gtest": measure.expect_text(stdout_of, "[  PASSED  ] 1 test."),
                    "catch2": measure.expect_text(stdout_of, f"All tests passed ({n} assertions in 1 test case)"),
                    "doctest": measure.expect_regex(stdout_of, rf"assertions:\s*{n}\s*\|\s*{n} passed"),
                }[kind]
                command = measure.Command(program, text, env, 0, totals)
            elif kind != "gtest":  # GoogleTest has no report of passing checks
                log_file = file(framework, "log")
                option, needle = {
                    "kalvoro": (["--log", log_file], "SUCCESS value holds"),
                    "catch2": (["-s", "-o", log_file], "PASSED:"),
                    "doctest": (["--success", f"--out={log_file}"], "SUCCESS: CHECK"),
                }[kind]
                command = measure.Command(program + option, text, env, 0,
                                          measure.expect_count(report_of, needle, n))
                command.report = log_file
        elif number in (2, 4):
            n = args.tests
            program = kalvoro + [s.path(f"tests_{n}")] + quiet
            if number == 2:
                totals = {
                    "kalvoro": measure.expect_text(stdout_of, f"# Success    = {n}\n"),
                    "gtest": measure.expect_text(stdout_of, f"[  PASSED  ] {n} tests."),
                    "catch2": measure.expect_text(stdout_of, f"All tests passed ({n} assertions in {n} test cases)"),
                    "doctest": measure.expect_regex(stdout_of, rf"test cases:\s*{n}\s*\|\s*{n} passed"),
                }[kind]
                command = measure.Command(program, text, {}, 0, totals)
            else:
                xml = file(framework, "xml")
                option = {
                    "kalvoro": ["--junit", xml],
                    "gtest": [f"--gtest_output=xml:{xml}"],
                    "catch2": ["-r", "junit", "-o", xml],
                    "doctest": ["--reporters=junit", f"--out={xml}"],
                }[kind]
                command = measure.Command(program + option, text, {}, 0,
                                          measure.expect_count(report_of, "<testcase ", n))
                command.report = xml
        elif number == 5:
            n = args.failures
            failures = file(framework, "log")
            env = {"COMPARE_COUNT": str(n)}
            program = kalvoro + [s.path("failing")] + quiet
            # Kalvoro writes its error list to the file and also to standard
            # output, which is dropped; GoogleTest writes only to standard output.
            option, stdout, needle = {
                "kalvoro": (["--errors", failures], os.devnull, "FAILURE (TChecks.TestChecks) value holds"),
                "gtest": ([], failures, ": Failure"),
                "catch2": (["-o", failures], text, "FAILED:"),
                "doctest": ([f"--out={failures}"], text, "ERROR: CHECK"),
            }[kind]
            # Catch2 exits with the number of failed checks, at most 255.
            status = min(n, 255) if kind == "catch2" else 1
            command = measure.Command(program + option, stdout, env, status,
                                      measure.expect_count(report_of, needle, n))
            command.report = failures
        if command is not None:
            commands[framework] = command
    # A host's start, among the runs that one host start weighs on.
    if args.hosts and args.host and number in (1, "1a", 2):
        commands[targets.HOST_START] = measure.Command(
            [args.host, "--version"], file("host-start", "txt"), {}, 0,
            measure.expect_text(stdout_of, "kalvoro-host "))
    return commands


def foreign_program_commands(args, suite, runner, out):
    """Workload 7: GoogleTest's program of workload 2 run directly with its
    JSON report to a file, and the same program through `kalvoro run`."""
    n = args.tests
    program = suite["gtest"].path(f"tests_{n}")
    json_file = os.path.join(out, "w7-gtest.json")
    return {
        "gtest": measure.Command([program, f"--gtest_output=json:{json_file}"],
                                 os.path.join(out, "w7-gtest.txt"), {}, 0,
                                 measure.expect_text(lambda c: c.stdout, f"[  PASSED  ] {n} tests.")),
        "kalvoro": measure.Command([runner, "run", program, "--no-progress"],
                                   os.path.join(out, "w7-kalvoro.txt"), {}, 0,
                                   measure.expect_text(lambda c: c.stdout, f"# Success    = {n}\n")),
    }


def check_figures(args, values):
    """The smoke run fails when a figure that it measured is missing."""
    missing = []
    for number in [n for n, _ in WORKLOADS if (1 if n == "1a" else n) in args.workloads]:
        runs = ["kalvoro"] + (["gtest"] if number != 3 and "gtest" in args.frameworks else [])
        if args.hosts:
            runs.append("kalvoro-hosts")
            if number in (1, "1a", 2):
                runs.append("host-start")
        got = values["workloads"].get(str(number), {})
        missing += [f"{number}/{run}" for run in runs if run not in got]
    keys = (["cycle_ms", "bare_cycle_ms"] if 6 in args.workloads else []) + (
        ["host_start_ms"] if args.hosts and (1 in args.workloads or 2 in args.workloads) else [])
    missing += [key for key in keys if values.get(key) is None]
    if 7 in args.workloads and "gtest" in args.frameworks:
        got = values["workloads"].get("7", {})
        missing += [f"7/{run}" for run in ("kalvoro", "gtest") if run not in got]
    if missing:
        sys.exit("compare: figures missing: " + ", ".join(missing))


