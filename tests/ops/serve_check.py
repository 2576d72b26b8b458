#!/usr/bin/env python3
"""Run `talwen serve` as a service manager would and check what it reports.

Listens on a datagram socket of its own (a path, or @NAME in the abstract namespace), starts
the command with NOTIFY_SOCKET naming it, and checks that: "READY=1" comes, and comes only
once the server answers (--live); the server then answers --url with a body holding
--expect; on SIGTERM "STOPPING=1" comes and the server exits with status 0.

usage: serve_check.py --notify-socket PATH|@NAME --live URL --url URL --expect TEXT
                      [--user USER] -- COMMAND...
"""
import argparse
import os
import select
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request


OUTPUT = tempfile.TemporaryFile()  # the server's logs, shown when the check fails


def fail(message):
    OUTPUT.seek(0)
    sys.stderr.write(OUTPUT.read().decode(errors="replace")[-3000:])
    print(f"serve_check: FAIL: {message}", file=sys.stderr)
    sys.exit(1)


def receive(sock, process, wanted, seconds):
    """Collect datagrams until one holds the line `wanted`; return every line seen."""
    lines = []
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        readable, _, _ = select.select([sock], [], [], 0.2)
        if readable:
            lines += sock.recv(4096).decode().splitlines()
            if wanted in lines:
                return lines
        elif process.poll() is not None:
            fail(f"the server exited with status {process.returncode} before {wanted}")
    fail(f"no {wanted} within {seconds} s (got {lines})")


def get(url):
    with urllib.request.urlopen(url, timeout=10) as response:
        return response.status, response.read().decode()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--notify-socket", required=True)
    parser.add_argument("--live", required=True)
    parser.add_argument("--url", required=True)
    parser.add_argument("--expect", required=True)
    parser.add_argument("--user")
    parser.add_argument("command", nargs="+")
    args = parser.parse_args()

    sock = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
    name = args.notify_socket
    if name.startswith("@"):
        sock.bind("\0" + name[1:])
    else:
        sock.bind(name)
        os.chmod(name, 0o666)  # the service's user must be able to send

    env = dict(os.environ, NOTIFY_SOCKET=name)
    account = {"user": args.user, "group": args.user, "extra_groups": []} if args.user else {}
    process = subprocess.Popen(args.command, env=env, stdout=OUTPUT, stderr=OUTPUT, **account)
    try:
        ready = receive(sock, process, "READY=1", 30)
        try:
            status, _ = get(args.live)
        except OSError as e:
            fail(f"READY=1 came before the server answered: {e}")
        status, body = get(args.url)
        if status != 200 or args.expect not in body:
            fail(f"{args.url} gave {status}: {body[:200]!r}")
        process.send_signal(signal.SIGTERM)
        stopping = receive(sock, process, "STOPPING=1", 10)
        code = process.wait(30)
        if code != 0:
            fail(f"the server exited with status {code} after SIGTERM")
    finally:
        if process.poll() is None:
            process.kill()
            process.wait()
        if not name.startswith("@"):
            os.unlink(name)
    print(f"  notify on {name}: {' '.join(ready)}; then {' '.join(stopping)}; exit status 0")


if __name__ == "__main__":
    main()
