#!/usr/bin/python3
"""The real window's longest answer while the Tree View is rescanned and selected, under an X server.

  Xvfb :N -screen 0 1600x1000x24 &
  DISPLAY=:N bench/window-rescan-ping.py [--rounds R] [--size WxH] [--row X,Y] PROGRAM TREE

PROGRAM is started on TREE with a home and settings folder of its own (no first-start offer, no
update check) and left to scan and go idle. Its window is then moved to the top left corner and
given WxH (default 1600x1000), a row of the outline is clicked (X,Y in the window, default
300,175) so that the outline has the keyboard, and the keys a person presses are sent with
xdotool: Shift+F4 (Expand All), Ctrl+A, then R rounds (default 4) of Ctrl+R (Scan again, which
reopens the rows and selects them again) and Ctrl+A once the window is idle after it.

Meanwhile the window is sent _NET_WM_PING every 10 ms and the round trip of each answer is kept:
a window busy on its GUI thread answers late. For each step one line gives the longest answer from
the key to the moment the program has been idle (under 5 % of a core) for 1.5 s:

  step=NAME longest_ms=L
"""
import argparse
import os
import select
import subprocess
import sys
import tempfile
import threading
import time

from Xlib import X, display, protocol

SETTINGS = """<?xml version="1.0" encoding="UTF-8"?>
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


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def wait_idle(pid, quiet=1.5, share=0.05, timeout=300):
    """Waits until the program used at most `share` of a core over the last `quiet` seconds."""
    start = time.monotonic()
    samples = []
    while time.monotonic() - start < timeout:
        now = time.monotonic()
        samples.append((now, cpu_seconds(pid)))
        older = [s for s in samples if s[0] <= now - quiet]
        if older and (samples[-1][1] - older[-1][1]) <= share * (now - older[-1][0]):
            return
        time.sleep(0.05)
    raise RuntimeError("the program did not go idle")


class Pinger(threading.Thread):
    """Pings the window every 10 ms and keeps (sent at, round trip) of each answer."""

    def __init__(self, wid):
        super().__init__(daemon=True)
        self.d = display.Display()
        self.w = self.d.create_resource_object("window", wid)
        # The answer goes to the root window, for the window manager.
        self.d.screen().root.change_attributes(event_mask=X.SubstructureNotifyMask | X.StructureNotifyMask)
        self.protocols = self.d.intern_atom("WM_PROTOCOLS")
        self.ping = self.d.intern_atom("_NET_WM_PING")
        self.answers = []
        self.stopped = False

    def run(self):
        stamp = 1
        while not self.stopped:
            stamp += 1
            event = protocol.event.ClientMessage(window=self.w, client_type=self.protocols,
                                                 data=(32, [self.ping, stamp, self.w.id, 0, 0]))
            sent = time.monotonic()
            self.w.send_event(event)
            self.d.flush()
            answered = False
            while not answered and time.monotonic() - sent < 30:
                while self.d.pending_events():
                    e = self.d.next_event()
                    if e.type == X.ClientMessage and e.client_type == self.protocols and e.data[1][1] == stamp:
                        answered = True
                        break
                if not answered:
                    select.select([self.d.fileno()], [], [], 0.005)
            self.answers.append((sent, time.monotonic() - sent))
            time.sleep(0.01)

    def longest(self, since, until):
        return max((rtt for sent, rtt in self.answers if since <= sent <= until), default=0.0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--rounds", type=int, default=4)
    parser.add_argument("--size", default="1600x1000")
    parser.add_argument("--row", default="300,175")
    parser.add_argument("program")
    parser.add_argument("tree")
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        sys.exit("window-rescan-ping: no DISPLAY")
    with tempfile.TemporaryDirectory(prefix="window-rescan-ping-") as home:
        os.makedirs(os.path.join(home, ".config", "ZelvaneMac"))
        with open(os.path.join(home, ".config", "ZelvaneMac", "ZelvaneMac.plist"), "w") as f:
            f.write(SETTINGS)
        env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                   XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_DATA_HOME=os.path.join(home, ".local/share"))
        proc = subprocess.Popen([args.program, args.tree], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            wid = None
            for _ in range(600):
                found = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(proc.pid), "--name", "."],
                                       capture_output=True, text=True).stdout.split()
                if found:
                    wid = int(found[0])
                    break
                time.sleep(0.1)
            if wid is None:
                raise RuntimeError("no window")
            wait_idle(proc.pid, quiet=3)

            def xdotool(*words):
                subprocess.run(["xdotool", *words], check=True)

            width, height = args.size.split("x")
            xdotool("windowmove", str(wid), "0", "0")
            xdotool("windowsize", str(wid), width, height)
            wait_idle(proc.pid, quiet=1)
            xdotool("windowfocus", "--sync", str(wid))
            x, y = args.row.split(",")
            xdotool("mousemove", "--window", str(wid), x, y)
            xdotool("click", "1")
            wait_idle(proc.pid, quiet=1)
            pinger = Pinger(wid)
            pinger.start()

            def step(name, key):
                since = time.monotonic()
                xdotool("key", key)
                time.sleep(0.3)
                wait_idle(proc.pid)
                print(f"step={name} longest_ms={pinger.longest(since, time.monotonic()) * 1000:.0f}", flush=True)

            step("expand-all", "shift+F4")
            step("select-all", "ctrl+a")
            for r in range(args.rounds):
                step(f"rescan-{r}", "ctrl+r")
                step(f"select-all-after-restore-{r}", "ctrl+a")
            pinger.stopped = True
        finally:
            proc.terminate()
            try:
                proc.wait(20)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait()


if __name__ == "__main__":
    main()
