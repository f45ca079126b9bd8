#!/usr/bin/python3
"""A real SMTP server for the client tests: STARTTLS and AUTH LOGIN on
127.0.0.1. Every accepted message is written to MAILDIR as N.eml, with its
envelope in N.env and its session (TLS version, authenticated user) in
N.session. Prints "READY <port>" once it listens, and stops when its
standard input closes.

usage: smtp_server.py PORT CERT KEY MAILDIR USER PASSWORD [--plain-auth] [--implicit]
  --plain-auth  also allow AUTH without TLS (for a client without TLS)
  --implicit    TLS from the first byte instead of STARTTLS
"""
import os
import ssl
import sys
import warnings

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Store:
    def __init__(self, folder):
        self.folder = folder
        self.count = 0

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
            f.write("auth=%s\n" % login.decode("latin-1"))
        return "250 2.0.0 Message accepted"


def main():
    port, cert, key, folder = sys.argv[1:5]
    # The raw bytes of the arguments: the client sends ISO-8859-1.
    user, password = os.fsencode(sys.argv[5]), os.fsencode(sys.argv[6])
    plain_auth = "--plain-auth" in sys.argv[7:]
    implicit = "--implicit" in sys.argv[7:]

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (mechanism == "LOGIN" and isinstance(auth_data, LoginPassword)
              and auth_data.login == user and auth_data.password == password)
        return AuthResult(success=ok, handled=False, auth_data=auth_data)

    warnings.simplefilter("ignore")  # AUTH without TLS is asked for on purpose
    context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    context.load_cert_chain(cert, key)
    # With TLS from the first byte the whole session is secure, but the
    # server only counts STARTTLS as such, so AUTH must not wait for it.
    tls = {"ssl_context": context} if implicit else {"tls_context": context}
    controller = Controller(Store(folder), hostname="127.0.0.1", port=int(port),
                            authenticator=authenticator, auth_required=True,
                            auth_require_tls=not (plain_auth or implicit),
                            ident="test-smtpd", **tls)
    controller.start()
    print("READY", port, flush=True)
    sys.stdin.read()
    controller.stop()


if __name__ == "__main__":
    main()
