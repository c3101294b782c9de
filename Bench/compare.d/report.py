"""The comparison tables: as printed, and as kept in docs/PERFORMANCE.md."""

import os
import platform
import re
import subprocess

NAMES = {"kalvoro": "Kalvoro", "gtest": "GoogleTest", "catch2": "Catch2", "doctest": "doctest"}
PEERS = ("gtest", "catch2", "doctest")
# Kalvoro's default run where its runner runs tests in hosts; "kalvoro" is
# then its run in process.
HOSTS = "kalvoro_hosts"
LABELS = dict(NAMES, **{HOSTS: "Kalvoro (hosts)"})

SECTION = "## Comparison with other frameworks"
BEGIN = "<!-- Bench/compare: begin (generated; edits between these lines are replaced) -->"
END = "<!-- Bench/compare: end -->"


def format_seconds(seconds):
    if seconds is None:
        return "n/a"
    if seconds < 1:
        return f"{seconds * 1000:.1f} ms"
    return f"{seconds:.2f} s"


def format_kib(kib):
    return "n/a" if kib is None else f"{kib / 1024:.1f} MiB"


def format_ratio(value):
    return "n/a" if value is None else f"{value:.2f}"


def ratio(kalvoro, peer):
    if kalvoro is None or not peer:
        return None
    return kalvoro / peer


def table(header, rows):
    """A Markdown table; every row has as many cells as the header."""
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    for row in rows:
        if len(row) != len(header):
            raise ValueError(f"row of {len(row)} cells under a header of {len(header)}")
        lines.append("| " + " | ".join(str(cell) for cell in row) + " |")
    return "\n".join(lines)


def verdict(workload, times, memories):
    """Whether a workload meets its target, and the ratio that decides it.

    times and memories map framework -> median (None where it did not run)."""
    k = times.get("kalvoro")
    ran = [p for p in PEERS if times.get(p)]
    if k is None or not ran:
        return "n/a", None
    if workload == 2:
        if not times.get("gtest"):
            return "n/a", None
        value = ratio(k, times["gtest"])
        memory = ratio(memories.get("kalvoro"), memories.get("gtest"))
        met = value <= 1.0 and memory is not None and memory <= 1.0
        return ("met" if met else "missed"), value
    if workload == 3:
        if not times.get("catch2"):
            return "n/a", None
        value = ratio(k, times["catch2"])
        return ("met" if value <= 0.5 else "missed"), value
    value = ratio(k, min(times[p] for p in ran))
    return ("met" if value <= 1.0 else "missed"), value


TARGETS = {
    1: "≤ 1.0 × fastest peer",
    "1a": "as 1 (placement control)",
    2: "≤ 1.0 × GoogleTest, memory too",
    3: "≤ 0.5 × Catch2 `-s`",
    4: "≤ 1.0 × fastest peer",
    5: "≤ 1.0 × fastest peer",
}


def results_tables(workloads, results):
    """workloads: [(number, title)]; results: {number: {fw: (seconds, kib)}}."""
    time_rows, memory_rows = [], []
    for number, title in workloads:
        got = results.get(number, {})
        times = {fw: got[fw][0] if fw in got else None for fw in NAMES}
        memories = {fw: got[fw][1] if fw in got else None for fw in NAMES}
        state, _ = verdict(number, times, memories)
        time_rows.append(
            [number, title]
            + [format_seconds(times[fw]) for fw in NAMES]
            + [format_ratio(ratio(times["kalvoro"], times[p])) for p in PEERS]
            + [TARGETS.get(number, ""), state]
        )
        memory_rows.append(
            [number, title]
            + [format_kib(memories[fw]) for fw in NAMES]
            + [format_ratio(ratio(memories["kalvoro"], memories[p])) for p in PEERS]
        )
    ratios = [f"K / {NAMES[p]}" for p in PEERS]
    head = ["#", "Workload"] + list(NAMES.values())
    return (
        "Median wall time, and the ratio Kalvoro / peer (below 1: Kalvoro is faster):\n\n"
        + table(head + ratios + ["Target", "State"], time_rows)
        + "\n\nMedian peak memory (resident set), and the ratio Kalvoro / peer:\n\n"
        + table(head + ratios, memory_rows)
    )


def hosts_table(workloads, results):
    """Kalvoro's default run in hosts against its run in process and against
    GoogleTest; results as for results_tables, with HOSTS among the keys."""
    rows = []
    for number, title in workloads:
        got = results.get(number, {})
        hosts, in_process, gtest = (got.get(fw, (None, None)) for fw in (HOSTS, "kalvoro", "gtest"))
        rows.append([number, title, format_seconds(in_process[0]), format_seconds(hosts[0]),
                     format_ratio(ratio(hosts[0], in_process[0])), format_ratio(ratio(hosts[0], gtest[0])),
                     format_kib(hosts[1])])
    return ("Kalvoro's default run, in hosts (one process per module), against its run in process:\n\n"
            + table(["#", "Workload", "In process", "In hosts", "Hosts / in process",
                     "Hosts / GoogleTest", "Peak memory (runner)"], rows))


def compile_table(size, compile_seconds):
    rows = []
    for fw, name in NAMES.items():
        seconds = compile_seconds.get(fw)
        per_test = None if seconds is None else seconds / size * 1000
        rows.append(
            [
                name,
                format_seconds(seconds),
                "n/a" if per_test is None else f"{per_test:.1f} ms",
                format_ratio(ratio(compile_seconds.get("kalvoro"), seconds)),
            ]
        )
    return table(["Framework", f"Build of {size} tests", "Per test", "Kalvoro / it"], rows)


def instructions_table(rows):
    """rows: [(label, {fw: value})]; values are instruction counts."""
    out = []
    for label, values in rows:
        out.append(
            [label]
            + ["n/a" if values.get(fw) is None else f"{values[fw]:,.0f}" for fw in NAMES]
            + [format_ratio(ratio(values.get("kalvoro"), values.get(p))) for p in PEERS]
        )
    return table(["Instructions"] + list(NAMES.values()) + [f"K / {NAMES[p]}" for p in PEERS], out)


def machine_line():
    model = "unknown CPU"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as info:
            for line in info:
                if line.startswith("model name"):
                    model = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    cores = os.cpu_count() or 0
    memory = ""
    try:
        with open("/proc/meminfo", encoding="utf-8") as info:
            kib = int(info.readline().split()[1])
            memory = f", {kib / 1024 / 1024:.0f} GiB"
    except (OSError, ValueError, IndexError):
        pass
    compiler = subprocess.run(["g++", "-dumpfullversion"], capture_output=True, text=True).stdout
    return (
        f"{model}, {cores} cores{memory}, {platform.system()} {platform.release()}, "
        f"g++ {compiler.strip()} -O2"
    )


def replace_section(document, generated):
    """Puts the generated text into the "Comparison with other frameworks"
    section of the document, between the markers. Text of the section outside
    the markers (notes written by hand) and every other section stay as they
    are. A document without the section gets it appended."""
    block = BEGIN + "\n" + generated.strip("\n") + "\n" + END
    heading = re.search(r"^" + re.escape(SECTION) + r"[ \t]*$", document, re.M)
    if heading is None:
        if not document.strip():
            document = "# Performance\n"
        return document.rstrip("\n") + "\n\n" + SECTION + "\n\n" + block + "\n"
    start = heading.end()
    following = re.search(r"^## ", document[start:], re.M)
    end = start + following.start() if following else len(document)
    section = document[start:end]
    if BEGIN in section and END in section:
        before, rest = section.split(BEGIN, 1)
        after = rest.split(END, 1)[1]
        section = before + block + after
    else:
        section = "\n\n" + block + "\n" + section.lstrip("\n")
        if not section.endswith("\n\n") and following:
            section += "\n"
    return document[:start] + section + document[end:]
