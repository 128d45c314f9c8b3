"""What the controller trusts of its link: a camera that restarted or stopped
under it is a lost link, however well it answers."""
import contextlib
import threading
import time

import tarn_base_310  # noqa: F401  (registers the information classes)
import tarn_receive_310 as tr
from support import needs_netns
from support.softcamera import SoftCamera, loopback_mac

pytestmark = needs_netns()


class Link(tr.ZuDeviceEventSink):
    def __init__(self):
        super().__init__()
        self.losses = 0
        self.lost = threading.Event()

    def OnLinkDisconnected(self, device):
        self.losses += 1
        self.lost.set()


@contextlib.contextmanager
def controlling(camera, heartbeat_ms):
    """(device, link): a controller connected to the camera, hearing its link."""
    device = tr.ZuDeviceGEV()
    assert device.GetCommunicationParameters().SetIntegerValue("HeartbeatTimeout", heartbeat_ms).IsOK()
    assert device.Connect(camera.address).IsOK()
    link = Link()
    assert device.RegisterEventSink(link).IsOK()
    try:
        yield device, link
    finally:
        device.UnregisterEventSink(link)
        device.Disconnect()


def test_a_camera_restarted_under_its_controller_is_a_lost_link():
    # The camera is back long before the heartbeat's time-out: only the
    # privilege it reports (none) tells that the controller lost it.
    with SoftCamera(150, width=32, height=16) as camera, controlling(camera, 9000) as (device, link):
        camera.stop()
        assert camera.device.Start(loopback_mac(150)).IsOK()
        assert link.lost.wait(20)
        assert device.IsConnected() is False
        assert device.GetParameters() is None
        time.sleep(0.3)
        assert link.losses == 1
        # The camera is free for a controller: this one again, say.
        assert device.Connect(camera.address).IsOK()
        assert device.GetParameters().GetIntegerValue("Width")[1] == 32


def test_a_camera_stopped_under_its_controller_ends_its_calls_and_is_a_lost_link():
    """Teardown in the wrong order: the camera goes first. The controller's
    calls answer, within their time-outs, that the device is gone, and the
    heartbeat reports the loss once."""
    with SoftCamera(151, width=32, height=16) as camera, controlling(camera, 1000) as (device, link):
        parameters = device.GetParameters()
        camera.stop()
        result, _ = parameters.GetIntegerValue("Width")
        assert result.GetCode() in (tr.ZU_NOT_CONNECTED, tr.ZU_TIMEOUT), result.GetDescription()
        assert link.lost.wait(20)
        assert device.IsConnected() is False
        assert device.ReadRegister(0x10000)[0].GetCode() == tr.ZU_NOT_CONNECTED
        assert link.losses == 1
