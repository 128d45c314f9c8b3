"""FORCEIP moves the software camera: its control channel answers from the
new address and its stream leaves from there too."""
import struct

from support import needs_netns
from support.controller import Controller, StreamReceiver, open_stream, start_acquisition, stop_acquisition
from support.gvcp import force_ip
from support.softcamera import SoftCamera

pytestmark = needs_netns()


class SourceAddresses(StreamReceiver):
    """A stream receiver that notes where the packets came from."""

    def __init__(self):
        self.sources = set()
        super().__init__()

    def handle(self, data, sender):
        self.sources.add(sender[0])
        super().handle(data, sender)


def test_forceip_moves_the_stream_with_the_control_channel():
    with SoftCamera(83, width=64, height=16) as cam:
        answer, sender = force_ip(cam.address, bytes([0x02, 0x00, 0x7F, 0x00, 0x00, 83]), "127.0.0.84")
        assert sender == "127.0.0.84"
        assert struct.unpack(">HH", answer[:4]) == (0, 0x0005)
        ctl = Controller("127.0.0.84")
        receiver = SourceAddresses()
        try:
            ctl.take_control()
            open_stream(ctl, receiver)
            start_acquisition(ctl)
            assert len(receiver.wait_for(2)) >= 2
            stop_acquisition(ctl)
            ctl.release()
        finally:
            receiver.close()
            ctl.close()
        assert receiver.sources == {"127.0.0.84"}
