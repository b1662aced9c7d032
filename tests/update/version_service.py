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
KINDS = ("files", "nolength", "drop", "slow", "crawl", "chunkdrop", "stall", "redirect")
PORT = int(sys.argv[2])


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        with open(os.path.join(DIR, "requests.log"), "a") as log:
            log.write("%s %s %s\n" % (self.command, self.path, self.headers.get("User-Agent", "")))

    def send(self, status, body, length=True):
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        if length:
            self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        if self.path == "/api/version/latest":
            hung = 0
            while os.path.exists(os.path.join(DIR, "hang")) and hung < 3000:
                time.sleep(0.1)
                hung += 1
            try:
                with open(os.path.join(DIR, "answer.json"), "rb") as f:
                    self.send(200, f.read())
            except FileNotFoundError:
                self.send(503, b"no answer set")
        elif self.path == "/empty":
            self.send(200, b"")
        elif self.path.count("/") == 2 and self.path.split("/")[1] in KINDS:
            kind, name = self.path.split("/")[1:]
            if kind == "redirect":
                self.send_response(302)
                self.send_header("Location", "http://%s/files/%s" % (self.headers.get("Host", "").split(":")[0], name))
                self.send_header("Content-Length", "0")
                return self.end_headers()
            try:
                with open(os.path.join(DIR, "files", name), "rb") as f:
                    body = f.read()
            except FileNotFoundError:
                return self.send(404, b"no such file")
            if kind == "files":
                return self.send(200, body)
            if kind == "nolength":
                return self.send(200, body, length=False)
            if kind == "chunkdrop":
                self.protocol_version = "HTTP/1.1"
                self.send_response(200)
                self.send_header("Transfer-Encoding", "chunked")
                self.end_headers()
                half = body[: len(body) // 2]
                for i in range(0, len(half), 4096):
                    piece = half[i : i + 4096]
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.flush()
                self.close_connection = True
                return
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if kind in ("drop", "stall"):
                self.wfile.write(body[: len(body) // 2])
                self.wfile.flush()
                if kind == "stall":
                    time.sleep(60)
                self.close_connection = True
                return
            for i in range(0, len(body), 4096):
                self.wfile.write(body[i : i + 4096])
                self.wfile.flush()
                time.sleep(0.1 if kind == "crawl" else 0.05)
            self.close_connection = True
        else:
            self.send(404, b"unknown")


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
