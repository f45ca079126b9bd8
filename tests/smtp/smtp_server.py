#!/usr/bin/python3
"""A real SMTP server for the client tests: STARTTLS and AUTH on 127.0.0.1.
Every accepted message is written to MAILDIR as N.eml, with its envelope in
N.env and its session (TLS version, authenticated user, mechanism) in
N.session. Prints "READY <port>" once it listens, and stops when its
standard input closes. USER and PASSWORD are compared as UTF-8.

usage: smtp_server.py PORT CERT KEY MAILDIR USER PASSWORD [--plain-auth] [--implicit]
                      [--mechanisms M,...] [--token TOKEN]
  --plain-auth  also allow AUTH without TLS (for a client without TLS)
  --implicit    TLS from the first byte instead of STARTTLS
  --mechanisms  the AUTH mechanisms offered (default LOGIN); of PLAIN, LOGIN,
                XOAUTH2, OAUTHBEARER
  --token       the bearer token XOAUTH2 and OAUTHBEARER accept for USER
"""
import base64
import os
import ssl
import sys
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

BEARER_ERROR = base64.b64encode(b'{"status":"401","schemes":"bearer"}').decode()


class Store:
    def __init__(self, folder, user, token):
        self.folder = folder
        self.count = 0
        self.user = user
        self.token = token

    async def _bearer(self, server, args, mechanism):
        """One OAuth exchange: the initial response, and on a wrong token
        the error challenge, whose answer ends it with 535."""
        try:
            blob = base64.b64decode(args[1], validate=True) if len(args) == 2 else b""
        except Exception:
            return AuthResult(success=False, handled=False, message="501 5.5.2 Cannot decode base64")
        fields = blob.split(b"\x01")
        if mechanism == "OAUTHBEARER":
            header = fields[0].split(b",")
            user = header[1][2:].replace(b"=2C", b",").replace(b"=3D", b"=") \
                if len(header) > 1 and header[1].startswith(b"a=") else b""
        else:
            user = fields[0][5:] if fields[0].startswith(b"user=") else b""
        auth = [f for f in fields if f.startswith(b"auth=")]
        if (self.token is not None and user == self.user
                and auth == [b"auth=Bearer " + self.token] and blob.endswith(b"\x01\x01")):
            return AuthResult(success=True, auth_data=LoginPassword(user, b""))
        await server.challenge_auth(BEARER_ERROR, encode_to_b64=False)
        return AuthResult(success=False, handled=False, message="535 5.7.8 Invalid token")

    async def auth_XOAUTH2(self, server, args):
        server.session.mechanism = "XOAUTH2"
        return await self._bearer(server, args, "XOAUTH2")

    async def auth_OAUTHBEARER(self, server, args):
        server.session.mechanism = "OAUTHBEARER"
        return await self._bearer(server, args, "OAUTHBEARER")

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, str(self.count))
        with open(base + ".eml", "wb") as f:
            f.write(envelope.original_content)
        with open(base + ".env", "w") as f:
            f.write(envelope.mail_from + "\n")
            f.write("\n".join(envelope.rcpt_tos) + "\n")
        tls = server.transport.get_extra_info("ssl_object")
        login = getattr(session.auth_data, "login", b"") if session.authenticated else b""
        with open(base + ".session", "w") as f:
            f.write("tls=%s\n" % (tls.version() if tls else "none"))
            f.write("auth=%s\n" % login.decode("utf-8"))
            f.write("mechanism=%s\n" % getattr(session, "mechanism", ""))
        return "250 2.0.0 Message accepted"


def main():
    port, cert, key, folder = sys.argv[1:5]
    # The raw bytes of the arguments, UTF-8 as the SASL servers compare.
    user, password = os.fsencode(sys.argv[5]), os.fsencode(sys.argv[6])
    options = sys.argv[7:]
    plain_auth = "--plain-auth" in options
    implicit = "--implicit" in options
    mechanisms = ["LOGIN"]
    if "--mechanisms" in options:
        mechanisms = options[options.index("--mechanisms") + 1].split(",")
    token = None
    if "--token" in options:
        token = os.fsencode(options[options.index("--token") + 1])

    def authenticator(server, session, envelope, mechanism, auth_data):
        session.mechanism = mechanism
        ok = (mechanism in mechanisms and isinstance(auth_data, LoginPassword)
              and auth_data.login == user and auth_data.password == password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    warnings.simplefilter("ignore")  # AUTH without TLS is asked for on purpose
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    # With TLS from the first byte the whole session is secure, but the
    # server only counts STARTTLS as such, so AUTH must not wait for it.
    tls = {"ssl_context": context} if implicit else {"tls_context": context}
    excluded = [m for m in ("PLAIN", "LOGIN", "XOAUTH2", "OAUTHBEARER") if m not in mechanisms]
    controller = Controller(Store(folder, user, token), hostname="127.0.0.1", port=int(port),
                            authenticator=authenticator, auth_required=True,
                            auth_exclude_mechanism=excluded,
                            auth_require_tls=not (plain_auth or implicit),
                            ident="test-smtpd", **tls)
    controller.start()
    print("READY", port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
