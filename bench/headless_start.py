#!/usr/bin/python3
"""Start-up and memory of `quorvex --headless --once` against one silent server.

usage: bench/headless_start.py [--runs N] QUORVEX [QUORVEX...]

For each program: the time from the start of the process to its first status
line on standard output, and the peak resident memory of the quorvex process
itself (VmHWM, sampled every 2 ms; openvpn's own memory is not counted). The
server is a UDP port on 127.0.0.1 that is held open and never answers, so each
run ends by the connection time-out (3 s).
"""
import argparse
import os
import socket
import statistics
import subprocess
import tempfile
import time


def vm_hwm_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmHWM:"):
                    return int(line.split()[1])
    except OSError:
        pass
    return None


def one_run(program, work, env):
    start = time.monotonic()
    child = subprocess.Popen(
        [program, "--headless", "--once", "--settings", os.path.join(work, "settings.xml")],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, env=env)
    os.set_blocking(child.stdout.fileno(), False)
    first_line = None
    peak = 0
    output = b""
    deadline = start + 60  # bounded: a run ends by the 3 s connection time-out
    while child.poll() is None and time.monotonic() < deadline:
        hwm = vm_hwm_kib(child.pid)
        if hwm:
            peak = max(peak, hwm)
        chunk = child.stdout.read()
        if chunk:
            output += chunk
            if first_line is None and b"\n" in output:
                first_line = time.monotonic() - start
        time.sleep(0.002)
    if child.poll() is None:
        child.kill()
    child.wait()
    output += child.stdout.read() or b""
    if first_line is None:
        raise SystemExit(f"{program}: no status line; output: {output!r}")
    return first_line, peak, child.returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("programs", nargs="+")
    args = parser.parse_args()
    with tempfile.TemporaryDirectory(prefix="quorvex-bench-") as work:
        catalogue = os.path.join(work, "catalogue")
        os.mkdir(catalogue)
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                        os.path.join(work, "ca.key"), "-out", os.path.join(catalogue, "ca.crt"),
                        "-days", "2", "-subj", "/CN=quorvex-bench"],
                       check=True, capture_output=True)
        silent = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        silent.bind(("127.0.0.1", 0))
        port = silent.getsockname()[1]
        with open(os.path.join(catalogue, "silent.ovpn"), "w") as config:
            config.write(f"client\ndev null\nifconfig-noexec\nroute-noexec\nproto udp\n"
                         f"remote 127.0.0.1 {port}\nnobind\nca ca.crt\nauth-user-pass\n")
        with open(os.path.join(work, "settings.xml"), "w") as settings:
            settings.write("<settings>\n  <username>u</username>\n  <password>p</password>\n"
                           "  <conn_timeout>3</conn_timeout>\n</settings>\n")
        env = dict(os.environ, QUORVEX_CONFIG_DIR=catalogue,
                   XDG_STATE_HOME=os.path.join(work, "state"))
        for program in args.programs:
            runs = [one_run(program, work, env) for _ in range(args.runs)]
            starts = [r[0] * 1000 for r in runs]
            peaks = [r[1] / 1024 for r in runs]
            print(f"{program}: first status line median {statistics.median(starts):.1f} ms "
                  f"(min {min(starts):.1f}, max {max(starts):.1f}); peak RSS median "
                  f"{statistics.median(peaks):.1f} MiB (max {max(peaks):.1f}); "
                  f"exit codes {sorted({r[2] for r in runs})}; {args.runs} runs")
        silent.close()


if __name__ == "__main__":
    main()
