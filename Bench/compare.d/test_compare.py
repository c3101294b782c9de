#!/usr/bin/env python3
"""Tests of Bench/compare's own logic: python3 Bench/compare.d/test_compare.py"""

import json
import os
import re
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import measure  # noqa: E402
import report  # noqa: E402
import suites  # noqa: E402
import targets  # noqa: E402

CHECK_PATTERN = {
    "kalvoro": r'Check\(CompareOffset < 0, "value holds"\);',
    "gtest": r"EXPECT_TRUE\(CompareOffset < 0\);",
    "catch2": r"CHECK\(CompareOffset < 0\);",
    "doctest": r"CHECK\(CompareOffset < 0\);",
}


class SuitesTest(unittest.TestCase):
    def test_every_framework_gets_the_same_number_of_tests_and_checks(self):
        for framework in suites.FRAMEWORKS:
            files = suites.suite_files(framework, [250], [120])
            sources = [text for name, text in files.items() if name.startswith("tests_250/")]
            self.assertEqual(len(sources), 3, framework)  # 100 + 100 + 50
            text = "".join(sources)
            self.assertEqual(len(re.findall(CHECK_PATTERN[framework], text)), 250, framework)
            names = re.findall(r"Test(\d{6})", text)
            # Every test has its own name (Kalvoro names each twice: the
            # method and its registration).
            self.assertEqual(len(set(names)), 250, framework)

    def test_kalvoro_registers_every_method_it_defines_and_every_class(self):
        files = suites.suite_files("kalvoro", [150], [230])
        text = "".join(t for n, t in files.items() if n.startswith("tests_150/"))
        defined = set(re.findall(r"void (Test\d{6})\(\)", text))
        registered = re.findall(r"REGISTER_METHOD\((Test\d{6})\)", text)
        self.assertEqual(len(defined), 150)
        self.assertEqual(sorted(registered), sorted(defined))
        classes = re.findall(r"class (TSuite\d{4}) :", text)
        self.assertEqual(re.findall(r"REGISTER_UNIT_TEST\((TSuite\d{4})\)", text), classes)
        self.assertEqual(len(classes), 2)
        units = "".join(t for n, t in files.items() if n.startswith("units_230/"))
        self.assertEqual(len(re.findall(r"REGISTER_UNIT_TEST\(TUnit\d{6}\)", units)), 230)
        # The module entry point is linked into every module but the loop ones,
        # which define it themselves.
        cmake = files["CMakeLists.txt"]
        self.assertIn("kalvoro_add_test_module(units_230 SOURCES", cmake)
        for target in ("tests_150", "units_230"):
            line = next(l for l in cmake.splitlines() if f"({target} " in l)
            self.assertIn("Entry.cpp", line)
        self.assertIn('extern "C" KALVORO_EXPORT void Register()', files["Passing.cpp"])

    def test_only_the_aligned_loop_target_gets_the_alignment_option(self):
        for framework in suites.FRAMEWORKS:
            cmake = suites.suite_files(framework, [10], [10])["CMakeLists.txt"]
            options = re.findall(r"target_compile_options\((\w+) PRIVATE (.*)\)", cmake)
            self.assertEqual(options, [("passing_aligned", suites.ALIGN_LOOPS)], framework)
            # Built from the same source as the plain loop.
            plain = re.search(r"\(passing (.*)\)", cmake).group(1)
            aligned = re.search(r"\(passing_aligned (.*)\)", cmake).group(1)
            self.assertEqual(plain, aligned, framework)

    def test_loop_tests_check_a_value_the_compiler_cannot_know(self):
        for framework in suites.FRAMEWORKS:
            files = suites.suite_files(framework, [], [])
            self.assertIn("CompareCount()", files["Passing.cpp"])
            self.assertIn("I != Offset", files["Passing.cpp"])
            self.assertIn("I == Offset", files["Failing.cpp"])
            self.assertIn("volatile int CompareOffset = -1;", files["Support.cpp"])

    def test_split_covers_every_item_once(self):
        self.assertEqual(suites.split(250, 100), [(0, 100), (100, 100), (200, 50)])
        self.assertEqual(suites.split(100, 100), [(0, 100)])
        self.assertEqual(suites.split(0, 100), [])

    def test_unchanged_files_are_not_rewritten(self):
        with tempfile.TemporaryDirectory() as root:
            files = {"a/b.txt": "one", "c.txt": "two"}
            self.assertEqual(suites.write_if_changed(root, files), 2)
            stamp = os.stat(os.path.join(root, "a/b.txt")).st_mtime_ns
            self.assertEqual(suites.write_if_changed(root, files), 0)
            self.assertEqual(os.stat(os.path.join(root, "a/b.txt")).st_mtime_ns, stamp)
            self.assertEqual(suites.write_if_changed(root, {"c.txt": "three"}), 1)
            with open(os.path.join(root, "c.txt"), encoding="utf-8") as changed:
                self.assertEqual(changed.read(), "three")


class MeasureTest(unittest.TestCase):
    def test_median(self):
        self.assertEqual(measure.median([3, 1, 2]), 2)
        self.assertEqual(measure.median([4, 1, 3, 2]), 2.5)
        with self.assertRaises(ValueError):
            measure.median([])

    def test_per_item_cancels_what_both_runs_share(self):
        self.assertEqual(measure.per_item(1_000 + 100 * 8, 1_000 + 200 * 8, 100, 200), 8)

    def test_runs_are_interleaved_after_one_validated_warm_up_each(self):
        calls, validated = [], []

        def fake_run(argv, stdout, env):
            calls.append(argv[0])
            return measure.Sample(0.1 * len(calls), 1000, 0)

        commands = {
            name: measure.Command([name], os.devnull, validate=lambda c: validated.append(c.argv[0]))
            for name in ("a", "b")
        }
        samples = measure.interleaved(commands, 3, run=fake_run)
        self.assertEqual(calls, ["a", "b", "a", "b", "a", "b", "a", "b"])
        self.assertEqual(validated, ["a", "b"])
        self.assertEqual([round(s.seconds, 1) for s in samples["a"]], [0.3, 0.5, 0.7])

    def test_short_runs_are_measured_more_often(self):
        def runs_taking(seconds):
            calls = []

            def fake_run(argv, stdout, env):
                calls.append(argv[0])
                return measure.Sample(seconds[argv[0]], 1000, 0)

            commands = {name: measure.Command([name], os.devnull) for name in seconds}
            samples = measure.interleaved(commands, 5, run=fake_run)
            return {name: len(series) for name, series in samples.items()}, len(calls)

        self.assertEqual(runs_taking({"a": 0.01, "b": 0.5}), ({"a": 21, "b": 21}, 44))
        self.assertEqual(runs_taking({"a": 0.2, "b": 0.5}), ({"a": 5, "b": 5}, 12))
        # Unless a round would take long.
        self.assertEqual(runs_taking({"a": 0.01, "b": 1.5}), ({"a": 5, "b": 5}, 12))
        self.assertEqual(measure.rounds_for(30, [0.001]), 30)

    def test_a_wrong_exit_status_or_a_failed_validation_stops_the_workload(self):
        def exits(code):
            return lambda argv, stdout, env: measure.Sample(0.1, 1, code)

        command = measure.Command(["x"], os.devnull, expect_status=(1, 2))
        measure.interleaved({"x": command}, 1, run=exits(2))
        with self.assertRaisesRegex(measure.RunError, "exit status 0"):
            measure.interleaved({"x": command}, 1, run=exits(0))
        failing = measure.Command(["x"], os.devnull, validate=lambda c: "no totals")
        with self.assertRaisesRegex(measure.RunError, "no totals"):
            measure.interleaved({"x": failing}, 1, run=exits(0))

    def test_a_real_run_reports_status_memory_and_output(self):
        with tempfile.TemporaryDirectory() as folder:
            out = os.path.join(folder, "out.txt")
            sample = measure.run_once(["/bin/sh", "-c", "echo hello; exit 3"], out)
            self.assertEqual(sample.status, 3)
            self.assertGreater(sample.peak_kib, 0)
            self.assertGreater(sample.seconds, 0)
            with open(out, encoding="utf-8") as text:
                self.assertEqual(text.read(), "hello\n")
            killed = measure.run_once(["/bin/sh", "-c", "kill -9 $$"])
            self.assertEqual(killed.status, 128 + 9)
            with self.assertRaises(measure.RunError):
                measure.run_once([os.path.join(folder, "missing")])

    def test_validators(self):
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "log")
            with open(path, "w", encoding="utf-8") as log:
                log.write("PASSED: a\nPASSED: b PASSED: c\nassertions: 3 | 3 passed\n")
            command = measure.Command(["x"], path, report=path)
            by_report = lambda c: c.report  # noqa: E731
            self.assertIsNone(measure.expect_count(by_report, "PASSED:", 3)(command))
            # Two on one line count as two.
            self.assertIn('3 times "PASSED:"', measure.expect_count(by_report, "PASSED:", 4)(command))
            self.assertIsNone(measure.expect_regex(by_report, r"assertions:\s*3\s*\|\s*3 passed")(command))
            self.assertIsNotNone(measure.expect_text(by_report, "4 passed")(command))


class ReportTest(unittest.TestCase):
    def test_verdicts_follow_the_targets(self):
        times = {"kalvoro": 0.9, "gtest": 1.0, "catch2": 2.0, "doctest": 3.0}
        memory = {"kalvoro": 10, "gtest": 20, "catch2": 5, "doctest": 5}
        self.assertEqual(report.verdict(1, times, memory), ("met", 0.9))
        self.assertEqual(report.verdict(5, dict(times, kalvoro=1.1), memory)[0], "missed")
        # Workload 2: GoogleTest only, and its memory too.
        self.assertEqual(report.verdict(2, times, memory)[0], "met")
        self.assertEqual(report.verdict(2, times, dict(memory, kalvoro=21))[0], "missed")
        # Workload 3: half of Catch2.
        self.assertEqual(report.verdict(3, dict(times, kalvoro=1.0), memory), ("met", 0.5))
        self.assertEqual(report.verdict(3, dict(times, kalvoro=1.01), memory)[0], "missed")
        # A peer that did not run is left out; no peer at all decides nothing.
        self.assertEqual(report.verdict(1, dict(times, gtest=None), memory), ("met", 0.45))
        self.assertEqual(report.verdict(1, {"kalvoro": 1.0}, {})[0], "n/a")
        self.assertEqual(report.verdict(3, dict(times, catch2=None), memory)[0], "n/a")

    def test_table_rows_must_fit_the_header(self):
        self.assertEqual(report.table(["a", "b"], [[1, 2]]), "| a | b |\n|---|---|\n| 1 | 2 |")
        with self.assertRaises(ValueError):
            report.table(["a", "b"], [[1]])

    def test_results_tables_show_ratios_and_states(self):
        results = {1: {"kalvoro": (0.004, 4096), "gtest": (0.008, 2048)}}
        text = report.results_tables([(1, "passing checks")], results)
        self.assertIn("| 1 | passing checks | 4.0 ms | 8.0 ms | n/a | n/a | 0.50 | n/a | n/a |", text)
        self.assertIn("| met |", text)
        self.assertIn("| 1 | passing checks | 4.0 MiB | 2.0 MiB | n/a | n/a | 2.00 |", text)

    def test_hosts_table_sets_the_default_run_against_in_process_and_gtest(self):
        results = {
            1: {"kalvoro": (0.004, 4096), report.HOSTS: (0.006, 5120), "gtest": (0.003, 2048)},
            2: {"kalvoro": (0.010, 4096), "gtest": (0.020, 2048)},
        }
        text = report.hosts_table([(1, "passing checks"), (2, "test methods")], results)
        for row in ("| 1 | passing checks | 4.0 ms | 6.0 ms | 1.50 | 2.00 | 5.0 MiB |",
                    "| 2 | test methods | 10.0 ms | n/a | n/a | n/a | n/a |"):
            self.assertIn(row, text)

    def test_the_section_is_created_when_missing(self):
        created = report.replace_section("", "TABLE")
        self.assertTrue(created.startswith("# Performance\n"))
        self.assertIn(report.SECTION + "\n\n" + report.BEGIN + "\nTABLE\n" + report.END, created)
        other = "# Performance\n\n## Framework hot paths\n\nfigures\n"
        appended = report.replace_section(other, "TABLE")
        self.assertTrue(appended.startswith(other.rstrip("\n")))
        self.assertTrue(appended.endswith(report.END + "\n"))

    def test_only_the_generated_block_of_the_section_is_replaced(self):
        document = (
            "# Performance\n\n## Before\n\nkept\n\n"
            + report.SECTION
            + "\n\nNotes written by hand.\n\n"
            + report.BEGIN
            + "\nold table\n"
            + report.END
            + "\n\nMore notes.\n\n## After\n\nalso kept\n"
        )
        updated = report.replace_section(document, "new table")
        self.assertEqual(
            updated,
            document.replace("\nold table\n", "\nnew table\n"),
        )
        self.assertEqual(report.replace_section(updated, "new table"), updated)

    def test_a_section_without_markers_gets_the_block_first(self):
        document = report.SECTION + "\n\nHand notes.\n\n## Next\n\nx\n"
        updated = report.replace_section(document, "T")
        self.assertIn(report.SECTION + "\n\n" + report.BEGIN + "\nT\n" + report.END + "\nHand notes.", updated)
        self.assertTrue(updated.endswith("## Next\n\nx\n"))

    def test_machine_line_names_the_processor_and_cores(self):
        line = report.machine_line()
        self.assertIn(f"{os.cpu_count()} cores", line)
        self.assertIn("g++", line)


class FiguresTest(unittest.TestCase):
    RESULTS = {
        "1a": {"kalvoro": (0.0104, 4096), report.HOSTS: (0.0160, 5120), "gtest": (0.0100, 2048),
               targets.HOST_START: (0.0050, 1024)},
        2: {"kalvoro": (0.0060, 4096), report.HOSTS: (0.0110, 5120), "gtest": (0.0100, 2048),
            targets.HOST_START: (0.0040, 1024)},
        3: {"kalvoro": (0.0870, 4096), report.HOSTS: (0.0900, 5120)},
    }
    LOAD = {"median_ms": 13.0, "bare_median_ms": 6.0, "first_ms": 30.0}

    def test_the_file_holds_every_median_in_milliseconds(self):
        values = targets.figures(self.RESULTS, [0.006, 0.004, 0.005, 0.007], self.LOAD)
        with tempfile.TemporaryDirectory() as folder:
            path = os.path.join(folder, "figures.json")
            targets.write(path, values)
            with open(path, encoding="utf-8") as written:
                read = json.load(written)
        self.assertEqual(sorted(read), ["bare_cycle_ms", "cycle_ms", "host_start_ms", "workloads"])
        self.assertEqual(sorted(read["workloads"]), ["1a", "2", "3"])
        self.assertEqual(sorted(read["workloads"]["1a"]), ["gtest", "host-start", "kalvoro", "kalvoro-hosts"])
        self.assertAlmostEqual(read["workloads"]["1a"]["kalvoro-hosts"], 16.0)
        self.assertAlmostEqual(read["workloads"]["2"]["gtest"], 10.0)
        self.assertAlmostEqual(read["host_start_ms"], 5.5)  # the median of all four
        self.assertEqual((read["cycle_ms"], read["bare_cycle_ms"]), (13.0, 6.0))
        # Nothing measured: nulls, not a guess.
        empty = targets.figures({}, [], None)
        self.assertEqual(empty, {"workloads": {}, "host_start_ms": None, "cycle_ms": None,
                                 "bare_cycle_ms": None})

    def test_each_target_is_a_ratio_to_its_anchor_of_the_same_run(self):
        rows = {row[0]: row for row in targets.verdicts(targets.figures(self.RESULTS, [0.009], self.LOAD))}
        cases = [
            # what, measured, ratio, state
            ("1a in process", 10.4, 1.04, "met"),
            ("2 in process", 6.0, 0.6, "met"),
            # Less the host start measured among the same workload's runs
            # (5 ms), not the run's median of all (9 ms).
            ("1a in hosts, less one host start", 11.0, 1.1, "met"),
            ("2 in hosts", 11.0, 1.1, "missed"),
            ("6: load and unload in process", 13.0, 13 / 6, "missed"),
        ]
        self.assertEqual(sorted(rows), sorted(case[0] for case in cases))
        for what, measured, ratio, state in cases:
            self.assertAlmostEqual(rows[what][1], measured, msg=what)
            self.assertAlmostEqual(rows[what][3], ratio, msg=what)
            self.assertEqual(rows[what][5], state, what)
        # A target whose runs were not measured is left out.
        self.assertEqual(targets.verdicts(targets.figures({3: self.RESULTS[3]}, [], None)), [])
        table = targets.targets_table(targets.figures(self.RESULTS, [], self.LOAD))
        self.assertIn("| 2 in process | 6.00 ms | 10.00 ms | 0.60 | ≤ 0.7 | met |", table)


if __name__ == "__main__":
    unittest.main()
