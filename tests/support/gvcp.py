"""GVCP packets written and read in Python at the offsets the GigE Vision
standard gives, apart from our own codec, so that a field both sides of our
codec get wrong the same way still shows; and a scripted device that
answers discoveries with whatever a test wants to send."""
import socket
import struct
import threading

PORT = 3956
DISCOVERY_CMD, DISCOVERY_ACK = 0x0002, 0x0003
READREG_CMD, READREG_ACK = 0x0080, 0x0081
READMEM_CMD, READMEM_ACK = 0x0084, 0x0085

# The identity fields of DISCOVERY_ACK, also the first bootstrap registers:
# name -> (offset, width); texts are NUL-padded.
IDENTITY = {
    "version_major": (0, 2), "version_minor": (2, 2), "device_mode": (4, 4),
    "mac_high": (10, 2), "mac_low": (12, 4),
    "ip_config_options": (16, 4), "ip_config_current": (20, 4),
    "ip": (36, 4), "mask": (52, 4), "gateway": (68, 4),
    "manufacturer": (72, 32), "model": (104, 32), "version": (136, 32),
    "info": (168, 48), "serial": (216, 16), "name": (232, 16),
}
IDENTITY_SIZE = 248
TEXTS = ("manufacturer", "model", "version", "info", "serial", "name")


def command(code, payload=b"", req_id=1, flags=0x01):
    return struct.pack(">BBHHH", 0x42, flags, code, len(payload), req_id) + payload


def ack(code, payload=b"", ack_id=1, status=0):
    return struct.pack(">HHHH", status, code, len(payload), ack_id) + payload


def header(packet):
    """(first word, command or status, code, length, id) of a packet."""
    first, code, length, ident = struct.unpack(">HHHH", packet[:8])
    return first, code, length, ident


def ip_number(text):
    return struct.unpack(">I", socket.inet_aton(text))[0]


def force_ip(address, mac, new_address, mask="255.0.0.0"):
    """Sends FORCEIP for the device with this MAC (6 bytes) at address;
    (answer, sender address) of its acknowledge."""
    payload = (b"\0\0" + mac + bytes(12) + struct.pack(">I", ip_number(new_address)) + bytes(12) +
               struct.pack(">I", ip_number(mask)) + bytes(12) + struct.pack(">I", 0))
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as sock:
        sock.settimeout(5)
        sock.sendto(command(0x0004, payload), (address, 3956))
        answer, sender = sock.recvfrom(1500)
    return answer, sender[0]


def identity_bytes(**fields):
    """A DISCOVERY_ACK payload from field values (numbers or texts)."""
    out = bytearray(IDENTITY_SIZE)
    for name, value in fields.items():
        offset, width = IDENTITY[name]
        if name in TEXTS:
            data = value.encode()
            assert len(data) <= width
            out[offset:offset + len(data)] = data
        else:
            out[offset:offset + width] = value.to_bytes(width, "big")
    return bytes(out)


def identity_fields(payload):
    """Field values read back from an identity payload."""
    fields = {}
    for name, (offset, width) in IDENTITY.items():
        raw = payload[offset:offset + width]
        fields[name] = raw.split(b"\0", 1)[0].decode() if name in TEXTS else int.from_bytes(raw, "big")
    return fields


class ScriptedDevice:
    """Receives every DISCOVERY_CMD sent to port 3956 in the namespace and
    answers with what answer(request_id, destination) returns: a list of
    packets. Records the destination address of each discovery received."""

    def __init__(self, answer):
        self.answer = answer
        self.destinations = []
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_BROADCAST, 1)
        self.sock.setsockopt(socket.IPPROTO_IP, getattr(socket, "IP_PKTINFO", 8), 1)
        self.sock.bind(("0.0.0.0", PORT))
        self.sock.settimeout(0.05)
        self.done = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)
        self.thread.start()

    def run(self):
        # Once stopped, what already arrived is still read and recorded.
        while True:
            try:
                data, ancillary, _, sender = self.sock.recvmsg(1500, 64)
            except socket.timeout:
                if self.done.is_set():
                    break
                continue
            if len(data) < 8 or header(data)[1] != DISCOVERY_CMD:
                continue
            # in_pktinfo: interface index, local address, header destination.
            destination = next(socket.inet_ntoa(d[8:12]) for level, kind, d in ancillary
                               if level == socket.IPPROTO_IP)
            self.destinations.append(destination)
            for packet in self.answer(header(data)[3], destination):
                self.sock.sendto(packet, sender)

    def stop(self):
        self.done.set()
        self.thread.join()
        self.sock.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
