#!/usr/bin/python3
"""Reads a metrics file with the Prometheus text-format parser and checks it.

usage: check_metrics.py FILE NAME=up|down...
Each named server must be there with up 1 or 0, a last-test time within the
last ten minutes, a test duration below the run's bound and no alert sent.
"""
import sys
import time

from prometheus_client.parser import text_string_to_metric_families


def main():
    path, expected = sys.argv[1], dict(arg.split("=", 1) for arg in sys.argv[2:])
    with open(path, encoding="utf-8") as f:
        families = {family.name: family for family in text_string_to_metric_families(f.read())}
    values = {}
    for family in families.values():
        for sample in family.samples:
            values[(sample.name, sample.labels["server"])] = sample.value
    problems = []
    now = time.time()
    for name, state in expected.items():
        up = values.get(("quorvex_server_up", name))
        if up != (1.0 if state == "up" else 0.0):
            problems.append(f"{name}: up is {up}, expected {state}")
        last = values.get(("quorvex_server_last_test_timestamp_seconds", name))
        if last is None or not now - 600 < last <= now:
            problems.append(f"{name}: last test at {last}, now is {now}")
        duration = values.get(("quorvex_server_test_duration_seconds", name))
        if duration is None or not 0 < duration < 120:
            problems.append(f"{name}: test duration {duration}")
        if values.get(("quorvex_alerts_sent_total", name)) != 0:
            problems.append(f"{name}: alerts sent {values.get(('quorvex_alerts_sent_total', name))}")
    if families.get("quorvex_alerts_sent") is None or families["quorvex_alerts_sent"].type != "counter":
        problems.append("quorvex_alerts_sent_total is not a counter")
    if problems:
        print("\n".join(problems), file=sys.stderr)
        sys.exit(1)


if __name__ == "__main__":
    main()
