"""A mail server for the tests (aiosmtpd): keeps every message it accepts in
a folder, as msgN.eml with msgN.json (envelope), the decoded attachments as
msgN.att.NAME, and msgN.names with a line for each attachment: its file
name, its name, then the parameter names of its Content-Type and of its
Content-Disposition, as Python's mail parser reads them, separated by tabs.
Runs until it is terminated."""
import argparse
import email
import email.policy
import json
import os
import ssl
import sys
import time

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword


class Keeper:
    def __init__(self, folder, refuse):
        self.folder = folder
        self.refuse = set(refuse)
        self.count = 0

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address in self.refuse:
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        base = os.path.join(self.folder, "msg%d" % self.count)
        data = envelope.original_content or envelope.content
        with open(base + ".eml", "wb") as f:
            f.write(data)
        msg = email.message_from_bytes(data, policy=email.policy.default)
        names = []
        for part in msg.iter_attachments():
            name = os.path.basename((part.get_filename() or "unnamed").replace("\\", "/"))
            with open(base + ".att." + name, "wb") as f:
                f.write(part.get_payload(decode=True) or b"")
            names.append("\t".join([
                part.get_filename() or "",
                part.get_param("name") or "",
                " ".join(k for k, _ in (part.get_params() or [])[1:]),
                " ".join(k for k, _ in (part.get_params(header="content-disposition") or [])[1:]),
            ]) + "\n")
        with open(base + ".names", "w") as f:
            f.write("".join(names))
        info = {
            "mail_from": envelope.mail_from,
            "rcpt_tos": envelope.rcpt_tos,
            "authenticated": bool(session.authenticated),
            "tls": session.ssl is not None,
        }
        with open(base + ".json.tmp", "w") as f:
            json.dump(info, f)
        os.rename(base + ".json.tmp", base + ".json")
        return "250 Message accepted for delivery"


def main():
    p = argparse.ArgumentParser()
    p.add_argument("--port", type=int, required=True)
    p.add_argument("--folder", required=True)
    p.add_argument("--mode", choices=["plain", "starttls", "implicit"], default="plain")
    p.add_argument("--cert")
    p.add_argument("--key")
    p.add_argument("--user")
    p.add_argument("--password")
    p.add_argument("--refuse", action="append", default=[])
    a = p.parse_args()

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword) and a.user is not None
              and auth_data.login == a.user.encode() and auth_data.password == a.password.encode())
        return AuthResult(success=ok, handled=False)

    kwargs = {"auth_require_tls": False}
    if a.user:
        kwargs["authenticator"] = authenticator
    context = None
    if a.mode != "plain":
        context = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
        context.load_cert_chain(a.cert, a.key)
    if a.mode == "starttls":
        kwargs["tls_context"] = context
        kwargs["require_starttls"] = True
    controller = Controller(Keeper(a.folder, a.refuse), hostname="127.0.0.1", port=a.port,
                            ssl_context=context if a.mode == "implicit" else None, **kwargs)
    controller.start()
    print("READY", flush=True)
    try:
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


if __name__ == "__main__":
    sys.exit(main())
