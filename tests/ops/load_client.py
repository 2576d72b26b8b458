#!/usr/bin/env python3
"""A bounded mixed load of RF calls on keep-alive connections, checked reply by reply.

Each connection is one worker sending POSTs one after another until the time is up. A
worker that owns a carton sends every third call as a write: rf_adjust_carton_qty setting
its carton one above the last quantity, so that every write has a reply of its own
("adjusted from N-1 to N") and leaves exactly one journal row with qty_after N. The other
calls are reads with a known reply.

A request counts as failed when it gets no complete reply with status 200 and the expected
body: a 5xx, a reset, a time-out, a short body. The one case that is not a failure is the
one every browser handles the same way: a request sent on a connection kept from an earlier
request, which the server closed before answering any byte of it. An idle keep-alive
connection may be closed at any moment, so the request is sent again, once, on a new
connection, and counted as resent.

Writes go to the file --writes, one "carton<TAB>quantity<TAB>outcome" line each, for the
caller to compare with the database. Prints a summary; exits 1 when a request failed.
"""
import argparse
import http.client
import re
import select
import ssl
import sys
import threading
import time
import urllib.parse

READS = [
    (
        "function=rf_get_last_client_accessed&operator=JOE",
        re.compile(r"<sqlstatus>0</sqlstatus><sqlmsg>Client found\.</sqlmsg><client>C01</client>"),
    ),
    (
        "function=rf_get_user_profile&operator=JOE",
        re.compile(r"<record><operator>JOE</operator>.*</record>", re.S),
    ),
]

# A keep-alive connection the server closed before answering.
CLOSED_UNANSWERED = (
    http.client.RemoteDisconnected,
    ConnectionResetError,
    BrokenPipeError,
    ssl.SSLEOFError,
)


class Worker(threading.Thread):
    def __init__(self, args, carton, quantity, deadline):
        super().__init__(daemon=True)
        self.args = args
        self.carton = carton
        self.quantity = quantity
        self.deadline = deadline
        self.conn = None
        self.sent = self.resent = self.reconnects = 0
        self.failures = []
        self.writes = []

    def connect(self):
        url = self.args.url
        timeout = self.args.timeout
        if url.scheme == "https":
            context = ssl.create_default_context(cafile=self.args.cafile)
            return http.client.HTTPSConnection(url.hostname, url.port, timeout=timeout,
                                               context=context)
        return http.client.HTTPConnection(url.hostname, url.port, timeout=timeout)

    def ready_connection(self):
        # Like a browser, drop a kept connection the server has closed meanwhile.
        if self.conn is not None and self.conn.sock is not None:
            readable, _, _ = select.select([self.conn.sock], [], [], 0)
            if readable:
                self.conn.close()
                self.reconnects += 1
        if self.conn is None:
            self.conn = self.connect()
        return self.conn

    def post(self, body):
        """Send one call; return (status, reply text, resent)."""
        headers = {"Content-Type": "application/x-www-form-urlencoded"}
        conn = self.ready_connection()
        kept = conn.sock is not None
        try:
            conn.request("POST", self.args.url.path, body, headers)
            response = conn.getresponse()
            resent = False
        except CLOSED_UNANSWERED:
            if not kept:
                raise
            conn.close()
            conn.request("POST", self.args.url.path, body, headers)
            response = conn.getresponse()
            resent = True
        text = response.read().decode("utf-8", "replace")
        return response.status, text, resent

    def call(self, body, expected):
        self.sent += 1
        try:
            status, text, resent = self.post(body)
        except Exception as e:  # noqa: BLE001 - every error of a request is its failure
            if self.conn is not None:
                self.conn.close()
            self.failures.append(f"{body}: {type(e).__name__}: {e}")
            return False
        self.resent += resent
        if status != 200 or not expected.fullmatch(text):
            self.failures.append(f"{body}: status {status}: {text[:200]!r}")
            return False
        return True

    def run(self):
        n = 0
        while time.monotonic() < self.deadline:
            n += 1
            if self.carton and n % 3 == 0:
                before, after = self.quantity, self.quantity + 1
                body = urllib.parse.urlencode({
                    "function": "rf_adjust_carton_qty", "client": "C01",
                    "carton_no": self.carton, "qty": after, "operator": "JOE"})
                expected = re.compile(
                    rf"<sqlstatus>0</sqlstatus><sqlmsg>Carton {self.carton} adjusted from "
                    rf"{before} to {after} [A-Z]+\.</sqlmsg>")
                ok = self.call(body, expected)
                self.writes.append((self.carton, after, "ok" if ok else "failed"))
                # After a failed write the carton's quantity is unknown: stop writing.
                if ok:
                    self.quantity = after
                else:
                    self.carton = None
            else:
                body, expected = READS[n % len(READS)]
                self.call(body, expected)
        if self.conn is not None:
            self.conn.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--url", required=True, type=urllib.parse.urlsplit,
                        help="the gateway address, http:// or https://")
    parser.add_argument("--cafile", help="the certificate to trust for https")
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--connections", type=int, default=8)
    parser.add_argument("--timeout", type=float, default=30)
    parser.add_argument("--cartons", default="",
                        help="CARTON=QUANTITY,... one for each writing worker")
    parser.add_argument("--writes", required=True, help="file for the log of writes")
    args = parser.parse_args()

    cartons = [tuple(item.split("=")) for item in args.cartons.split(",") if item]
    deadline = time.monotonic() + args.seconds
    workers = []
    for i in range(args.connections):
        carton, quantity = cartons[i] if i < len(cartons) else (None, 0)
        workers.append(Worker(args, carton, int(quantity), deadline))
    for w in workers:
        w.start()
    for w in workers:
        w.join(args.seconds + 2 * args.timeout)
    stuck = sum(w.is_alive() for w in workers)

    with open(args.writes, "w") as log:
        for w in workers:
            for carton, quantity, outcome in w.writes:
                log.write(f"{carton}\t{quantity}\t{outcome}\n")
    sent = sum(w.sent for w in workers)
    failures = [f for w in workers for f in w.failures]
    writes = sum(len(w.writes) for w in workers)
    print(f"requests {sent}, failed {len(failures)}, resent {sum(w.resent for w in workers)}, "
          f"closed kept connections {sum(w.reconnects for w in workers)}, writes {writes}, "
          f"in {args.seconds:g} s on {args.connections} connections")
    for failure in failures[:10]:
        print("  failed: " + failure)
    if stuck:
        print(f"  {stuck} workers did not finish")
    return 1 if failures or stuck else 0


if __name__ == "__main__":
    sys.exit(main())
