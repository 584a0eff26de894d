#!/usr/bin/env python3
"""Clients we did not write, against the server fed by the real encoder (its
synthetic camera, resized by the configuration): FFmpeg reads /demo.mjpg as
multipart JPEG and decodes 30 frames of the configured size; curl fetches
/demo.jpg and ImageMagick decodes it."""
import argparse
import os
import shutil
import signal
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "..", "common", "tests")]
from swf_client import get, wait_listening  # noqa: E402
from test_support import free_port, panel_config  # noqa: E402

WIDTH, HEIGHT, FRAMES = 320, 240, 30


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--server", required=True)
    p.add_argument("--encoder", required=True)
    p.add_argument("--work", required=True)
    args = p.parse_args()
    shutil.rmtree(args.work, ignore_errors=True)
    os.makedirs(args.work)
    port = free_port()
    conf = os.path.join(args.work, "orvane.conf")
    with open(conf, "w", newline="") as f:
        f.write(panel_config(port, frame_rate=15, size=(WIDTH, HEIGHT)))
    out = open(os.path.join(args.work, "programs.out"), "w")
    server = subprocess.Popen([args.server, "-f", conf], stdin=subprocess.DEVNULL, stdout=out, stderr=out)
    encoder = None
    failures = 0

    def check(ok, what):
        nonlocal failures
        print(("ok   " if ok else "FAIL ") + what, flush=True)
        failures += 0 if ok else 1

    try:
        wait_listening(port, 20, server)
        encoder = subprocess.Popen([args.encoder, "-f", "testsrc", "-r", "15", "-i", "0", "-sameq",
                                    "http://localhost:%d/feed.ffm" % port],
                                   stdin=subprocess.DEVNULL, stdout=out, stderr=out)
        end = time.time() + 30
        while get(port, "/demo.jpg")[0] != 200:
            if time.time() > end or encoder.poll() is not None:
                raise AssertionError("no picture from the encoder")
            time.sleep(0.2)

        snapshot = os.path.join(args.work, "snapshot.jpg")
        curl = subprocess.run(["curl", "-sS", "-f", "-o", snapshot, "-w", "%{content_type}",
                               "http://127.0.0.1:%d/demo.jpg" % port], capture_output=True, text=True, timeout=20)
        check(curl.returncode == 0 and curl.stdout == "image/jpeg", "curl gets /demo.jpg: %s %s"
              % (curl.stdout, curl.stderr.strip()))
        identify = subprocess.run(["identify", "-format", "%m %w %h", snapshot], capture_output=True, text=True,
                                  timeout=20)
        check(identify.stdout == "JPEG %d %d" % (WIDTH, HEIGHT), "ImageMagick decodes it: %s %s"
              % (identify.stdout, identify.stderr.strip()))

        # Raw grey pictures: exactly FRAMES of the configured size, or FFmpeg decoded something else.
        ffmpeg = subprocess.run(["ffmpeg", "-nostdin", "-v", "error", "-f", "mpjpeg",
                                 "-i", "http://127.0.0.1:%d/demo.mjpg" % port, "-frames:v", str(FRAMES),
                                 "-f", "rawvideo", "-pix_fmt", "gray", "-"], capture_output=True, timeout=60)
        check(ffmpeg.returncode == 0 and len(ffmpeg.stdout) == FRAMES * WIDTH * HEIGHT,
              "FFmpeg decodes %d frames of %dx%d from /demo.mjpg: %d bytes, exit %d %s"
              % (FRAMES, WIDTH, HEIGHT, len(ffmpeg.stdout), ffmpeg.returncode, ffmpeg.stderr.decode()[-300:]))
        pictures = [ffmpeg.stdout[i * WIDTH * HEIGHT:(i + 1) * WIDTH * HEIGHT] for i in range(FRAMES)]
        check(len(set(pictures)) > FRAMES // 2, "the decoded pictures move (%d different)" % len(set(pictures)))
    finally:
        for proc in (encoder, server):
            if proc and proc.poll() is None:
                proc.send_signal(signal.SIGTERM)
                try:
                    proc.wait(10)
                except subprocess.TimeoutExpired:
                    proc.kill()
        out.close()
    check(server.returncode == 0, "server ended with 0")
    if failures:
        with open(os.path.join(args.work, "programs.out")) as f:
            print(f.read()[-3000:])
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
