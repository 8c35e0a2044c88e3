#!/usr/bin/env python3
"""Applies each fault of tools/mutants.txt, one at a time, to a scratch copy
of the working tree, rebuilds it and runs the fast suites (ctest -LE wire).
A fault the suites fail on is caught; one they pass is missed. Prints one
line per fault and the counts.

    python3 tools/mutate.py [--scratch DIR] [--only N[,N...]]
"""
import argparse, os, subprocess, sys, shutil

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def parse(path):
    mutants, current = [], None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("@ "):
            current = {"file": line[2:].strip()}
        elif line.startswith("- ") and current is not None:
            current["old"] = line[2:]
        elif line.startswith("+ ") and current is not None:
            current["new"] = line[2:]
            mutants.append(current)
            current = None
    return mutants


def run(cmd, cwd, env=None, quiet=True):
    return subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL if quiet else None,
                          stderr=subprocess.DEVNULL if quiet else None).returncode


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--scratch", default="/tmp/veltra-mutants")
    parser.add_argument("--only", default="")
    args = parser.parse_args()
    mutants = parse(os.path.join(HERE, "mutants.txt"))
    only = {int(n) for n in args.only.split(",") if n}

    # The scratch copy: the tracked files as they are now, built once.
    if not os.path.isdir(os.path.join(args.scratch, ".git")):
        run(["git", "clone", "-q", ROOT, args.scratch], ROOT)
    run(["git", "fetch", "-q", ROOT, "HEAD"], args.scratch)
    run(["git", "reset", "-q", "--hard", "FETCH_HEAD"], args.scratch)
    build = os.path.join(args.scratch, "build")
    if not os.path.exists(os.path.join(build, "CMakeCache.txt")):
        run(["cmake", "-S", ".", "-B", "build", "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"], args.scratch)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_QUICK_BACKEND="software")
    if run(["cmake", "--build", "build"], args.scratch) != 0 or \
       run(["ctest", "--test-dir", "build", "-LE", "wire", "-j2"], args.scratch, env) != 0:
        print("the unmutated tree does not build or pass; nothing to measure")
        return 2

    caught = missed = 0
    for number, m in enumerate(mutants, 1):
        if only and number not in only:
            continue
        path = os.path.join(args.scratch, m["file"])
        text = open(path, encoding="utf-8").read()
        if text.count(m["old"]) != 1:
            print(f"{number:2d} {m['file']}: original found {text.count(m['old'])} times, skipped")
            continue
        open(path, "w", encoding="utf-8").write(text.replace(m["old"], m["new"]))
        built = run(["cmake", "--build", "build"], args.scratch) == 0
        failed = not built or run(["ctest", "--test-dir", "build", "-LE", "wire", "-j2",
                                   "--stop-on-failure", "--timeout", "120"], args.scratch, env) != 0
        open(path, "w", encoding="utf-8").write(text)
        caught += failed
        missed += not failed
        verdict = "caught" if failed else "MISSED"
        print(f"{number:2d} {verdict:7s} {m['file']}: {m['new'].strip()}", flush=True)
    print(f"{caught} caught, {missed} missed, of {caught + missed}")
    run(["cmake", "--build", "build"], args.scratch)
    return 0


if __name__ == "__main__":
    sys.exit(main())
