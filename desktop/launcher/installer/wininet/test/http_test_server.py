#!/usr/bin/env python3
"""A loopback HTTP server for the WinINet client's tests and benchmark.

    http_test_server.py PORT_FILE [--until-input-ends]

Binds 127.0.0.1 on a free port (or on HTTP_TEST_SERVER_PORT when that is
set, for a demonstration that needs the development servers' fixed ports),
writes the port number to PORT_FILE (through a
rename, so that a reader never sees half of it) and serves until asked to stop
with GET /__control/shutdown.

With --until-input-ends it also stops once its standard input ends, and
sends its standard error where its standard output goes. A test hands it
one end of a connection whose other end only the test holds, so that the
server ends with the test however the test ends (a crash, a kill), and
gives it an output of its own: what a program under Wine starts keeps
that program's standard error, which is the test run's, otherwise.

What a request gets is chosen by its path and query, so that a test needs no
set-up round trip:

  /bytes/N            N bytes of the fixed pattern (PatternByte), 200 with
                      Content-Length, or 206 for "Range: bytes=K-".
    cut=A,B,...       the n-th request for this URL ends its body early, at
                      the absolute offset given n-th (the connection closes).
    reset=1           ends a cut body with a connection reset, not a close.
    resets=F1,F2,...  as reset=1 for the n-th cut alone when Fn is 1.
    percon=K          every response ends its body (a close) after K bytes.
    lie=MODE          the first lies=K (default: every) answers to a range,
                      or with MODE unasked to no range, are 206 answers
                      that lie: start0 (the body from 0, said so), nocr (no
                      Content-Range), skip (from 7 bytes later, said so),
                      early (from 7 bytes earlier, said so), total (the
                      part of another resource, 1000 bytes larger, its
                      bytes shifted by one), pastend (a range that ends
                      at the total, one byte past the resource, and a body
                      one byte longer), longer (Content-Length 100
                      bytes past the range, the body too), longbody (no
                      Content-Length, 100 bytes past the range), unasked (a
                      request without a range gets the body from 100).
    norange=1         answers 200 with the whole body whatever Range says.
    nolength=1        sends no Content-Length; the body ends with the close.
    slow=MS           waits MS milliseconds before every 64 KiB of body.
  /status/CODE        answers CODE with a short body.
  /drip/N?every=MS    200 with Content-Length N, then the pattern, step=K
                      bytes (default 1) every MS milliseconds (default
                      1000).
  /endless            200 and the pattern, as fast as the client takes it,
                      until it goes away (or for 60 s at most): chunked
                      with chunked=1, else without a length (ends with the
                      close) or with the Content-Length length=N.
  /chain/N            302 to /chain/N+1, without end.
  /seq/C1,C2,...      the n-th request for this URL answers the n-th code
                      (the last one repeats); a 200 or 206 in the list serves
                      the /bytes/N body given by size=N (default 1000); a 0
                      ends the connection without a byte of answer, with a
                      reset when drop=reset.
  /files/PATH         the file PATH below the folder "files" beside PORT_FILE,
                      with Range, cut= and slow= as for /bytes; 404 when
                      missing.
  /redirect?to=URL    answers 302 (or code=CODE) to URL (or to the bytes
                      hexto=HEX spells, which no URL handling on the way
                      can change).
  /echo               answers 200 with the request body.
  /proxy/USER/PASSWORD/PATH
                      a proxy that wants Basic credentials in front of
                      PATH (with the query): 407 with Proxy-Authenticate
                      to every request without Proxy-Authorization for
                      USER and PASSWORD (UTF-8 in hexadecimal, so that a
                      client's log of the URL never holds them as typed),
                      and what PATH answers to the others, which alone
                      are recorded;
                      a redirect to another PATH must name the proxy
                      again.
  /collector/...      answers 200 with a short body.
  /reply/CODE/LOC     answers a GET with CODE and "Location: LOC" (LOC
                      percent-decoded; no header when it is absent), any
                      other request with 200; both with a short body. (A
                      crash server asked and then posted to at one URL.)

Any request whose query has a parameter sig gets 403 unless its value is,
byte for byte, the escaped signature a%2Bb%2F%3D%26c (a signed URL that no
URL handling on the way may decode or escape again).

/status, /seq, /echo and /reply ignore what follows in the path (and the
query), so that a base URL
pointing at them can take any further path.

Every request but the control ones is recorded: GET /__control/requests
answers them as a JSON list of {"method", "path", "headers", "body_hex",
"form"}, where "form" lists the parts of a multipart/form-data body, each
{"name", "filename" (null when absent), "type", "data_hex"}, as Python's
own MIME parser reads them (empty for other bodies),
and GET /__control/reset forgets them and the per-URL request counts.
GET /__control/silent_port answers the port of a second listener that
accepts connections and holds them without a byte, read or written, until
the server stops; GET /__control/silent_count answers how many it took.
"""

import base64
import email.parser
import http.server
import json
import os
import re
import select
import socket
import socketserver
import struct
import sys
import threading
import time
import urllib.parse

PERIOD = 65521
CHUNK = 64 * 1024
SIGNATURE = "a%2Bb%2F%3D%26c"
ENDLESS_SECONDS = 60
PROXY_PATH = re.compile(r"^/proxy/([^/]*)/([^/]*)(/.*)$")


def pattern_block():
    # byte i of every body is BLOCK[i % PERIOD]; the tests compute the same.
    return bytes(((j * j * 7 + j) % 256) for j in range(PERIOD))


BLOCK = pattern_block()
# Long enough that any chunk starting anywhere in one period is a slice.
REPEATED = BLOCK * ((CHUNK // PERIOD) + 2)


LIES = {}
LIES_LOCK = threading.Lock()


class Recorder:
    def __init__(self):
        self.lock = threading.Lock()
        self.requests = []
        self.hits = {}

    def record(self, entry, url):
        with self.lock:
            self.requests.append(entry)
            count = self.hits.get(url, 0)
            self.hits[url] = count + 1
            return count

    def reset(self):
        with self.lock:
            self.requests = []
            self.hits = {}
        with LIES_LOCK:
            LIES.clear()

    def dump(self):
        with self.lock:
            return json.dumps(self.requests)


RECORDER = Recorder()
FILES = None


class SilentListener:
    """Accepts connections and holds them, answering nothing."""

    def __init__(self):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(64)
        self.port = self.socket.getsockname()[1]
        self.held = []
        self.lock = threading.Lock()
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        while True:
            connection, _ = self.socket.accept()
            with self.lock:
                self.held.append(connection)

    def count(self):
        with self.lock:
            return len(self.held)


SILENT = None


def parse_form(content_type, body):
    if not content_type or not content_type.startswith("multipart/form-data"):
        return []
    message = email.parser.BytesParser().parsebytes(
        b"Content-Type: " + content_type.encode() + b"\r\n\r\n" + body)
    if not message.is_multipart():
        return []
    parts = []
    for part in message.get_payload():
        # Read raw: a browser-style form leaves backslashes in file names as
        # they are.
        disposition = str(part.get("Content-Disposition", ""))
        name = re.search(r'; name="([^"]*)"', disposition)
        filename = re.search(r'; filename="([^"]*)"', disposition)
        parts.append({
            "name": name.group(1) if name else None,
            "filename": filename.group(1) if filename else None,
            "type": part.get("Content-Type"),
            "data_hex": part.get_payload(decode=True).hex(),
        })
    return parts


def parse_range(header):
    if not header or not header.startswith("bytes="):
        return None
    first = header[len("bytes="):].split("-", 1)[0]
    return int(first) if first.isdigit() else None


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.handle_any()

    def do_POST(self):
        self.handle_any()

    def handle_any(self):
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query,
                                            keep_blank_values=True))
        if url.path.startswith("/__control/"):
            return self.control(url.path[len("/__control/"):])
        entry = {
            "method": self.command,
            "path": self.path,
            "headers": {k: v for k, v in self.headers.items()},
            "body_hex": body.hex(),
            "form": parse_form(self.headers.get("Content-Type"), body),
        }
        proxied = PROXY_PATH.match(url.path)
        if proxied:
            if not self.proxy_authorized(*proxied.groups()[:2]):
                return self.send_proxy_challenge()
            url = url._replace(path=proxied.group(3))
        hit = RECORDER.record(entry, self.path)
        parts = url.path.strip("/").split("/")
        signatures = [p[len("sig="):] for p in url.query.split("&")
                      if p.startswith("sig=")]
        if any(signature != SIGNATURE for signature in signatures):
            return self.send_simple(403, b"bad signature")
        if parts[0] == "endless":
            return self.send_endless(query)
        if parts[0] == "bytes" and len(parts) == 2:
            return self.send_bytes(int(parts[1]), query, hit)
        if parts[0] == "drip" and len(parts) == 2:
            return self.send_drip(int(parts[1]),
                                  int(query.get("every", "1000")),
                                  int(query.get("step", "1")))
        if parts[0] == "chain" and len(parts) == 2:
            self.send_response(302)
            self.send_header("Location", "/chain/%d" % (int(parts[1]) + 1))
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if parts[0] == "status" and len(parts) >= 2:
            return self.send_simple(int(parts[1]), b"status body")
        if parts[0] == "seq" and len(parts) >= 2:
            codes = [int(c) for c in parts[1].split(",")]
            code = codes[min(hit, len(codes) - 1)]
            if code == 0:
                return self.drop(query.get("drop") == "reset")
            if code in (200, 206):
                return self.send_bytes(int(query.get("size", "1000")), query,
                                       hit)
            return self.send_simple(code, b"sequence body")
        if parts[0] == "files" and len(parts) >= 2:
            return self.send_file(os.path.join(FILES, *parts[1:]), query, hit)
        if parts[0] == "redirect":
            self.send_response(int(query.get("code", "302")))
            location = query.get("to", "/")
            if "hexto" in query:
                location = bytes.fromhex(query["hexto"]).decode("latin-1")
            self.send_header("Location", location)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if parts[0] == "echo":
            return self.send_simple(200, body)
        if parts[0] == "collector":
            return self.send_simple(200, b"collected")
        if parts[0] == "reply" and len(parts) >= 2:
            if self.command != "GET":
                return self.send_simple(200, b"reply body")
            return self.send_reply(int(parts[1]), parts[2] if len(parts) > 2
                                   else None)
        return self.send_simple(404, b"not found")

    def control(self, what):
        if what == "requests":
            return self.send_simple(200, RECORDER.dump().encode())
        if what == "silent_port":
            return self.send_simple(200, str(SILENT.port).encode())
        if what == "silent_count":
            return self.send_simple(200, str(SILENT.count()).encode())
        if what == "reset":
            RECORDER.reset()
            return self.send_simple(200, b"reset")
        if what == "shutdown":
            self.send_simple(200, b"bye")
            threading.Thread(target=self.server.shutdown, daemon=True).start()
            return
        return self.send_simple(404, b"no such control")

    def proxy_authorized(self, user, password):
        try:
            credentials = bytes.fromhex(user) + b":" + bytes.fromhex(password)
        except ValueError:
            return False
        expected = "Basic " + base64.b64encode(credentials).decode()
        return self.headers.get("Proxy-Authorization") == expected

    def send_proxy_challenge(self):
        body = b"proxy authentication required"
        self.send_response(407)
        self.send_header("Proxy-Authenticate",
                         'Basic realm="http_test_server proxy"')
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_simple(self, code, body):
        self.send_response(code)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_reply(self, code, location):
        body = b"reply body"
        self.send_response(code)
        if location is not None:
            self.send_header("Location", urllib.parse.unquote(location))
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_file(self, path, query, hit):
        if ".." in path.split(os.sep) or not os.path.isfile(path):
            return self.send_simple(404, b"no such file")
        with open(path, "rb") as f:
            data = f.read()
        slow_ms = int(query.get("slow", "0"))

        def write(first, end):
            for start in range(first, end, CHUNK):
                if slow_ms:
                    time.sleep(slow_ms / 1000.0)
                self.wfile.write(data[start:min(end, start + CHUNK)])

        self.send_bytes(len(data), query, hit, write)

    def send_bytes(self, size, query, hit, write=None):
        start = parse_range(self.headers.get("Range"))
        if query.get("norange") == "1" or start is None or start > size:
            start = None
        lie = self.lie_for(query, start)
        first = start or 0
        if lie == "start0":
            first = 0
        elif lie == "skip":
            first = min(size, first + 7)
        elif lie == "early":
            first = max(0, first - 7)
        elif lie == "unasked":
            first = min(size, 100)
        # A total lie is the answer of another resource: longer, and its
        # bytes shifted by one.
        total = size + 1000 if lie == "total" else size
        shift = 1 if lie == "total" else 0
        extra = {"longer": 100, "longbody": 100, "pastend": 1}.get(lie, 0)
        last = total + extra
        cuts = [int(c) for c in query["cut"].split(",")] if "cut" in query \
            else []
        end = last
        if hit < len(cuts):
            end = max(first, min(last, cuts[hit]))
        if "percon" in query:
            end = min(end, first + int(query["percon"]))
        partial = start is not None or lie is not None
        self.send_response(206 if partial else 200)
        if partial and lie != "nocr":
            self.send_header("Content-Range",
                             "bytes %d-%d/%d" % (first, total - 1 + (
                                 lie == "pastend"), total))
        if query.get("nolength") == "1" or lie == "longbody":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(last - first))
        self.send_header("X-Served-By", "http_test_server")
        self.end_headers()
        if write:
            write(first, end)
        else:
            self.write_pattern(first + shift, end + shift,
                               int(query.get("slow", "0")))
        if end < last:
            # Cut short: the client sees the connection end mid-body.
            self.wfile.flush()
            self.close_connection = True
            resets = query.get("resets", "").split(",")
            if query.get("reset") == "1" or (
                    hit < len(resets) and resets[hit] == "1"):
                # Closed here, before the server's own close would send an
                # orderly end first: the client sees the reset itself, once
                # it has read what came and waits for more.
                time.sleep(0.2)
                self.connection.setsockopt(
                    socket.SOL_SOCKET, socket.SO_LINGER,
                    struct.pack("ii", 1, 0))
                self.connection.close()

    def drop(self, reset):
        self.close_connection = True
        if reset:
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER,
                                       struct.pack("ii", 1, 0))
        self.connection.close()

    def send_endless(self, query):
        chunked = query.get("chunked") == "1"
        self.send_response(200)
        if chunked:
            self.send_header("Transfer-Encoding", "chunked")
        elif "length" in query:
            self.send_header("Content-Length", query["length"])
        else:
            self.send_header("Connection", "close")
        self.close_connection = True
        self.end_headers()
        end = time.monotonic() + ENDLESS_SECONDS
        block = REPEATED[:CHUNK]
        if chunked:
            block = b"%x\r\n" % len(block) + block + b"\r\n"
        try:
            while time.monotonic() < end:
                self.wfile.write(block)
        except OSError:
            pass

    def lie_for(self, query, start):
        """The lie this answer tells, or None; counts the lies per URL."""
        mode = query.get("lie")
        if mode is None or (start is None) != (mode == "unasked"):
            return None
        with LIES_LOCK:
            told = LIES.get(self.path, 0)
            if "lies" in query and told >= int(query["lies"]):
                return None
            LIES[self.path] = told + 1
        return mode

    def send_drip(self, size, every_ms, step):
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        for offset in range(0, size, step):
            count = min(step, size - offset)
            start = offset % PERIOD
            self.wfile.write(REPEATED[start:start + count])
            self.wfile.flush()
            time.sleep(every_ms / 1000.0)

    def write_pattern(self, offset, end, slow_ms):
        while offset < end:
            if slow_ms:
                time.sleep(slow_ms / 1000.0)
            start = offset % PERIOD
            count = min(CHUNK, end - offset)
            self.wfile.write(REPEATED[start:start + count])
            offset += count


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def leave_inherited_output():
    # Whatever else the starting program left open may be the test run's
    # output, which its reader waits on until every holder is gone.
    os.dup2(1, 2)
    os.closerange(3, os.sysconf("SC_OPEN_MAX"))


def serve_until_input_ends(server):
    # Under Wine the input is a socket that does not block.
    while True:
        select.select([0], [], [])
        try:
            if not os.read(0, 4096):
                break
        except BlockingIOError:
            continue
        except OSError:
            break
    server.shutdown()


def main():
    global FILES, SILENT
    port_file = sys.argv[1]
    until_input_ends = sys.argv[2:] == ["--until-input-ends"]
    if until_input_ends:
        leave_inherited_output()
    FILES = os.path.join(os.path.dirname(os.path.abspath(port_file)), "files")
    port = int(os.environ.get("HTTP_TEST_SERVER_PORT", "0"))
    server = Server(("127.0.0.1", port), Handler)
    SILENT = SilentListener()
    temporary = port_file + ".tmp"
    with open(temporary, "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(temporary, port_file)
    if until_input_ends:
        threading.Thread(target=serve_until_input_ends, args=(server,),
                         daemon=True).start()
    server.serve_forever(poll_interval=0.1)
    server.server_close()


if __name__ == "__main__":
    main()
