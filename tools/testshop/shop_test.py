#!/usr/bin/env python3
"""Checks of shop.py that need a TLS client or watch the process itself:
the HTTPS listener and its certificate, the CONNECT tunnel, the request
parser on bad or unusual input, and how the shop ends."""

import base64
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import unittest

SHOP = os.path.join(os.path.dirname(os.path.abspath(__file__)), "shop.py")


def start_shop(*args):
    proc = subprocess.Popen([sys.executable, "-I", SHOP, *args], stdin=subprocess.PIPE,
                            stdout=subprocess.PIPE)
    line = proc.stdout.readline()
    if not line:
        proc.kill()
        proc.wait()
        raise RuntimeError("shop.py ended before it listened")
    return proc, json.loads(line)


def pattern(n):
    return bytes((i * 31 + 7) & 0xFF for i in range(n))


def read_response(sock):
    """Reads one response framed by Content-Length; returns (status, head, body)."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = sock.recv(65536)
        if not chunk:
            break
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    status = int(lines[0].split(" ")[1]) if lines[0].startswith("HTTP/1.") else 0
    length = None
    for line in lines[1:]:
        name, _, value = line.partition(":")
        if name.lower() == "content-length":
            length = int(value)
    while length is not None and len(body) < length:
        chunk = sock.recv(65536)
        if not chunk:
            break
        body += chunk
    return status, head.decode("latin-1"), body


class ShopTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.proc, cls.ports = start_shop()

    @classmethod
    def tearDownClass(cls):
        cls.proc.stdin.close()
        cls.proc.wait(timeout=10)
        cls.proc.stdout.close()

    def control(self, method, path, body=b""):
        with socket.create_connection(("127.0.0.1", self.ports["http"]), timeout=10) as s:
            s.sendall(("%s %s HTTP/1.0\r\nContent-Length: %d\r\n\r\n"
                       % (method, path, len(body))).encode() + body)
            status, _, answer = read_response(s)
        self.assertEqual(status, 200, answer)
        return answer

    def setUp(self):
        self.control("POST", "/__shop/reset")

    def add_routes(self, routes):
        self.control("POST", "/__shop/routes", json.dumps(routes).encode())

    def log(self):
        return json.loads(self.control("GET", "/__shop/log"))

    def tls_context(self):
        ctx = ssl.create_default_context(cafile=self.ports["cert"])
        return ctx

    def test_https_serves_routes_with_a_certificate_for_the_shop_hosts(self):
        self.add_routes([{"host": "*", "path": "/n12/a.jpg", "body_size": 5000}])
        for name in ("img.quorvel.example", "quorvel.example", "localhost"):
            with self.subTest(name=name):
                raw = socket.create_connection(("127.0.0.1", self.ports["https"]), timeout=10)
                with self.tls_context().wrap_socket(raw, server_hostname=name) as s:
                    s.sendall(b"GET /n12/a.jpg HTTP/1.1\r\nHost: %s\r\n\r\n" % name.encode())
                    status, _, body = read_response(s)
                    self.assertEqual(status, 200)
                    self.assertEqual(body, pattern(5000))
        entries = self.log()
        self.assertEqual([e["scheme"] for e in entries], ["https"] * 3)
        self.assertEqual({e["port"] for e in entries}, {self.ports["https"]})

        # A host the certificate does not name fails verification.
        raw = socket.create_connection(("127.0.0.1", self.ports["https"]), timeout=10)
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.tls_context().wrap_socket(raw, server_hostname="quorvel.test")
        raw.close()

    def tls_until_closed(self, request):
        """Sends request over TLS and reads until the connection ends; returns
        (bytes, "reset" | "eof" | "close_notify"). TLS runs over memory
        buffers so that a TCP reset shows as such, not as a TLS error."""
        sock = socket.create_connection(("127.0.0.1", self.ports["https"]), timeout=10)
        incoming, outgoing = ssl.MemoryBIO(), ssl.MemoryBIO()
        tls = self.tls_context().wrap_bio(incoming, outgoing,
                                          server_hostname="img.quorvel.example")

        def flush():
            data = outgoing.read()
            if data:
                sock.sendall(data)

        def pump():
            data = sock.recv(65536)
            if data:
                incoming.write(data)
            else:
                incoming.write_eof()

        try:
            while True:
                try:
                    tls.do_handshake()
                    break
                except ssl.SSLWantReadError:
                    flush()
                    pump()
            tls.write(request)
            flush()
            got = b""
            while True:
                try:
                    data = tls.read(65536)
                    if not data:
                        return got, "close_notify"
                    got += data
                except ssl.SSLWantReadError:
                    try:
                        pump()
                    except ConnectionResetError:
                        return got, "reset"
                except ssl.SSLZeroReturnError:
                    return got, "close_notify"
                except ssl.SSLEOFError:
                    return got, "eof"
        finally:
            sock.close()

    def test_https_faults_behave_as_on_plain_http(self):
        self.add_routes([{"path": "/r", "body_size": 50000, "reset_after": 1000},
                         {"path": "/short", "body_size": 1000, "content_length": 5000},
                         {"path": "/ok", "body": "still here"}])
        cases = [("/r", "reset", 1000), ("/short", "close_notify", 1000)]
        for path, how, size in cases:
            with self.subTest(path=path):
                got, end = self.tls_until_closed(
                    b"GET %s HTTP/1.1\r\nHost: img.quorvel.example\r\n\r\n" % path.encode())
                self.assertEqual(end, how)
                self.assertEqual(got.partition(b"\r\n\r\n")[2], pattern(size))
        # The listener still serves new connections afterwards.
        raw = socket.create_connection(("127.0.0.1", self.ports["https"]), timeout=10)
        with self.tls_context().wrap_socket(raw, server_hostname="img.quorvel.example") as s:
            s.sendall(b"GET /ok HTTP/1.1\r\nHost: img.quorvel.example\r\n\r\n")
            self.assertEqual(read_response(s)[2], b"still here")

    def test_connect_tunnels_to_the_https_listener(self):
        self.add_routes([{"host": "img.quorvel.example", "path": "/n12/t.jpg", "body": "tunnelled"}])
        with socket.create_connection(("127.0.0.1", self.ports["http"]), timeout=10) as raw:
            raw.sendall(b"CONNECT img.quorvel.example:443 HTTP/1.1\r\n"
                        b"Host: img.quorvel.example:443\r\n\r\n")
            answer = b""
            while b"\r\n\r\n" not in answer:
                answer += raw.recv(1)
            self.assertTrue(answer.startswith(b"HTTP/1.1 200"), answer)
            with self.tls_context().wrap_socket(raw, server_hostname="img.quorvel.example") as s:
                s.sendall(b"GET /n12/t.jpg HTTP/1.1\r\nHost: img.quorvel.example\r\n\r\n")
                status, _, body = read_response(s)
        self.assertEqual((status, body), (200, b"tunnelled"))
        entries = self.log()
        self.assertEqual([(e["method"], e["scheme"]) for e in entries],
                         [("CONNECT", "http"), ("GET", "https")])
        self.assertEqual(entries[0]["target"], "img.quorvel.example:443")

        with socket.create_connection(("127.0.0.1", self.ports["http"]), timeout=10) as raw:
            raw.sendall(b"CONNECT mail.quorvel.example:25 HTTP/1.1\r\n\r\n")
            self.assertEqual(read_response(raw)[0], 502)

    def test_request_parser_handles_odd_and_bad_input(self):
        self.add_routes([{"path": "/up", "body": "ok"}])
        cases = [
            ("bad request line", b"GARBAGE\r\n\r\n", 400),
            ("header without colon", b"GET /up HTTP/1.1\r\nHost x\r\n\r\n", 400),
            ("bad Content-Length", b"POST /up HTTP/1.1\r\nContent-Length: -1\r\n\r\n", 400),
            ("huge header block",
             b"GET /up HTTP/1.1\r\n" + b"X-Big: " + b"b" * 300000 + b"\r\n\r\n", 431),
            ("HTTP/2 preface", b"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", 400),
        ]
        for name, request, want in cases:
            with self.subTest(name=name):
                with socket.create_connection(("127.0.0.1", self.ports["http"]),
                                              timeout=10) as s:
                    try:
                        s.sendall(request)
                    except OSError:
                        pass  # the shop may answer and close before all is sent
                    status, head, _ = read_response(s)
                    self.assertEqual(status, want, head)
                    self.assertIn("Connection: close", head)

        # A chunked request body is logged decoded; Expect: 100-continue is honoured.
        self.control("POST", "/__shop/reset")
        self.add_routes([{"path": "/up", "body": "ok"}])
        with socket.create_connection(("127.0.0.1", self.ports["http"]), timeout=10) as s:
            s.sendall(b"POST /up HTTP/1.1\r\nHost: d.quorvel.example\r\n"
                      b"Transfer-Encoding: chunked\r\nExpect: 100-continue\r\n\r\n")
            interim = b""
            while not interim.endswith(b"\r\n\r\n"):
                interim += s.recv(1)
            self.assertEqual(interim, b"HTTP/1.1 100 Continue\r\n\r\n")
            s.sendall(b"5\r\nhello\r\n6;ext=1\r\n world\r\n0\r\n\r\n")
            self.assertEqual(read_response(s)[2], b"ok")
        entry = self.log()[0]
        self.assertEqual(base64.b64decode(entry["body_b64"]), b"hello world")


class RoutesFileTest(unittest.TestCase):
    """--routes loads routes at start-up; body_file serves a file's bytes."""

    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="qv-shop-test-")
        os.mkdir(os.path.join(self.folder, "pictures"))
        self.picture = bytes(range(256)) * 3 + b"\0end"
        with open(os.path.join(self.folder, "pictures", "a.jpg"), "wb") as f:
            f.write(self.picture)

    def tearDown(self):
        shutil.rmtree(self.folder, ignore_errors=True)

    def write_routes(self, routes):
        name = os.path.join(self.folder, "routes.json")
        with open(name, "w", encoding="utf-8") as f:
            json.dump(routes, f)
        return name

    def get(self, port, host, path):
        with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
            s.sendall(b"GET %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n"
                      % (path.encode(), host.encode()))
            return read_response(s)

    def test_relative_body_file_is_taken_from_the_routes_folder(self):
        routes = self.write_routes([
            {"host": "img.quorvel.example", "path": "/n12/a.jpg", "body_file": "pictures/a.jpg"},
            {"host": "*", "path": "/p.html", "body": "页面"},
        ])
        # Started elsewhere, so only the routes file's folder can resolve the path.
        proc = subprocess.Popen([sys.executable, "-I", SHOP, "--routes", routes],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE, cwd="/")
        try:
            ports = json.loads(proc.stdout.readline())
            status, head, body = self.get(ports["http"], "img.quorvel.example", "/n12/a.jpg")
            self.assertEqual(status, 200)
            self.assertEqual(body, self.picture)
            self.assertIn("Content-Type: image/jpeg", head)
            status, _, body = self.get(ports["http"], "item.quorvel.example", "/p.html")
            self.assertEqual((status, body), (200, "页面".encode()))
        finally:
            proc.stdin.close()
            self.assertEqual(proc.wait(timeout=10), 0)
            proc.stdout.close()

    def test_posted_body_file_and_bad_ones(self):
        proc, ports = start_shop()
        try:
            def post(routes):
                with socket.create_connection(("127.0.0.1", ports["http"]), timeout=10) as s:
                    body = json.dumps(routes).encode()
                    s.sendall(b"POST /__shop/routes HTTP/1.0\r\nContent-Length: %d\r\n\r\n"
                              % len(body) + body)
                    return read_response(s)

            absolute = os.path.join(self.folder, "pictures", "a.jpg")
            self.assertEqual(post([{"path": "/a.jpg", "body_file": absolute}])[0], 200)
            self.assertEqual(self.get(ports["http"], "x", "/a.jpg")[2], self.picture)
            for name, route in (
                    ("missing file", {"path": "/m.jpg", "body_file": absolute + ".none"}),
                    ("a folder", {"path": "/f.jpg", "body_file": self.folder}),
                    ("empty name", {"path": "/e.jpg", "body_file": ""}),
                    ("two bodies", {"path": "/t.jpg", "body_file": absolute, "body": "x"})):
                with self.subTest(name=name):
                    status, _, answer = post([route])
                    self.assertEqual(status, 400, answer)
                    self.assertEqual(self.get(ports["http"], "x", route["path"])[0], 404)
        finally:
            proc.stdin.close()
            proc.wait(timeout=10)
            proc.stdout.close()

    def test_bad_routes_file_stops_the_start(self):
        for name, content in (("missing picture", [{"path": "/a", "body_file": "none.jpg"}]),
                              ("not json", None)):
            with self.subTest(name=name):
                routes = self.write_routes(content) if content else os.path.join(
                    self.folder, "pictures", "a.jpg")
                done = subprocess.run([sys.executable, "-I", SHOP, "--routes", routes],
                                      stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
                self.assertNotEqual(done.returncode, 0)
                self.assertEqual(done.stdout, b"")
                self.assertIn(b"routes file", done.stderr)
                self.assertNotIn(b"Traceback", done.stderr)


class LifetimeTest(unittest.TestCase):
    def test_shop_ends_and_cleans_up(self):
        for how in ("stdin closed", "SIGTERM"):
            with self.subTest(how=how):
                proc, ports = start_shop()
                self.assertTrue(os.path.exists(ports["cert"]))
                if how == "SIGTERM":
                    proc.send_signal(signal.SIGTERM)
                proc.stdin.close()
                self.assertEqual(proc.wait(timeout=10), 0)
                proc.stdout.close()
                self.assertFalse(os.path.exists(os.path.dirname(ports["cert"])))
                with self.assertRaises(ConnectionRefusedError):
                    socket.create_connection(("127.0.0.1", ports["http"]), timeout=5).close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
