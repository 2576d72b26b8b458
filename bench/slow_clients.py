#!/usr/bin/env python3
"""How long ordinary requests wait beside clients that send one byte a second.

Starts `talwen serve` (the binary given, on a free loopback port, with an INI whose target has
no provider, so every call is answered at once with the connection failure), opens CLIENTS
connections that each send a request one byte a second, and meanwhile makes an ordinary
request on a new connection every 20 ms for SECONDS. Prints the count, median, p99 and the
slowest. Loopback only; stops by itself.

    bench/slow_clients.py build-release/talwen [SECONDS] [CLIENTS]    (5, 200)
"""
import http.client
import os
import socket
import subprocess
import sys
import tempfile
import threading
import time


def main():
    binary = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 5.0
    clients = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    with tempfile.TemporaryDirectory() as folder:
        ini = os.path.join(folder, "talwen.INI")
        with open(ini, "w") as f:
            f.write("[veldrawms]\nProvider=None\n[GENERAL]\n")
        with socket.socket() as probe:
            probe.bind(("127.0.0.1", 0))
            port = probe.getsockname()[1]
        server = subprocess.Popen(
            [binary, "serve", "--config", ini, "--listen", f"127.0.0.1:{port}", "--threads", "2"],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 10
            while True:
                try:
                    socket.create_connection(("127.0.0.1", port), timeout=1).close()
                    break
                except OSError:
                    if time.time() > deadline or server.poll() is not None:
                        sys.exit("slow_clients.py: the gateway did not start")
                    time.sleep(0.05)
            print(measure(port, seconds, clients))
        finally:
            server.terminate()
            server.wait(timeout=30)


def measure(port, seconds, clients):
    slow = [socket.create_connection(("127.0.0.1", port)) for _ in range(clients)]
    request = b"GET /talwen/http_talwen.asp?function=rf_get_po HTTP/1.1\r\nHost: rf\r\n\r\n"
    done = threading.Event()

    def trickle():
        for i in range(len(request) - 1):
            for s in slow:
                try:
                    s.send(request[i:i + 1])
                except OSError:
                    pass
            if done.wait(1.0):
                return

    sender = threading.Thread(target=trickle, daemon=True)
    sender.start()
    times = []
    end = time.time() + seconds
    while time.time() < end:
        start = time.perf_counter()
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=5)
        connection.request("GET", "/talwen/http_talwen.asp?function=rf_get_po")
        connection.getresponse().read()
        connection.close()
        times.append((time.perf_counter() - start) * 1000)
        time.sleep(0.02)
    done.set()
    sender.join()
    for s in slow:
        s.close()
    times.sort()
    return (f"beside {clients} slow clients: {len(times)} requests; median "
            f"{times[len(times) // 2]:.2f} ms, p99 {times[int(len(times) * 0.99)]:.2f} ms, "
            f"slowest {times[-1]:.2f} ms")


if __name__ == "__main__":
    main()
