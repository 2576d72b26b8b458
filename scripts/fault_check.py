#!/usr/bin/env python3
"""Seed the faults of tests/faults.txt one at a time and tell which tests catch each.

Run through scripts/fault_check.sh, which documents the options. The faults are made in a
scratch copy of the project (build-faults/tree, with its own build in build-faults/build, kept
between runs so that each fault costs an incremental rebuild); the project itself is never
changed.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import time
from dataclasses import dataclass, field
from pathlib import Path

PROJECT = Path(__file__).resolve().parent.parent
FAULTS_FILE = PROJECT / "tests" / "faults.txt"

# The suites a fault can be caught by, cheapest first for each kind of fault.
SUITES_FOR = {"sql": ["database", "integration"], "cpp": ["unit", "integration"]}
SUITE_TIMEOUT = {"unit": 600, "integration": 1500, "database": 600}


@dataclass
class Fault:
    id: str
    what: str
    file: str = ""
    quick: bool = False
    old: list = field(default_factory=list)
    new: list = field(default_factory=list)

    @property
    def kind(self):
        return "sql" if self.file.endswith(".sql") else "cpp"


@dataclass
class Outcome:
    result: str  # caught, missed, does not apply, does not build
    suite: str = ""
    tests: list = field(default_factory=list)
    detail: str = ""


def read_faults(path):
    faults = []
    for number, raw in enumerate(path.read_text().splitlines(), 1):
        line = raw.rstrip("\n")
        if not line.strip() or line.startswith("#"):
            continue
        header = re.fullmatch(r"\[([a-z0-9-]+)\] (.+)", line)
        if header:
            faults.append(Fault(header.group(1), header.group(2)))
            continue
        if not faults:
            sys.exit(f"{path}:{number}: a fault starts with its [id] line")
        fault = faults[-1]
        if line.startswith("file: "):
            fault.file = line[6:].strip()
        elif line.strip() == "quick":
            fault.quick = True
        elif line.startswith("- ") or line == "-":
            fault.old.append(line[2:])
        elif line.startswith("+ ") or line == "+":
            fault.new.append(line[2:])
        else:
            sys.exit(f"{path}:{number}: not a fault line: {line}")
    ids = [f.id for f in faults]
    for f in faults:
        if not f.file or not f.old:
            sys.exit(f"{path}: fault {f.id} needs a file and the lines it changes")
        if ids.count(f.id) > 1:
            sys.exit(f"{path}: fault {f.id} is listed twice")
    return faults


def say(text=""):
    print(text, flush=True)


def run(cmd, cwd, env=None, timeout=None, log=None):
    """Run a command; its output goes to log (a path) or is returned. Returns (status, output)."""
    try:
        done = subprocess.run(cmd, cwd=cwd, env=env, timeout=timeout, text=True,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, errors="replace")
        status, output = done.returncode, done.stdout
    except subprocess.TimeoutExpired as e:
        out = e.stdout or ""
        status, output = "timeout", out.decode(errors="replace") if isinstance(out, bytes) else out
    if log:
        Path(log).write_text(output)
    return status, output


class Scratch:
    """The scratch copy of the project, its build and the database it loads."""

    def __init__(self, source, base, jobs):
        self.source = source
        self.base = base
        self.tree = base / "tree"
        self.build = base / "build"
        self.logs = base / "logs"
        self.jobs = jobs
        self.env = dict(os.environ)
        # A cluster of its own unless the caller names one (scripts/test.sh lends its own).
        self.own_cluster = "TALWEN_DB_DIR" not in os.environ
        self.env.setdefault("TALWEN_DB_DIR", str(base / "db"))
        # A borrowed cluster runs on its lender's port.
        lent = None if self.own_cluster else os.environ.get("TALWEN_PGPORT")
        self.env["TALWEN_PGPORT"] = (os.environ.get("TALWEN_FAULT_PGPORT") or lent or
                                     os.environ.get("TALWEN_TEST_PGPORT") or "55433")
        self.env["TALWEN_PG_RESTART"] = f"{self.tree / 'scripts/db.sh'} restart"
        self.db_env = None
        # The integration tests leave their work in the reference database; the database
        # tests roll theirs back.
        self.dirty = True

    def sync(self):
        """Make the tree the project's tracked (and new, not ignored) files, byte for byte. Only
        files that differ are written, so the build redoes only what changed."""
        listing = subprocess.run(
            ["git", "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
            cwd=self.source, check=True, stdout=subprocess.PIPE).stdout.decode()
        wanted = {name for name in listing.split("\0") if name and (self.source / name).is_file()}
        self.tree.mkdir(parents=True, exist_ok=True)
        for name in wanted:
            src, dst = self.source / name, self.tree / name
            data = src.read_bytes()
            if dst.is_file() and not dst.is_symlink() and dst.read_bytes() == data:
                continue
            dst.parent.mkdir(parents=True, exist_ok=True)
            if dst.is_symlink() or dst.exists():
                dst.unlink()
            dst.write_bytes(data)
            shutil.copymode(src, dst)
        for path in sorted(self.tree.rglob("*"), reverse=True):
            rel = path.relative_to(self.tree).as_posix()
            if path.is_file() and rel not in wanted:
                path.unlink()
            elif path.is_dir() and not any(path.iterdir()):
                path.rmdir()

    def configure(self):
        if (self.build / "CMakeCache.txt").exists():
            return
        generator = ["-G", "Ninja"] if shutil.which("ninja") else []
        # Optimised a little, without debug information: quick to rebuild, quick to run.
        status, output = run(["cmake", "-S", str(self.tree), "-B", str(self.build), *generator,
                              "-DCMAKE_BUILD_TYPE=Debug", "-DCMAKE_CXX_FLAGS_DEBUG=-O1",
                              "-DTALWEN_BENCH=OFF"], cwd=self.tree)
        if status != 0:
            sys.exit("fault_check: cmake failed:\n" + output)

    def compile(self, suites=("unit", "integration")):
        """Build the program and the test programs of the suites; (ok, the first error)."""
        targets = ["talwen"] + [f"{s}_tests" for s in suites if s in ("unit", "integration")]
        status, output = run(["cmake", "--build", str(self.build), "-j", str(self.jobs),
                              "--target", *targets], cwd=self.tree, log=self.logs / "build.log")
        if status == 0:
            return True, ""
        errors = [l for l in output.splitlines() if "error:" in l or "FAILED:" in l]
        return False, (errors[0] if errors else output.strip().splitlines()[-1:] or [""])[0][:200]

    def database(self, command):
        return run([str(self.tree / "scripts/db.sh"), command], cwd=self.tree, env=self.env,
                   timeout=SUITE_TIMEOUT["database"], log=self.logs / f"db-{command}.log")

    def reset_database(self):
        """Reload the reference database from the tree's SQL; (ok, the first error)."""
        status, output = self.database("reset")
        self.dirty = status != 0
        if status != 0:
            errors = [l for l in output.splitlines() if "ERROR" in l]
            return False, (errors[0] if errors else output.strip()[-200:])
        if self.db_env is None:
            status, output = run([str(self.tree / "scripts/db.sh"), "env"], cwd=self.tree,
                                 env=self.env)
            self.db_env = dict(self.env)
            for name, value in re.findall(r"export (\w+)=(\S*)", output):
                self.db_env[name] = value.strip("'")
        return True, ""

    def run_sql(self, file):
        """Run one SQL file of the tree in the reference database; (ok, the first error)."""
        status, output = run([str(self.tree / "scripts/db.sh"), "psql", "-q", "-v", "ON_ERROR_STOP=1",
                              "-1", "-f", str(self.tree / file)], cwd=self.tree, env=self.env,
                             timeout=SUITE_TIMEOUT["database"], log=self.logs / "db-sql.log")
        if status == 0:
            return True, ""
        errors = [l for l in output.splitlines() if "ERROR" in l]
        return False, (errors[0] if errors else output.strip()[-200:])

    def run_suite(self, suite, log_name):
        """Run one suite; the names of the tests that failed ([] when all passed)."""
        log = self.logs / f"{log_name}-{suite}.log"
        if suite == "database":
            status, output = self.database("test")
            log.write_text(output)
            if status == 0:
                return []
            failed = []
            lines = output.splitlines()
            for i, line in enumerate(lines):
                if line.startswith("FAIL "):
                    reason = next((l.strip() for l in lines[i + 1:i + 6] if "ERROR" in l), "")
                    reason = re.sub(r"^psql:\S+ ERROR:\s*", "", reason)
                    failed.append(f"{line[5:]} ({reason[:120]})" if reason else line[5:])
            return failed or [f"db.sh test ({status})"]
        self.dirty |= suite == "integration"
        binary = self.build / "tests" / ("unit_tests" if suite == "unit" else "integration_tests")
        env = self.db_env or self.env
        status, output = run([str(binary), "--gtest_color=no"], cwd=self.tree, env=env,
                             timeout=SUITE_TIMEOUT[suite], log=log)
        if status == 0:
            return []
        failed = []
        for name in re.findall(r"^\[  FAILED  \] ([A-Za-z_][\w/.]*)", output, re.M):
            if name not in failed:
                failed.append(name)
        if not failed:
            running = re.findall(r"^\[ RUN      \] ([\w/.]+)", output, re.M)
            where = running[-1] if running else suite
            failed = [f"{where} ({'timed out' if status == 'timeout' else 'crashed'})"]
        return failed


def apply_fault(tree, fault):
    """Make the fault in the tree; the file's text before it, or None when it does not apply."""
    path = tree / fault.file
    if not path.is_file():
        return None
    text = path.read_text()
    old = "\n".join(fault.old) + "\n"
    new = "".join(line + "\n" for line in fault.new)
    if text.count(old) != 1:
        return None
    path.write_text(text.replace(old, new))
    return text


def restore(tree, fault, text):
    path = tree / fault.file
    path.write_text(text)
    # Newer than anything built from the faulty text, whatever the clock's resolution.
    now = time.time()
    os.utime(path, (now + 1, now + 1))


def check_fault(scratch, fault, suites_run):
    original = apply_fault(scratch.tree, fault)
    if original is None:
        return Outcome("does not apply", detail=f"its text is not (exactly once) in {fault.file}")
    applied = reloaded = False  # the faulty file in the database; the database reloaded with it
    try:
        for suite in SUITES_FOR[fault.kind]:
            if suite not in suites_run:
                continue
            if fault.kind == "cpp":
                # Only what this suite runs: a fault the unit tests catch costs one link.
                ok, error = scratch.compile([suite])
                if not ok:
                    return Outcome("does not build", detail=error)
            if suite == "database" and not scratch.dirty:
                # The procedures' files can be run again: the faulty one replaces its routines.
                ok, error = scratch.run_sql(fault.file)
                if not ok:
                    return Outcome("does not load", detail=error)
                applied = True
            elif suite != "unit" and not reloaded:
                # A whole reload: the database holds what integration tests left, or they run
                # now, in copies of the loaded database.
                ok, error = scratch.reset_database()
                reloaded = fault.kind == "sql"
                if not ok:
                    return Outcome("does not load" if fault.kind == "sql" else
                                   "database reset failed", detail=error)
            failed = scratch.run_suite(suite, fault.id)
            if failed:
                return Outcome("caught", suite, failed)
        return Outcome("missed")
    finally:
        restore(scratch.tree, fault, original)
        if reloaded:
            scratch.reset_database()
        elif applied:
            scratch.run_sql(fault.file)


def write_results(path, faults, outcomes):
    lines = ["# fault\tresult\tsuite\ttests"]
    for f in faults:
        o = outcomes[f.id]
        lines.append("\t".join([f.id, o.result, o.suite, "; ".join(o.tests) or o.detail]))
    Path(path).write_text("\n".join(lines) + "\n")


def read_results(path):
    caught = set()
    for line in Path(path).read_text().splitlines():
        parts = line.split("\t")
        if len(parts) >= 2 and not line.startswith("#") and parts[1] == "caught":
            caught.add(parts[0])
    return caught


def check_all(args, faults, scratch):
    suites_run = set(args.suites.split(","))
    started = time.monotonic()
    say(f"== fault check: {len(faults)} faults, scratch copy in {scratch.base}")
    scratch.sync()
    scratch.logs.mkdir(parents=True, exist_ok=True)
    needed = {s for f in faults for s in SUITES_FOR[f.kind]} & suites_run

    # The tests must pass before any fault is seeded, or every fault would look caught.
    # Faults in the procedures checked by the database tests alone need no build.
    builds = bool(needed & {"unit", "integration"})
    if builds:
        scratch.configure()
        ok, error = scratch.compile()
        if not ok:
            sys.exit(f"fault_check: the scratch copy does not build: {error} "
                     f"(see {scratch.logs / 'build.log'})")
    ok, error = scratch.reset_database()
    if not ok:
        sys.exit(f"fault_check: the reference database does not load: {error}")
    for suite in ["database", "unit", "integration"]:
        if suite in needed:
            failed = scratch.run_suite(suite, "baseline")
            if failed:
                sys.exit(f"fault_check: without any fault, the {suite} suite fails: "
                         + "; ".join(failed) + f" (see {scratch.logs}/baseline-{suite}.log)")
    say(f"   the tests pass without faults ({time.monotonic() - started:.0f} s)")

    outcomes = {}
    for f in faults:
        t0 = time.monotonic()
        o = check_fault(scratch, f, suites_run)
        outcomes[f.id] = o
        by = f"{o.suite}: " + "; ".join(o.tests[:3]) + (" ..." if len(o.tests) > 3 else "")
        say(f"{o.result.upper():15} {f.id} ({time.monotonic() - t0:.0f} s)\n"
            f"                {f.what}\n"
            f"                {by if o.result == 'caught' else o.detail}")

    # Leave the scratch build and a borrowed database as the project has them.
    if builds:
        scratch.compile()
    if not scratch.own_cluster:
        scratch.reset_database()

    counts = {}
    for o in outcomes.values():
        counts[o.result] = counts.get(o.result, 0) + 1
    say(f"== {len(faults)} faults: " + ", ".join(f"{n} {r}" for r, n in sorted(counts.items()))
        + f" ({time.monotonic() - started:.0f} s)")
    if args.out:
        write_results(args.out, faults, outcomes)
    status = 0
    broken = [f.id for f in faults if outcomes[f.id].result not in ("caught", "missed")]
    if broken:
        say("   faults to update (they no longer apply or build): " + ", ".join(broken))
        status = 1
    if args.quick:
        missed = [f.id for f in faults if outcomes[f.id].result == "missed"]
        if missed:
            say("   quick faults the tests no longer catch: " + ", ".join(missed))
            status = 1
    if args.compare:
        before = read_results(args.compare)
        lost = sorted(i for i in before if i in outcomes and outcomes[i].result != "caught")
        if lost:
            say(f"   caught in {args.compare} but not now: " + ", ".join(lost))
            status = 1
        else:
            say(f"   every fault caught in {args.compare} is still caught")
    return status


def main():
    parser = argparse.ArgumentParser(prog="scripts/fault_check.sh", add_help=False)
    parser.add_argument("--quick", action="store_true")
    parser.add_argument("--only", default="")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("--source", default=str(PROJECT))
    parser.add_argument("--out", default="")
    parser.add_argument("--compare", default="")
    parser.add_argument("--suites", default="unit,integration,database")
    args = parser.parse_args()

    # Builds and tests of faulty copies give way to everything else on the machine.
    os.nice(int(os.environ.get("TALWEN_FAULT_NICE", "10")))
    faults = read_faults(FAULTS_FILE)
    if args.quick:
        faults = [f for f in faults if f.quick]
    if args.only:
        wanted = args.only.split(",")
        unknown = set(wanted) - {f.id for f in faults}
        if unknown:
            sys.exit("fault_check: no such fault: " + ", ".join(sorted(unknown)))
        faults = [f for f in faults if f.id in wanted]
    # Only the faults that one of the suites run can catch.
    suites_run = set(args.suites.split(","))
    faults = [f for f in faults if suites_run & set(SUITES_FOR[f.kind])]
    if args.list:
        for f in faults:
            say(f"{f.id:40} {f.file}{'  (quick)' if f.quick else ''}\n    {f.what}")
        return 0

    base = Path(os.environ.get("TALWEN_FAULT_DIR", PROJECT / "build-faults")).resolve()
    scratch = Scratch(Path(args.source).resolve(), base, os.cpu_count() or 2)
    try:
        return check_all(args, faults, scratch)
    finally:
        if scratch.own_cluster and (scratch.tree / "scripts/db.sh").exists():
            scratch.database("stop")


if __name__ == "__main__":
    sys.exit(main())
