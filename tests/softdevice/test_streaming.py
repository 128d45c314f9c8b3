"""The software camera on the wire, driven by a controller and a stream
receiver written in Python from the standard (no code shared with the
camera): every frame a Python source makes arrives byte-identical with its
block id; events reach the messaging channel's destination."""
import socket
import struct

import numpy as np
import pytest

import tarn_edge_310 as te
from support import UNDER_ASAN, needs_netns
from support.controller import (CHANNEL_BASE, PAYLOAD_SIZE, SCDA, SCP, SCPS, WIDTH, Controller, EventListener,
                                MCDA, MCP, StreamReceiver, open_stream, start_acquisition, stop_acquisition,
                                EVENT_CMD, EVENTDATA_CMD)
from support.gvcp import command
from support.softcamera import NumpySource, loopback_mac, pattern

pytestmark = needs_netns()
SCSP = 0x0D1C


@pytest.fixture
def camera():
    device = te.ZuSoftDeviceGEV()
    source = NumpySource(width=96, height=40, buffers=8)
    assert device.AddStream(source).IsOK()
    result = device.Start(loopback_mac(21))
    assert result.IsOK(), result.GetDescription()
    ctl = Controller("127.0.0.21")
    yield device, source, ctl
    ctl.close()
    device.Stop()


def test_frames_arrive_whole_with_their_block_ids(camera):
    device, source, ctl = camera
    ctl.take_control()
    assert ctl.read(CHANNEL_BASE + WIDTH) == 96
    assert ctl.read(CHANNEL_BASE + PAYLOAD_SIZE) == 96 * 40
    receiver = StreamReceiver()
    try:
        open_stream(ctl, receiver)
        start_acquisition(ctl)
        blocks = receiver.wait_for(50)
        stop_acquisition(ctl)
    finally:
        receiver.close()
    assert len(blocks) >= 50
    for block in blocks[:50]:
        assert block.payload_type == 1
        assert (block.width, block.height, block.pixel_format) == (96, 40, te.ZuPixelMono8)
        got = np.frombuffer(block.data(), dtype=np.uint8).reshape(40, 96)
        assert np.array_equal(got, pattern(block.id - 1, 40, 96)), block.id
    assert [b.id for b in blocks[:50]] == list(range(1, 51))


def test_events_reach_the_messaging_channel(camera):
    device, source, ctl = camera
    channel = device.GetMessagingChannel()
    assert not channel.IsOpened()
    assert channel.FireEvent(0x9000).GetCode() == te.ZU_STATE_ERROR
    ctl.take_control()
    listener = EventListener()
    try:
        ctl.write(MCDA, struct.unpack(">I", bytes([127, 0, 0, 1]))[0])
        ctl.write(MCP, listener.port)
        assert channel.IsOpened()
        assert channel.FireEvent(0x9001, 7, 0).IsOK()
        data = bytes(range(8))
        assert channel.FireEvent(0x9002, data, 9).IsOK()
        events = listener.wait_for(2)
    finally:
        listener.close()
    assert [code for code, _ in events] == [EVENT_CMD, EVENTDATA_CMD]
    _, event_id, stream, block = struct.unpack(">HHHH", events[0][1][:8])
    assert (event_id, stream, block) == (0x9001, 0, 7)
    assert events[1][1][16:] == data
    assert data == bytes(range(8))


def _open_fds():
    import os
    return len(os.listdir("/proc/self/fd"))


def _rss_kib():
    with open("/proc/self/status") as f:
        for line in f:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return 0


def test_ten_thousand_frames_arrive_without_loss_or_growth():
    """10,000 frames in three runs of acquisition; between the first run
    and the last, neither memory nor descriptors grow."""
    device = te.ZuSoftDeviceGEV()
    # Paced for the Python receiver, which is slower than the camera.
    source = NumpySource(width=64, height=32, buffers=16, fps=3000)
    device.AddStream(source)
    assert device.Start(loopback_mac(22)).IsOK()
    ctl = Controller("127.0.0.22")
    marks = []
    total = 0
    try:
        ctl.take_control()
        for run, count in enumerate((2000, 4000, 4000)):
            receiver = StreamReceiver()
            try:
                open_stream(ctl, receiver)
                start_acquisition(ctl)
                blocks = receiver.wait_for(count, timeout=120)
                stop_acquisition(ctl)
            finally:
                receiver.close()
            ids = [b.id for b in blocks[:count]]
            assert len(ids) == count
            # No block lost or out of order within a run.
            gaps = [(a, b) for a, b in zip(ids, ids[1:]) if not (b - a == 1 or (a == 65535 and b == 1))]
            assert not gaps, (run, gaps[:5])
            for block in blocks[:count:97]:
                assert np.array_equal(np.frombuffer(block.data(), dtype=np.uint8).reshape(32, 64),
                                      pattern(block.id - 1, 32, 64))
            total += count
            del blocks, receiver
            import gc
            gc.collect()
            marks.append((_open_fds(), _rss_kib()))
    finally:
        ctl.close()
        device.Stop()
    assert total == 10000
    assert marks[-1][0] == marks[0][0]
    # The last run (as long as the one before it) costs no memory of its own.
    assert UNDER_ASAN or marks[-1][1] - marks[1][1] < 2048, marks


def test_two_cameras_stream_at_once_each_from_its_own_address():
    cameras = []
    for n, size in ((23, (64, 32)), (24, (32, 16))):
        device = te.ZuSoftDeviceGEV()
        source = NumpySource(width=size[0], height=size[1], fps=2000)
        device.AddStream(source)
        assert device.Start(loopback_mac(n)).IsOK()
        cameras.append((device, source, Controller(f"127.0.0.{n}"), StreamReceiver()))
    try:
        for device, source, ctl, receiver in cameras:
            ctl.take_control()
            open_stream(ctl, receiver)
            start_acquisition(ctl)
        for device, source, ctl, receiver in cameras:
            blocks = receiver.wait_for(200)[:200]
            assert len(blocks) == 200
            for block in blocks:
                got = np.frombuffer(block.data(), dtype=np.uint8).reshape(source.height, source.width)
                assert np.array_equal(got, pattern(block.id - 1, source.height, source.width))
    finally:
        for device, source, ctl, receiver in cameras:
            receiver.close()
            ctl.close()
            device.Stop()


def test_every_resend_request_is_answered_and_test_packets_come_from_the_channels_port(camera):
    """What a controller asks again of a block whose buffer went back to
    the source is answered packet by packet with the status that it was
    removed from memory (so a receiver gives those packets up at once);
    a block never sent is unavailable. Stream, answers and test packets all
    leave from the source port the channel's register names."""
    device, source, ctl = camera
    ctl.take_control()
    sock = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    sock.bind(("127.0.0.1", 0))
    sock.settimeout(5)

    def packets(wait=10, quiet=0.5):
        """What arrives until the socket is quiet: the first packet may take
        up to wait (a loaded machine delays the camera), the next ones each
        up to quiet."""
        out = []
        sock.settimeout(wait)
        try:
            while True:
                data, sender = sock.recvfrom(65536)
                out.append((data, sender[1]))
                sock.settimeout(quiet)
        except socket.timeout:
            return out

    def header(data):
        status, block, fmt_packet = struct.unpack(">HHI", data[:8])
        return status, block, fmt_packet >> 24 & 0x0F, fmt_packet & 0xFFFFFF

    try:
        ctl.write(SCPS, 1500)
        ctl.write(SCDA, struct.unpack(">I", socket.inet_aton("127.0.0.1"))[0])
        ctl.write(SCP, sock.getsockname()[1])
        source_port = ctl.read(SCSP)
        ctl.write(SCPS, 1500 | 0x80000000)     # fire one test packet
        (test, sent_from), = packets()
        assert len(test) == 1500 - 28 and sent_from == source_port
        assert header(test) == (0, 0, 3, 0)     # block 0, payload format, packet 0
        start_acquisition(ctl)
        sock.settimeout(5)
        while header(sock.recvfrom(65536)[0])[1] < 20:
            pass
        stop_acquisition(ctl)
        packets(wait=0.5)
        # Stopped: no block is held any more.
        resend = command(0x0040, struct.pack(">HHII", 0, 3, 1, 2), 0xABC)
        ctl.sock.sendto(resend, ctl.device)
        answers = packets()
        assert [(len(d), header(d), port) for d, port in answers] == [
            (8, (0x8012, 3, 3, 1), source_port), (8, (0x8012, 3, 3, 2), source_port)]
        ctl.sock.sendto(command(0x0040, struct.pack(">HHII", 0, 1000, 4, 4), 0xABD), ctl.device)
        assert [header(d) for d, _ in packets()] == [(0x800C, 1000, 3, 4)]
    finally:
        sock.close()


def test_a_source_that_answers_the_wrong_shape_drops_that_frame_with_its_line_and_streams_on(capfd):
    class Shapeless(NumpySource):
        wrong = {"QueueBuffer": 2, "RetrieveBuffer": 3}

        def QueueBuffer(self, buffer):
            if self.wrong["QueueBuffer"]:
                self.wrong["QueueBuffer"] -= 1
                return None
            return super().QueueBuffer(buffer)

        def RetrieveBuffer(self, slot):
            if self.wrong["RetrieveBuffer"]:
                self.wrong["RetrieveBuffer"] -= 1
                return None
            return super().RetrieveBuffer(slot)

    device, source = te.ZuSoftDeviceGEV(), Shapeless(width=96, height=40, buffers=8)
    assert device.AddStream(source).IsOK()
    assert device.Start(loopback_mac(22)).IsOK()
    ctl = Controller("127.0.0.22")
    receiver = StreamReceiver()
    try:
        ctl.take_control()
        open_stream(ctl, receiver)
        start_acquisition(ctl)
        blocks = receiver.wait_for(5)
        stop_acquisition(ctl)
    finally:
        receiver.close()
        ctl.close()
        device.Stop()
    assert len(blocks) >= 5 and all(b.payload_type == 1 for b in blocks)
    lines = capfd.readouterr().out.splitlines()
    assert lines.count("In method 'QueueBuffer': TypeError: SWIG director type mismatch "
                       "in method QueueBuffer with output value of type 'ZuResult'") == 2
    assert lines.count("In method 'RetrieveBuffer': TypeError: SWIG director type mismatch "
                       "Python method IZuSWStreamingChannelSource.RetrieveBufferfailed to return a tuple.") == 3
