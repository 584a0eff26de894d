#!/usr/bin/env python3
"""End-to-end test of the server program: starts it with the panel's
configuration on a free loopback port, feeds JPEG frames and watches the
stream. Runs the native program directly, or server.dll under Wine through a
small Windows launcher that starts it as the panel does and stops it with
Ctrl+Break."""
import argparse
import glob
import os
import resource
import shutil
import signal
import socket
import subprocess
import sys
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "..", "common", "tests")]
from swf_client import (Feeder, MjpegReader, SwfReader, connect, get, open_stream, read_head,  # noqa: E402
                        request, wait_listening)
from test_support import free_port, panel_config, wait_until, windows_path  # noqa: E402

ARGS = None
FRAMES = []


class NativeServer:
    def __init__(self, work):
        self.work = work

    def start(self, config_text, name="orvane.conf", descriptors=None):
        """descriptors: (soft, hard) limit of open files to start the server with."""
        if hasattr(self, "out"):
            self.close()
        path = os.path.join(self.work, name)
        with open(path, "w", newline="") as f:
            f.write(config_text)
        self.out = open(os.path.join(self.work, "server.out"), "w+")
        self.err = open(os.path.join(self.work, "server.err"), "w+")
        limit = (lambda: resource.setrlimit(resource.RLIMIT_NOFILE, descriptors)) if descriptors else None
        self.proc = subprocess.Popen([ARGS.server, "-f", path], stdout=self.out, stderr=self.err, preexec_fn=limit)
        return self.proc

    def wait_exit(self):
        return self.proc.wait(10)

    def stop(self):
        """Asks the server to end; returns (exit code, seconds it took)."""
        t = time.time()
        self.proc.send_signal(signal.SIGTERM)
        rc = self.proc.wait(10)
        return rc, time.time() - t

    def close(self):
        self.out.close()
        self.err.close()

    def output(self):
        self.out.seek(0)
        self.err.seek(0)
        return self.out.read(), self.err.read()


class WineServer:
    """server.dll in a folder with two spaces in a row, or in C:\\Program Files\\Cam,
    started by the launcher with the panel's unquoted command line, stopped
    with Ctrl+Break."""

    def __init__(self, work, program_files=False):
        if program_files:
            self.dir = os.path.join(ARGS.wine_prefix, "drive_c", "Program Files", "Cam")
            self.win_dir = "C:\\Program Files\\Cam"
        else:
            self.dir = os.path.join(work, "Cam  Two")
            self.win_dir = windows_path(self.dir)
        os.makedirs(self.dir, exist_ok=True)
        shutil.copy(ARGS.server, os.path.join(self.dir, "server.dll"))

    def start(self, config_text):
        if hasattr(self, "log"):
            self.log.close()
        with open(os.path.join(self.dir, "orvane.conf"), "w", newline="") as f:
            f.write(config_text)
        stop = os.path.join(self.dir, "stop")
        if os.path.exists(stop):
            os.remove(stop)
        self.log = open(os.path.join(self.dir, "launcher.out"), "w+")
        # The panel's command line: its own path unquoted, the configuration quoted.
        with open(os.path.join(self.dir, "launcher.args"), "w") as f:
            f.write('-f "%s\\orvane.conf"' % self.win_dir)
        self.proc = subprocess.Popen([ARGS.wine_run, ARGS.launcher, self.win_dir, "server.dll",
                                      self.win_dir + "\\launcher.args", "1"],
                                     stdout=self.log, stderr=subprocess.STDOUT)
        return self.proc

    def wait_exit(self):
        """The exit code of a server that ends by itself."""
        self.proc.wait(30)
        self.log.seek(0)
        text = self.log.read()
        for line in text.splitlines():
            if line.startswith("ended early with "):
                return int(line.split()[-1])
        raise AssertionError("launcher said: " + text)

    def stop(self):
        open(os.path.join(self.dir, "stop"), "w").close()
        self.proc.wait(30)
        self.log.seek(0)
        text = self.log.read()
        for line in text.splitlines():
            if line.startswith("exit "):
                _, code, ms = line.split()
                return int(code), int(ms) / 1000.0
        raise AssertionError("launcher said: " + text)

    def output(self):
        self.log.seek(0)
        return self.log.read(), ""

    def close(self):
        self.log.close()


def cpu_seconds(pid):
    """User and system time a process has used so far."""
    with open("/proc/%d/stat" % pid) as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def time_wait_from(port):
    """Remote ends of the connections in TIME_WAIT whose local end is the port (Wine's
    sockets are the host's)."""
    found = []
    for table in ("/proc/net/tcp", "/proc/net/tcp6"):
        if not os.path.exists(table):
            continue
        with open(table) as f:
            for line in f.readlines()[1:]:
                fields = line.split()
                if fields[3] == "06" and int(fields[1].rsplit(":", 1)[1], 16) == port:
                    found.append(fields[2])
    return found


def make_server(work, program_files=False):
    return WineServer(work, program_files) if ARGS.wine else NativeServer(work)


def read_frames(reader, count, out, errors):
    try:
        for _ in range(count):
            out.append(reader.read_frame()[0])
    except Exception as e:  # reported by the waiting test
        errors.append(e)


class EndToEnd(unittest.TestCase):
    def setUp(self):
        self.work = os.path.join(ARGS.work, self.id().split(".")[-1])
        os.makedirs(self.work, exist_ok=True)
        # One test starts the Windows program from C:\Program Files\Cam, the others from "Cam  Two".
        self.server = make_server(self.work, program_files="viewer_page" in self.id())
        self.port = free_port()

    def start(self, **kw):
        proc = self.server.start(panel_config(self.port, **kw))
        wait_listening(self.port, 60, proc)

    def tearDown(self):
        if not hasattr(self.server, "proc"):
            return
        if self.server.proc.poll() is None:
            self.server.proc.kill()
            self.server.proc.wait()
        self.server.close()

    def stream_frames(self, reader, feeder, frames, pause=0.02):
        got, errors = [], []
        t = threading.Thread(target=read_frames, args=(reader, len(frames), got, errors))
        t.start()
        for f in frames:
            feeder.frame(f)
            time.sleep(pause)
        t.join(20)
        self.assertFalse(errors, errors)
        return got

    def test_feed_to_viewer_with_the_panels_configuration(self):
        self.start(size=(640, 480), bit_rate=300)
        status, _, body = get(self.port, "/feed.ffm")
        self.assertEqual(status, 200)
        self.assertEqual(body.decode(), "VideoFrameRate 15\nFileMaxSize 204800\nVideoSize 640x480\n"
                                        "VideoBitRate 300\nVideoBitRateTolerance 21\n")

        # The viewer comes before any frame exists and is answered at once.
        sock, status, headers, rest = open_stream(self.port)
        self.assertEqual(status, 200)
        self.assertEqual(headers["content-type"], "application/x-shockwave-flash")
        reader = SwfReader(sock, rest)

        # MaxClients 1: a second viewer is turned away while the first watches.
        status, _, body = get(self.port, "/demo.swf")
        self.assertEqual((status, body), (503, b"503 Server too busy\n"))

        # Only 127.0.0.1 may use the feed; others are told it does not exist.
        self.assertEqual(get(self.port, "/feed.ffm", source="127.0.0.2")[0], 404)
        other = Feeder(self.port, source="127.0.0.2")
        self.assertEqual(other.status_if_refused(), 404)
        other.close()

        feeder = Feeder(self.port)
        got = self.stream_frames(reader, feeder, FRAMES[:20])
        self.assertEqual(reader.header["signature"], b"FWS")
        self.assertEqual((reader.header["xmax"], reader.header["ymax"]), (640 * 20, 480 * 20))
        self.assertEqual(reader.header["rate"], 15.0)
        self.assertEqual([FRAMES.index(g) for g in got], list(range(20)))  # in order and intact

        # A second feeder while one is connected is refused; the first goes on.
        second = Feeder(self.port)
        self.assertEqual(second.status_if_refused(), 409)
        second.close()

        # A part above FileMaxSize is refused and the feed goes on; so is a "picture"
        # of headers only (start of image, frame header, end of image: no scan data).
        feeder.frame(b"\xff\xd8" + os.urandom(210 * 1024))
        feeder.frame(b"\xff\xd8\xff\xc0\x00\x0b\x08\x00\x10\x00\x10\x01\x01\x11\x00\xff\xd9")
        got = self.stream_frames(reader, feeder, FRAMES[20:23])
        self.assertEqual([FRAMES.index(g) for g in got], [20, 21, 22])

        # The feed stops: the viewer stays connected and sees the next feeder's frames.
        feeder.close()
        time.sleep(0.3)
        resumed = Feeder(self.port, chunked=True)
        got = self.stream_frames(reader, resumed, FRAMES[23:28])
        self.assertEqual([FRAMES.index(g) for g in got], [23, 24, 25, 26, 27])
        self.assertEqual(resumed.finish(), 200)
        sock.close()

        # The viewer's place is free again.
        sock2, status, _, _ = open_stream(self.port)
        self.assertEqual(status, 200)
        sock2.close()

        rc, seconds = self.server.stop()
        self.assertEqual(rc, 0)
        self.assertLess(seconds, 1.0)
        if not ARGS.wine:
            out, err = self.server.output()
            self.assertRegex(out, r'127\.0\.0\.1 - - \[[^]]+\] "GET /feed.ffm HTTP/1.1" 200 \d+')
            self.assertRegex(out, r'127\.0\.0\.2 - - \[[^]]+\] "GET /feed.ffm HTTP/1.1" 404 \d+')
            self.assertIn("refused a part of", err)

    def test_mjpeg_and_snapshots_of_the_stream(self):
        self.start(size=(640, 480))
        # No picture yet: a snapshot is refused, a viewer waits.
        status, _, body = get(self.port, "/demo.jpg")
        self.assertEqual((status, body), (503, b"503 No picture has come from the camera yet\n"))
        status, headers, body = request(self.port, b"HEAD /demo.mjpg HTTP/1.1\r\n\r\n")
        self.assertEqual((status, headers["content-type"], body),
                         (200, "multipart/x-mixed-replace;boundary=orvaneframe", b""))
        sock, status, headers, rest = open_stream(self.port, "/demo.mjpg")
        self.assertEqual(status, 200)
        self.assertEqual(headers["content-type"], "multipart/x-mixed-replace;boundary=orvaneframe")
        self.assertNotIn("content-length", headers)
        reader = MjpegReader(sock, "orvaneframe", rest)

        # It takes the one viewer place (MaxClients 1), from SWF viewers too.
        self.assertEqual(get(self.port, "/demo.mjpg")[0], 503)
        self.assertEqual(get(self.port, "/demo.swf")[0], 503)
        # Unknown streams do not exist in any form.
        for path in ("/nothing.mjpg", "/nothing.jpg", "/feed.mjpg", "/demo.swf.jpg"):
            self.assertEqual(get(self.port, path)[0], 404, path)

        feeder = Feeder(self.port)
        got = self.stream_frames(reader, feeder, FRAMES[:10])
        self.assertEqual([FRAMES.index(g) for g in got], list(range(10)))  # in order and intact

        # A snapshot needs no viewer place: the latest frame, whole.
        status, headers, body = get(self.port, "/demo.jpg")
        self.assertEqual((status, headers["content-type"], body), (200, "image/jpeg", FRAMES[9]))
        self.assertEqual(headers["content-length"], str(len(FRAMES[9])))
        status, headers, body = request(self.port, b"HEAD /demo.jpg HTTP/1.1\r\n\r\n")
        self.assertEqual((status, headers["content-length"], body), (200, str(len(FRAMES[9])), b""))

        # The place is free again once the viewer goes.
        sock.close()

        def place_free():
            swf, status, _, _ = open_stream(self.port)
            swf.close()
            return status == 200
        self.assertTrue(wait_until(place_free, 10), "the viewer place stayed taken")
        feeder.close()
        self.assertEqual(self.server.stop()[0], 0)
        if not ARGS.wine:
            out, _ = self.server.output()
            self.assertRegex(out, r'"GET /demo.mjpg HTTP/1.1" 200 \d{6,}\n')  # ten frames and more
            self.assertRegex(out, r'"GET /demo.jpg HTTP/1.1" 503 \d+\n')
            self.assertRegex(out, r'"HEAD /demo.jpg HTTP/1.1" 200 \d+\n')

    def test_bad_requests_and_the_viewer_page(self):
        self.start()
        status, headers, body = get(self.port, "/")
        self.assertEqual(status, 200)
        self.assertIn(b'data-streams=\'["demo.mjpg"]\'', body)
        self.assertEqual(get(self.port, "/nothing.swf")[0], 404)
        self.assertEqual(request(self.port, b"BREW /pot HTCPCP/1.0\r\n\r\n")[0], 400)
        self.assertEqual(request(self.port, b"GET / HTTP/1.1\r\nX: " + b"v" * 20000 + b"\r\n\r\n")[0], 431)
        self.assertEqual(request(self.port, b"GET /" + b"a" * 5000)[0], 400)
        self.assertEqual(request(self.port, b"DELETE /demo.swf HTTP/1.1\r\n\r\n")[0], 405)
        # A feed body that is not multipart.
        self.assertEqual(request(self.port, b"POST /feed.ffm HTTP/1.1\r\nContent-Type: image/jpeg\r\n\r\n")[0], 415)
        # Still serving after all that.
        self.assertEqual(get(self.port, "/feed.ffm")[0], 200)
        self.assertEqual(self.server.stop()[0], 0)

    def test_slow_viewer_skips_frames_and_feeder_is_not_held_up(self):
        self.start()
        sock = socket.socket()
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
        sock.settimeout(15)
        sock.connect(("127.0.0.1", self.port))
        sock.sendall(b"GET /demo.swf HTTP/1.1\r\n\r\n")
        feeder = Feeder(self.port)
        # The viewer reads nothing while much more than any buffer holds is fed.
        big = [f for f in FRAMES if len(f) > 20000] or FRAMES
        t = time.time()
        total = 0
        n = 0
        while total < 12 * 1024 * 1024:
            feeder.frame(big[n % len(big)])
            total += len(big[n % len(big)])
            n += 1
        feeder.frame(FRAMES[-1])
        self.assertLess(time.time() - t, 10)
        status, _, rest = read_head(sock)
        reader = SwfReader(sock, rest)
        seen = []
        while True:
            jpeg = reader.read_frame()[0]
            seen.append(jpeg)
            if jpeg == FRAMES[-1] and len(seen) > 1:
                break
            self.assertLess(len(seen), n)
        # Far fewer frames than were fed reached the viewer, the newest among them.
        self.assertLess(len(seen), n // 2)
        feeder.close()
        sock.close()
        self.assertEqual(self.server.stop()[0], 0)

    def test_out_of_descriptors_the_server_waits_instead_of_spinning(self):
        if ARGS.wine:
            self.skipTest("descriptor limits of the native program")
        # A hard limit the server cannot raise, and more connections than it allows.
        proc = self.server.start(panel_config(self.port), descriptors=(40, 40))
        wait_listening(self.port, 10, proc)
        clients = [connect(self.port) for _ in range(60)]
        time.sleep(0.3)
        cpu = cpu_seconds(proc.pid)
        time.sleep(2)
        used = cpu_seconds(proc.pid) - cpu
        self.assertLess(used, 0.5, "CPU seconds in 2 s while out of descriptors")
        for c in clients:
            c.close()
        # Serves again as soon as descriptors are free.
        self.assertEqual(get(self.port, "/feed.ffm")[0], 200)
        self.assertEqual(self.server.stop()[0], 0)
        self.assertIn("cannot accept", self.server.output()[1])

    def test_the_descriptor_limit_is_raised_to_what_max_http_connections_needs(self):
        if ARGS.wine:
            self.skipTest("descriptor limits of the native program")
        proc = self.server.start(panel_config(self.port), descriptors=(64, 4096))
        wait_listening(self.port, 10, proc)
        with open("/proc/%d/limits" % proc.pid) as f:
            soft = int(next(l for l in f if l.startswith("Max open files")).split()[3])
        self.assertGreaterEqual(soft, 2000 + 3)
        self.assertLessEqual(soft, 4096)
        self.assertEqual(self.server.stop()[0], 0)

    def test_a_log_file_gets_the_lines_of_connections_open_at_the_stop(self):
        if ARGS.wine:
            self.skipTest("the Windows run logs to standard output")
        log = os.path.join(self.work, "access.log")
        proc = self.server.start(panel_config(self.port).replace("CustomLog -", "CustomLog " + log))
        wait_listening(self.port, 10, proc)
        self.assertEqual(get(self.port, "/feed.ffm")[0], 200)
        sock, status, _, _ = open_stream(self.port)
        self.assertEqual(status, 200)
        # Stopped while the viewer watches: its line is written as its connection goes.
        self.assertEqual(self.server.stop()[0], 0)
        sock.close()
        with open(log) as f:
            text = f.read()
        self.assertRegex(text, r'"GET /feed.ffm HTTP/1.1" 200 \d+\n')
        self.assertRegex(text, r'"GET /demo.swf HTTP/1.1" 200 \d+\n')

    def test_stop_then_start_on_the_same_port_streams_at_once(self):
        """A snapshot and a viewer, then Stop and Start: the new server binds the port at once
        (its connections left no TIME_WAIT on it; under Wine a left one refuses the bind, as
        on Linux without SO_REUSEADDR), and the stream flows within 2 s."""
        self.start()
        feeder = Feeder(self.port)
        feeder.frame(FRAMES[0])
        self.assertTrue(wait_until(lambda: get(self.port, "/demo.jpg")[0] == 200, 10))
        sock, status, _, rest = open_stream(self.port, "/demo.mjpg")
        self.assertEqual(status, 200)
        self.assertEqual(len(self.stream_frames(MjpegReader(sock, "orvaneframe", rest), feeder, FRAMES[1:3])), 2)
        self.assertEqual(self.server.stop()[0], 0)
        sock.close()
        feeder.close()
        # Whoever closes first keeps the port in TIME_WAIT: the clients did, or were cut.
        self.assertEqual(time_wait_from(self.port), [])

        # A server that cannot bind ends at once, with its port's exit code (12).
        proc = self.server.start(panel_config(self.port))
        wait_listening(self.port, 30, proc)
        started = time.time()
        feeder = Feeder(self.port)
        sock, status, _, rest = open_stream(self.port, "/demo.mjpg")
        self.assertEqual(status, 200)
        got = self.stream_frames(MjpegReader(sock, "orvaneframe", rest), feeder, FRAMES[3:5])
        self.assertEqual(got, FRAMES[3:5])
        self.assertLess(time.time() - started, 2)
        sock.close()
        feeder.close()

    def test_configuration_errors_end_the_program_before_it_listens(self):
        bad = panel_config(self.port).replace("MaxClients 1", "MaxClients 5000")
        self.server.start(bad)
        self.assertEqual(self.server.wait_exit(), 11)  # a configuration it cannot use
        self.assertIn("orvane.conf:4: MaxClients 5000 is above MaxHTTPConnections 2000", "".join(self.server.output()))
        with self.assertRaises(OSError):
            connect(self.port, timeout=1)

        self.server.start(panel_config(self.port).replace("NoAudio", "NoAudio\r\nAudioBitRate 64"))
        self.assertEqual(self.server.wait_exit(), 11)
        self.assertIn("orvane.conf:17: unknown directive AudioBitRate in <Stream>", "".join(self.server.output()))
        if ARGS.wine:
            return

        missing = subprocess.run([ARGS.server, "-f", os.path.join(self.work, "absent.conf")], capture_output=True,
                                 text=True, timeout=10)
        self.assertEqual(missing.returncode, 10)  # the file cannot be read
        self.assertIn("absent.conf: cannot read the configuration file", missing.stderr)
        self.assertEqual(subprocess.run([ARGS.server], capture_output=True, timeout=10).returncode, 1)

        # A configuration is read whole up to 1 MiB: a file of that size is read (and its last
        # line found wrong), one byte more is refused.
        for size, said in ((1 << 20, "big.conf:2: unknown directive Bogus"),
                           ((1 << 20) + 1, "big.conf: cannot read the configuration file")):
            # Both are files it cannot use (11), not missing ones.
            path = os.path.join(self.work, "big.conf")
            with open(path, "w", newline="") as f:
                f.write("#" * (size - len("\r\nBogus\r\n")) + "\r\nBogus\r\n")
            self.assertEqual(os.path.getsize(path), size)
            big = subprocess.run([ARGS.server, "-f", path], capture_output=True, text=True, timeout=10)
            self.assertEqual(big.returncode, 11)
            self.assertIn(said, big.stderr)


def main():
    global ARGS, FRAMES
    p = argparse.ArgumentParser()
    p.add_argument("--server", required=True)
    p.add_argument("--frames", required=True, help="command that writes frames: <cmd> <dir> <count> <w> <h> <q>")
    p.add_argument("--work", required=True)
    p.add_argument("--wine", action="store_true")
    p.add_argument("--launcher")
    p.add_argument("--wine-run")
    p.add_argument("--wine-prefix")
    ARGS, rest = p.parse_known_args()
    shutil.rmtree(ARGS.work, ignore_errors=True)
    frames_dir = os.path.join(ARGS.work, "frames")
    os.makedirs(frames_dir)
    cmd = ARGS.frames.split("|")
    out_dir = windows_path(frames_dir) if ARGS.wine else frames_dir
    subprocess.run(cmd + [out_dir, "40", "640", "480", "90"], check=True, timeout=120)
    FRAMES = [open(f, "rb").read() for f in sorted(glob.glob(os.path.join(frames_dir, "*.jpg")))]
    assert len(FRAMES) == 40 and len(set(FRAMES)) == 40
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
