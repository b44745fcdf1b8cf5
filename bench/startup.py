#!/usr/bin/env python3
"""The program's start and a changing command of the command line, against the number of notes.

  bench/startup.py --build build [--build OLD=/work/before/build] [--sizes 0,1000,10000,50000,100000]
                   [--per-folder 10] [--runs 7] [--probe build/libzorbek_start_probe.so] [--strace]

For each size a database is generated in a fresh HOME: folders of 10 notes each (--per-folder;
one folder in ten expanded, as a user leaves them), every note file a small RTF file. A size
written NOTES/FOLDERS (10000/100) spreads the notes over that many folders instead, so that
the cost of the number of folders shows apart from that of the notes. For each build given:
  - start: the built Zorbek (offscreen) from its start to its main window painted with the event
    loop idle (wall time, and the processor time of all its threads), and the peak resident
    memory then, measured by the probe module loaded with LD_PRELOAD
    (bench/probe/start_probe.cpp); the median of the runs, after one run not counted (which
    makes the settings file);
  - change: `zorbek-cli --db DB new-folder /`, the median wall and processor time of the runs;
  - with --strace: the getdents64 calls (directory reads) of one start and of one change.
The builds run alternately, size by size, in the same run. The generated files are removed.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def generate(home, notes, folders):
    data = os.path.join(home, ".local", "share", "Zorbek")
    store = os.path.join(data, "Zorbek", "archive")
    os.makedirs(store, exist_ok=True)
    parts = ['<list><hotkey/><filetree><archive state="expanded">']
    per_folder = (notes + folders - 1) // folders if folders else 0
    n = 0
    for f in range(folders):
        name = "文件夹%d" % f
        state = "expanded" if f % 10 == 0 else "collapsed"
        parts.append('<%s type="dir" state="%s">' % (name, state))
        os.makedirs(os.path.join(store, name), exist_ok=True)
        for k in range(min(per_folder, notes - n)):
            note = "笔记%d" % k
            parts.append('<%s type="esr" lasttime="%d"/>' % (note, 1700000000 + n))
            with open(os.path.join(store, name, note + ".esr"), "wb") as out:
                out.write(b"{\\rtf1\\ansi x\\par}")
            n += 1
        parts.append("</%s>" % name)
    parts.append("</archive><schedule/></filetree></list>")
    db = os.path.join(data, "Zorbek.xml")
    with open(db, "wb") as out:
        out.write("".join(parts).encode("utf-8"))
    return db


def environment(home, runtime):
    env = dict(os.environ)
    env.update(HOME=home, XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="offscreen",
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_CONFIG_HOME=os.path.join(home, ".config"))
    env.pop("XDG_CONFIG_DIRS", None)
    return env


def start_once(program, probe, env, report):
    if os.path.exists(report):
        os.remove(report)
    env = dict(env, LD_PRELOAD=probe, ZORBEK_PROBE_REPORT=report)
    t0 = time.time_ns()
    proc = subprocess.run([program], env=env, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=120)
    if not os.path.exists(report):
        raise SystemExit("%s: no report (exit %d)" % (program, proc.returncode))
    values = dict(line.split("=", 1) for line in open(report).read().split())
    return ((int(values["idle_ns"]) - t0) / 1e6, int(values["cpu_us"]) / 1e3,
            int(values["peak_kb"]) / 1024)


def children_cpu():
    u = resource.getrusage(resource.RUSAGE_CHILDREN)
    return u.ru_utime + u.ru_stime


def change_once(cli, db, env):
    t0, c0 = time.perf_counter(), children_cpu()
    subprocess.run([cli, "--db", db, "new-folder", "/"], env=env, check=True,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return (time.perf_counter() - t0) * 1000, (children_cpu() - c0) * 1000


def directory_reads(command, env):
    with tempfile.NamedTemporaryFile("r") as out:
        subprocess.run(["strace", "-f", "-c", "-e", "trace=getdents64", "-o", out.name] + command,
                       env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=120)
        for line in out.read().splitlines():
            if line.strip().endswith("getdents64"):
                return int(line.split()[3])
    return 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", action="append", required=True,
                    help="a build directory, or NAME=DIR")
    ap.add_argument("--sizes", default="0,1000,10000,50000,100000")
    ap.add_argument("--per-folder", type=int, default=10)
    ap.add_argument("--runs", type=int, default=7)
    ap.add_argument("--probe", default=os.path.join(ROOT, "build", "libzorbek_start_probe.so"))
    ap.add_argument("--strace", action="store_true")
    args = ap.parse_args()
    builds = []
    for b in args.build:
        name, _, path = b.rpartition("=")
        builds.append((name or os.path.basename(os.path.normpath(path)), os.path.abspath(path)))
    probe = os.path.abspath(args.probe)
    rows = []
    for spec in args.sizes.split(","):
        size, _, folders = spec.partition("/")
        size = int(size)
        folders = int(folders) if folders else (size + args.per_folder - 1) // args.per_folder
        work = tempfile.mkdtemp(prefix="zorbek-startup-")
        try:
            results = {}
            for name, path in builds:
                home = os.path.join(work, name)
                runtime = os.path.join(work, name + "-run")
                os.makedirs(runtime, mode=0o700)
                db = generate(home, size, folders)
                results[name] = dict(home=home, env=environment(home, runtime), db=db,
                                     start=[], cpu=[], peak=[], change=[], change_cpu=[])
                start_once(os.path.join(path, "Zorbek"), probe, results[name]["env"],
                           os.path.join(work, "report"))
            for _ in range(args.runs):
                for name, path in builds:
                    r = results[name]
                    ms, cpu, mb = start_once(os.path.join(path, "Zorbek"), probe, r["env"],
                                             os.path.join(work, "report"))
                    r["start"].append(ms)
                    r["cpu"].append(cpu)
                    r["peak"].append(mb)
                    ms, cpu = change_once(os.path.join(path, "zorbek-cli"), r["db"], r["env"])
                    r["change"].append(ms)
                    r["change_cpu"].append(cpu)
            for name, path in builds:
                r = results[name]
                m = statistics.median
                row = [spec, name, m(r["start"]), m(r["cpu"]), m(r["peak"]), m(r["change"]),
                       m(r["change_cpu"])]
                if args.strace:
                    row.append(directory_reads([os.path.join(path, "Zorbek")], dict(
                        r["env"], LD_PRELOAD=probe, ZORBEK_PROBE_REPORT=os.path.join(work, "r2"))))
                    row.append(directory_reads([os.path.join(path, "zorbek-cli"), "--db", r["db"],
                                                "new-folder", "/"], r["env"]))
                rows.append(row)
                print("%12s  %-8s start %7.1f ms (cpu %6.1f)  peak %6.1f MB  change %7.1f ms "
                      "(cpu %6.1f)%s" % (tuple(row[:7]) + (
                          "  getdents64 start %d change %d" % (row[7], row[8])
                          if args.strace else "",)), flush=True)
        finally:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
