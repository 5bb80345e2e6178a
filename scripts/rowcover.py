#!/usr/bin/env python3
"""Which product lines and branches each test row reaches, and which rows reach nothing that
no other row reaches.

It builds the tree with gcov instrumentation (build-rowcover/build), then runs every row of
every test program on its own (`PROGRAM function:tag`, under dbus-run-session where CTest does),
each with a coverage folder of its own (GCOV_PREFIX), the programs the row starts included: a
small preloaded library makes KIVO's programs and simulators write their counts when they are
ended by SIGTERM or SIGINT, as the tests end them. Then it reads the counts with gcov and writes

- build-rowcover/rows.tsv: per row its time, the product units (lines, and branch outcomes of
  a line) it reaches, and how many of them no other row reaches;
- build-rowcover/report.md: the rows and test functions whose units all stay reached when
  they go, chosen greedily (the largest test function first, then single rows).

    scripts/rowcover.py                   # every test program (about 15 minutes here)
    scripts/rowcover.py tst_kivo_sticker  # these programs only (their rows judged among
                                          # themselves: a unit shared with another program
                                          # counts as unique here)
    scripts/rowcover.py --report-only     # read the counts of an earlier run again

A unit reached by other rows too is not proof that a row is redundant: a row that reaches the
same lines may check a value no other row checks (a table entry, a bound, a text). The report is
a list of places to look, and scripts/mutate.py is the judge; docs/TESTING.md has the figures.
"""

import argparse
import collections
import concurrent.futures as cf
import glob
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
import xml.etree.ElementTree as ET

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Ends KIVO's own programs through exit() on SIGTERM and SIGINT, so that gcov's exit handler
# writes their counts; other programs (dbus-daemon, Xvfb) keep their own handling.
SHIM = r"""
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
static void on_signal(int sig) { exit(128 + sig); }
__attribute__((constructor)) static void init(void)
{
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return;
    exe[n] = 0;
    if (strncmp(exe, BUILD_DIR "/", strlen(BUILD_DIR) + 1) != 0) return;
    signal(SIGTERM, on_signal);
    signal(SIGINT, on_signal);
}
"""

SETUP_FUNCTIONS = ("initTestCase", "cleanupTestCase", "init", "cleanup")


def sh(cmd, **kw):
    return subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True, **kw)


def build_tree(build):
    flags = "--coverage -O0"
    launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
    r = sh(["cmake", "-S", TOP, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Debug",
            f"-DCMAKE_CXX_FLAGS={flags}", f"-DCMAKE_C_FLAGS={flags}",
            "-DCMAKE_EXE_LINKER_FLAGS=--coverage", "-DCMAKE_SHARED_LINKER_FLAGS=--coverage",
            "-DCMAKE_MODULE_LINKER_FLAGS=--coverage"] + launcher)
    if r.returncode == 0:
        r = sh(["ninja", "-C", build])
    if r.returncode != 0:
        sys.exit(r.stdout[-4000:])


def rows_of(program, env):
    """`function` or `function:tag` for every row; read off -datatags, or off a whole run's XML
    where a _data() function needs initTestCase first (-datatags does not run it)."""
    out = sh([program, "-datatags"], env=env, timeout=120)
    lines = out.stdout.splitlines() if out.returncode == 0 else None
    if lines is None:
        with tempfile.NamedTemporaryFile(suffix=".xml") as xml:
            sh(["dbus-run-session", "--", program, "-o", xml.name + ",xml"], env=env, timeout=900)
            lines = []
            for function in ET.parse(xml.name).getroot().iter("TestFunction"):
                tags = []
                for tag in function.iter("DataTag"):
                    if tag.text and tag.text not in tags:
                        tags.append(tag.text)
                name = function.get("name")
                lines += [f"class {name} {t}" for t in tags] or [f"class {name}"]
    rows = []
    for line in lines:
        parts = line.split(" ", 2)
        if len(parts) >= 2 and parts[1] not in SETUP_FUNCTIONS:
            rows.append(parts[1] + (":" + parts[2] if len(parts) == 3 else ""))
    return rows


def run_rows(build, out, only, jobs):
    shim = os.path.join(out, "termdump.so")
    source = os.path.join(out, "termdump.c")
    with open(source, "w") as f:
        f.write(SHIM.replace("BUILD_DIR", json.dumps(os.path.realpath(build))))
    if sh(["cc", "-shared", "-fPIC", "-O2", "-o", shim, source]).returncode != 0:
        sys.exit("cannot build the SIGTERM shim")
    tests = json.loads(sh(["ctest", "--test-dir", build, "--show-only=json-v1"]).stdout)["tests"]
    strip = str(len(os.path.realpath(build).strip("/").split("/")))
    jobs_list = []
    for t in tests:
        if only and t["name"] not in only:
            continue
        env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
        for p in t.get("properties", []):
            if p["name"] == "ENVIRONMENT":
                env.update(kv.split("=", 1) for kv in p["value"] if "=" in kv)
        for row in rows_of(t["command"][-1], env):
            jobs_list.append((t["name"], t["command"], env, row))
    runs = os.path.join(out, "runs")
    shutil.rmtree(runs, ignore_errors=True)
    print(f"{len(jobs_list)} rows", flush=True)

    def one(item):
        i, (name, command, env, row) = item
        folder = os.path.join(runs, f"{i:04d}")
        env = dict(env, GCOV_PREFIX=folder, GCOV_PREFIX_STRIP=strip, LD_PRELOAD=shim,
                   XDG_RUNTIME_DIR=tempfile.mkdtemp())
        start = time.time()
        try:
            rc = sh(command + [row], env=env, timeout=600).returncode
        except subprocess.TimeoutExpired:
            rc = "timeout"
        shutil.rmtree(env["XDG_RUNTIME_DIR"], ignore_errors=True)
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "row.json"), "w") as f:
            json.dump({"test": name, "row": row, "rc": rc,
                       "seconds": round(time.time() - start, 1)}, f)
        return i, name, row, rc

    with cf.ThreadPoolExecutor(jobs) as pool:
        for i, name, row, rc in pool.map(one, enumerate(jobs_list)):
            if rc != 0:
                print(f"{name} {row}: exit {rc}", flush=True)


def units_of(build, folder):
    """The product lines and branch outcomes the row reached: "file:line" and "file:line#n"."""
    cache = os.path.join(folder, "units.json")
    if os.path.exists(cache):
        return set(json.load(open(cache)))
    counts = glob.glob(os.path.join(folder, "**", "*.gcda"), recursive=True)
    for gcda in counts:
        notes = os.path.join(build, os.path.relpath(gcda, folder))[:-5] + ".gcno"
        link = gcda[:-5] + ".gcno"
        if os.path.exists(notes) and not os.path.lexists(link):
            os.symlink(notes, link)
    units = set()
    top = os.path.realpath(TOP) + "/"
    for i in range(0, len(counts), 50):
        out = subprocess.run(["gcov", "--json-format", "--stdout", "--branch-probabilities"]
                             + counts[i:i + 50], cwd=folder, capture_output=True, text=True)
        for doc in out.stdout.splitlines():
            if not doc.startswith("{"):
                continue
            for f in json.loads(doc)["files"]:
                path = os.path.realpath(os.path.join(folder, f["file"]))
                rel = path[len(top):] if path.startswith(top) else None
                if not rel or rel.startswith(("tests/", "build")) or "_autogen/" in rel:
                    continue
                for line in f["lines"]:
                    if line["count"] > 0:
                        units.add(f'{rel}:{line["line_number"]}')
                        for n, branch in enumerate(line.get("branches", [])):
                            if branch["count"] > 0:
                                units.add(f'{rel}:{line["line_number"]}#{n}')
    json.dump(sorted(units), open(cache, "w"))
    return units


def function_sizes():
    """Non-blank, non-comment lines of each test function with its _data(), by (file, name)."""
    sizes = collections.Counter()
    files = sh(["git", "-C", TOP, "ls-files", "tests/*.cpp"]).stdout.split()
    head = re.compile(r"^[\w:<>,*& ]+?\s(?:\w+::)?(\w+)\(.*\)\s*(?:const)?\s*$")
    for rel in files:
        current = None
        for line in open(os.path.join(TOP, rel), encoding="utf-8"):
            m = head.match(line)
            if m:
                current = m.group(1).removesuffix("_data")
            elif current and line.strip() and not re.match(r"^\s*(//|/?\*)", line):
                sizes[(os.path.basename(rel)[:-4], current)] += 1
    return sizes


def report(build, out):
    folders = sorted(glob.glob(os.path.join(out, "runs", "[0-9]*")))
    rows = {}
    with cf.ThreadPoolExecutor(os.cpu_count() or 2) as pool:
        for folder, units in zip(folders, pool.map(lambda d: units_of(build, d), folders)):
            info = json.load(open(os.path.join(folder, "row.json")))
            rows[folder] = (info, units)
    reach = collections.Counter(u for _, units in rows.values() for u in units)
    with open(os.path.join(out, "rows.tsv"), "w") as tsv:
        tsv.write("test\trow\texit\tseconds\tunits\tunique units\tsome unique units\n")
        for info, units in rows.values():
            unique = sorted(u for u in units if reach[u] == 1)
            tsv.write(f'{info["test"]}\t{info["row"]}\t{info["rc"]}\t{info["seconds"]}\t'
                      f'{len(units)}\t{len(unique)}\t{" ".join(unique[:5])}\n')

    # Greedy: whole test functions first (largest first), then single rows of what is left,
    # each taken only while every unit it reaches stays reached by a row still kept.
    sizes = function_sizes()
    by_function = collections.defaultdict(list)
    for folder, (info, _) in rows.items():
        by_function[(info["test"], info["row"].split(":", 1)[0])].append(folder)
    left = collections.Counter(reach)
    gone_functions, gone_rows = [], []
    for key in sorted(by_function, key=lambda k: -sizes.get(k, 0)):
        c = collections.Counter(u for f in by_function[key] for u in rows[f][1])
        if all(left[u] > n for u, n in c.items()):
            left.subtract(c)
            gone_functions.append((key, sizes.get(key, 0), len(by_function[key])))
            for f in by_function[key]:
                del rows[f]
    for folder, (info, units) in sorted(rows.items()):
        if all(left[u] > 1 for u in units):
            left.subtract(units)
            gone_rows.append(f'{info["test"]} {info["row"]}')
    total = len(folders)
    unique_rows = sum(1 for line in open(os.path.join(out, "rows.tsv")) if
                      line.split("\t")[5] not in ("0", "unique units"))
    with open(os.path.join(out, "report.md"), "w") as f:
        f.write(f"{total} rows; {unique_rows} reach a unit no other row reaches.\n\n")
        f.write(f"Test functions whose units all stay reached without them, taken together "
                f"({sum(s for _, s, _ in gone_functions)} lines):\n\n")
        for (test, function), size, count in gone_functions:
            f.write(f"- {test} {function}: {count} rows, {size} lines\n")
        f.write(f"\nThen single rows ({len(gone_rows)}):\n\n")
        for row in gone_rows:
            f.write(f"- {row}\n")
    print("Rows:", os.path.join(out, "rows.tsv"), "\nReport:", os.path.join(out, "report.md"))


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("tests", nargs="*", help="CTest names (default: all)")
    ap.add_argument("--out", default=os.path.join(TOP, "build-rowcover"))
    ap.add_argument("--jobs", type=int, default=os.cpu_count() or 2)
    ap.add_argument("--report-only", action="store_true")
    args = ap.parse_args()
    build = os.path.join(args.out, "build")
    if not args.report_only:
        build_tree(build)
        run_rows(build, args.out, set(args.tests), args.jobs)
    report(build, args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
