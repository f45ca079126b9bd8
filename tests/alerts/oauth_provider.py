#!/usr/bin/python3
"""An OAuth 2.0 provider for the client tests: the token, device
authorisation and authorisation endpoints over HTTPS on 127.0.0.1, with the
test's throwaway certificate. Prints "READY <port>" once it listens and stops
when its standard input closes.

usage: oauth_provider.py CERT KEY [FLAG,...]
  rotate     each refresh answer carries a new refresh token
  slow_down  the first device poll answers slow_down
  expire     device polls stay pending; the code lives 2 s
  deny       device polls answer access_denied
  silent     no request is answered for 30 s
  malformed  the token endpoint answers text that is not JSON
The refresh token "rt-1" is valid at the start.
"""
import base64
import hashlib
import json
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import parse_qs, urlencode, urlparse

flags = set(sys.argv[3].split(",")) if len(sys.argv) > 3 and sys.argv[3] else set()
state = {"refresh": {"rt-1"}, "polls": 0, "issued": 0, "challenges": {}, "lock": threading.Lock()}


def tokens():
    state["issued"] += 1
    n = state["issued"]
    answer = {"access_token": "at-%d" % n, "token_type": "Bearer", "expires_in": 3600}
    if "rotate" in flags or n == 1:
        refresh = "rt-%d" % (n + 1)
        state["refresh"] = {refresh}
        answer["refresh_token"] = refresh
    return answer


class Handler(BaseHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def reply(self, status, body, headers=()):
        data = body if isinstance(body, bytes) else json.dumps(body).encode()
        self.send_response(status)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(data)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(data)

    def error(self, code, description=""):
        self.reply(400, {"error": code, "error_description": description})

    def do_GET(self):
        if "silent" in flags:
            time.sleep(30)
        url = urlparse(self.path)
        query = {k: v[0] for k, v in parse_qs(url.query).items()}
        if url.path != "/authorize" or query.get("code_challenge_method") != "S256":
            return self.reply(404, {"error": "not_found"})
        with state["lock"]:
            code = "code-%d" % (len(state["challenges"]) + 1)
            state["challenges"][code] = (query["code_challenge"], query["redirect_uri"])
        location = query["redirect_uri"] + "?" + urlencode({"code": code, "state": query["state"]})
        self.reply(302, b"", [("Location", location)])

    def do_POST(self):
        if "silent" in flags:
            time.sleep(30)
        length = int(self.headers.get("Content-Length", "0"))
        form = {k: v[0] for k, v in parse_qs(self.rfile.read(length).decode()).items()}
        if form.get("client_id") != "client-1":
            return self.error("invalid_client", "unknown client")
        with state["lock"]:
            if self.path == "/devicecode":
                return self.reply(200, {
                    "device_code": "dev-1", "user_code": "ABCD-EFGH",
                    "verification_uri": "https://localhost/device",
                    "expires_in": 2 if "expire" in flags else 900, "interval": 1})
            if self.path != "/token":
                return self.reply(404, {"error": "not_found"})
            if "malformed" in flags:
                return self.reply(200, b'{"access_token": "at-1", ')
            grant = form.get("grant_type")
            if grant == "refresh_token":
                if form.get("refresh_token") not in state["refresh"]:
                    return self.error("invalid_grant", "AADSTS70008: The refresh token has expired.")
                return self.reply(200, tokens())
            if grant == "urn:ietf:params:oauth:grant-type:device_code":
                state["polls"] += 1
                if "deny" in flags:
                    return self.error("access_denied", "The user declined.")
                if "slow_down" in flags and state["polls"] == 1:
                    return self.error("slow_down")
                if "expire" in flags or state["polls"] < 3:
                    return self.error("authorization_pending")
                return self.reply(200, tokens())
            if grant == "authorization_code":
                challenge, redirect = state["challenges"].get(form.get("code"), (None, None))
                verifier = form.get("code_verifier", "").encode()
                expected = base64.urlsafe_b64encode(hashlib.sha256(verifier).digest()).rstrip(b"=")
                if challenge is None or redirect != form.get("redirect_uri"):
                    return self.error("invalid_grant", "unknown code")
                if expected.decode() != challenge:
                    return self.error("invalid_grant", "PKCE verification failed")
                return self.reply(200, tokens())
            return self.error("unsupported_grant_type")


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(sys.argv[1], sys.argv[2])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    print("READY", server.server_address[1], flush=True)
    sys.stdin.read()


if __name__ == "__main__":
    main()
