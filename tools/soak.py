#!/usr/bin/env python3
"""Soak the dongle link on the wire model: many stores through a faulty line,
the radio's stored state checked after every run.

Each run starts a fresh radio (no state kept from the run before) behind
veltra-sim-pty with the line's real time and one kind of fault, runs

    veltra-cli --port PTY --timeout 60 set power24=3 mask24=1-10 --store

and reads what the radio stored. A run counts as
  good      exit 0 and the radio holds what was asked
  SILENT    exit 0 and the radio holds something else (must be none)
  failed    a nonzero exit, counted by the reason veltra-cli gave
  UNNAMED   a nonzero exit without a reason (must be none)

  tools/soak.py [--build DIR] [--runs N] [--faults late,drop] [--rate 0.05]
                [--first-seed S] [--jobs J] [--d2xx] [--batch RADIOS]

--d2xx runs the same through the D2XX stand-in library instead of a
pseudo-terminal. --batch N instead runs one `batch` of N radios with late
replies, and reports whether it ended by itself and how each radio ended.
Too slow for the test suite: run it by hand.
"""

import argparse
import collections
import concurrent.futures
import json
import os
import subprocess
import sys
import tempfile
import time

WANTED_POWER24 = 3
WANTED_MASK24 = "ff03" + "00" * 9  # channels 1 to 10
SET = ["set", "power24=3", "mask24=1-10", "--store"]


def cli_env(home):
    env = dict(os.environ)
    env["HOME"] = home
    env["QT_QPA_PLATFORM"] = "offscreen"
    return env


def start_pty(build, profile):
    sim = subprocess.Popen([os.path.join(build, "sim", "veltra-sim-pty"), profile],
                           stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    path = sim.stdout.readline().strip()
    return sim, path


def stop_pty(sim):
    try:
        sim.stdin.write("quit\n")
        sim.stdin.flush()
        sim.wait(timeout=10)
    except Exception:
        sim.kill()
        sim.wait()


def stored_state(path):
    try:
        with open(path) as f:
            state = json.load(f)
    except (OSError, ValueError):
        return None
    return state


def holds_wanted(state):
    if not state:
        return False
    power = bytes.fromhex(state.get("power", ""))
    return len(power) == 3 and power[0] == WANTED_POWER24 and state.get("mask24") == WANTED_MASK24


def reason(stderr):
    lines = [l for l in stderr.splitlines() if l.startswith("veltra-cli: ")]
    return lines[-1][len("veltra-cli: "):] if lines else ""


def one_run(args, fault, seed):
    with tempfile.TemporaryDirectory(prefix="veltra-soak-") as home:
        state = os.path.join(home, "state.json")
        profile = "r9,wire=real,fault=%s:%s,seed=%d,state=%s" % (fault, args.rate, seed, state)
        cli = os.path.join(args.build, "cli", "veltra-cli")
        started = time.monotonic()
        if args.d2xx:
            env = cli_env(home)
            env["LD_LIBRARY_PATH"] = os.path.join(args.build, "sim", "d2xx")
            env["VELTRA_D2XX_SIM"] = profile
            run = subprocess.run([cli, "--driver", "d2xx", "--timeout", "60"] + SET, env=env,
                                 capture_output=True, text=True, timeout=600)
        else:
            sim, path = start_pty(args.build, profile)
            try:
                run = subprocess.run([cli, "--port", path, "--timeout", "60"] + SET, env=cli_env(home),
                                     capture_output=True, text=True, timeout=600)
            finally:
                stop_pty(sim)
        seconds = time.monotonic() - started
        held = holds_wanted(stored_state(state))
    return fault, seed, run.returncode, held, reason(run.stderr), seconds


def soak(args):
    faults = [f for f in args.faults.split(",") if f]
    jobs = [(f, s) for f in faults for s in range(args.first_seed, args.first_seed + args.runs)]
    results = collections.defaultdict(list)
    with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for fault, seed, code, held, why, seconds in pool.map(lambda j: one_run(args, *j), jobs):
            results[fault].append((seed, code, held, why, seconds))
            if (code == 0) != held or (code != 0 and not why):
                print("  %s seed %d: exit %d, stored as asked: %s, %s" % (fault, seed, code, held, why or "(no reason)"),
                      flush=True)
    bad = 0
    way = "D2XX stand-in" if args.d2xx else "pseudo-terminal"
    for fault in faults:
        runs = results[fault]
        good = sum(1 for r in runs if r[1] == 0 and r[2])
        silent = sum(1 for r in runs if r[1] == 0 and not r[2])
        unnamed = sum(1 for r in runs if r[1] != 0 and not r[3])
        causes = collections.Counter("exit %d: %s" % (r[1], r[3]) for r in runs if r[1] != 0 and r[3])
        seconds = sorted(r[4] for r in runs)
        print("%s %s %d runs through the %s, seeds %d-%d: %d good, %d SILENT, %d failed (%d UNNAMED); "
              "median %.1f s, longest %.1f s"
              % (fault, args.rate, len(runs), way, args.first_seed, args.first_seed + args.runs - 1, good, silent,
                 len(runs) - good - silent, unnamed, seconds[len(seconds) // 2], seconds[-1]))
        for cause, count in causes.most_common():
            print("    %3d  %s" % (count, cause))
        bad += silent + unnamed
    return 1 if bad else 0


def batch(args):
    radios = ":".join(["r9"] * args.batch)
    with tempfile.TemporaryDirectory(prefix="veltra-soak-") as home:
        cli = os.path.join(args.build, "cli", "veltra-cli")
        setup = os.path.join(home, "setup.json")
        subprocess.run([cli, "--simulate", "export", setup], env=cli_env(home), check=True, capture_output=True)
        profile = "radios=%s,wire=real,fault=late:%s,seed=%d" % (radios, args.rate, args.first_seed)
        sim, path = start_pty(args.build, profile)
        started = time.monotonic()
        try:
            run = subprocess.run([cli, "--port", path, "--timeout", "60", "batch", setup, "--count", str(args.batch),
                                  "--label-pattern", "Truss {n}"],
                                 env=cli_env(home), capture_output=True, text=True, timeout=args.batch * 300)
            ended = True
        except subprocess.TimeoutExpired as expired:
            run = expired
            ended = False
        finally:
            stop_pty(sim)
        seconds = time.monotonic() - started
    out = run.stdout if isinstance(run.stdout, str) else (run.stdout or b"").decode()
    radios_done = [l for l in out.splitlines() if l.startswith("#")]
    # Stopped from outside, a batch also prints its summary: only one that
    # handled every radio ended by itself.
    ended = ended and len(radios_done) == args.batch
    print("batch of %d r9 radios, wire=real, late %s, seed %d: %s after %.0f s, exit %s"
          % (args.batch, args.rate, args.first_seed, "ended by itself" if ended else "DID NOT END", seconds,
             run.returncode if ended else "-"))
    for line in radios_done:
        print("    " + line)
    summary = [l for l in out.splitlines() if l.endswith(" OK.")]
    if summary:
        print("    " + summary[-1])
    return 0 if ended and len(radios_done) == args.batch else 1


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default="build")
    parser.add_argument("--runs", type=int, default=100)
    parser.add_argument("--faults", default="late,drop")
    parser.add_argument("--rate", default="0.05")
    parser.add_argument("--first-seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--d2xx", action="store_true")
    parser.add_argument("--batch", type=int, default=0)
    args = parser.parse_args()
    if not os.path.exists(os.path.join(args.build, "cli", "veltra-cli")):
        sys.exit("no veltra-cli under %s (--build names the build folder)" % args.build)
    sys.exit(batch(args) if args.batch else soak(args))


if __name__ == "__main__":
    main()
