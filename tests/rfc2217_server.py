#!/usr/bin/env python3
"""An RFC 2217 server for the network port's tests, on pyserial's server side.

    python3 rfc2217_server.py DEVICE PORT

Serves the serial device DEVICE (a pseudo-terminal, opened at 9600 baud until the client sets
the line) on 127.0.0.1:PORT to one client at a time, until it is terminated. Telnet and RFC 2217
are serial.rfc2217.PortManager's: the client's bytes pass through its filter on the way to the
device, and the device's bytes through its escape on the way to the client.
"""
import select
import socket
import sys

import serial
import serial.rfc2217


class Pty(serial.Serial):
    """A serial device without modem lines, as a pseudo-terminal is: setting DTR, RTS or a break
    does nothing, and CTS, DSR, RI and CD read as off."""

    def _update_dtr_state(self):
        try:
            super()._update_dtr_state()
        except OSError:
            pass

    def _update_rts_state(self):
        try:
            super()._update_rts_state()
        except OSError:
            pass

    def _update_break_state(self):
        try:
            super()._update_break_state()
        except OSError:
            pass

    cts = dsr = ri = cd = property(lambda self: False)


class Connection:
    """What PortManager writes its Telnet answers to."""

    def __init__(self, client):
        self.client = client

    def write(self, data):
        self.client.sendall(data)


def serve(device, client):
    """Pumps bytes both ways until the client leaves; False when the device went away."""
    client.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
    manager = serial.rfc2217.PortManager(device, Connection(client))
    while True:
        readable, _, _ = select.select([client, device.fileno()], [], [])
        if device.fileno() in readable:
            try:
                data = device.read(device.in_waiting or 1)
            except serial.SerialException:
                return False
            client.sendall(b"".join(manager.escape(data)))
        if client in readable:
            try:
                data = client.recv(4096)
            except OSError:
                return True
            if not data:
                return True
            device.write(b"".join(manager.filter(data)))


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    device = Pty(sys.argv[1], 9600, timeout=0)
    listener = socket.create_server(("127.0.0.1", int(sys.argv[2])))
    while True:
        client, _ = listener.accept()
        with client:
            try:
                if not serve(device, client):
                    return
            except (BrokenPipeError, ConnectionResetError):
                pass
        device.baudrate = 9600


if __name__ == "__main__":
    main()
