#!/usr/bin/env python3
"""Prints kenv_bench's JSON output (--benchmark_format=json) as one table: per operation and
size the median time, the median of its I/O floor and their ratio, and for 10,000 variables
how much the time grew from 1,000 variables at the same PATH size."""
import json
import re
import statistics
import sys

NAME = re.compile(r"^(floor:)?([a-z_]+)/vars:(\d+)/path:(\d+)")


def medians(benchmarks):
    """Median real time in microseconds per (floor, op, vars, path); None where it failed."""
    runs, aggregates, failed = {}, {}, set()
    for b in benchmarks:
        m = NAME.match(b.get("run_name", b["name"]))
        if not m:
            continue
        key = (bool(m.group(1)), m.group(2), int(m.group(3)), int(m.group(4)))
        if b.get("error_occurred"):
            failed.add(key)
            continue
        scale = {"ns": 1e-3, "us": 1.0, "ms": 1e3, "s": 1e6}[b.get("time_unit", "ns")]
        t = b["real_time"] * scale
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                aggregates[key] = t
        else:
            runs.setdefault(key, []).append(t)
    out = {k: statistics.median(v) for k, v in runs.items()}
    out.update(aggregates)
    out.update({k: None for k in failed})
    return out


def shown(us):
    if us is None:
        return "failed"
    if us >= 1e6:
        return f"{us / 1e6:.2f} s"
    if us >= 1e3:
        return f"{us / 1e3:.2f} ms"
    return f"{us:.0f} us"


def ratio(a, b):
    return f"{a / b:.2f}" if a and b else "-"


def main():
    data = json.load(open(sys.argv[1]) if len(sys.argv) > 1 else sys.stdin)
    times = medians(data["benchmarks"])
    ops = ["env_list", "env_set_new", "env_set_existing", "env_del", "env_path_add",
           "env_path_move", "env_restore", "env_backups"]
    rank = {op: i for i, op in enumerate(ops)}
    order = sorted({(op, v, p) for floor, op, v, p in times if not floor},
                   key=lambda k: (rank.get(k[0], len(ops)), k[0], k[1], k[2]))
    print(f"{'operation':<18}{'vars':>7}{'path':>6}{'median':>12}{'floor':>12}{'ratio':>7}"
          f"{'x from 1000 vars':>18}")
    for op, v, p in order:
        t, f = times.get((False, op, v, p)), times.get((True, op, v, p))
        growth = ratio(t, times.get((False, op, 1000, p))) if v == 10000 else ""
        print(f"{op:<18}{v:>7}{p:>6}{shown(t):>12}{shown(f):>12}{ratio(t, f):>7}{growth:>18}")


if __name__ == "__main__":
    main()
