"""Helpers shared by the streaming programs' Python tests and benchmarks. Shell
scripts use two of them as commands:
  test_support.py free-port                      prints a free loopback port
  test_support.py panel-config PORT [WxH]        prints the panel's configuration"""
import os
import socket
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


def free_port():
    """A loopback TCP port that was free a moment ago."""
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def wait_until(condition, seconds=30):
    """Whether condition() came true within seconds, asked every 50 ms: a wait for
    what a test is about, returning as soon as it holds."""
    end = time.time() + seconds
    while not condition():
        if time.time() > end:
            return False
        time.sleep(0.05)
    return True


def windows_path(path):
    """A Linux path as Windows programs under Wine see it: on drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def panel_config(port, frame_rate=15, size=None, bit_rate=0, max_clients=1):
    """The configuration file as the control panel writes it."""
    lines = ["Port %d" % port, "BindAddress 0.0.0.0", "MaxHTTPConnections 2000", "MaxClients %d" % max_clients,
             "MaxBandwidth 100000", "CustomLog -", "NoDaemon", "<Feed feed.ffm>", "File mem:feed.ffm",
             "FileMaxSize 200K", "ACL allow 127.0.0.1", "</Feed>", "<Stream demo.swf>", "Format swf",
             "Feed feed.ffm", "NoAudio", "VideoFrameRate %d" % frame_rate]
    if size:
        lines.append("VideoSize %dx%d" % size)
    if bit_rate > 0:
        lines += ["VideoBitRate %d" % bit_rate, "VideoBitRateTolerance %d" % (bit_rate // frame_rate + 1)]
    lines.append("</Stream>")
    return "".join(l + "\r\n" for l in lines)


def release_server():
    """The server program built optimised and without sanitizers, as shipped."""
    build = os.path.join(ROOT, "build", "bench", "release")
    subprocess.run(["cmake", "-S", ROOT, "-B", build, "-DCMAKE_BUILD_TYPE=Release", "-G", "Unix Makefiles"],
                   check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j", "2", "--target", "server"], check=True, stdout=subprocess.DEVNULL)
    return os.path.join(build, "programs", "server", "server")


if __name__ == "__main__":
    args = sys.argv[1:]
    if args == ["free-port"]:
        print(free_port())
    elif args[:1] == ["panel-config"] and len(args) in (2, 3):
        size = tuple(int(n) for n in args[2].split("x")) if len(args) == 3 else None
        sys.stdout.write(panel_config(int(args[1]), size=size))
    else:
        sys.exit(__doc__)
