"""The receiving module's side of end-to-end tests: a camera connected with
its stream open at our port, and an event sink that keeps what it is told.
Imported by tests that have made sure the receiving module is there."""
import numpy as np

import tarn_base_310  # noqa: F401  (registers the information classes)
import tarn_receive_310 as tr

from support.devices import find

m = tr._tarn_receive_310


class Events(tr.ZuDeviceEventSink):
    def __init__(self):
        super().__init__()
        self.events = []

    def OnEvent(self, device, event_id, channel, block_id, timestamp, data):
        self.events.append((event_id, channel, block_id, bytes(np.asarray(data)) if data is not None else b""))


def connect(address):
    """(system, device) for the device at address, connected; the system
    holds the device's information."""
    system, info = find(address)
    result, device = tr.ZuDevice.CreateAndConnect(info)
    assert result.IsOK(), result.GetDescription()
    return system, device


def connect_and_open(address):
    """(system, device, its parameters, stream) for the device at address,
    connected, its stream open and sending to the stream's port."""
    system, info = find(address)
    result, device = tr.ZuDevice.CreateAndConnect(info)
    assert result.IsOK(), result.GetDescription()
    params = device.GetParameters()
    result, stream = m.ZuStream_CreateAndOpen(info)
    assert result.IsOK(), result.GetDescription()
    port = m.ZuStreamGEV_GetLocalPort(stream)
    assert device.SetStreamDestination("127.0.0.1", port).IsOK()
    return system, device, params, stream


def start_pipeline(stream, size, count):
    """A pipeline over the stream, running with count buffers of size bytes."""
    pipeline = m.new_ZuPipeline(stream)
    m.ZuPipeline_SetBufferSize(pipeline, size)
    m.ZuPipeline_SetBufferCount(pipeline, count)
    assert m.ZuPipeline_Start(pipeline).IsOK()
    return pipeline


def let_go(device, stream, pipeline=None):
    """Stops and frees what connect_and_open (and start_pipeline) made."""
    if pipeline is not None:
        m.ZuPipeline_Stop(pipeline)
        m.delete_ZuPipeline(pipeline)
    m.ZuStream_Free(stream)
    tr.ZuDevice.Free(device)
