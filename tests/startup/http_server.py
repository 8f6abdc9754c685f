#!/usr/bin/env python3
"""A small HTTP server for the download tests: prints its port, then serves a few fixed paths."""
import http.server
import sys

AGENT = "Orbelo Live Client/6.2 Mar-01-2009"
PICTURE = bytes(range(256)) * 40  # 10240 bytes


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send_body(self, code, body, extra=()):
        self.send_response(code)
        self.send_header("Content-Length", str(len(body)))
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        self.wfile.write(body)

    def do_HEAD(self):
        code = 200 if self.path.endswith(".tm6") and "gone" not in self.path else 404
        self.send_response(code)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def do_GET(self):
        if self.headers.get("User-Agent") != AGENT:
            return self.send_body(403, b"wrong agent")
        if self.path == "/pic.jpg":
            return self.send_body(200, PICTURE)
        if self.path == "/login":
            return self.send_body(200, b"ok", [("Set-Cookie", "sid=s3cr3t; Path=/")])
        if self.path == "/members/pic.jpg":
            if "sid=s3cr3t" in (self.headers.get("Cookie") or ""):
                return self.send_body(200, PICTURE)
            return self.send_body(403, b"no cookie")
        if self.path == "/short":
            self.send_response(200)
            self.send_header("Content-Length", "5000")
            self.end_headers()
            self.wfile.write(b"x" * 100)
            self.wfile.flush()
            self.close_connection = True
            return
        return self.send_body(404, b"not here")


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
