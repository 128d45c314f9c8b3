"""Aravis's tool triggers our software camera: it finds the trigger
features in our description, turns trigger mode on and executes
TriggerSoftware, and exactly the one frame it triggered leaves."""
import subprocess

import numpy as np

from support import needs_netns
from support.controller import StreamReceiver
from support.devices import skip_without
from support.softcamera import SoftCamera, TriggeredSource, pattern

pytestmark = needs_netns()


def arv(address, *args):
    out = subprocess.run(["arv-tool-0.8", "-a", address, *args], capture_output=True, text=True, timeout=30)
    assert out.returncode == 0, out.stderr
    return out.stdout


def test_arv_tool_sets_trigger_mode_and_fires_one_frame():
    skip_without("arv-tool-0.8")
    with SoftCamera(72, kind=TriggeredSource, width=32, height=8) as cam:
        features = arv(cam.address, "features")
        for name in ("TriggerSelector", "TriggerMode", "TriggerSource", "TriggerSoftware"):
            assert f"'{name}'" in features
        receiver = StreamReceiver()
        try:
            # Each session sets the stream up anew: it ends with the tool's
            # control.
            settings = [f"GevSCDA={0x7F000001}", f"GevSCPHostPort={receiver.port}", "GevSCPSPacketSize=1500",
                        "TriggerSelector=FrameStart", "TriggerMode=On", "TriggerSource=Software"]
            before = arv(cam.address, "control", *settings, "AcquisitionStart", "TriggerMode", "TriggerMode",
                         "TriggerMode", "AcquisitionStop")
            assert "TriggerMode = On" in before
            assert receiver.wait_for(1, timeout=0.5) == []
            # The stream ends with the session: the tool goes on reading a
            # bootstrap register while the triggered frame leaves.
            out = arv(cam.address, "control", *settings, "AcquisitionStart", "TriggerSoftware", *["R[0x0938]"] * 400)
            blocks = receiver.wait_for(1)
            assert len(receiver.wait_for(2, timeout=0.5)) == 1
        finally:
            receiver.close()
    assert "TriggerSoftware" in out
    assert [name for name, _ in cam.source.triggered] == ["FrameStart"]
    got = np.frombuffer(blocks[0].data(), dtype=np.uint8).reshape(8, 32)
    assert np.array_equal(got, pattern(0, 8, 32))
