#!/usr/bin/env python3
"""Mutation testing for KIVO's C++: how many small faults do the tests catch?

For each chosen source file it makes mutants (one small change each: a comparison turned, a
condition inverted, a constant moved by one, a call dropped), rebuilds only the test programs
that depend on that file, runs them, and writes a table: mutants, killed, survived, timed out,
stillborn (did not compile), and for each killed mutant the test programs that failed.

It never touches the work tree: the tracked and untracked (not ignored) files are copied to
BUILD/src once, mutated there one at a time, and built in BUILD/build with Ninja.

    scripts/mutate.py                       # the default set of files, every mutant
    scripts/mutate.py --max-per-file 40 engine/core/KIVO_Settings.cpp
    scripts/mutate.py --list                # only list the mutants, build nothing
    scripts/mutate.py engine/KIVO_Engine.cpp:6 platform/core/PlConfig.cpp:10   # per-file samples
    scripts/mutate.py --replay OLD/mutants.tsv  # the same mutants again, on the tree as it is now
    scripts/mutate.py --rows-from build-rowcover FILE  # only the rows that reach each line

The table goes to BUILD/mutants.md (and the raw rows to BUILD/mutants.tsv). A run over the
default set takes hours on a two-core machine; docs/TESTING.md has the figures.
"""

import argparse
import collections
import glob
import json
import tempfile
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# The code a fault would hurt most: the panic readers and texts, the settings and config
# store, the FTS wire and bitmaps, the sticker machine, the telephony client, the QCop channel
# and the panic tool's naming.
DEFAULT_FILES = [
    "uistyle/travik/KIVO_Panic_Util.cpp",
    "uistyle/travik/KIVO_PanicText.cpp",
    "engine/core/KIVO_Settings.cpp",
    "platform/core/PlConfig.cpp",
    "engine/core/KIVO_FtsWire.cpp",
    "engine/core/KIVO_StickerMachine.cpp",
    "platform/bus/TAPI_KIVO.cpp",
    "platform/bus/UTIL_TAPI_Device.cpp",
    "platform/bus/QCopChannel.cpp",
    "tools/panic/KIVO_PanicSource.cpp",
]

# The library (or program) each source is built into, for the score per library.
LIBRARIES = [
    ("platform/core/", "kivo_platform_core"),
    ("platform/bus/", "kivo_platform_bus"),
    ("engine/core/", "kivo_engine_core"),
    ("engine/popups/", "kivo_popups"),
    ("engine/", "kivo_engine"),
    ("uistyle/travik/KIVO_Panic", "kivo_panic"),
    ("uistyle/travik/", "kivo_travik"),
    ("tools/panic/", "kivo-panic"),
    ("adapters/modemmanager/", "kivo_mm"),
]


def library_of(rel):
    return next((lib for prefix, lib in LIBRARIES if rel.startswith(prefix)), os.path.dirname(rel))


# (name, pattern, replacement). Patterns match on a line whose strings, character literals
# and comments are blanked out, so nothing inside a text is mutated. The house style puts
# blanks around binary operators, which keeps templates and stream operators out.
OPERATORS = [
    ("== to !=", r" == ", " != "),
    ("!= to ==", r" != ", " == "),
    ("< to <=", r" < ", " <= "),
    ("<= to <", r" <= ", " < "),
    ("> to >=", r" > ", " >= "),
    (">= to >", r" >= ", " > "),
    ("&& to ||", r" && ", " || "),
    ("|| to &&", r" \|\| ", " && "),
    ("+ to -", r"(?<=[\w)\]]) \+ (?=[\w(])", " - "),
    ("- to +", r"(?<=[\w)\]]) - (?=[\w(])", " + "),
    ("| to &", r"(?<=[\w)]) \| (?=[\w(])", " & "),
    ("& to |", r"(?<=[\w)]) & (?=[\w(])", " | "),
    (">> to <<", r"(?<=[\w)]) >> (?=[\w(])", " << "),
    ("+= to -=", r" \+= ", " -= "),
    ("++ to --", r"\+\+", "--"),
    ("drop !", r"(?<=[(\s])!(?=[\w(])", ""),
    ("true to false", r"\btrue\b", "false"),
    ("false to true", r"\bfalse\b", "true"),
    ("constant + 1", r"(?<![\w.])(\d+)(?![\w.])", None),
    ("drop call", None, None),
]

# A statement that is only a call (or a member call), with no declaration or return before it.
CALL_LINE = re.compile(r"^(\s*)(?:[A-Za-z_][\w:]*(?:(?:\.|->)[A-Za-z_]\w*)*)\s*\(.*\);\s*$")
SKIP_LINE = re.compile(r"^\s*(return\b|case\b|default\b|Q_|static_assert\b|using\b|namespace\b)")


def blank_literals(line, in_block):
    """The line with string and char literals and comments replaced by blanks of equal length;
    also whether a block comment is still open at its end."""
    out = []
    i = 0
    n = len(line)
    while i < n:
        if in_block:
            end = line.find("*/", i)
            if end < 0:
                out.append(" " * (n - i))
                return "".join(out), True
            out.append(" " * (end + 2 - i))
            i = end + 2
            in_block = False
            continue
        c = line[i]
        if line.startswith("//", i):
            out.append(" " * (n - i))
            break
        if line.startswith("/*", i):
            in_block = True
            continue
        if c in "\"'":
            j = i + 1
            while j < n and line[j] != c:
                j += 2 if line[j] == "\\" else 1
            j = min(j + 1, n)
            out.append(c + " " * (j - i - 2) + c if j - i >= 2 else " " * (j - i))
            i = j
            continue
        out.append(c)
        i += 1
    return "".join(out), in_block


def make_mutants(path, text):
    lines = text.split("\n")
    mutants = []
    in_block = False
    for idx, line in enumerate(lines):
        masked, in_block = blank_literals(line, in_block)
        if masked.lstrip().startswith("#") or not masked.strip():
            continue
        for name, pattern, repl in OPERATORS:
            if name == "drop call":
                if CALL_LINE.match(masked) and not SKIP_LINE.match(masked):
                    mutants.append((idx, name, re.match(r"^\s*", line).group(0) + ";"))
                continue
            for m in re.finditer(pattern, masked):
                if name == "constant + 1":
                    # Array sizes and bit positions move too; a mutant that no longer builds
                    # is counted as stillborn, not as a survivor.
                    new = str(int(m.group(1)) + 1)
                else:
                    new = repl
                mutated = line[: m.start()] + new + line[m.end():]
                if mutated != line:
                    mutants.append((idx, name, mutated))
    return [
        {"file": path, "line": idx + 1, "op": name, "old": lines[idx].strip(),
         "new": new_line.strip(), "text": "\n".join(lines[:idx] + [new_line] + lines[idx + 1:])}
        for idx, name, new_line in mutants
    ]


def replay(tsv, killed_only=False):
    """The mutants of an earlier run, looked up in today's sources by operator, original and
    mutated line (the nearest one to the old line number), so that a run after a change of the
    tests measures the same faults. A mutant whose line no longer exists is returned as gone."""
    rows = [r.rstrip("\n").split("\t") for r in open(tsv, encoding="utf-8")][1:]
    files, found, gone, cache = [], [], [], {}
    for rel, line, op, new, old, status, *_ in rows:
        if killed_only and status not in ("killed", "timeout"):
            continue
        if rel not in cache:
            path = os.path.join(TOP, rel)
            text = open(path, encoding="utf-8").read() if os.path.exists(path) else ""
            cache[rel] = make_mutants(rel, text)
            files.append(rel)
        same = [m for m in cache[rel] if m["op"] == op and m["old"] == old and m["new"] == new]
        if same:
            found.append(min(same, key=lambda m: abs(m["line"] - int(line))))
        else:
            gone.append({"file": rel, "line": line, "op": op, "new": new})
    return files, found, gone


def run(cmd, timeout=None, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                          timeout=timeout, **kw)


def copy_tree(dest):
    files = run(["git", "-C", TOP, "ls-files", "-z", "--cached", "--others",
                 "--exclude-standard"]).stdout.split("\0")
    for rel in files:
        if not rel or rel.startswith("build"):
            continue
        src = os.path.join(TOP, rel)
        dst = os.path.join(dest, rel)
        if not os.path.isfile(src) or os.path.islink(src):
            continue
        os.makedirs(os.path.dirname(dst), exist_ok=True)
        if not os.path.exists(dst) or open(src, "rb").read() != open(dst, "rb").read():
            shutil.copy2(src, dst)


def tests_of(build):
    """Each CTest test with the build target of its program."""
    data = json.loads(run(["ctest", "--test-dir", build, "--show-only=json-v1"]).stdout)
    tests = {}
    for t in data.get("tests", []):
        tests[t["name"]] = t["name"]
    return tests


def targets_depending_on(build, source, tests):
    """The tests whose program, or a program it starts, is rebuilt when source changes: Ninja
    lists every input of a target, order-only ones (the tools a test runs) included."""
    hit = []
    for name, target in tests.items():
        out = run(["ninja", "-C", build, "-t", "inputs", target]).stdout
        if any(line.endswith(source) for line in out.split("\n")):
            hit.append(name)
    return hit


# "FAIL!  : Class::function(tag) message": the message starts with a capital or a quote.
# KIVO's traces end without a newline, so on a merged output a FAIL line may follow one.
FAIL_LINE = re.compile(r"FAIL!  : \w+::(\w+\(.*?\)) (?=[A-Z'\"])")


def failing_rows(build, junit):
    """The rows that failed in the last ctest run, as "program function(tag)"."""
    rows = []
    if not os.path.exists(junit):
        return rows
    for case in ET.parse(junit).getroot().iter("testcase"):
        output = "".join(e.text or "" for e in case.iter("system-out"))
        rows += [f'{case.get("name")} {m}' for m in FAIL_LINE.findall(output)]
    return rows


def restore_on_signal(src, original):
    """Puts the mutated files back on SIGINT and SIGTERM; returns the function that does it."""
    def restore(*signum):
        for rel, text in original.items():
            with open(os.path.join(src, rel), "w", encoding="utf-8") as f:
                f.write(text)
        if signum:
            sys.exit(130)
    signal.signal(signal.SIGINT, restore)
    signal.signal(signal.SIGTERM, restore)
    return restore


def open_tsv(path):
    tsv = open(path, "w", encoding="utf-8")
    tsv.write("file\tline\toperator\tmutated line\toriginal line\tstatus\tkilled by\t"
              "failing rows\n")
    return tsv


def record(tsv, results, m, status, killers, failed, shown):
    """One mutant's outcome: kept for the table, written to the TSV at once, printed."""
    results.append(dict(m, status=status, killers=killers, rows_failed=failed))
    tsv.write(f'{m["file"]}\t{m["line"]}\t{m["op"]}\t{m["new"]}\t{m["old"]}\t{status}\t'
              f'{",".join(killers)}\t{" | ".join(failed)}\n')
    tsv.flush()
    print(f'{shown} {m["file"]}:{m["line"]} {m["op"]}: {status} '
          f'{" | ".join(failed) or ",".join(killers)}', flush=True)


def test_mutant(src, original, m, build, targets, run_tests):
    """Writes the mutant into the copy, rebuilds `targets`, calls run_tests() for the programs
    that failed, those that timed out and the failing rows, and puts the file back. Returns the
    status, the killing programs and the failing rows."""
    path = os.path.join(src, m["file"])
    original.setdefault(m["file"], open(path, encoding="utf-8").read())
    with open(path, "w", encoding="utf-8") as f:
        f.write(m["text"])
    try:
        if run(["ninja", "-C", build] + sorted(targets), timeout=900).returncode != 0:
            return "stillborn", [], []
        killers, timeouts, failed = run_tests()
        if killers:
            return "killed", killers, failed
        if timeouts:
            return "timeout", timeouts, failed
        return "survived", [], failed
    except subprocess.TimeoutExpired:
        return "timeout", [], []
    finally:
        with open(path, "w", encoding="utf-8") as f:
            f.write(original[m["file"]])


def rows_reaching(rows_dir):
    """"file:line" -> {test: [row, ...]}: the rows that reached each product line in a
    scripts/rowcover.py run of the same tree (its runs/*/row.json and units.json)."""
    reach = collections.defaultdict(lambda: collections.defaultdict(list))
    for folder in glob.glob(os.path.join(rows_dir, "runs", "[0-9]*")):
        units = os.path.join(folder, "units.json")
        if not os.path.exists(units):
            continue
        info = json.load(open(os.path.join(folder, "row.json"), encoding="utf-8"))
        for unit in json.load(open(units, encoding="utf-8")):
            if "#" not in unit:
                reach[unit][info["test"]].append(info["row"])
    return reach


def test_commands(build):
    """Each CTest test's command line and environment."""
    data = json.loads(run(["ctest", "--test-dir", build, "--show-only=json-v1"]).stdout)
    commands = {}
    for t in data.get("tests", []):
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for p in t.get("properties", []):
            if p["name"] == "ENVIRONMENT":
                env.update(kv.split("=", 1) for kv in p["value"] if "=" in kv)
        commands[t["name"]] = (t["command"], env)
    return commands


def run_rows(commands, rows_by_test, timeout):
    """Runs each test program with only the given rows (`function:tag` arguments; none: the
    whole program). Returns the failing rows as "program function(tag)", a program that died
    without naming a row as "program (crashed)", and the programs that ran out of time. Each
    program runs in a process group of its own, ended whole afterwards: a mutant can break the
    clean-up of a row, and what the row started must not outlive it."""
    failed, timeouts = [], []
    for test, rows in sorted(rows_by_test.items()):
        command, env = commands[test]
        env = dict(env, XDG_RUNTIME_DIR=tempfile.mkdtemp())
        # QtTest logs to stdout, KIVO traces to stderr: only the log is read.
        p = subprocess.Popen(command + sorted(set(rows)), stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True, errors="replace", env=env,
                             start_new_session=True)
        try:
            out, _ = p.communicate(timeout=timeout * (1 if rows else 3))
            named = [f"{test} {m}" for m in FAIL_LINE.findall(out)]
            failed += named or ([f"{test} (crashed)"] if p.returncode != 0 else [])
        except subprocess.TimeoutExpired:
            timeouts.append(test)
        finally:
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            p.wait()
        shutil.rmtree(env["XDG_RUNTIME_DIR"], ignore_errors=True)
    return failed, timeouts


def run_reaching_rows(src, build, all_mutants, rows_dir, timeout_factor, tsv_path):
    """The mutants, each tested by the rows that reach its line only, all of them run: a mutant
    on a line no row reaches survives unbuilt. Much faster than whole programs, and it names
    every failing row. The rows must come from a scripts/rowcover.py run of this very tree."""
    reach = rows_reaching(rows_dir)
    commands = test_commands(build)
    # The unmutated tree first: a row that fails there (or is gone since) is left out, and the
    # slowest program's time sets the time limit.
    wanted = collections.defaultdict(set)
    for m in all_mutants:
        for test, rows in reach.get(f'{m["file"]}:{m["line"]}', {}).items():
            if test in commands:
                wanted[test].update(rows)
    for test in list(wanted):
        run(["ninja", "-C", build, test])
        # Only the functions the program still has (a rowcover run may be older).
        listed = run([commands[test][0][-1], "-functions"], env=commands[test][1]).stdout
        functions = {line.strip().removesuffix("()") for line in listed.splitlines()}
        wanted[test] = {r for r in wanted[test] if r.split(":", 1)[0] in functions}
        tags = run([commands[test][0][-1], "-datatags"], env=commands[test][1])
        if tags.returncode == 0:
            present = {":".join(line.split(" ", 2)[1:]) for line in tags.stdout.splitlines()}
            wanted[test] &= present
    took = {}
    broken = set()
    for test in wanted:
        start = time.time()
        broken.update(run_rows(commands, {test: wanted[test]}, 900)[0])
        took[test] = time.time() - start
    for line in sorted(broken):
        print(f"left out, fails unmutated: {line}", flush=True)
    results = []
    original = {}
    whole = {}
    restore_on_signal(src, original)
    tsv = open_tsv(tsv_path)
    for i, m in enumerate(all_mutants, 1):
        rel = m["file"]
        rows_by_test = {}
        for test, rows in reach.get(f'{rel}:{m["line"]}', {}).items():
            if test not in wanted or f"{test} (crashed)" in broken:
                continue
            kept = [r for r in rows if r in wanted[test] and not any(
                b.startswith(f"{test} {r.split(':', 1)[0]}(") for b in broken)]
            if kept:
                rows_by_test[test] = kept
        status, killers, failed = "survived", [], []
        if not rows_by_test:
            # gcov counts no line of a table's initialiser, and a row may reach a line only
            # through a program it starts that was killed: every program that depends on the
            # file runs whole instead.
            if rel not in whole:
                whole[rel] = targets_depending_on(build, rel, {t: t for t in commands})
            rows_by_test = {test: [] for test in whole[rel]}
        if not rows_by_test:
            failed = ["(no test depends on it)"]
        else:
            # The time limit: the slowest of these programs unmutated, with all its rows, times
            # the factor.
            slowest = max([took.get(t, 60.0) for t in rows_by_test] + [10.0])

            def run_tests():
                failed, timeouts = run_rows(commands, rows_by_test, int(slowest * timeout_factor))
                return sorted({f.split(" ", 1)[0] for f in failed}), timeouts, failed
            status, killers, failed = test_mutant(src, original, m, build, rows_by_test,
                                                  run_tests)
        record(tsv, results, m, status, killers, failed, f"[{i}/{len(all_mutants)}]")
    tsv.close()
    run(["ninja", "-C", build])
    return results


def ctest(build, names, timeout, junit, first_kill=False):
    if os.path.exists(junit):
        os.remove(junit)
    regex = "^(" + "|".join(re.escape(n) for n in names) + ")$"
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    try:
        run(["ctest", "--test-dir", build, "-R", regex, "-j2", "--timeout", str(timeout),
             "--output-junit", junit] + (["--stop-on-failure"] if first_kill else []),
            env=env, timeout=timeout * len(names) + 120)
    except subprocess.TimeoutExpired:
        return {n: "timeout" for n in names}
    result = {}
    if not os.path.exists(junit):
        return {n: "failed" for n in names}
    for case in ET.parse(junit).getroot().iter("testcase"):
        status = case.get("status", "")
        if case.find("failure") is not None or status == "fail":
            text = "".join(case.itertext())
            result[case.get("name")] = "timeout" if "Timeout" in text else "failed"
        elif status in ("run", "") and case.find("skipped") is None:
            result[case.get("name")] = "passed"
        else:
            result[case.get("name")] = status
    return result


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("files", nargs="*", help="sources, relative to the top (default: the set)")
    ap.add_argument("--build", default=os.path.join(TOP, "build-mutate"))
    ap.add_argument("--max-per-file", type=int, default=0, help="sample this many (0: all)")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--timeout-factor", type=float, default=3.0)
    ap.add_argument("--list", action="store_true", help="list the mutants and stop")
    ap.add_argument("--first-kill", action="store_true",
                    help="stop a mutant's tests at the first failure (faster; names one killer)")
    ap.add_argument("--replay", metavar="TSV",
                    help="run the mutants of an earlier mutants.tsv again, found by their text")
    ap.add_argument("--rows-from", metavar="DIR",
                    help="a scripts/rowcover.py output folder of this tree: run only the rows "
                         "that reach each mutant's line, every one of them")
    ap.add_argument("--killed-only", action="store_true",
                    help="with --replay: only the mutants that the earlier run killed")
    args = ap.parse_args()

    all_mutants = []
    gone = []
    if args.replay:
        files, all_mutants, gone = replay(args.replay, args.killed_only)
    else:
        rng = random.Random(args.seed)
        files = []
        for chosen in args.files or DEFAULT_FILES:
            rel, _, count = chosen.partition(":")
            count = int(count) if count else args.max_per_file
            files.append(rel)
            text = open(os.path.join(TOP, rel), encoding="utf-8").read()
            mutants = make_mutants(rel, text)
            if count and len(mutants) > count:
                mutants = sorted(rng.sample(mutants, count), key=lambda m: (m["line"], m["op"]))
            all_mutants += mutants
    for g in gone:
        print(f'gone: {g["file"]}:{g["line"]} {g["op"]}: {g["new"]}', flush=True)
    if args.list:
        for m in all_mutants:
            print(f'{m["file"]}:{m["line"]}\t{m["op"]}\t{m["new"]}')
        print(f"{len(all_mutants)} mutants")
        return 0

    src = os.path.join(args.build, "src")
    build = os.path.join(args.build, "build")
    os.makedirs(src, exist_ok=True)
    copy_tree(src)
    launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
    print("Configuring and building the unmutated tree in", build, flush=True)
    r = run(["cmake", "-S", src, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=RelWithDebInfo"]
            + launcher)
    r = r.returncode == 0 and run(["ninja", "-C", build])
    if not r or r.returncode != 0:
        print(r.stdout if r else "cmake failed", file=sys.stderr)
        return 1

    if args.rows_from:
        rows = run_reaching_rows(src, build, all_mutants, args.rows_from, args.timeout_factor,
                                 os.path.join(args.build, "mutants.tsv"))
        write_table(args.build, files, rows, gone)
        return 0

    tests = tests_of(build)
    junit = os.path.join(args.build, "junit.xml")
    affected = {}
    baseline = {}
    for rel in files:
        affected[rel] = targets_depending_on(build, rel, tests)
        if not affected[rel]:
            print(f"{rel}: no test depends on it", flush=True)
    # One run of every test any file needs, unmutated: it must pass, and the slowest test's
    # time sets the timeout of the mutants' runs.
    needed = sorted({n for names in affected.values() for n in names})
    if needed:
        start = time.time()
        res = ctest(build, needed, 600, junit)
        bad = [n for n in needed if res.get(n) != "passed"]
        if bad:
            print(f"the unmutated tree fails {bad}; fix that first", file=sys.stderr)
            return 1
        slowest = max(float(c.get("time", 0)) for c in ET.parse(junit).getroot().iter("testcase"))
        print(f"unmutated: {len(needed)} test programs pass in {time.time() - start:.0f} s, "
              f"the slowest {slowest:.0f} s", flush=True)
        for rel in files:
            baseline[rel] = slowest

    rows = []
    original = {}

    restore_on_signal(src, original)
    tsv = open_tsv(os.path.join(args.build, "mutants.tsv"))
    for i, m in enumerate(all_mutants, 1):
        rel = m["file"]
        names = affected.get(rel, [])
        status, killers, rows_failed = "survived", [], []
        if names:
            timeout = max(30, int(baseline[rel] * args.timeout_factor))

            def run_tests():
                res = ctest(build, names, timeout, junit, args.first_kill)
                return (sorted(n for n, s in res.items() if s == "failed"),
                        sorted(n for n, s in res.items() if s == "timeout"),
                        failing_rows(build, junit))
            status, killers, rows_failed = test_mutant(src, original, m, build, names, run_tests)
        record(tsv, rows, m, status, killers, rows_failed, f"[{i}/{len(all_mutants)}]")
    tsv.close()
    # The build dir ends as the unmutated tree again.
    run(["ninja", "-C", build])

    write_table(args.build, files, rows, gone)
    return 0


def write_table(build_dir, files, rows, gone):
    out = os.path.join(build_dir, "mutants.md")

    def counts(rs):
        c = {s: sum(1 for r in rs if r["status"] == s)
             for s in ("killed", "survived", "timeout", "stillborn")}
        live = c["killed"] + c["survived"] + c["timeout"]
        score = f'{100.0 * (c["killed"] + c["timeout"]) / live:.0f} %' if live else "-"
        return (f'{len(rs)} | {c["killed"]} | {c["survived"]} | {c["timeout"]} '
                f'| {c["stillborn"]} | {score} |')

    with open(out, "w", encoding="utf-8") as f:
        f.write("| library | mutants | killed | survived | timed out | stillborn | score |\n")
        f.write("| --- | ---: | ---: | ---: | ---: | ---: | ---: |\n")
        libs = []
        for rel in files:
            if library_of(rel) not in libs:
                libs.append(library_of(rel))
        for lib in libs + ["all"]:
            rs = [r for r in rows if lib == "all" or library_of(r["file"]) == lib]
            f.write(f"| {lib} | {counts(rs)}\n")
        f.write("\n| file | mutants | killed | survived | timed out | stillborn | score |\n")
        f.write("| --- | ---: | ---: | ---: | ---: | ---: | ---: |\n")
        for rel in files:
            f.write(f'| {rel} | {counts([r for r in rows if r["file"] == rel])}\n')
        if gone:
            f.write(f"\n{len(gone)} mutants of the earlier run have no line left to mutate:\n\n")
            for g in gone:
                f.write(f'- {g["file"]}:{g["line"]} {g["op"]}: `{g["new"]}`\n')
        f.write("\n| file:line | operator | mutated line | status | killed by | failing rows |\n")
        f.write("| --- | --- | --- | --- | --- | --- |\n")
        for r in rows:
            if r["status"] == "stillborn":
                continue
            new = r["new"].replace("|", "\\|")
            op = r["op"].replace("|", "\\|")
            f.write(f'| {r["file"]}:{r["line"]} | {op} | `{new}` | {r["status"]} '
                    f'| {", ".join(r["killers"])} | {"; ".join(r["rows_failed"])} |\n')
    print("Table:", out)


if __name__ == "__main__":
    sys.exit(main())
