#!/usr/bin/env python3
"""Prints kenv_bench's JSON output (--benchmark_format=json, every repetition) as one table and
checks the targets. Each benchmark ran the library and its floor call by call; per repetition
it reports the time per call of both. The table shows, over the repetitions, the median time
of each, the median of the per-repetition ratio and that ratio's interquartile range (the
middle half of the repetitions lies in it). Exit status 1 when a target is missed."""
import json
import re
import statistics
import sys

NAME = re.compile(r"^([a-z_]+)/vars:(\d+)/path:(\d+)/backups:(\d+)")

CHANGES = ["env_set_new", "env_set_existing", "env_del", "env_path_add", "env_path_move", "env_restore"]
ORDER = ["env_list"] + CHANGES + ["env_backups", "kenv_restore_latest", "kenv_apply"]

# (operation, vars, path, backups, counter pair, limit, description)
TARGETS = [("env_list", 200, 100, 1000, "time", 1.5, "env_list, 200 variables, 100 PATH entries")] + [
    (op, 200, 100, 1000, "time", 1.5, f"{op}, 200 variables, 100 PATH entries, 1,000 backups")
    for op in CHANGES
] + [
    ("env_backups", 200, 100, 50000, "time", 3.0, "env_backups, 50,000 backups, vs listing the folder"),
    ("kenv_restore_latest", 200, 100, 50000, "time", 2.0,
     "kenv restore --latest, 50,000 backups, vs listing + 10 backups"),
    ("kenv_restore_latest", 200, 100, 50000, "memory", 2.0,
     "kenv restore --latest, 50,000 backups, peak memory vs 10 backups"),
    ("kenv_apply", 200, 100, 1000, "time", 1.5, "kenv apply, 200-variable document, vs kenv set of one"),
    ("kenv_apply", 10000, 100, 1000, "time", 3.0, "kenv apply, 10,000-variable document, vs kenv set of one"),
]

PAIRS = {"time": ("library_us", "floor_us"), "memory": ("library_kib", "floor_kib")}


def repetitions(benchmarks):
    """Per (op, vars, path, backups): the list of per-repetition counter dicts, or None when
    a run failed."""
    out = {}
    for b in benchmarks:
        m = NAME.match(b.get("run_name", b["name"]))
        if not m or b.get("run_type") == "aggregate":
            continue
        key = (m.group(1), int(m.group(2)), int(m.group(3)), int(m.group(4)))
        if b.get("error_occurred"):
            out[key] = None
            continue
        if out.get(key, []) is not None:
            out.setdefault(key, []).append(b)
    return out


def quartiles(values):
    if len(values) == 1:
        return values[0], values[0], values[0]
    q1, q2, q3 = statistics.quantiles(values, n=4, method="inclusive")
    return q1, q2, q3


def summary(reps, pair):
    """(median library, median floor, (q1, median, q3) of the ratio), or None."""
    lib_key, floor_key = PAIRS[pair]
    if not reps or any(lib_key not in r or floor_key not in r or r[floor_key] <= 0 for r in reps):
        return None
    lib = [r[lib_key] for r in reps]
    flo = [r[floor_key] for r in reps]
    ratios = [a / b for a, b in zip(lib, flo)]
    return statistics.median(lib), statistics.median(flo), quartiles(ratios)


def shown_time(us):
    if us >= 1e6:
        return f"{us / 1e6:.2f} s"
    if us >= 1e3:
        return f"{us / 1e3:.2f} ms"
    return f"{us:.0f} us"


def shown_memory(kib):
    return f"{kib / 1024:.1f} MiB"


def main():
    data = json.load(open(sys.argv[1]) if len(sys.argv) > 1 else sys.stdin)
    runs = repetitions(data["benchmarks"])
    rank = {op: i for i, op in enumerate(ORDER)}
    print(f"{'operation':<20}{'vars':>6}{'path':>6}{'backups':>8}{'library':>11}{'floor':>11}"
          f"{'ratio':>7}{'ratio IQR':>13}")
    for key in sorted(runs, key=lambda k: (rank.get(k[0], len(ORDER)), k[1:])):
        op, v, p, n = key
        s = summary(runs[key], "time")
        if s is None:
            print(f"{op:<20}{v:>6}{p:>6}{n:>8}{'failed':>11}")
            continue
        lib, flo, (q1, med, q3) = s
        print(f"{op:<20}{v:>6}{p:>6}{n:>8}{shown_time(lib):>11}{shown_time(flo):>11}{med:>7.2f}"
              f"{f'{q1:.2f}-{q3:.2f}':>13}")
        m = summary(runs[key], "memory")
        if m:
            lib, flo, (q1, med, q3) = m
            print(f"{'  peak memory':<40}{shown_memory(lib):>11}{shown_memory(flo):>11}{med:>7.2f}"
                  f"{f'{q1:.2f}-{q3:.2f}':>13}")
    repeated = max((len(r) for r in runs.values() if r), default=0)
    print(f"\nTargets (median ratio over {repeated} repetitions, interquartile range in brackets):")
    missed = 0
    for op, v, p, n, pair, limit, text in TARGETS:
        s = summary(runs.get((op, v, p, n)), pair)
        if s is None:
            print(f"  {text:<70} not measured")
            continue
        q1, med, q3 = s[2]
        met = med <= limit
        missed += 0 if met else 1
        print(f"  {text:<70}{med:>6.2f} [{q1:.2f}-{q3:.2f}] <= {limit:.1f}  {'met' if met else 'MISSED'}")
    print("All targets met." if missed == 0 else f"{missed} target(s) missed.")
    return 0 if missed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
