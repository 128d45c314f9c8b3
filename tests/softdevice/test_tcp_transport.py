"""The software camera's TCP transport: our controller and receiver find it
in the device's offer and use it, anyone else still has UDP, and hostile or
vanishing peers on its TCP ports cost the camera nothing."""
import socket
import struct
import subprocess
import time

import numpy as np
import pytest

import tarn_base_310  # noqa: F401  (registers the information classes)
from support import needs_netns
from support.devices import find, skip_without
from support.gvcp import force_ip
from support.softcamera import SoftCamera, pattern

tr = pytest.importorskip("tarn_receive_310")
m = tr._tarn_receive_310

from support.receiving import Events, connect_and_open  # noqa: E402  (once the module is known there)

pytestmark = needs_netns()

OFFER = 0x00012000          # the TCP offer's registers
WIDTH = 0x00010000          # channel 0's Width register


def tcp_peers(address, port=None):
    """Local ports of the established TCP connections to address (and port)."""
    out = subprocess.run(["ss", "-Htn", "state", "established"], capture_output=True, text=True,
                         timeout=10).stdout
    peers = []
    for line in out.splitlines():
        fields = line.split()
        local, remote = fields[-2], fields[-1]
        host, _, rport = remote.rpartition(":")
        if host == address and (port is None or int(rport) == port):
            peers.append(int(local.rpartition(":")[2]))
    return peers


def offer_of(camera):
    """The 64 bytes of the camera's TCP offer, read with a plain GVCP READMEM
    over UDP, as any controller could."""
    request = struct.pack(">BBHHHIHH", 0x42, 0x01, 0x0084, 8, 9, OFFER, 0, 64)
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        s.settimeout(5)
        s.sendto(request, (camera.address, 3956))
        answer = s.recv(1500)
    status, kind, length, ack = struct.unpack(">HHHH", answer[:8])
    assert (status, kind, ack) == (0, 0x0085, 9) and length == 68
    assert struct.unpack(">I", answer[8:12])[0] == OFFER
    return answer[12:]


class Receiver:
    """A camera connected, its stream open at our port, buffers queued."""

    def __init__(self, camera, buffers=8):
        self.system, self.device, self.params, self.stream = connect_and_open(camera.address)
        self.width = self.params.GetIntegerValue("Width")[1]
        self.height = self.params.GetIntegerValue("Height")[1]
        self.buffers = []
        for _ in range(buffers):
            buffer = tarn_base_310.ZuBuffer()
            buffer.GetImage().Alloc(self.width, self.height, tarn_base_310.ZuPixelMono8)
            self.buffers.append(buffer)
            self.queue(buffer)

    def queue(self, buffer):
        assert m.ZuStream_QueueBuffer(self.stream, buffer).GetCode() in (tr.ZU_OK, tr.ZU_PENDING)

    def receiver_type(self):
        return m.ZuStreamGEV_GetDataReceiverType(self.stream)

    def start(self):
        assert self.params.SetIntegerValue("TLParamsLocked", 1).IsOK()
        assert self.params.ExecuteCommand("AcquisitionStart").IsOK()

    def stop(self):
        self.params.ExecuteCommand("AcquisitionStop")
        self.params.SetIntegerValue("TLParamsLocked", 0)

    def retrieve(self, timeout=5000):
        """(result, buffer, operation result) of the next block."""
        return m.ZuStream_RetrieveBuffer(self.stream, timeout)

    def frames(self, count):
        """(block id, pixels) of count complete frames, each buffer queued again."""
        out = []
        while len(out) < count:
            result, buffer, operation = self.retrieve()
            assert result.IsOK(), result.GetCodeString()
            assert operation.IsOK(), operation.GetCodeString()
            out.append((buffer.GetBlockID(), np.array(buffer.GetImage().GetDataPointer())))
            self.queue(buffer)
        # A block may only be missing where the stream had no buffer queued
        # for it (Python fell behind) and counted it.
        ids = [block for block, _ in out]
        dropped = m.ZuStream_GetParameters(self.stream).GetIntegerValue("BlocksDropped")[1]
        assert ids[-1] - ids[0] + 1 - len(ids) <= dropped, "a block was lost"
        return out

    def close(self):
        m.ZuStream_Free(self.stream)
        tr.ZuDevice.Free(self.device)


def check_frames(frames, height, width):
    ids = [block for block, _ in frames]
    assert ids == sorted(set(ids)), "a block came twice or out of order"
    for block, pixels in frames:
        assert np.array_equal(pixels, pattern(block - 1, height, width)), block


def test_control_events_and_frames_go_over_tcp():
    with SoftCamera(90, tcp=True, width=96, height=64, fps=200) as camera:
        rx = Receiver(camera)
        try:
            # Control and the messaging channel: two connections to port 3956.
            assert len(tcp_peers(camera.address, 3956)) == 2
            assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
            # Features and registers through the connection.
            assert rx.params.SetIntegerValue("Width", 64).IsOK()
            assert camera.source.width == 64
            result, value = rx.device.ReadRegister(WIDTH)
            assert result.IsOK() and value == 64
            assert rx.device.WriteRegister(WIDTH, 96).IsOK()
            assert rx.params.GetIntegerValue("Width")[1] == 96 and camera.source.width == 96
            # An event reaches the sink over the messaging connection.
            sink = Events()
            assert rx.device.RegisterEventSink(sink).IsOK()
            assert camera.device.GetMessagingChannel().FireEvent(0x9004, bytes(range(8)), 42, 0).IsOK()
            for _ in range(500):
                if sink.events:
                    break
                time.sleep(0.01)
            assert sink.events and sink.events[0][:3] == (0x9004, 0, 42)
            assert sink.events[0][3][:8] == bytes(range(8))
            rx.device.UnregisterEventSink(sink)
            # Frames, byte for byte and in order; a third connection carries them.
            rx.start()
            check_frames(rx.frames(40), 64, 96)
            rx.stop()
            assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
            assert len(tcp_peers(camera.address)) == 3
        finally:
            rx.close()
        # Everything let go: the camera takes a new controller at once.
        rx = Receiver(camera)
        try:
            assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
            rx.start()
            check_frames(rx.frames(5), 64, 96)
            rx.stop()
        finally:
            rx.close()


def test_forceip_moves_the_tcp_ports_with_the_camera():
    with SoftCamera(93, tcp=True, width=64, height=32, fps=200) as camera:
        _, sender = force_ip(camera.address, bytes([0x02, 0x00, 0x7F, 0x00, 0x00, 93]), "127.0.0.94")
        assert sender == "127.0.0.94"
        camera.address = "127.0.0.94"
        rx = Receiver(camera)
        try:
            assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
            assert len(tcp_peers("127.0.0.94", 3956)) == 2
            rx.start()
            check_frames(rx.frames(5), 32, 64)
            rx.stop()
            assert len(tcp_peers("127.0.0.94")) == 3 and not tcp_peers("127.0.0.93")
        finally:
            rx.close()


def test_switched_off_everything_stays_on_udp():
    with SoftCamera(91, width=32, height=16, fps=200) as camera:
        rx = Receiver(camera)
        try:
            assert rx.receiver_type() == tr.ZuDataReceiverTypeUserMode
            assert tcp_peers(camera.address) == []
            rx.start()
            check_frames(rx.frames(5), 16, 32)
            rx.stop()
            # Nothing answers at the offer's address.
            result, _ = rx.device.ReadRegister(OFFER)
            assert not result.IsOK()
        finally:
            rx.close()


def test_the_offer_names_the_ports_that_take_connections():
    with SoftCamera(92, tcp=True, width=32, height=16) as camera:
        offer = offer_of(camera)
        magic, version, flags, control, channels, stream_port = struct.unpack(">IHHHHH", offer[:14])
        assert (magic, version, flags, control, channels) == (0x54435047, 1, 1, 3956, 1)
        assert stream_port and stream_port != 3956 and offer[14:] == bytes(50)
        # The stream port takes a connection (and drops it again unharmed).
        with socket.create_connection((camera.address, stream_port), timeout=5):
            pass
        # A stream opened by the device's address finds the offer too.
        result, stream = m.ZuStream_CreateAndOpen(camera.address)
        assert result.IsOK(), result.GetDescription()
        try:
            assert m.ZuStreamGEV_GetDataReceiverType(stream) == tr.ZuDataReceiverTypeTCP
        finally:
            m.ZuStream_Free(stream)


def test_aravis_still_controls_the_camera_over_udp():
    skip_without("arv-tool-0.8")
    with SoftCamera(93, tcp=True, width=64, height=48) as camera:
        out = subprocess.run(["arv-tool-0.8", "-a", camera.address, "control", "Width=32", "Width"],
                             capture_output=True, text=True, timeout=30).stdout
        assert "Width = 32" in out
        assert camera.source.width == 32


def test_camera_stopping_mid_stream_ends_the_stream_cleanly():
    with SoftCamera(94, tcp=True, width=64, height=32, fps=200) as camera:
        rx = Receiver(camera, buffers=4)
        try:
            assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
            rx.start()
            check_frames(rx.frames(3), 32, 64)
            camera.stop()
            # What was under way ends as lost packets or a time-out; every
            # buffer comes back, none reported complete with wrong pixels.
            for _ in range(10):
                result, buffer, operation = rx.retrieve(timeout=1500)
                if not result.IsOK():
                    break
                if operation.IsOK():
                    check_frames([(buffer.GetBlockID(), np.array(buffer.GetImage().GetDataPointer()))], 32, 64)
            else:
                pytest.fail("blocks kept coming from a stopped camera")
            # The receiver saw the connection end.
            for _ in range(500):
                if rx.receiver_type() == tr.ZuDataReceiverTypeUserMode:
                    break
                time.sleep(0.01)
            assert rx.receiver_type() == tr.ZuDataReceiverTypeUserMode
            result = m.ZuStream_Close(rx.stream)
            assert result.IsOK()
        finally:
            rx.close()


def test_receiver_closing_mid_stream_leaves_the_camera_serving():
    with SoftCamera(95, tcp=True, width=64, height=32, fps=500) as camera:
        rx = Receiver(camera)
        rx.start()
        check_frames(rx.frames(3), 32, 64)
        m.ZuStream_Free(rx.stream)
        tr.ZuDevice.Free(rx.device)
        rx = Receiver(camera)
        try:
            rx.start()
            check_frames(rx.frames(5), 32, 64)
            rx.stop()
        finally:
            rx.close()


def hostile(address, port, payload, read=False):
    with socket.create_connection((address, port), timeout=5) as s:
        if payload:
            s.sendall(payload)
        if read:
            s.settimeout(5)
            try:
                return s.recv(4096)
            except OSError:
                return b""
    return None


def test_hostile_tcp_peers_cost_the_camera_nothing():
    with SoftCamera(96, tcp=True, width=32, height=16, fps=200) as camera:
        stream_port = struct.unpack(">H", offer_of(camera)[12:14])[0]
        for port in (3956, stream_port):
            hostile(camera.address, port, b"\x00" * 3)                                   # half a header
            hostile(camera.address, port, struct.pack(">I", 0xFFFFFFF0) + b"x" * 100)    # a huge length
            hostile(camera.address, port, struct.pack(">I", 0))                          # an empty frame
            hostile(camera.address, port, struct.pack(">I", 200) + b"\x42\x01" * 20)     # half a frame
            hostile(camera.address, port, bytes(range(256)) * 64)                        # garbage
        # A huge length is the end of the connection: the camera closes it.
        assert hostile(camera.address, 3956, struct.pack(">I", 0x7FFFFFFF), read=True) == b""
        # A command in a frame is answered in a frame; garbage frames are not.
        readreg = struct.pack(">BBHHH", 0x42, 0x01, 0x0080, 4, 7) + struct.pack(">I", 0x0A00)
        answer = hostile(camera.address, 3956, b"\x00\x00\x00\x04junk" + struct.pack(">I", len(readreg)) + readreg,
                         read=True)
        assert answer[:4] == struct.pack(">I", 12)
        assert answer[4:12] == struct.pack(">HHHH", 0, 0x0081, 4, 7)
        # Still whole: our controller and receiver work as before, with
        # another peer on the stream port that connected later from the same
        # address; not being the destination, it gets nothing.
        rx = Receiver(camera)
        idle = socket.create_connection((camera.address, stream_port), timeout=5)
        try:
            assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
            rx.start()
            check_frames(rx.frames(5), 16, 32)
            rx.stop()
            assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
            idle.setblocking(False)
            with pytest.raises(BlockingIOError):
                idle.recv(1)
        finally:
            rx.close()
            idle.close()


def test_a_stream_peer_that_stops_reading_is_cut_off_without_stalling_control():
    with SoftCamera(97, tcp=True, width=256, height=256, fps=500) as camera:
        stream_port = struct.unpack(">H", offer_of(camera)[12:14])[0]
        system, info = find(camera.address)
        result, device = tr.ZuDevice.CreateAndConnect(info)
        assert result.IsOK(), result.GetDescription()
        stalled = socket.socket()
        try:
            stalled.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
            stalled.bind(("127.0.0.1", 0))
            stalled.connect((camera.address, stream_port))
            params = device.GetParameters()
            # This connection is the stream's destination; it never reads.
            assert device.SetStreamDestination("127.0.0.1", stalled.getsockname()[1]).IsOK()
            assert params.SetIntegerValue("TLParamsLocked", 1).IsOK()
            assert params.ExecuteCommand("AcquisitionStart").IsOK()
            # Control goes on meanwhile.
            for _ in range(20):
                result, width = params.GetIntegerValue("Width")
                assert result.IsOK() and width == 256
                assert device.ReadRegister(WIDTH)[1] == 256
                time.sleep(0.1)
            # The camera gave up on it: reading now finds whole frames, then the end.
            stalled.settimeout(20)
            data = b""
            while True:
                chunk = stalled.recv(1 << 16)
                if not chunk:
                    break
                data += chunk
            at = frames = 0
            while at + 4 <= len(data):
                length = struct.unpack(">I", data[at:at + 4])[0]
                assert 8 <= length <= 1500, (at, length)
                at += 4 + length
                frames += 1
            assert frames > 0
            assert params.ExecuteCommand("AcquisitionStop").IsOK()
            params.SetIntegerValue("TLParamsLocked", 0)
        finally:
            stalled.close()
            tr.ZuDevice.Free(device)


def test_a_controller_whose_connection_ends_loses_control_at_once():
    with SoftCamera(98, tcp=True, width=32, height=16) as camera:
        # Control taken, with a heartbeat time-out of a minute.
        writes = [(5, 0x0A00, 2), (6, 0x0938, 60000)]
        with socket.create_connection((camera.address, 3956), timeout=5) as s:
            for req, address, value in writes:
                write = struct.pack(">BBHHH", 0x42, 0x01, 0x0082, 8, req) + struct.pack(">II", address, value)
                s.sendall(struct.pack(">I", len(write)) + write)
                answer = s.recv(64)
                assert answer[4:12] == struct.pack(">HHHH", 0, 0x0083, 4, req)
            # Held: another controller is refused.
            system, info = find(camera.address)
            result, device = tr.ZuDevice.CreateAndConnect(info)
            assert not result.IsOK()
        # Gone without letting go: the next controller gets the camera as
        # soon as the camera has seen the connection end, long before the
        # heartbeat would have ended (however loaded the machine, the camera
        # sees the end within seconds).
        deadline = time.monotonic() + 20
        while True:
            result, device = tr.ZuDevice.CreateAndConnect(info)
            if result.IsOK() or time.monotonic() > deadline:
                break
            time.sleep(0.05)
        assert result.IsOK(), result.GetDescription()
        tr.ZuDevice.Free(device)


def test_idle_connections_neither_keep_a_controller_out_nor_push_it_out():
    with SoftCamera(151, tcp=True, width=32, height=16, fps=200) as camera:
        stream_port = struct.unpack(">H", offer_of(camera)[12:14])[0]
        # More idle peers on each port than the camera keeps connections.
        idle = [socket.create_connection((camera.address, port), timeout=5)
                for port in (3956, stream_port) for _ in range(10)]
        try:
            rx = Receiver(camera)
            try:
                assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
                # Later newcomers take the place of idle peers, not of the
                # controller's connections nor of the stream's.
                idle += [socket.create_connection((camera.address, port), timeout=5)
                         for port in (3956, stream_port) for _ in range(10)]
                time.sleep(0.3)
                rx.start()
                check_frames(rx.frames(5), 16, 32)
                rx.stop()
                assert rx.receiver_type() == tr.ZuDataReceiverTypeTCP
                assert rx.params.SetIntegerValue("Width", 16).IsOK() and camera.source.width == 16
                assert rx.device.IsConnected()
                # Events still come over the messaging connection.
                sink = Events()
                assert rx.device.RegisterEventSink(sink).IsOK()
                assert camera.device.GetMessagingChannel().FireEvent(0x9005, bytes(4), 7, 0).IsOK()
                for _ in range(500):
                    if sink.events:
                        break
                    time.sleep(0.01)
                rx.device.UnregisterEventSink(sink)
                assert [e[:3] for e in sink.events] == [(0x9005, 0, 7)]
                assert len(tcp_peers(camera.address, 3956)) >= 2
            finally:
                rx.close()
        finally:
            for s in idle:
                s.close()
