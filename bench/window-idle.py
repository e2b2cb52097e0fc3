#!/usr/bin/env python3
"""Busy until idle: a graphical program started on a folder, timed until it has nothing left to do.

  xvfb-run -a -s '-screen 0 1600x1000x24' bench/window-idle.py [--runs N] [--shot DIR] TREE PROGRAM...

Each PROGRAM (a command line; the folder is appended) is started in turn, N times, with a home and
settings folder of its own. Its processor time (every thread, user and system) is sampled every
20 ms; the program is idle once it used less than 3 % of one core over two seconds, and "busy" is
the time from the start to the last tick of processor time it used while it was using more than
12 % of a core over half a second (so an idle event loop's occasional tick is not work): the
window up, the folder read, the result drawn and whatever the program does after it
(live-monitoring watches) done.
The peak resident memory (VmHWM) is read at that moment. The program is then ended with SIGTERM.
ZelvaneMac gets settings that answer its first-start offer (moving it to the applications folder)
and skip the update check, so that it shows the result with no dialog over it and no network call.

Output, one line per run:
  program=NAME run=I busy_s=S cpu_s=C peak_rss_mb=R
(NAME is the program's file name, or its whole path when two programs share a file name.)
--shot DIR saves a screenshot of the screen at the idle moment (ImageMagick's `import`), to check
that the result is on show and no dialog stood in the way.
"""
import argparse
import os
import shlex
import signal
import subprocess
import sys
import tempfile
import time

TICK = os.sysconf("SC_CLK_TCK")
SAMPLE = 0.02
QUIET_WINDOW = 2.0
QUIET_SHARE = 0.03
BUSY_WINDOW = 0.5
TIMEOUT = 600.0


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    # utime and stime are fields 14 and 15 of the whole line; after the name they are 11 and 12.
    return (int(fields[11]) + int(fields[12])) / TICK


def peak_rss_mb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) / 1024.0
    return 0.0


ZELVANE_SETTINGS = """<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<dict>
	<key>suppressMoveToApplicationsPrompt</key>
	<true/>
	<key>checkForUpdatesEnabled</key>
	<false/>
</dict>
</plist>
"""


def prepare_home(home, name):
    if name == "ZelvaneMac":
        folder = os.path.join(home, ".config", "ZelvaneMac")
        os.makedirs(folder)
        with open(os.path.join(folder, "ZelvaneMac.plist"), "w") as f:
            f.write(ZELVANE_SETTINGS)


def run_once(command, tree, shot):
    with tempfile.TemporaryDirectory(prefix="window-idle-") as home:
        prepare_home(home, os.path.basename(command[0]))
        env = dict(os.environ)
        env.update(HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_DATA_HOME=os.path.join(home, ".local/share"))
        start = time.monotonic()
        proc = subprocess.Popen(command + [tree], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        samples = []  # (seconds since start, processor seconds)
        busy_until = None
        peak = 0.0
        try:
            while time.monotonic() - start < TIMEOUT:
                if proc.poll() is not None:
                    raise RuntimeError(f"{command[0]} exited with {proc.returncode}")
                now = time.monotonic() - start
                cpu = cpu_seconds(proc.pid)
                samples.append((now, cpu))
                peak = max(peak, peak_rss_mb(proc.pid))
                # The last moment the program was busy: the latest clock tick it used while it used
                # more than the quiet share of a core over the last half second. (Processor time
                # comes in ticks of 10 ms: an idle event loop's rare tick is not work.)
                recent = [x for x in samples if x[0] >= now - BUSY_WINDOW]
                if len(samples) >= 2 and samples[-1][1] > samples[-2][1] and \
                        recent[-1][1] - recent[0][1] > QUIET_SHARE * BUSY_WINDOW * 4:
                    busy_until = now
                if busy_until is not None and cpu > 0.2:
                    window = [s for s in samples if s[0] >= now - QUIET_WINDOW]
                    if now - busy_until >= QUIET_WINDOW and window[-1][1] - window[0][1] <= QUIET_SHARE * QUIET_WINDOW:
                        break
                time.sleep(SAMPLE)
            else:
                raise RuntimeError(f"{command[0]} still busy after {TIMEOUT} s")
            if shot:
                subprocess.run(["import", "-window", "root", shot], check=False)
            cpu_at_idle = samples[-1][1]
            return busy_until, cpu_at_idle, peak
        finally:
            proc.send_signal(signal.SIGTERM)
            try:
                proc.wait(10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--shot", help="folder for a screenshot of each run at its idle moment")
    parser.add_argument("tree")
    parser.add_argument("programs", nargs="+", help="command lines, each one argument")
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("window-idle: no DISPLAY; run it under xvfb-run")
    names = [os.path.basename(shlex.split(p)[0]) for p in args.programs]
    for run in range(1, args.runs + 1):
        for program in args.programs:
            command = shlex.split(program)
            name = os.path.basename(command[0])
            if names.count(name) > 1:
                name = command[0]
            shot = os.path.join(args.shot, f"{name.replace('/', '_')}-{run}.png") if args.shot else None
            busy, cpu, peak = run_once(command, args.tree, shot)
            print(f"program={name} run={run} busy_s={busy:.2f} cpu_s={cpu:.2f} peak_rss_mb={peak:.1f}", flush=True)


if __name__ == "__main__":
    main()
