"""A small client for the server's HTTP interface and readers of its SWF and
MJPEG streams, shared by the end-to-end tests (native and Windows) and the benchmark."""
import socket
import struct
import time


def connect(port, source="127.0.0.1", timeout=10):
    s = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    try:
        s.settimeout(timeout)
        s.bind((source, 0))
        s.connect(("127.0.0.1", port))
    except OSError:
        s.close()
        raise
    return s


def wait_listening(port, seconds=30, proc=None):
    end = time.time() + seconds
    while time.time() < end:
        if proc is not None and proc.poll() is not None:
            raise AssertionError("server ended early with code %s" % proc.returncode)
        try:
            connect(port, timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise AssertionError("server did not listen on port %d" % port)


def read_head(s):
    """Reads a response head; returns (status, headers dict, bytes after the head)."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = s.recv(65536)
        if not chunk:
            raise AssertionError("connection closed before a response head: %r" % data)
        data += chunk
    head, rest = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split(" ")[1])
    headers = {}
    for line in lines[1:]:
        k, v = line.split(":", 1)
        headers[k.strip().lower()] = v.strip()
    return status, headers, rest


def request(port, raw, source="127.0.0.1"):
    """Sends raw bytes, returns (status, headers, body): Content-Length bytes when the answer
    gives it, nothing after the head of a HEAD (and then closes first, as browsers do), else
    read until the server closes."""
    s = connect(port, source)
    s.sendall(raw)
    status, headers, rest = read_head(s)
    length = 0 if raw.startswith(b"HEAD") else int(headers["content-length"]) if "content-length" in headers else None
    while length is None or len(rest) < length:
        try:
            chunk = s.recv(65536)
        except socket.timeout:
            break
        if not chunk:
            break
        rest += chunk
    s.close()
    return status, headers, rest


def get(port, path, source="127.0.0.1"):
    return request(port, ("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode(), source)


class Feeder:
    """Pushes JPEG frames as a multipart body, plain or chunked."""

    def __init__(self, port, source="127.0.0.1", chunked=False, boundary="orvaneframe"):
        self.s = connect(port, source)
        self.chunked = chunked
        self.boundary = boundary
        head = ("POST /feed.ffm HTTP/1.1\r\nHost: x\r\n"
                "Content-Type: multipart/x-mixed-replace;boundary=%s\r\n" % boundary)
        if chunked:
            head += "Transfer-Encoding: chunked\r\n"
        self.s.sendall((head + "\r\n").encode())

    def _send(self, data):
        if self.chunked:
            data = b"%x\r\n" % len(data) + data + b"\r\n"
        self.s.sendall(data)

    def frame(self, jpeg):
        self._send(b"--%s\r\nContent-Type: image/jpeg\r\nContent-Length: %d\r\n\r\n" % (self.boundary.encode(), len(jpeg))
                   + jpeg + b"\r\n")

    def finish(self):
        """Ends the body and returns the server's status."""
        self._send(b"--%s--\r\n" % self.boundary.encode())
        if self.chunked:
            self.s.sendall(b"0\r\n\r\n")
        status, _, _ = read_head(self.s)
        self.s.close()
        return status

    def status_if_refused(self):
        """The status of an answer the server gave at once, or None while it reads on."""
        self.s.settimeout(1.0)
        try:
            status, _, _ = read_head(self.s)
            return status
        except (socket.timeout, AssertionError):
            return None
        finally:
            self.s.settimeout(10)

    def close(self):
        self.s.close()


class SwfReader:
    """Reads the SWF stream incrementally: header fields, then frames (the JPEG
    of each DefineBitsJPEG2 followed by a ShowFrame)."""

    def __init__(self, sock=None, initial=b""):
        self.sock = sock
        self.buf = initial
        self.header = None
        self.pending_jpeg = None
        self.tags = []

    def _fill(self, n):
        while len(self.buf) < n:
            chunk = self.sock.recv(262144)
            if not chunk:
                raise EOFError("stream ended")
            self.buf += chunk

    def read_header(self):
        self._fill(9)
        sig, version, length = self.buf[:3], self.buf[3], struct.unpack("<I", self.buf[4:8])[0]
        nbits = self.buf[8] >> 3
        rect_bytes = (5 + 4 * nbits + 7) // 8
        self._fill(8 + rect_bytes + 4)
        bits = int.from_bytes(self.buf[8:8 + rect_bytes], "big")
        total = rect_bytes * 8
        vals = []
        for i in range(4):
            shift = total - 5 - nbits * (i + 1)
            v = (bits >> shift) & ((1 << nbits) - 1)
            if v >> (nbits - 1):
                v -= 1 << nbits
            vals.append(v)
        pos = 8 + rect_bytes
        rate = self.buf[pos + 1] + self.buf[pos] / 256.0
        count = struct.unpack("<H", self.buf[pos + 2:pos + 4])[0]
        self.buf = self.buf[pos + 4:]
        self.header = dict(signature=sig, version=version, length=length, xmin=vals[0], xmax=vals[1],
                           ymin=vals[2], ymax=vals[3], rate=rate, frames=count)
        return self.header

    def read_tag(self):
        self._fill(2)
        code = struct.unpack("<H", self.buf[:2])[0]
        tag, length, head = code >> 6, code & 63, 2
        if length == 63:
            self._fill(6)
            length = struct.unpack("<I", self.buf[2:6])[0]
            head = 6
        self._fill(head + length)
        body = self.buf[head:head + length]
        self.buf = self.buf[head + length:]
        self.tags.append(tag)
        return tag, body

    def read_frame(self):
        """Returns (jpeg, received time) of the next shown frame."""
        if self.header is None:
            self.read_header()
        while True:
            tag, body = self.read_tag()
            if tag == 21:
                self.pending_jpeg = body[2:]
            elif tag == 1:
                if self.pending_jpeg is not None:
                    jpeg, self.pending_jpeg = self.pending_jpeg, None
                    return jpeg, time.time()
            elif tag == 0:
                raise EOFError("end tag")


class MjpegReader:
    """Reads a multipart/x-mixed-replace JPEG stream part by part, each part
    with its Content-Length, as recorders and browsers read it."""

    def __init__(self, sock, boundary, initial=b""):
        self.sock = sock
        self.boundary = b"--" + boundary.encode()
        self.buf = initial

    def _line(self):
        while b"\r\n" not in self.buf:
            chunk = self.sock.recv(262144)
            if not chunk:
                raise EOFError("stream ended")
            self.buf += chunk
        line, self.buf = self.buf.split(b"\r\n", 1)
        return line

    def read_frame(self):
        """Returns (jpeg, received time) of the next part."""
        line = self._line()
        while line == b"":
            line = self._line()
        if line != self.boundary:
            raise AssertionError("expected the boundary, got %r" % line[:80])
        headers = {}
        while True:
            line = self._line()
            if not line:
                break
            k, v = line.decode("latin-1").split(":", 1)
            headers[k.strip().lower()] = v.strip()
        if headers.get("content-type") != "image/jpeg":
            raise AssertionError("part headers %r" % headers)
        length = int(headers["content-length"])
        while len(self.buf) < length + 2:
            chunk = self.sock.recv(262144)
            if not chunk:
                raise EOFError("stream ended")
            self.buf += chunk
        jpeg, end, self.buf = self.buf[:length], self.buf[length:length + 2], self.buf[length + 2:]
        if end != b"\r\n":
            raise AssertionError("part not followed by CR LF")
        return jpeg, time.time()


def open_stream(port, path="/demo.swf", source="127.0.0.1"):
    s = connect(port, source, timeout=15)
    s.sendall(("GET %s HTTP/1.1\r\nHost: x\r\n\r\n" % path).encode())
    status, headers, rest = read_head(s)
    return s, status, headers, rest
