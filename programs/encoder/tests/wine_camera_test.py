#!/usr/bin/env python3
"""The Windows encoder under Wine with the tests' stand-in capture driver (avicap32.dll)
beside it, started as the panel starts it and feeding the native server.
  formats:  every format a webcam sends, at its own size or resized by VideoSize: the
            stream's pictures have the expected size and show the camera's picture, moving.
  failures: a camera that is refused, in use, unplugged, hanging, silent, sending cut-short
            frames or a format we cannot use: the encoder says why on its console and ends
            with code 2 (or goes on, for frames it can skip)."""
import argparse
import concurrent.futures
import os
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "common", "tests"))
from test_support import free_port, panel_config, wait_until, windows_path  # noqa: E402

p = argparse.ArgumentParser()
p.add_argument("suite", choices=["formats", "failures"])
p.add_argument("--encoder", required=True)
p.add_argument("--camera", required=True)
p.add_argument("--launcher", required=True)
p.add_argument("--native", required=True)
p.add_argument("--wine-run", required=True)
p.add_argument("--logo", required=True)
p.add_argument("--work", required=True)
a = p.parse_args()

server_path = os.path.join(a.native, "programs", "server", "server")
probe_path = os.path.join(a.native, "programs", "encoder", "tests", "camera_picture_probe")
for path in (server_path, probe_path):
    if not os.path.exists(path):
        print("%s not built: build natively first" % path)
        sys.exit(77)

CAUSES = "another program is using the camera"


class Run:
    """One encoder with a scripted stand-in camera, feeding a server of its own.
    `script` is the camera's script; runs that share `camera` share one camera."""

    def __init__(self, name, script, size=None, camera=None):
        self.name = name
        root = os.path.join(a.work, name)
        self.folder = os.path.join(root, "Program Files", "Cam")
        os.makedirs(self.folder)
        shutil.copy(a.encoder, os.path.join(self.folder, "orvane.dll"))
        shutil.copy(a.camera, os.path.join(self.folder, "avicap32.dll"))
        shutil.copy(a.logo, os.path.join(self.folder, "logo.gif"))
        self.camera = camera or os.path.join(root, "camera.txt")
        if script is not None:
            with open(self.camera, "w") as f:
                f.write(script)
        self.port = free_port()
        conf = os.path.join(self.folder, "orvane.conf")
        with open(conf, "w", newline="") as f:
            f.write(panel_config(self.port, size=size))
        args = os.path.join(root, "args.txt")
        with open(args, "w") as f:
            f.write('-f vfwcap -r 15 -i 0 -sameq -vhook "watermark -f %s\\logo.gif" http://localhost:%d/feed.ffm\n'
                    % (windows_path(self.folder).replace(" ", "\\ "), self.port))
        self.server = subprocess.Popen([server_path, "-f", conf], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.log = os.path.join(root, "encoder.log")
        env = dict(os.environ, ORVANE_CAMERA=windows_path(self.camera))
        env.pop("ORVANE_VIDEO_SOURCE", None)
        # Output into a file: Wine's helper processes may inherit a pipe and keep it open.
        with open(self.log, "w") as out:
            self.launcher = subprocess.Popen([a.wine_run, a.launcher, windows_path(self.folder), "orvane.dll",
                                              windows_path(args), "2"], env=env, stdout=out, stderr=subprocess.STDOUT,
                                             stdin=subprocess.DEVNULL)

    def output(self):
        with open(self.log, errors="replace") as f:
            return f.read()

    def camera_log(self):
        try:
            with open(self.camera + ".log") as f:
                return f.read()
        except FileNotFoundError:
            return ""

    def refusals(self):
        """How often the driver has refused this run's encoder (its log names the process)."""
        started = [line.split()[1] for line in self.output().splitlines() if line.startswith("started ")]
        if not started:
            return 0
        return sum(1 for line in self.camera_log().splitlines() if line.startswith(started[0] + " connect refused"))

    def picture(self):
        """The latest picture as the probe sees it: (width, height, counter or None), or None."""
        try:
            s = socket.create_connection(("127.0.0.1", self.port), timeout=5)
            s.sendall(b"GET /demo.jpg HTTP/1.0\r\nHost: localhost\r\n\r\n")
            data = b""
            while True:
                chunk = s.recv(65536)
                if not chunk:
                    break
                data += chunk
            s.close()
        except OSError:
            return None
        head, _, body = data.partition(b"\r\n\r\n")
        if not head.startswith(b"HTTP/1.") or b" 200 " not in head.split(b"\r\n")[0] or not body:
            return None
        path = os.path.join(a.work, self.name, "picture.jpg")
        with open(path, "wb") as f:
            f.write(body)
        seen = subprocess.run([probe_path, path], capture_output=True, text=True).stdout.split()
        if len(seen) != 2:
            return None
        w, h = (int(v) for v in seen[0].split("x"))
        return (w, h, None if seen[1] == "other" else int(seen[1]))

    def camera_pictures(self, count, seconds=90):
        """Pictures until `count` distinct frame counters of the camera were seen."""
        seen = []

        def enough():
            pic = self.picture()
            if pic and (not seen or seen[-1] != pic):
                seen.append(pic)
            return len({c for _, _, c in seen if c is not None}) >= count or self.launcher.poll() is not None
        wait_until(enough, seconds)
        return seen

    def stop(self):
        """Ends the encoder as the panel does; its output."""
        open(os.path.join(self.folder, "stop"), "w").close()
        return self.finish(60)

    def finish(self, seconds):
        try:
            self.launcher.wait(timeout=seconds)
        except subprocess.TimeoutExpired:
            self.launcher.kill()
            self.launcher.wait()
        self.server.terminate()
        self.server.wait(timeout=10)
        return self.output()


def check(failures, name, condition, what, out):
    if not condition:
        failures.append("%s: %s\n--- encoder's console:\n%s" % (name, what, out))


def format_case(case):
    """(name, script, VideoSize, expected size, whether the driver is asked for another format)"""
    name, script, size, want, asks = case
    failures = []
    run = Run(name, script, size)
    seen = run.camera_pictures(2)
    out = run.stop()
    print("%s: pictures %r" % (name, seen))
    good = [c for w, h, c in seen if (w, h) == want and c is not None]
    check(failures, name, len(set(good)) >= 2,
          "expected the camera's picture at %dx%d, moving; saw %r" % (want + (seen,)), out)
    check(failures, name, all(c is not None for _, _, c in seen), "pictures that are not the camera's", out)
    check(failures, name, "\nexit 0 " in "\n" + out, "did not end cleanly on Ctrl+Break", out)
    log = run.camera_log()
    check(failures, name, ("set format" in log) == asks,
          "the driver should %sbe asked for another format; its log:\n%s" % ("" if asks else "not ", log), out)
    check(failures, name, log.count("\n") >= 2 and log.strip().endswith("disconnect"),
          "the driver was not connected and released; its log:\n%s" % log, out)
    return failures


FORMATS = [
    # The camera's own size (no VideoSize), for every format.
    ("yuy2-640x480", "format=YUY2\nwidth=640\nheight=480\n", None, (640, 480), False),
    ("uyvy-320x240", "format=UYVY\nwidth=320\nheight=240\n", None, (320, 240), False),
    ("nv12-640x480", "format=NV12\nwidth=640\nheight=480\n", None, (640, 480), False),
    ("i420-352x288", "format=I420\nwidth=352\nheight=288\n", None, (352, 288), False),
    ("rgb24-320x240", "format=RGB24\nwidth=320\nheight=240\n", None, (320, 240), False),
    ("rgb32-176x144", "format=RGB32\nwidth=176\nheight=144\n", None, (176, 144), False),
    ("mjpg-640x480", "format=MJPG\nwidth=640\nheight=480\nset_format=refuse\n", None, (640, 480), False),
    # Resized by the stream's VideoSize; an MJPG-only camera is never asked for anything else.
    ("mjpg-1280x720-to-320x240", "format=MJPG\nwidth=1280\nheight=720\nset_format=refuse\n", (320, 240),
     (320, 240), False),
    ("nv12-1280x720-to-640x480", "format=NV12\nwidth=1280\nheight=720\n", (640, 480), (640, 480), False),
    # A format we cannot use: another is asked for, and what the driver then reports is used.
    ("h264-asked-for-yuy2", "format=H264\nwidth=640\nheight=480\n", None, (640, 480), True),
]


def failure_cases():
    cases = []

    def refused():
        run = Run("refused", "format=YUY2\nconnect=refuse\n")
        out = run.finish(60)
        f = []
        check(f, "refused", "ended early with 2" in out and "cannot be opened" in out and CAUSES in out,
              "a refused connect should end with code 2 and name the likely causes", out)
        check(f, "refused", run.camera_log().count("connect refused") >= 2,
              "the connect was not retried; driver's log:\n%s" % run.camera_log(), out)
        return f
    cases.append(refused)

    def in_use():
        # The first encoder holds the camera; a second cannot have it and ends; a third,
        # started while the first still holds it, gets it once the first has ended.
        f = []
        first = Run("in-use-first", "format=YUY2\nconnect=exclusive\n")
        first_seen = first.camera_pictures(1)
        second = Run("in-use-second", None, camera=first.camera)
        out = second.finish(60)
        check(f, "in use", "ended early with 2" in out and "cannot be opened" in out and CAUSES in out,
              "a camera in use should end the second encoder with code 2 and the likely causes", out)
        third = Run("in-use-third", None, camera=first.camera)
        wait_until(lambda: third.refusals() >= 2, 60)
        first_out = first.stop()
        seen = third.camera_pictures(1)
        out = third.stop()
        check(f, "in use", first_seen and "\nexit 0 " in "\n" + first_out, "the first encoder did not stream", first_out)
        check(f, "in use", any(c is not None for _, _, c in seen) and "\nexit 0 " in "\n" + out,
              "the third encoder should have had the camera once the first released it; driver's log:\n%s"
              % third.camera_log(), out)
        return f
    cases.append(in_use)

    def ends(name, script, expected):
        def case():
            run = Run(name, script)
            out = run.finish(120)
            f = []
            check(f, name, "ended early with 2" in out, "should end by itself with code 2", out)
            for text in expected:
                check(f, name, text in out, "the console should say %r" % text, out)
            return f
        case.__name__ = name
        return case
    cases += [
        ends("unplugged", "format=YUY2\nfail_after=20\nfailure=unplug\n",
             ["has delivered no picture for 5 s", CAUSES]),
        ends("grab-refused", "format=MJPG\nfail_after=20\nfailure=grab\n",
             ["has delivered no picture for 5 s", "refused", CAUSES]),
        ends("silent-from-start", "format=YUY2\nfail_after=0\nfailure=no_callback\n",
             ["delivered no picture in the first 10 s", CAUSES]),
        ends("hang", "format=YUY2\nfail_after=20\nfailure=hang\nhang_ms=600000\n",
             ["has not returned from grabbing a frame", CAUSES]),
        ends("cannot-convert", "format=H264\nset_format=ignore\n", ["delivers H264", "cannot be converted"]),
    ]

    def truncated():
        run = Run("truncated", "format=MJPG\nwidth=640\nheight=480\ntruncate_every=3\n")
        seen = run.camera_pictures(6)
        out = run.stop()
        f = []
        check(f, "truncated", len({c for _, _, c in seen if c is not None}) >= 6,
              "the stream should go on past cut-short frames; saw %r" % seen, out)
        check(f, "truncated", "skipped a camera frame" in out and "skipped so far" in out,
              "the skipped frames should be counted on the console", out)
        check(f, "truncated", all(c is None or c % 3 for _, _, c in seen),
              "a cut-short frame (every third) was shown; saw %r" % seen, out)
        check(f, "truncated", "\nexit 0 " in "\n" + out, "did not end cleanly on Ctrl+Break", out)
        return f
    cases.append(truncated)
    return cases


shutil.rmtree(a.work, ignore_errors=True)
os.makedirs(a.work)
failures = []
with concurrent.futures.ThreadPoolExecutor(max_workers=3 if a.suite == "formats" else 8) as pool:
    if a.suite == "formats":
        results = pool.map(format_case, FORMATS)
    else:
        results = pool.map(lambda case: case(), failure_cases())
    for r in results:
        failures += r
for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
