#!/usr/bin/env python3
"""Plants small faults in the product, one at a time, and runs the suites
that own the code each one lives in. A fault a suite fails on (or hangs on)
is killed; one every owning suite passes survived; one that does not build
is told apart and never counted as either.

    python3 tools/mutate.py                       every fault of tools/mutants.txt
    python3 tools/mutate.py --only 3,17           some of them
    python3 tools/mutate.py --random 40 --seed 7  40 faults drawn from the sources
    python3 tools/mutate.py --matrix rows.json    every owning suite in full for
                                                  each fault: which rows catch it

The random mode draws from the product's own sites: comparisons, integer
constants, && and ||, results ignored and calls dropped, over every product
source file (C++, and the scene's QML and JavaScript). A fault that does not
build is replaced by the next draw. A fault that only changes what a log line
says (the simulator's trace events included), or one
tools/mutants-equivalent.txt names as meaning the same, "cannot show" and is
not run. The same seed on the same tree draws the same faults, and a fault
whose line an edit leaves alone is drawn again after the edit: each site's
place in the draw comes from the seed and the site's own text (file, line,
column), not from where it falls in the list of all sites. So a sample
measured before a change can be measured again after it; a line the change
rewrote leaves the sample and the next site in the seed's order comes in.

It measures the work tree as it is, uncommitted changes included: the
tracked and untracked (not ignored) files are copied into a scratch folder
with a build of its own, kept between runs so that each fault rebuilds one
file.
"""
import argparse
import fnmatch
import hashlib
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
PRODUCT_DIRS = ("app", "cli", "config", "firmware", "qml", "sim", "usb")

FAST = ["tst_usbd", "tst_serialport", "tst_d2xx", "tst_session", "tst_radiosetup",
        "tst_radiospace", "tst_radioframes", "tst_frequencymaskingmodel", "tst_cli", "tst_upload", "tst_vfp",
        "tst_startup", "tst_qml", "tst_walk", "tst_scenespace"]

# Which suites own which code: the first pattern a file matches names them.
# A name is a ctest test; "name:f1,f2" runs only those functions of it.
# Code on the paced line, the upload and the dongle programmer is owned by
# the real-time (wire) suites as well.
OWNERS = [
    ("usb/d2xxdriver.*", ["tst_d2xx"]),
    ("usb/serialportdriver.*", ["tst_serialport", "tst_usbd", "tst_wire:readout", "tst_cli_realtime"]),
    ("usb/*", ["tst_usbd", "tst_session", "tst_serialport", "tst_d2xx", "tst_cli",
               "tst_upload", "tst_wire:readout", "tst_cli_realtime"]),
    ("config/radiosetup.*", ["tst_radiosetup", "tst_radiospace", "tst_cli", "tst_session"]),
    ("config/radioframes.*", ["tst_radioframes", "tst_radiospace", "tst_session", "tst_cli", "tst_scenespace"]),
    ("config/frequencymasking*", ["tst_frequencymaskingmodel", "tst_session", "tst_scenespace", "tst_walk"]),
    ("config/dropdown*", ["tst_walk", "tst_scenespace", "tst_startup"]),
    ("config/wholefile.*", ["tst_cli", "tst_session", "tst_radiosetup"]),
    ("config/*", ["tst_session", "tst_radiospace", "tst_radiosetup", "tst_cli", "tst_scenespace", "tst_walk",
                  "tst_upload", "tst_usbd", "tst_cli_realtime",
                  "tst_dongleupdate:closedDuringAnUpdate"]),
    ("firmware/vfp*", ["tst_vfp", "tst_upload", "tst_cli"]),
    ("firmware/dongleprogrammer.*", ["tst_dongleupdate", "tst_walk"]),
    ("firmware/*", ["tst_upload", "tst_cli", "tst_walk", "tst_qml", "tst_dongleupdate", "tst_wire:radioUpdate"]),
    ("cli/make_vfp.cpp", ["tst_vfp"]),
    ("cli/*", ["tst_cli", "tst_d2xx", "tst_cli_realtime"]),
    ("app/driverselection.*", ["tst_cli", "tst_d2xx", "tst_startup"]),
    ("app/scenetypes.*", ["tst_startup", "tst_qml", "tst_walk", "tst_scenespace"]),
    ("app/*", ["tst_startup", "tst_walk", "tst_cli"]),
    ("qml/*", ["tst_qml", "tst_walk", "tst_scenespace"]),
    ("sim/ptyserver.*", ["tst_serialport", "tst_cli_realtime", "tst_dongleupdate"]),
    ("sim/stk500bootloader.*", ["tst_dongleupdate"]),
    ("sim/wiremodel.*", ["tst_wire:readout", "tst_serialport", "tst_cli_realtime"]),
    ("sim/d2xxstandin.*", ["tst_d2xx"]),
    ("sim/*", FAST + ["tst_wire:readout"]),
]


def owners(path):
    for pattern, suites in OWNERS:
        if fnmatch.fnmatch(path, pattern):
            return suites
    return FAST


def run(cmd, cwd, env=None, timeout=None):
    try:
        return subprocess.run(cmd, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode
    except subprocess.TimeoutExpired:
        return "timeout"


# ---------------------------------------------------------------- the list

def parse_list(path):
    faults, current = [], None
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith("@ "):
            current = {"file": line[2:].strip()}
        elif line.startswith("- ") and current is not None:
            current["old"] = line[2:]
        elif line.startswith("+ ") and current is not None:
            current["new"] = line[2:]
            faults.append(current)
            current = None
    return faults


def parse_equivalent(path):
    """Faults that cannot show, from lines "FILE | ORIGINAL | REPLACEMENT | why"
    (a fault that means the same as the code it changes), "FILE | uncalled
    NAME | why" (every fault in a function the product never calls, kept
    because the protocol names it), "FILE | data NAME | why" (a function
    that only describes a device: a change there is another device, not a
    fault), "FILE | logonly NAME | why" (a function whose answer only picks
    log lines), "FILE | unshown NAME | why" (a function whose work only a
    page the scene does not build would show) and "FILE | argument NAME N | why" (the Nth argument of calls
    to NAME, which the function does not use). "FILE @ FUNCTION | ORIGINAL |
    REPLACEMENT | why" names the change in that function only, for a line
    whose text the file repeats where the same change can show."""
    same, uncalled = set(), {}
    if os.path.exists(path):
        for raw in open(path, encoding="utf-8"):
            if raw.strip() and not raw.startswith("#"):
                parts = [p.strip() for p in raw.split(" | ")]
                kind, _, name = parts[1].partition(" ") if len(parts) >= 2 else ("", "", "")
                if kind in ("uncalled", "data", "argument", "logonly", "unshown") and name:
                    uncalled[(parts[0], name)] = kind
                elif len(parts) >= 3:
                    same.add((parts[0], parts[1], parts[2]))
    return same, uncalled


DEFINITION = re.compile(r"^[A-Za-z][^;()]*?\b(\w+)\([^;]*\)[^;]*$")


def argument_at(text, offset):
    """(function, argument number from 1) of the call whose argument list
    holds offset on its line, or None."""
    start = text.rfind("\n", 0, offset) + 1
    depth, index, call = 0, 1, None
    for i in range(offset - 1, start - 1, -1):
        c = text[i]
        if c == ")":
            depth += 1
        elif c == "(":
            if depth == 0:
                m = re.search(r"(\w+)\s*$", text[start:i])
                call = m.group(1) if m else None
                break
            depth -= 1
        elif c == "," and depth == 0:
            index += 1
    return (call, index) if call else None


def function_at(text, offset):
    """The name of the function whose definition (at the file's top level)
    holds offset, or None."""
    start = text.rfind("\n{\n", 0, offset)
    if start < 0 or text.find("\n}\n", start) < offset:
        return None
    header = text[text.rfind("\n", 0, start) + 1:start]
    # A constructor's initialiser list stands between its name and its body.
    while header.startswith(" ") and header.lstrip().startswith((":", ",")):
        end = text.rfind("\n", 0, start)
        start = end
        header = text[text.rfind("\n", 0, end) + 1:end]
    m = DEFINITION.match(header)
    return m.group(1) if m else None


# ---------------------------------------------------------------- the sites

# What the preprocessor knows on the machine that measures: a branch for
# another system or for Qt 6 is not built here, so nothing planted in it could
# show. Conditions not named here count as true.
PLATFORM = {"Q_OS_WIN": False, "Q_OS_MACOS": False, "Q_OS_UNIX": True, "Q_OS_LINUX": True}


def condition_holds(line):
    m = re.match(r"#\s*(ifdef|ifndef)\s+(\w+)", line)
    if m:
        known = PLATFORM.get(m.group(2), True)
        return known if m.group(1) == "ifdef" else (not known if m.group(2) in PLATFORM else True)
    m = re.match(r"#\s*if\s+(!?)\s*defined\s*\(?\s*(\w+)", line)
    if m and m.group(2) in PLATFORM:
        return PLATFORM[m.group(2)] != bool(m.group(1))
    if re.match(r"#\s*if\s+QT_VERSION\s*<\s*QT_VERSION_CHECK\(6", line):
        return True
    if re.match(r"#\s*if\s+QT_VERSION\s*>=\s*QT_VERSION_CHECK\(6", line):
        return False
    return True


def inactive_lines(text):
    """Numbers (from 0) of the lines in preprocessor branches not built here."""
    stack, inactive = [], set()
    for number, raw in enumerate(text.split("\n")):
        line = raw.strip()
        if re.match(r"#\s*if", line):
            stack.append(condition_holds(line))
        elif re.match(r"#\s*else", line) and stack:
            stack[-1] = not stack[-1]
        elif re.match(r"#\s*elif", line) and stack:
            stack[-1] = False
        elif re.match(r"#\s*endif", line) and stack:
            stack.pop()
        elif not all(stack):
            inactive.add(number)
    return inactive


def blank_code(text, qml):
    """The text with comments, string literals and code this machine does not
    build blanked (lengths kept), so that sites are only looked for in code
    that can show."""
    if not qml:
        lines = text.split("\n")
        for number in inactive_lines(text):
            lines[number] = " " * len(lines[number])
        text_for_code = "\n".join(lines)
    else:
        text_for_code = text
    out = list(text_for_code)
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
        elif c in "\"'" or (qml and c == "`"):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
        elif not qml and c == "#" and (i == 0 or text[i - 1] == "\n"):
            j = text.find("\n", i)
            j = n if j < 0 else j
        else:
            i += 1
            continue
        for k in range(i, j):
            if out[k] != "\n":
                out[k] = " "
        i = j
    return "".join(out)


CMP = {" == ": " != ", " != ": " == ", " <= ": " < ", " >= ": " > ", " < ": " <= ", " > ": " >= ",
       " === ": " !== ", " !== ": " === "}
LOGIC = {" && ": " || ", " || ": " && "}
# The simulator's trace events are its log: comment lines among the
# exchanges, written for the person who reads the trace. The dongle
# programmer's logLine and the session's disableConfigGUI write a log line
# and do nothing else.
LOG_START = re.compile(r"\s*(qDebug|qInfo|qWarning|qCritical|console\.(log|warn|error)|m_trace\.addEvent|logLine"
                       r"|disableConfigGUI)\b")
NUMBER = re.compile(r"(?<![\w.])(0x[0-9A-Fa-f]+|\d+)(?![\w.])")
IF_CALL = re.compile(r"\bif \((!?)([\w:.>\-]+\([^;{}]*\))\)(?=\s*(\{|return|$|\w))")
CALL_STATEMENT = re.compile(r"^(\s*)((?:[\w:]+(?:\.|->))*[\w:]+\([^;]*\));\s*$")
KEYWORDS = {"return", "if", "while", "for", "switch", "delete", "emit", "Q_EMIT", "case", "else", "new", "throw"}


def number_fault(token, draw):
    value = int(token, 16) if token.lower().startswith("0x") else int(token)
    if value <= 1:
        changed = 1 - value
    elif value < 100:
        changed = value + draw.choice((-1, 1))
    else:
        changed = value // 2
    return hex(changed) if token.lower().startswith("0x") else str(changed)


def statement_start(code, at):
    start = max(code.rfind(";", 0, at), code.rfind("{", 0, at), code.rfind("}", 0, at))
    return start + 1


def sites_of(path, text):
    """Every place a fault can be planted: (offset, length, kind)."""
    qml = path.endswith((".qml", ".js"))
    code = blank_code(text, qml)
    sites = []
    for table, kind in ((CMP, "comparison"), (LOGIC, "logic")):
        for op in table:
            for m in re.finditer(re.escape(op), code):
                sites.append((m.start(), len(op), kind))
    if not qml:
        for m in NUMBER.finditer(code):
            # Array lengths and bit widths in declarations rarely build when
            # changed; the build check replaces those that do not.
            sites.append((m.start(), len(m.group(0)), "constant"))
        for m in IF_CALL.finditer(code):
            sites.append((m.start(), len(m.group(0)), "ignored result"))
    line_start = 0
    for line in code.split("\n"):
        m = CALL_STATEMENT.match(line)
        if m and m.group(2).split("(")[0].split(".")[-1].split("->")[-1] not in KEYWORDS \
                and "=" not in m.group(2).split("(")[0]:
            sites.append((line_start + len(m.group(1)), len(m.group(2)) + 1, "dropped call"))
        line_start += len(line) + 1
    return code, sorted(sites)


def site_ranks(seed, sites, text_of):
    """Each site's place in the seed's draw: a hash of the seed and the
    site's own text (its file, its line's text, its column and kind, and
    which of the file's identical such sites it is), so that edits elsewhere
    leave it where it was."""
    ranks, seen = [], {}
    for path, site, _ in sites:
        key = (path, site_key(text_of(path), site))
        repeat = seen.get(key, 0)
        seen[key] = repeat + 1
        digest = hashlib.sha256(("%d|%s|%s|%d" % (seed, path, key[1], repeat)).encode("utf-8")).digest()
        ranks.append(int.from_bytes(digest[:8], "big"))
    return ranks


def site_key(text, site):
    offset, length, kind = site
    start = text.rfind("\n", 0, offset) + 1
    end = text.find("\n", offset)
    return "%s|%d|%d|%s" % (text[start:end if end >= 0 else len(text)].strip(), offset - start, length, kind)


def plant(text, site, draw):
    offset, length, kind = site
    old = text[offset:offset + length]
    if kind == "comparison":
        new = CMP[old]
    elif kind == "logic":
        new = LOGIC[old]
    elif kind == "constant":
        new = number_fault(old, draw)
    elif kind == "ignored result":
        m = IF_CALL.match(old)
        # The call is still made; what it answered is not looked at.
        new = "if ((void(%s), %s))" % (m.group(2), "false" if m.group(1) else "true")
    else:
        new = ";"
    return text[:offset] + new + text[offset + length:]


def product_files():
    listed = subprocess.run(["git", "ls-files", "-co", "--exclude-standard"], cwd=ROOT, capture_output=True,
                            text=True, check=True).stdout.split()
    return sorted(f for f in listed if f.split("/")[0] in PRODUCT_DIRS and f.endswith((".cpp", ".h", ".qml", ".js"))
                  and os.path.isfile(os.path.join(ROOT, f)))


def line_of(text, offset):
    start = text.rfind("\n", 0, offset) + 1
    end = text.find("\n", offset)
    return text.count("\n", 0, offset) + 1, text[start:end if end >= 0 else len(text)].strip()


# ---------------------------------------------------------------- the runs

class Scratch:
    def __init__(self, folder, jobs):
        self.folder = folder
        self.src = os.path.join(folder, "src")
        self.build = os.path.join(folder, "build")
        self.jobs = jobs
        # The window's suite draws its radios from a fresh seed each run; a
        # fixed one here makes a verdict repeatable.
        self.env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QT_QUICK_BACKEND="software",
                        CCACHE_BASEDIR=self.src, CCACHE_NOHASHDIR="1", VELTRA_SCENE_SEED="1")
        self.tests = {}
        self.baseline = {}

    def sync(self):
        """The scratch sources become the work tree's: changed files copied,
        files gone from the tree removed, the rest left untouched so that the
        build stays incremental."""
        listed = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard"], cwd=ROOT,
                                capture_output=True, check=True).stdout.decode().split("\0")
        listed = {f for f in listed if f and os.path.isfile(os.path.join(ROOT, f))}
        for name in listed:
            source, target = os.path.join(ROOT, name), os.path.join(self.src, name)
            with open(source, "rb") as f:
                wanted = f.read()
            if os.path.exists(target):
                with open(target, "rb") as f:
                    if f.read() == wanted:
                        continue
            os.makedirs(os.path.dirname(target), exist_ok=True)
            # A fresh time stamp: the build must see the file as newer than
            # whatever it built from the copy before, whichever tree that was.
            shutil.copyfile(source, target)
        for folder, _, files in os.walk(self.src):
            for file in files:
                name = os.path.relpath(os.path.join(folder, file), self.src)
                if name not in listed:
                    os.remove(os.path.join(folder, file))

    def configure(self):
        # Shared libraries, little optimisation and no debug information:
        # each fault rebuilds one file quickly and relinks one library, and
        # the programs that load that library are not linked again.
        subprocess.run(["cmake", "-S", self.src, "-B", self.build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=None",
                        "-DCMAKE_CXX_FLAGS=-O1", "-DVELTRA_SHARED_LIBS=ON", "-DCMAKE_LINK_DEPENDS_NO_SHARED=ON"],
                       check=True, stdout=subprocess.DEVNULL)

    def make(self):
        return run(["cmake", "--build", self.build, "--", "-j%d" % self.jobs], self.src, self.env) == 0

    def load_tests(self):
        shown = subprocess.run(["ctest", "--test-dir", self.build, "--show-only=json-v1"], capture_output=True,
                               text=True, check=True).stdout
        for test in json.loads(shown)["tests"]:
            env = dict(self.env)
            for prop in test.get("properties", []):
                if prop["name"] == "ENVIRONMENT":
                    env.update(v.split("=", 1) for v in prop["value"] if "=" in v)
            self.tests[test["name"]] = (test["command"], env)

    def start(self, suite, output=None):
        name, _, functions = suite.partition(":")
        command, env = self.tests[name]
        command = list(command) + (functions.split(",") if functions else [])
        if output:
            command += ["-o", output + ",txt"]
        return subprocess.Popen(command, cwd=self.build, env=env, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, start_new_session=True)

    def each_end(self, suites, limits, folder=None):
        """Runs the suites `jobs` at a time and yields (suite, exit code, or
        None when it hung and was killed; its Qt Test output in `folder`, or
        None) as each ends. Closing it early kills what still runs."""
        waiting, running = list(suites), []
        try:
            while waiting or running:
                while waiting and len(running) < self.jobs:
                    suite = waiting.pop(0)
                    output = os.path.join(folder, suite.replace(":", "_") + ".txt") if folder else None
                    running.append((suite, self.start(suite, output), time.monotonic(), output))
                time.sleep(0.05)
                for entry in list(running):
                    suite, process, began, output = entry
                    code = process.poll()
                    hung = code is None and time.monotonic() - began > limits.get(suite, 300)
                    if code is None and not hung:
                        continue
                    running.remove(entry)
                    if hung:
                        stop(process)
                    yield suite, None if hung else code, output
        finally:
            for _, process, _, _ in running:
                stop(process)

    def run_suites(self, suites, limits):
        """(the first suite that failed or None, the suites that passed),
        stopping at the first failure."""
        passed = []
        ends = self.each_end(suites, limits)
        for suite, code, _ in ends:
            if code != 0:
                ends.close()
                return suite + (" (hung)" if code is None else ""), passed
            passed.append(suite)
        return None, passed

    def kill_of(self, suites):
        """The suite that fails with the fault in place, or None. A failure is
        run again alone before it counts: a suite that passes the second time
        failed by the machine's load, not by the fault."""
        left = list(suites)
        while left:
            failed, passed = self.run_suites(left, self.limits(left))
            if failed is None:
                return None
            name = failed.replace(" (hung)", "")
            if self.run_suites([name], self.limits([name]))[0] is not None:
                return failed
            left = [s for s in left if s not in passed and s != name]
        return None

    def failures_of(self, suites, limits):
        """Every owning suite run to its end, the fault in place: the test
        functions and rows that failed, as "suite::function(row)", or
        "suite (hung)" / "suite (exit N)" where no row names the failure."""
        failures = []
        with tempfile.TemporaryDirectory() as folder:
            for suite, code, output in self.each_end(suites, limits, folder):
                name = suite.partition(":")[0]
                text = open(output, errors="replace").read() if os.path.exists(output) else ""
                rows = ["%s::%s" % (name, row) for row in FAIL_LINE.findall(text)]
                failures += rows
                if code is None:
                    failures.append("%s (hung)" % name)
                elif code != 0 and not rows:
                    failures.append("%s (exit %d)" % (name, code))
        return failures

    def measure_baseline(self, suites):
        """Each suite's time on the unmutated tree, which sets its limit. A
        real-time suite may fail once on a loaded machine: only a second
        failure stops the run."""
        # The last fault's file is back as it was, but its build is not:
        # measured on a build with a fault still in, a suite would fail.
        if any(suite not in self.baseline for suite in suites) and not self.make():
            raise SystemExit("the unmutated tree does not build; nothing to measure")
        for suite in suites:
            for attempt in (1, 2):
                if suite in self.baseline:
                    break
                began = time.monotonic()
                failed, _ = self.run_suites([suite], {suite: 600})
                if not failed:
                    self.baseline[suite] = time.monotonic() - began
                elif attempt == 2:
                    raise SystemExit("the unmutated tree fails %s twice; nothing to measure" % failed)

    def limits(self, suites):
        return {s: 3 * self.baseline.get(s, 100) + 30 for s in suites}


def stop(process):
    """Kills a suite and every process it started, and reaps it."""
    try:
        os.killpg(process.pid, 9)
    except ProcessLookupError:
        pass
    process.wait()


# A failed check in Qt Test's plain output: "FAIL!  : TestX::function(row) ...";
# a Qt Quick Test adds its test case's name before the function.
FAIL_LINE = re.compile(r"^FAIL!  : (?:\w+::)+?(\w+\(.*?\)) ", re.M)


def try_fault(scratch, path, text, changed, run_suites=True, matrix=None):
    """('killed', SUITE), ('survived', None) or ('does not build', None).
    With `matrix`, every owning suite runs in full and the rows that failed
    are added to it."""
    target = os.path.join(scratch.src, path)
    try:
        with open(target, "w", encoding="utf-8") as f:
            f.write(changed)
        if not scratch.make():
            return "does not build", None
        if not run_suites:
            return "built", None
        if matrix is not None:
            rows = scratch.failures_of(owners(path), scratch.limits(owners(path)))
            matrix.extend(rows)
            return ("killed", rows[0]) if rows else ("survived", None)
        failed = scratch.kill_of(owners(path))
        return ("killed", failed) if failed else ("survived", None)
    finally:
        with open(target, "w", encoding="utf-8") as f:
            f.write(text)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--scratch", default="/tmp/veltra-mutate")
    parser.add_argument("--only", default="", help="numbers of tools/mutants.txt, comma-separated")
    parser.add_argument("--random", type=int, default=0, help="draw this many faults from the sources")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--jobs", type=int, default=2)
    parser.add_argument("--show", action="store_true", help="print the faults without running them")
    parser.add_argument("--matrix", default="",
                        help="run every owning suite in full for each fault and write the rows that failed to "
                             "this file (JSON, a line a fault); then print which rows alone killed a fault")
    parser.add_argument("--start", type=int, default=1,
                        help="random mode: run from this fault on; the ones before are drawn and built, not run")
    args = parser.parse_args()

    scratch = Scratch(args.scratch, args.jobs)
    equivalent, uncalled = parse_equivalent(os.path.join(HERE, "mutants-equivalent.txt"))

    def cannot_show(path, text, offset, old, new):
        name = function_at(text, offset) if path.endswith(".cpp") else None
        if (path, old, new) in equivalent or ("%s @ %s" % (path, name), old, new) in equivalent:
            return "equivalent"
        call = argument_at(text, offset)
        if call and uncalled.get((path, "%s %d" % call)) == "argument":
            return "argument %d of %s, which it does not use" % (call[1], call[0])
        kind = uncalled.get((path, name)) if name else None
        if kind == "uncalled":
            return "in %s, which nothing calls" % name
        if kind == "data":
            return "in %s, a device's description" % name
        if kind == "unshown":
            return "in %s, whose work only a page the scene does not build shows" % name
        if kind == "logonly":
            return "in %s, whose answer only picks log lines" % name
        return None
    if not args.show:
        scratch.sync()
        scratch.configure()
        if not scratch.make():
            print("the unmutated tree does not build; nothing to measure")
            return 2
        scratch.load_tests()

    counts = {"killed": 0, "survived": 0, "cannot show": 0, "does not build": 0}
    survivors = []

    def report(number, verdict, path, line, old, new, by):
        counts[verdict] += 1
        mark = verdict.upper() if verdict == "survived" else verdict
        where = "%s:%d" % (path, line) if line else path
        print("%3d %-14s %s: %s  ->  %s%s" % (number, mark, where, old, new, "  [%s]" % by if by else ""),
              flush=True)
        if verdict == "survived":
            survivors.append(number)

    matrix_rows = []

    def run_fault(path, text, changed, where, old, new):
        if not args.matrix:
            return try_fault(scratch, path, text, changed)
        rows = []
        verdict, by = try_fault(scratch, path, text, changed, matrix=rows)
        if verdict != "does not build":
            matrix_rows.append(rows)
            with open(args.matrix, "a", encoding="utf-8") as f:
                f.write(json.dumps({"fault": where, "old": old, "new": new, "failed": rows}) + "\n")
        return verdict, by

    texts = {}

    def text_of(path):
        if path not in texts:
            # Read from the copy that is built, so that editing the work tree
            # during a run cannot change what the run measures.
            texts[path] = open(os.path.join(ROOT if args.show else scratch.src, path), encoding="utf-8").read()
        return texts[path]

    if args.random:
        sites = []
        for path in product_files():
            code, found = sites_of(path, text_of(path))
            sites += [(path, site, code) for site in found]
        print("seed %d: %d sites in %d files" % (args.seed, len(sites), len(set(p for p, _, _ in sites))),
              flush=True)
        ranks = site_ranks(args.seed, sites, text_of)
        order = sorted(range(len(sites)), key=lambda i: ranks[i])
        number = 0
        for index in order:
            if number >= args.random:
                break
            path, site, code = sites[index]
            text = text_of(path)
            changed = plant(text, site, random.Random(ranks[index]))
            line, old = line_of(text, site[0])
            _, new = line_of(changed, site[0])
            # The statement up to the end of the site: a dropped call is the
            # whole statement, so a dropped log line is seen as one too.
            logged = LOG_START.match(code[statement_start(code, site[0]):site[0] + site[1]]) is not None
            why = "a log line" if logged else cannot_show(path, text, site[0], old, new)
            if why:
                number += 1
                report(number, "cannot show", path, line, old, new, why)
                continue
            if args.show:
                number += 1
                print("%3d %s:%d: %s  ->  %s" % (number, path, line, old, new))
                continue
            if number + 1 < args.start:
                verdict, by = try_fault(scratch, path, text, changed, run_suites=False)
                if verdict != "does not build":
                    number += 1
                    print("%3d not run (before --start): %s:%d: %s  ->  %s" % (number, path, line, old, new),
                          flush=True)
                    continue
            else:
                scratch.measure_baseline(owners(path))
                verdict, by = run_fault(path, text, changed, "%s:%d" % (path, line), old, new)
            if verdict == "does not build":
                print("    does not build, drawn again: %s:%d: %s  ->  %s" % (path, line, old, new), flush=True)
                counts["does not build"] += 1
                continue
            number += 1
            report(number, verdict, path, line, old, new, by)
    else:
        faults = parse_list(os.path.join(HERE, "mutants.txt"))
        only = {int(n) for n in args.only.split(",") if n}
        for number, fault in enumerate(faults, 1):
            if only and number not in only:
                continue
            path = fault["file"]
            text = text_of(path)
            if text.count(fault["old"]) != 1:
                print("%3d %s: the original is found %d times, not once" % (number, path, text.count(fault["old"])))
                counts["does not build"] += 1
                continue
            offset = text.index(fault["old"])
            line, _ = line_of(text, offset)
            if args.show:
                print("%3d %s:%d: %s  ->  %s" % (number, path, line, fault["old"].strip(), fault["new"].strip()))
                continue
            why = cannot_show(path, text, offset, fault["old"].strip(), fault["new"].strip())
            if why:
                report(number, "cannot show", path, line, fault["old"].strip(), fault["new"].strip(), why)
                continue
            scratch.measure_baseline(owners(path))
            verdict, by = run_fault(path, text, text.replace(fault["old"], fault["new"]), "%s:%d" % (path, line),
                                    fault["old"].strip(), fault["new"].strip())
            report(number, verdict, path, line, fault["old"].strip(), fault["new"].strip(), by)

    if not args.show:
        scratch.make()
    shown = counts["killed"] + counts["survived"]
    print("%s%d killed, %d survived, %d cannot show, %d did not build%s; killed of those that can show: %s" % (
        "seed %d: " % args.seed if args.random else "", counts["killed"], counts["survived"], counts["cannot show"],
        counts["does not build"], " (drawn again)" if args.random else "",
        "%.0f %%" % (100.0 * counts["killed"] / shown) if shown else "-"))
    if survivors:
        print("survived: " + ",".join(str(n) for n in survivors))
    if args.matrix:
        # A row that alone failed on a fault is that fault's only catch:
        # cut it and the fault survives. Rows absent here caught nothing
        # of this sample alone.
        alone = {}
        for rows in matrix_rows:
            for found in ({row for row in rows}, {row.split("(")[0] for row in rows}):
                if len(found) == 1:
                    key = next(iter(found))
                    alone[key] = alone.get(key, 0) + 1
        for row, count in sorted(alone.items(), key=lambda item: (-item[1], item[0])):
            print("only catch of %d: %s" % (count, row))
    return 0


if __name__ == "__main__":
    sys.exit(main())
