#!/usr/bin/env python3
# Loopback HTTPS server for the fetch and refresh-worker tests: a throwaway certificate authority made
# with openssl at start, canned responses by path, and a log of every request's headers.
#
#   feed_server.py start STATE_DIR [LIFETIME]   generate certificates, start the server in the background (ending by
#                                               itself after LIFETIME seconds, 900 unless given), wait until it listens
#   feed_server.py stop STATE_DIR    stop the server that start left running
#
# STATE_DIR receives ca.pem (the authority the tests trust), ports.json ({"trusted", "untrusted",
# "closed"}), requests.jsonl (one JSON object per request: path and headers), server.pid, server.log.

import gzip
import http.server
import json
import os
import signal
import socket
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

LIFETIME_SECONDS = 900  # the server ends by itself even if nobody stops it
START_WAIT_SECONDS = 20
TRICKLE_LIMIT_SECONDS = 20


# ---------------------------------------------------------------------------------------------
# Certificates


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)


def make_authority(state, name, common_name):
    key, cert = os.path.join(state, name + "-ca.key"), os.path.join(state, name + "-ca.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert, "-days", "2",
            "-sha256", "-subj", "/CN=" + common_name, "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return key, cert


def make_server_cert(state, name, ca_key, ca_cert):
    key, csr, cert = (os.path.join(state, name + suffix) for suffix in (".key", ".csr", ".pem"))
    ext = os.path.join(state, name + ".ext")
    with open(ext, "w") as f:
        f.write("basicConstraints=critical,CA:FALSE\nkeyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n")
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr, "-subj", "/CN=localhost")
    openssl("x509", "-req", "-in", csr, "-CA", ca_cert, "-CAkey", ca_key, "-CAcreateserial", "-out", cert,
            "-days", "2", "-sha256", "-extfile", ext)
    return key, cert


# ---------------------------------------------------------------------------------------------
# Canned responses


def pattern_bytes(n):
    # Byte i is i % 251: NUL bytes and high bytes included, and no 32 KiB read lines up with the period.
    period = bytes(range(251))
    return (period * (n // 251 + 1))[:n]


def rss_document(agency, domain, titles):
    items = "".join(
        "<item><title>{t}</title><link>https://www.{d}/news/{slug}/</link>"
        "<description>{a} story {i}.</description><pubDate>Wed, 12 Jun 2024 1{i}:00:00 GMT</pubDate></item>"
        .format(t=t, d=domain, slug=t.lower().replace(" ", "-"), a=agency, i=i)
        for i, t in enumerate(titles))
    return ('<?xml version="1.0" encoding="utf-8"?><rss version="2.0"><channel><title>{a}</title>'
            "<link>https://www.{d}/</link>{items}</channel></rss>").format(a=agency, d=domain, items=items).encode()


FEEDS = {
    "nasa": rss_document("NASA", "nasa.gov", ["Comet Dust Sampled", "Solar Wind Mapped"]),
    "noaa": rss_document("NOAA", "noaa.gov", ["Reef Survey Completed", "Storm Season Outlook"]),
}

GZIP_TEXT = b"Compressed feed body, decoded by the client.\n" * 200
GZIP_BODY = gzip.compress(GZIP_TEXT)
GZIP_BOMB = gzip.compress(b"\0" * (5 * 1024 * 1024))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"
    server_version = "LoopbackFeeds/1"

    def log_message(self, *args):
        pass

    def record(self):
        entry = {"path": self.path, "headers": [[k, v] for k, v in self.headers.items()]}
        with self.server.log_lock:
            with open(self.server.log_path, "a") as f:
                f.write(json.dumps(entry) + "\n")
                f.flush()

    def reply(self, status, body=b"", headers=()):
        self.send_response(status)
        for k, v in headers:
            self.send_header(k, v)
        if status != 304:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if status != 304 and body:
            self.wfile.write(body)

    def trickle(self, total, interval):
        self.send_response(200)
        self.send_header("Content-Length", str(total))
        self.end_headers()
        self.wfile.flush()
        started = time.monotonic()
        for _ in range(total):
            if time.monotonic() - started > TRICKLE_LIMIT_SECONDS:
                break
            self.wfile.write(b"x")
            self.wfile.flush()
            time.sleep(interval)

    def do_GET(self):
        self.record()
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        parts = [p for p in url.path.split("/") if p]
        try:
            self.route(url, parts, query)
        except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError):
            pass  # the client gave up (deadline, size bound): nothing left to answer

    def route(self, url, parts, query):
        head = parts[0] if parts else ""
        if head == "pattern" and len(parts) == 2:
            self.reply(200, pattern_bytes(int(parts[1])), [("Content-Type", "application/octet-stream")])
        elif head == "status" and len(parts) == 2:
            self.reply(int(parts[1]), b"status body\n")
        elif head == "redirect":
            # The target answers 200 and carries the query, so a followed redirect shows in the log.
            self.reply(301, b"moved\n", [("Location", "/pattern/16?followed&" + url.query)])
        elif head == "gzip":
            self.reply(200, GZIP_BODY, [("Content-Encoding", "gzip"), ("Content-Type", "text/plain")])
        elif head == "gzip-bomb":
            self.reply(200, GZIP_BOMB, [("Content-Encoding", "gzip"), ("Content-Type", "text/plain")])
        elif head == "trickle":
            self.trickle(int(query.get("bytes", "100")), int(query.get("ms", "200")) / 1000.0)
        elif head == "stall":
            # Reads the request and never answers, so the client sits in its receive time-out.
            time.sleep(min(float(query.get("s", "30")), TRICKLE_LIMIT_SECONDS))
        elif head == "cookie":
            self.reply(200, b"cookie set\n", [("Set-Cookie", "kestrune_probe=crumb; Path=/")])
        elif head == "echo":
            self.reply(200, b"echo\n")
        elif head == "feed" and len(parts) == 2 and parts[1] in FEEDS:
            self.reply(200, FEEDS[parts[1]], [("Content-Type", "application/rss+xml")])
        else:
            self.reply(404, b"not here\n")


class TlsServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, context, log_path, log_lock):
        super().__init__(("127.0.0.1", 0), Handler)
        self.context = context
        self.log_path = log_path
        self.log_lock = log_lock

    def finish_request(self, request, client_address):
        # The handshake runs on the request's own thread, so a client that refuses the certificate
        # cannot hold up the accept loop.
        request.settimeout(30)
        tls = self.context.wrap_socket(request, server_side=True)
        self.RequestHandlerClass(tls, client_address, self)

    def handle_error(self, request, client_address):
        pass  # refused handshakes are part of the tests


def tls_context(cert, key):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


# ---------------------------------------------------------------------------------------------
# Commands


def serve(state, lifetime):
    trusted_cert, trusted_key = (os.path.join(state, "trusted" + s) for s in (".pem", ".key"))
    untrusted_cert, untrusted_key = (os.path.join(state, "untrusted" + s) for s in (".pem", ".key"))
    log_path = os.path.join(state, "requests.jsonl")
    open(log_path, "w").close()
    lock = threading.Lock()
    servers = [TlsServer(tls_context(trusted_cert, trusted_key), log_path, lock),
               TlsServer(tls_context(untrusted_cert, untrusted_key), log_path, lock)]
    probe = socket.socket()
    probe.bind(("127.0.0.1", 0))
    closed_port = probe.getsockname()[1]
    probe.close()
    for server in servers:
        threading.Thread(target=server.serve_forever, daemon=True).start()
    ports = {"trusted": servers[0].server_address[1], "untrusted": servers[1].server_address[1],
             "closed": closed_port}
    tmp = os.path.join(state, "ports.json.tmp")
    with open(tmp, "w") as f:
        json.dump(ports, f)
    os.replace(tmp, os.path.join(state, "ports.json"))

    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    done.wait(lifetime)
    for server in servers:
        server.shutdown()


def read_pid(state):
    try:
        with open(os.path.join(state, "server.pid")) as f:
            return int(f.read().strip())
    except (OSError, ValueError):
        return None


def alive(pid):
    try:
        os.kill(pid, 0)
        return True
    except OSError:
        return False


def stop(state):
    pid = read_pid(state)
    if pid is not None and alive(pid):
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 5
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if alive(pid):
            os.kill(pid, signal.SIGKILL)
    for name in ("server.pid", "ports.json"):
        try:
            os.remove(os.path.join(state, name))
        except OSError:
            pass
    return 0


def start(state, lifetime):
    os.makedirs(state, exist_ok=True)
    stop(state)
    make_server_cert(state, "trusted", *make_authority(state, "trusted", "Kestrune Loopback Test Root"))
    make_server_cert(state, "untrusted", *make_authority(state, "untrusted", "Untrusted Loopback Root"))
    # The test trusts only this file; the untrusted authority's certificate stays with the server.
    with open(os.path.join(state, "trusted-ca.pem")) as src, open(os.path.join(state, "ca.pem"), "w") as dst:
        dst.write(src.read())
    log = open(os.path.join(state, "server.log"), "w")
    # Detached and with its own output: CTest waits for every holder of the test's pipes.
    child = subprocess.Popen([sys.executable, os.path.abspath(__file__), "serve", state, str(lifetime)],
                             stdin=subprocess.DEVNULL,
                             stdout=log, stderr=subprocess.STDOUT, close_fds=True, start_new_session=True)
    with open(os.path.join(state, "server.pid"), "w") as f:
        f.write(str(child.pid))
    deadline = time.monotonic() + START_WAIT_SECONDS
    while time.monotonic() < deadline:
        if os.path.exists(os.path.join(state, "ports.json")):
            print("loopback feed server listening:", open(os.path.join(state, "ports.json")).read())
            return 0
        if child.poll() is not None:
            break
        time.sleep(0.05)
    print(open(os.path.join(state, "server.log")).read(), file=sys.stderr)
    stop(state)
    return 1


def main(argv):
    if len(argv) not in (3, 4) or argv[1] not in ("start", "stop", "serve"):
        print(__doc__ or "usage: feed_server.py start|stop STATE_DIR [LIFETIME]", file=sys.stderr)
        return 2
    state = os.path.abspath(argv[2])
    lifetime = int(argv[3]) if len(argv) == 4 else LIFETIME_SECONDS
    if argv[1] == "start":
        return start(state, lifetime)
    if argv[1] == "stop":
        return stop(state)
    serve(state, lifetime)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
