#!/usr/bin/python3
"""A service that takes notifications, for the notifier tests: HTTP, or HTTPS
with the given certificate, on 127.0.0.1. Every request is appended to LOG as
one flat JSON object on a line: method, path, body, and each header as
"h:" and its name in lower case (repeated ones joined by ", "). Prints "READY <port>" once it
listens and stops when its standard input closes.

usage: notify_peer.py LOG [CERT KEY]
The first part of the path says how to answer:
  /ok/...          200
  /fail-once/...   500 the first time, then 200
  /fail/...        500 "overloaded" each time
  /gone/...        404 "no_service" (as Slack says it)
  /refuse/...      401 with a JSON error (as ntfy and gotify say it)
  /silent/...      nothing for 30 s
  /moved/...       308 to https://elsewhere.example/hooks/new-secret
"""
import json
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

log_path = sys.argv[1]
seen = {}
lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def answer(self, status, body, headers=()):
        data = body.encode()
        self.send_response(status)
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def do_POST(self):
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length).decode("utf-8", "replace")
        with lock:
            entry = {"method": self.command, "path": self.path, "body": body}
            for name, value in self.headers.items():
                key = "h:" + name.lower()
                entry[key] = entry[key] + ", " + value if key in entry else value
            with open(log_path, "a") as log:
                log.write(json.dumps(entry) + "\n")
            first = self.path.split("/")[1]
            seen[first] = seen.get(first, 0) + 1
            count = seen[first]
        if first == "ok":
            self.answer(200, "ok")
        elif first == "fail-once":
            self.answer(500 if count == 1 else 200, "overloaded" if count == 1 else "ok")
        elif first == "fail":
            self.answer(500, "overloaded")
        elif first == "gone":
            self.answer(404, "no_service")
        elif first == "refuse":
            self.answer(401, json.dumps({"code": 40101, "http": 401, "error": "unauthorized"}),
                        [("Content-Type", "application/json")])
        elif first == "silent":
            time.sleep(30)
        elif first == "moved":
            self.answer(308, "", [("Location", "https://elsewhere.example/hooks/new-secret")])
        else:
            self.answer(400, "unknown path")


server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
if len(sys.argv) > 3:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    server.socket = context.wrap_socket(server.socket, server_side=True)
threading.Thread(target=server.serve_forever, daemon=True).start()
print("READY %d" % server.server_address[1], flush=True)
sys.stdin.read()
