#!/usr/bin/env python3
"""A local stand-in for the vendor's version service: version_service.py DIR PORT [CERT KEY]

/api/version/latest answers DIR/answer.json (503 without it; only once DIR/hang is
gone); /empty is empty; /KIND/NAME serves DIR/files/NAME as KIND says: files
(with its length), nolength, drop (half, after announcing the whole), slow (in
pieces), crawl (in pieces ten times a second), chunkdrop (in chunks without a
length, dropped half way), stall (half, then silence), redirect (302 to the same
file over http); anything else is a 404. Over HTTPS it also serves all this over
http on port 80. Writes DIR/ready once it listens.
"""
import http.server
import os
import sys
import time

DIR = sys.argv[1]
PORT = int(sys.argv[2])
PACE = {"slow": 0.05, "crawl": 0.1}  # seconds between pieces of 4 KB
KINDS = ("files", "nolength", "drop", "chunkdrop", "stall", "redirect") + tuple(PACE)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        with open(os.path.join(DIR, "requests.log"), "a") as log:
            log.write("%s %s %s\n" % (self.command, self.path, self.headers.get("User-Agent", "")))

    def head(self, status, length=None, **headers):
        self.send_response(status)
        if length is not None:
            headers["Content-Length"] = str(length)
        for name, value in headers.items():
            self.send_header(name.replace("_", "-"), value)
        self.end_headers()

    def send(self, status, body):
        self.head(status, len(body))
        self.wfile.write(body)

    def do_GET(self):
        kind, _, name = self.path[1:].partition("/")
        if self.path == "/api/version/latest":
            for _ in range(3000):
                if not os.path.exists(os.path.join(DIR, "hang")):
                    break
                time.sleep(0.1)
            try:
                with open(os.path.join(DIR, "answer.json"), "rb") as f:
                    self.send(200, f.read())
            except FileNotFoundError:
                self.send(503, b"no answer set")
        elif self.path == "/empty":
            self.send(200, b"")
        elif kind not in KINDS or not name or "/" in name:
            self.send(404, b"unknown")
        elif kind == "redirect":
            self.head(302, 0, Location="http://%s/files/%s" % (self.headers.get("Host", "").split(":")[0], name))
        elif not os.path.exists(os.path.join(DIR, "files", name)):
            self.send(404, b"no such file")
        else:
            with open(os.path.join(DIR, "files", name), "rb") as f:
                body = f.read()
            self.close_connection = True
            if kind == "chunkdrop":
                self.protocol_version = "HTTP/1.1"
                self.head(200, Transfer_Encoding="chunked")
                half = body[: len(body) // 2]
                for i in range(0, len(half), 4096):
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(half[i : i + 4096]), half[i : i + 4096]))
            elif kind in ("drop", "stall"):
                self.head(200, len(body))
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                if kind == "stall":
                    time.sleep(60)
            else:
                self.head(200, None if kind == "nolength" else len(body))
                for i in range(0, len(body), 4096):
                    self.wfile.write(body[i : i + 4096])
                    self.wfile.flush()
                    time.sleep(PACE.get(kind, 0))


server = http.server.ThreadingHTTPServer(("127.0.0.1", PORT), Handler)
if len(sys.argv) > 4:
    import ssl
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[3], sys.argv[4])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    # The same files over plain http, where a redirect must never lead.
    import threading
    plain = http.server.ThreadingHTTPServer(("127.0.0.1", 80), Handler)
    threading.Thread(target=plain.serve_forever, daemon=True).start()
open(os.path.join(DIR, "ready"), "w").close()
server.serve_forever()
