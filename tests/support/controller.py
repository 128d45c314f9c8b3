"""A minimal GigE Vision controller and stream receiver in Python, written
from the standard's offsets apart from our C++ codecs, so that the software
camera can be driven end to end by a test that shares no code with it: take
control, read and write registers and memory, open a stream to a local
socket, receive whole blocks, and take events from the messaging channel."""
import socket
import struct
import threading

from support.gvcp import PORT, command, header

WRITEREG_CMD, WRITEREG_ACK = 0x0082, 0x0083
READREG_CMD, READREG_ACK = 0x0080, 0x0081
READMEM_CMD, READMEM_ACK = 0x0084, 0x0085
PENDING_ACK = 0x0089
EVENT_CMD, EVENT_ACK = 0x00C0, 0x00C1
EVENTDATA_CMD, EVENTDATA_ACK = 0x00C2, 0x00C3

CCP = 0x0A00
MCP, MCDA = 0x0B00, 0x0B10
SCP, SCPS, SCDA = 0x0D00, 0x0D04, 0x0D18
HEARTBEAT_TIMEOUT = 0x0938
FIRST_URL = 0x0200

# The software camera's own registers (see the device model).
GENDC_PAYLOAD, GENDC_FORMAT = 0x000B, 8
CHANNEL_BASE, DEVICE_BASE = 0x00010000, 0x00011000
WIDTH, HEIGHT, PIXEL_FORMAT, PAYLOAD_SIZE = 0x00, 0x04, 0x10, 0x14
ACQUISITION_START, ACQUISITION_STOP, TL_PARAMS_LOCKED = 0x00, 0x04, 0x0C


class GvcpError(Exception):
    def __init__(self, status):
        super().__init__(f"GVCP status 0x{status:04X}")
        self.status = status


class Controller:
    """Talks GVCP to one device from an ephemeral port of 127.0.0.1."""

    def __init__(self, device_ip, timeout=2.0):
        self.device = (device_ip, PORT)
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.settimeout(timeout)
        self.req = 0
        self.lock = threading.Lock()

        self.beating = None

    def close(self):
        if self.beating:
            self.beating.set()
            self.beat_thread.join()
        self.sock.close()

    def _beat(self):
        while not self.beating.wait(0.5):
            try:
                self.read(CCP)
            except (OSError, GvcpError, AssertionError):
                pass

    def transact(self, code, payload, answer):
        with self.lock:
            self.req = self.req % 0xFFFF + 1
            self.sock.sendto(command(code, payload, self.req), self.device)
            while True:
                data, _ = self.sock.recvfrom(2048)
                status, got, length, ack_id = header(data)
                if ack_id != self.req:
                    continue
                if got == PENDING_ACK:
                    continue
                assert got == answer, f"answer 0x{got:04X} to 0x{code:04X}"
                if status:
                    raise GvcpError(status)
                return data[8:8 + length]

    def read(self, address):
        return struct.unpack(">I", self.transact(READREG_CMD, struct.pack(">I", address), READREG_ACK))[0]

    def write(self, address, value):
        self.transact(WRITEREG_CMD, struct.pack(">II", address, value), WRITEREG_ACK)

    def read_memory(self, address, count):
        out = b""
        while count:
            n = min(count, 512)
            data = self.transact(READMEM_CMD, struct.pack(">IHH", address, 0, n), READMEM_ACK)
            out += data[4:]
            address += n
            count -= n
        return out

    def description(self):
        url = self.read_memory(FIRST_URL, 512).split(b"\0")[0].decode()
        _, address, size = url.split(";")
        return self.read_memory(int(address, 16), (int(size, 16) + 3) // 4 * 4)[:int(size, 16)].decode()

    def take_control(self, exclusive=False, heartbeat=True):
        self.write(CCP, 1 if exclusive else 2)
        # Any command keeps the session; a read of the privilege is the usual one.
        if heartbeat and not self.beating:
            self.beating = threading.Event()
            self.beat_thread = threading.Thread(target=self._beat, daemon=True)
            self.beat_thread.start()

    def release(self):
        self.write(CCP, 0)


class Block:
    def __init__(self, block_id):
        self.id = block_id
        self.leader = None
        self.payload_type = None
        self.timestamp = None
        self.pixel_format = self.width = self.height = None
        self.packets = {}
        self.trailer = None
        # GenDC: payload and descriptor sizes from the leader; data packets
        # by id as (destination offset, bytes), with their flags.
        self.payload_size = self.descriptor_size = None
        self.placed = {}
        self.flags = {}

    def data(self):
        return b"".join(self.packets[k] for k in sorted(self.packets))

    def container(self):
        """A GenDC block's container: each data packet's bytes at the
        offset its prefix names, whatever order they came in."""
        out = bytearray(self.payload_size)
        for offset, chunk in self.placed.values():
            out[offset:offset + len(chunk)] = chunk
        return bytes(out)


class _Listener:
    """A socket of its own and a thread handing each datagram to handle()."""

    def __init__(self, address, buffer=None):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        if buffer:
            self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, buffer)
        self.sock.bind((address, 0))
        self.sock.settimeout(0.2)
        self.port = self.sock.getsockname()[1]
        self.cond = threading.Condition()
        self.stop = False
        self.thread = threading.Thread(target=self._run, daemon=True)
        self.thread.start()

    def _run(self):
        while not self.stop:
            try:
                data, sender = self.sock.recvfrom(65536)
            except socket.timeout:
                continue
            except OSError:
                return
            self.handle(data, sender)

    def close(self):
        self.stop = True
        self.thread.join()
        self.sock.close()


class StreamReceiver(_Listener):
    """Collects GVSP blocks (16-bit ids) sent to a socket of its own."""

    def __init__(self, address="127.0.0.1"):
        self.blocks = {}
        self.done = []
        super().__init__(address, buffer=8 << 20)

    def handle(self, data, sender):
        status, block_id, fmt, pid_hi, pid_lo = struct.unpack(">HHBBH", data[:8])
        packet_id = pid_hi << 16 | pid_lo
        fmt &= 0x0F
        block = self.blocks.setdefault(block_id, Block(block_id))
        body = data[8:]
        if fmt == 1:
            _, block.payload_type, block.timestamp = struct.unpack(">HHQ", body[:12])
            if block.payload_type & 0x3FFF == 1:
                block.pixel_format, block.width, block.height = struct.unpack(">III", body[12:24])
            elif block.payload_type & 0x3FFF == GENDC_PAYLOAD:
                block.payload_size, = struct.unpack(">Q", body[12:20])
                block.descriptor_size, = struct.unpack(">I", body[24:28])
            block.leader = body
        elif fmt == 2:
            block.trailer = body
            with self.cond:
                self.done.append(self.blocks.pop(block_id))
                self.cond.notify_all()
        elif fmt == GENDC_FORMAT:
            size, offset, data_flags, flow_flags, _ = struct.unpack(">IQBBH", body[:16])
            block.placed[packet_id] = (offset, body[16:16 + size])
            block.flags[packet_id] = (data_flags, flow_flags)
        else:
            block.packets[packet_id] = body

    def wait_for(self, count, timeout=20.0):
        with self.cond:
            self.cond.wait_for(lambda: len(self.done) >= count, timeout)
            return list(self.done)


class EventListener(_Listener):
    """The messaging channel's destination: acknowledges every event."""

    def __init__(self, address="127.0.0.1", acknowledge=True):
        self.acknowledge = acknowledge
        self.events = []
        super().__init__(address)

    def handle(self, data, sender):
        _, flags, code, length, req = struct.unpack(">BBHHH", data[:8])
        with self.cond:
            self.events.append((code, data[8:8 + length]))
            self.cond.notify_all()
        if self.acknowledge:
            answer = EVENT_ACK if code == EVENT_CMD else EVENTDATA_ACK
            self.sock.sendto(struct.pack(">HHHH", 0, answer, 0, req), sender)

    def wait_for(self, count, timeout=10.0):
        with self.cond:
            self.cond.wait_for(lambda: len(self.events) >= count, timeout)
            return list(self.events)


def open_stream(ctl, receiver, channel=0, packet_size=1500):
    base = 0x40 * channel
    ctl.write(SCPS + base, packet_size)
    ctl.write(SCDA + base, struct.unpack(">I", socket.inet_aton("127.0.0.1"))[0])
    ctl.write(SCP + base, receiver.port)


def start_acquisition(ctl):
    ctl.write(DEVICE_BASE + TL_PARAMS_LOCKED, 1)
    ctl.write(DEVICE_BASE + ACQUISITION_START, 1)


def stop_acquisition(ctl):
    ctl.write(DEVICE_BASE + ACQUISITION_STOP, 1)
    ctl.write(DEVICE_BASE + TL_PARAMS_LOCKED, 0)
