#!/usr/bin/python3
"""A short DeviceNet master in standard Python, the yardstick of bench_canbus's TCP case.

On a tcp://HOST:PORT/canN bus (Qt virtualcan lines) it allocates the explicit connection of a
node, then reads the node's Identity vendor ID (class 1, instance 1, attribute 1) with
Get_Attribute_Single for the given time, blocking in select while it waits for each answer.
Prints one JSON object: exchanges, seconds, perSecond, cpu (process CPU time over wall time).
"""

import argparse
import json
import select
import socket
import sys
import time


def group2(mac, message):
    return 0x400 | mac << 3 | message


class Bus:
    def __init__(self, bus):
        if not bus.startswith("tcp://"):
            raise SystemExit("tcp_master: the bus must be tcp://HOST:PORT/canN")
        address, self.channel = bus[len("tcp://"):].split("/", 1)
        host, port = address.rsplit(":", 1)
        self.sock = socket.create_connection((host, int(port)))
        self.sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        self.sock.sendall(f"connect:{self.channel}\n".encode())
        self.pending = b""

    def send(self, identifier, data):
        self.sock.sendall(f"{self.channel}:{identifier}##{data.hex()}\n".encode())

    def answer(self, identifier, timeout=0.5):
        """The data of the next frame on `identifier`, or None after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        while True:
            while b"\n" in self.pending:
                line, self.pending = self.pending.split(b"\n", 1)
                fields = line.strip().split(b"#")
                if len(fields) == 3 and fields[0].isdigit() and int(fields[0]) == identifier:
                    return bytes.fromhex(fields[2].decode())
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([self.sock], [], [], left)[0]:
                return None
            chunk = self.sock.recv(4096)
            if not chunk:
                return None
            self.pending += chunk


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bus", required=True, help="tcp://HOST:PORT/canN")
    parser.add_argument("--node", type=int, default=63)
    parser.add_argument("--master", type=int, default=0, help="the master's own MAC ID")
    parser.add_argument("--seconds", type=float, default=1.0)
    args = parser.parse_args()

    bus = Bus(args.bus)
    unconnected, request, response = group2(args.node, 6), group2(args.node, 4), group2(args.node, 3)
    master = args.master
    # Release first: the connection may be left allocated to this MAC ID by an earlier master.
    bus.send(unconnected, bytes([master, 0x4C, 0x03, 0x01, 0x01]))
    bus.answer(response)
    bus.send(unconnected, bytes([master, 0x4B, 0x03, 0x01, 0x01, master]))
    allocated = bus.answer(response)
    if allocated is None or len(allocated) < 2 or allocated[1] != 0xCB:
        raise SystemExit(f"tcp_master: node {args.node} did not allocate: {allocated!r}")

    get = bytes([master, 0x0E, 0x01, 0x01, 0x01])
    exchanges = 0
    wall, cpu = time.monotonic(), time.process_time()
    end = wall + args.seconds
    while time.monotonic() < end:
        bus.send(request, get)
        reply = bus.answer(response)
        if reply is None or len(reply) < 2 or reply[1] != 0x8E:
            raise SystemExit(f"tcp_master: no Get_Attribute_Single answer: {reply!r}")
        exchanges += 1
    wall, cpu = time.monotonic() - wall, time.process_time() - cpu

    bus.send(unconnected, bytes([master, 0x4C, 0x03, 0x01, 0x01]))
    bus.answer(response)
    json.dump({"exchanges": exchanges, "seconds": wall, "perSecond": exchanges / wall, "cpu": cpu / wall}, sys.stdout)
    print()


if __name__ == "__main__":
    main()
