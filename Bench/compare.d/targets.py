"""Every median a comparison measured, as figures a program can check (the
--json file), and the speed targets decided from them: each a ratio to an
anchor measured in the same run."""

import json

from report import HOSTS, format_ratio, table

# The start of one run host (`kalvoro-host --version`), measured among a
# workload's interleaved runs.
HOST_START = "host_start"
# Names of the runs in the figures file.
JSON_NAMES = {HOSTS: "kalvoro-hosts", HOST_START: "host-start"}

# (what, workload, run, anchor run, at most, less one host start)
TARGETS = [
    ("1a in process", "1a", "kalvoro", "gtest", 1.1, False),
    ("2 in process", "2", "kalvoro", "gtest", 0.7, False),
    ("1a in hosts, less one host start", "1a", "kalvoro-hosts", "gtest", 1.1, True),
    ("2 in hosts", "2", "kalvoro-hosts", "gtest", 1.0, False),
    ("7: a GoogleTest program through the runner", "7", "kalvoro", "gtest", 1.3, False),
]


def figures(results, host_starts, load):
    """results: {workload: {run: (seconds, kib)}}; host_starts: the seconds
    of every host start measured; load: LoadCycle's values or None.
    Returns the figures in milliseconds, None where not measured."""
    workloads = {}
    for number, runs in results.items():
        workloads[str(number)] = {JSON_NAMES.get(run, run): seconds * 1000
                                  for run, (seconds, _) in runs.items() if seconds is not None}
    return {
        "workloads": workloads,
        "host_start_ms": median_ms(host_starts),
        "cycle_ms": load.get("median_ms") if load else None,
        "bare_cycle_ms": load.get("bare_median_ms") if load else None,
    }


def median_ms(seconds):
    if not seconds:
        return None
    ordered = sorted(seconds)
    middle = len(ordered) // 2
    value = ordered[middle] if len(ordered) % 2 else (ordered[middle - 1] + ordered[middle]) / 2
    return value * 1000


def write(path, values):
    with open(path, "w", encoding="utf-8") as out:
        json.dump(values, out, indent=1, sort_keys=True)
        out.write("\n")


def verdicts(values):
    """[(what, measured ms, anchor ms, ratio, limit, state)] for every target
    whose runs were measured; the host start taken off is the one measured
    among the same workload's runs, else the run's median."""
    rows = []
    for what, number, run, anchor, limit, less_start in TARGETS:
        runs = values["workloads"].get(number, {})
        measured, base = runs.get(run), runs.get(anchor)
        if measured is None or not base:
            continue
        if less_start:
            start = runs.get(JSON_NAMES[HOST_START], values.get("host_start_ms"))
            if start is None:
                continue
            measured -= start
        rows.append((what, measured, base, measured / base, limit))
    if values.get("cycle_ms") is not None and values.get("bare_cycle_ms"):
        cycle, bare = values["cycle_ms"], values["bare_cycle_ms"]
        rows.append(("6: load and unload in process", cycle, bare, cycle / bare, 2.0))
    return [row + ("met" if row[3] <= row[4] else "missed",) for row in rows]


def targets_table(values):
    rows = [[what, f"{measured:.2f} ms", f"{base:.2f} ms", format_ratio(ratio), f"≤ {limit:g}", state]
            for what, measured, base, ratio, limit, state in verdicts(values)]
    return table(["Target", "Measured", "Anchor (GoogleTest; 6: bare dlopen + dlclose)", "Ratio",
                  "At most", "State"], rows)
