"""Software cameras that stream over RTP, and a listener on the SAP group
that reads their announcements."""
import socket
import struct
import time

import numpy as np

import tarn_base_310 as tb
import tarn_edge_310 as te
from support.devices import find
from support.softcamera import NumpySource, loopback_mac
from support.streams import access_unit

SAP_GROUP, SAP_PORT = "224.2.127.254", 9875


def rgb_pattern(number, height, width):
    """RGB frame `number`: each byte a function of its place and the number."""
    rows = np.arange(height, dtype=np.uint32)[:, None, None]
    cols = np.arange(width, dtype=np.uint32)[None, :, None]
    chan = np.arange(3, dtype=np.uint32)[None, None, :]
    return ((rows * 5 + cols * 3 + chan * 101 + number * 13) & 0xFF).astype(np.uint8)


class H264Source(NumpySource):
    """Access units in buffers of the H.264 payload type, the rest of each
    buffer zero."""
    SIZE = 8192

    def AllocBuffer(self):
        if len(self.buffers) >= self.count:
            return None
        buffer = tb.ZuBuffer(tb.ZuPayloadTypeH264)
        buffer.Alloc(self.SIZE)
        self.buffers.append(buffer)
        return buffer

    def fill(self, buffer, number):
        data = np.asarray(buffer.GetDataPointer())
        unit = access_unit(number)
        data[:] = 0
        data[:len(unit)] = np.frombuffer(unit, dtype=np.uint8)


class RtpCamera:
    """A software camera on 127.0.0.n with RTP selectable (one source, or a
    list of them), connected to our controller; stopped and let go on
    leaving."""

    def __init__(self, n, source, rtp=True, connect=True):
        import tarn_receive_310 as tr
        self.tr = tr
        self.address = "127.0.0.%d" % n
        self.source = source
        self.device = te.ZuSoftDeviceGEV()
        for one in source if isinstance(source, (list, tuple)) else [source]:
            assert self.device.AddStream(one).IsOK()
        assert self.device.SetRTPProtocolEnabled(rtp).IsOK()
        result = self.device.Start(loopback_mac(n))
        assert result.IsOK(), result.GetDescription()
        self.controller = None
        if connect:
            self.connect()

    def connect(self):
        self.system, info = find(self.address)
        result, self.controller = self.tr.ZuDevice.CreateAndConnect(info)
        assert result.IsOK(), result.GetDescription()
        self.params = self.controller.GetParameters()

    def reconnect(self):
        self.tr.ZuDevice.Free(self.controller)
        self.connect()

    def protocol(self, name):
        """Sets StreamProtocol; the result."""
        return self.params.SetEnumValue("StreamProtocol", name)[0]

    def stream_to(self, port, packet_size=None):
        if packet_size:
            assert self.params.SetIntegerValue("GevSCPSPacketSize", packet_size).IsOK()
        assert self.controller.SetStreamDestination("127.0.0.1", port).IsOK()

    def start(self):
        assert self.params.SetIntegerValue("TLParamsLocked", 1).IsOK()
        assert self.params.ExecuteCommand("AcquisitionStart").IsOK()

    def stop_acquisition(self):
        assert self.params.ExecuteCommand("AcquisitionStop").IsOK()
        assert self.params.SetIntegerValue("TLParamsLocked", 0).IsOK()

    def close(self):
        if self.controller:
            self.tr.ZuDevice.Free(self.controller)
        self.device.Stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


class Announcement:
    """One SAP packet: header fields and the SDP lines by their type."""

    def __init__(self, data):
        flags, auth, self.hash, origin = struct.unpack(">BBH4s", data[:8])
        assert flags >> 5 == 1 and not flags & 0x10, "version 1, IPv4"
        assert auth == 0 and not flags & 0x03, "no authentication, encryption or compression"
        self.deletion = bool(flags & 0x04)
        self.origin = socket.inet_ntoa(origin)
        mime, _, sdp = data[8:].partition(b"\0")
        assert mime == b"application/sdp"
        self.sdp = sdp.decode()
        assert self.sdp.endswith("\r\n")
        self.lines = self.sdp[:-2].split("\r\n")

    def values(self, kind):
        return [line[2:] for line in self.lines if line.startswith(kind + "=")]

    def fmtp(self):
        """The format parameters as a dict."""
        (line,) = [a for a in self.values("a") if a.startswith("fmtp:")]
        return dict(p.strip().split("=", 1) for p in line.split(" ", 1)[1].split(";"))


class SapListener:
    """A member of the SAP group on the loopback."""

    def __enter__(self):
        self.sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind((SAP_GROUP, SAP_PORT))
        self.sock.setsockopt(socket.IPPROTO_IP, socket.IP_ADD_MEMBERSHIP,
                             socket.inet_aton(SAP_GROUP) + socket.inet_aton("127.0.0.1"))
        return self

    def __exit__(self, *exc):
        self.sock.close()

    def next(self, origin, deletion=False, timeout=10):
        """The next announcement (or deletion) from origin."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            self.sock.settimeout(max(0.01, deadline - time.monotonic()))
            try:
                data, sender = self.sock.recvfrom(4096)
            except socket.timeout:
                break
            a = Announcement(data)
            if a.origin != origin:
                continue
            # Out of the camera's own address, and no other.
            assert sender[0] == origin, sender
            if a.deletion == deletion:
                return a
        raise AssertionError(f"no SAP {'deletion' if deletion else 'announcement'} from {origin}")
