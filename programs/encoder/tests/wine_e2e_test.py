#!/usr/bin/env python3
"""The Windows encoder under Wine, with the synthetic camera, feeding the native server:
started from a folder with spaces as the panel starts it, ended by Ctrl+Break. Also: with
a real capture device asked for, it fails clearly (Wine cannot open one)."""
import argparse
import os
import shutil
import socket
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "common", "tests"))
from test_support import free_port, windows_path  # noqa: E402

p = argparse.ArgumentParser()
p.add_argument("--encoder", required=True)
p.add_argument("--launcher", required=True)
p.add_argument("--server", required=True)
p.add_argument("--wine-run", required=True)
p.add_argument("--logo", required=True)
p.add_argument("--work", required=True)
a = p.parse_args()

if not os.path.exists(a.server):
    print("native server not built (%s): build natively first" % a.server)
    sys.exit(77)


def escape_spaces(text):
    """The panel's escaping: one backslash before every run of spaces."""
    out, prev = "", ""
    for c in text:
        if c == " " and prev != " ":
            out += "\\"
        out += c
        prev = c
    return out


def launch(env, log):
    """Starts the launcher with its output in a file: Wine's helper processes may inherit
    a pipe and keep it open long after the launcher has ended."""
    out = open(log, "w")
    proc = subprocess.Popen([a.wine_run, a.launcher, win_folder, "orvane.dll", windows_path(args_file), "2"], env=env,
                            stdout=out, stderr=subprocess.STDOUT)
    out.close()
    return proc


def finish(proc, log, seconds):
    try:
        proc.wait(timeout=seconds)
    except subprocess.TimeoutExpired:
        proc.kill()
        proc.wait()
    with open(log) as f:
        text = f.read()
    print(text)
    return text


def read_frames(port, count, seconds):
    """JPEG frames from /demo.swf, as (width, height) of their SOF."""
    end = time.time() + seconds
    while time.time() < end:
        try:
            s = socket.create_connection(("127.0.0.1", port), timeout=5)
            break
        except OSError:
            time.sleep(0.2)
    else:
        return []
    s.sendall(b"GET /demo.swf HTTP/1.1\r\nHost: localhost\r\n\r\n")
    data = b""
    sizes = []
    while time.time() < end and len(sizes) < count:
        try:
            chunk = s.recv(65536)
        except socket.timeout:
            continue
        if not chunk:
            break
        data += chunk
        # Each bitmap's JPEG has a baseline SOF0 marker with its height and width.
        while True:
            at = data.find(b"\xff\xc0")
            if at < 0 or len(data) < at + 9:
                break
            h = int.from_bytes(data[at + 5:at + 7], "big")
            w = int.from_bytes(data[at + 7:at + 9], "big")
            sizes.append((w, h))
            data = data[at + 9:]
    s.close()
    return sizes


shutil.rmtree(a.work, ignore_errors=True)
folder = os.path.join(a.work, "Program  Files", "Cam")
os.makedirs(folder)
shutil.copy(a.encoder, os.path.join(folder, "orvane.dll"))
shutil.copy(a.logo, os.path.join(folder, "logo.gif"))
port = free_port()
conf = os.path.join(folder, "orvane.conf")
with open(conf, "w") as f:
    f.write("Port %d\nBindAddress 0.0.0.0\nMaxClients 2\nMaxBandwidth 100000\n"
            "<Feed feed.ffm>\nFile /tmp/feed.ffm\nFileMaxSize 200K\nACL allow 127.0.0.1\n</Feed>\n"
            "<Stream demo.swf>\nFeed feed.ffm\nFormat swf\nVideoFrameRate 15\nVideoSize 320x240\n"
            "VideoBitRate 400\nNoAudio\n</Stream>\n" % port)
win_folder = windows_path(folder)
args_file = os.path.join(a.work, "args.txt")
with open(args_file, "w") as f:
    f.write('-f vfwcap -r 15 -i 0 -vhook "watermark -f %s\\logo.gif" http://localhost:%d/feed.ffm\n'
            % (escape_spaces(win_folder), port))

failures = []
server = subprocess.Popen([a.server, "-f", conf], stdout=subprocess.DEVNULL)
try:
    env = dict(os.environ, ORVANE_VIDEO_SOURCE="testsrc")
    log = os.path.join(a.work, "testsrc.log")
    launcher = launch(env, log)
    sizes = read_frames(port, 5, 60)
    print("frames:", sizes)
    if len(sizes) < 5 or any(s != (320, 240) for s in sizes):
        failures.append("expected 5 frames of 320x240 from the server, got %r" % sizes)
    open(os.path.join(folder, "stop"), "w").close()
    out = finish(launcher, log, 60)
    if "ORVANE_VIDEO_SOURCE=testsrc" not in out:
        failures.append("the synthetic camera was not announced")
    if "\nexit 0 " not in "\n" + out:
        failures.append("the encoder did not end cleanly on Ctrl+Break")
    os.remove(os.path.join(folder, "stop"))

    # A real capture device: Wine has none to give, so a clear message and a failure code.
    env = dict(os.environ)
    env.pop("ORVANE_VIDEO_SOURCE", None)
    log = os.path.join(a.work, "vfwcap.log")
    out = finish(launch(env, log), log, 60)
    if "ended early with 21" not in out or "capture" not in out:
        failures.append("vfwcap under Wine should fail with a message and exit code 21 (no camera)")
finally:
    server.terminate()
    server.wait(timeout=10)

for f in failures:
    print("FAIL:", f)
sys.exit(1 if failures else 0)
