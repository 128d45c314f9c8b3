"""The trigger channel source: its wrappers' texts and shapes, what the
director never hands to Python, the protected feature builders, what it
keeps alive, and on the wire: no frame before a software trigger, then
exactly one per trigger, told to a Python callback on the streaming
thread."""
import gc
import struct
import threading
import weakref

import numpy as np
import pytest

import _tarn_edge_310 as m
import tarn_edge_310 as te
from support import error_of, needs_netns
from support.controller import (CHANNEL_BASE, Controller, GvcpError, StreamReceiver, open_stream, start_acquisition,
                                stop_acquisition)
from support.softcamera import SoftCamera, TriggeredSource, pattern
from support.threads import other_threads_ran_during

BASE = 0x20000
SELECTOR, MODE, SOURCE, SOFTWARE = BASE, BASE + 4, BASE + 8, BASE + 12


class Bare(te.ZuStreamingChannelSourceTrigger):
    def __init__(self):
        super().__init__(0, BASE)

    def GetHeight(self):
        return 4


def test_construction_and_argument_texts():
    assert error_of(m.new_ZuStreamingChannelSourceTrigger, None, 0, 0) == (
        RuntimeError, "accessing abstract class or protected constructor")
    assert error_of(m.new_ZuStreamingChannelSourceTrigger, None, 0) == (
        TypeError, "new_ZuStreamingChannelSourceTrigger expected 3 arguments, got 2")
    assert error_of(m.new_ZuStreamingChannelSourceTrigger, None, 0, 0, 0) == (
        TypeError, "new_ZuStreamingChannelSourceTrigger expected 3 arguments, got 4")
    for bad, kind in ((-1, OverflowError), (2 ** 32, OverflowError), (1.5, TypeError)):
        assert error_of(m.new_ZuStreamingChannelSourceTrigger, object(), bad, 0) == (
            kind, "in method 'new_ZuStreamingChannelSourceTrigger', argument 2 of type 'uint32_t'")
    source = Bare()
    assert error_of(m.ZuStreamingChannelSourceTrigger_AddSelector, source, 2 ** 31, None) == (
        OverflowError, "in method 'ZuStreamingChannelSourceTrigger_AddSelector', argument 2 of type 'TriggerSelectorEnum'")
    assert error_of(m.ZuStreamingChannelSourceTrigger_AddSelector, source, 0, object()) == (
        TypeError, "in method 'ZuStreamingChannelSourceTrigger_AddSelector', argument 3 of type "
                   "'ZuStreamingChannelSourceTrigger::SelectorEntry'")
    assert error_of(m.ZuStreamingChannelSourceTrigger_AddSelectorTriggerCallback, source, 0, object()) == (
        TypeError, "in method 'ZuStreamingChannelSourceTrigger_AddSelectorTriggerCallback', argument 3 of type "
                   "'IZuTriggerCallback *'")
    assert error_of(m.ZuStreamingChannelSourceTrigger_AddSource, source, -1, "x") == (
        OverflowError, "in method 'ZuStreamingChannelSourceTrigger_AddSource', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuStreamingChannelSourceTrigger_AddSource, source, 1, b"x") == (
        TypeError, "Argument 3: failed to create ZuString from Python string")
    assert error_of(m.ZuStreamingChannelSourceTrigger_GetMode, object()) == (
        TypeError, "in method 'ZuStreamingChannelSourceTrigger_GetMode', argument 1 of type "
                   "'ZuStreamingChannelSourceTrigger const *'")
    # Indices outside the selector constants pass on; None is a null entry.
    for index in (99, -5):
        source.AddSelector(index, None)
    # A name given in is not handed back.
    assert source.AddSource(1, "Line1") is None
    assert m.ZuStreamingChannelSourceTrigger_AddSource(source, 2, te.ZuString("Line2")) is None
    assert m.ZuStreamingChannelSourceTrigger_PreQueueBufferProc.__doc__.lstrip().startswith(
        "Pre-queue callback; may block until trigger conditions are satisfied.")


def test_what_is_never_handed_to_python():
    assert not hasattr(m, "ZuStreamingChannelSourceTrigger_GetTxNumBuffersToUse")
    # The buffer count answers natively: every buffer the source handed out.
    source = Overriding()
    result, count = m.IZuSWStreamingChannelSource_GetTxNumBuffersToUse(source.this, None)
    assert (result.GetCode(), count, source.built) == (te.ZU_NOT_IMPLEMENTED, 0, [])


def test_mode_source_and_software_trigger_of_the_current_selector():
    source = Bare()
    assert (source.GetMode(), source.GetSource()) == (False, te.TRIGGER_SOURCE_SOFTWARE)
    frame = te.ZuTriggerSelectorFrameStart()
    source.AddSelector(te.TRIGGER_SELECTOR_FRAMESTART, frame)
    frame.SetMode(True)
    frame.SetSource(te.TRIGGER_SOURCE_USER)
    assert (source.GetMode(), source.GetSource()) == (True, te.TRIGGER_SOURCE_USER)
    source.OnStreamingStart()                   # the base step: arms what is on

    assert m.IZuTriggerSelector_GetState(frame) == te.IZuTriggerSelector_State_Armed
    source.FireTrigger()                        # not the software source
    assert m.IZuTriggerSelector_GetState(frame) == te.IZuTriggerSelector_State_Armed
    frame.SetSource(te.TRIGGER_SOURCE_SOFTWARE)
    source.FireTrigger()
    assert m.IZuTriggerSelector_GetState(frame) == te.IZuTriggerSelector_State_Fired
    assert source.PreQueueBufferProc() is True
    assert m.IZuTriggerSelector_GetState(frame) == te.IZuTriggerSelector_State_Armed
    # Until the frame let through is retrieved, no wait; then waiting for
    # the next trigger lets other Python threads run.
    assert source.PreQueueBufferProc() is False
    source.PostRetrieveBufferProc()
    ran, proceed = other_threads_ran_during(source.PreQueueBufferProc)
    assert ran and proceed is False
    source.OnStreamingStop()
    assert m.IZuTriggerSelector_GetState(frame) == te.IZuTriggerSelector_State_Enabled


def test_selectors_and_callbacks_live_while_the_source_holds_them():
    source = Bare()
    selector = te.ZuTriggerSelectorLineStart()
    callback = te.IZuTriggerCallback.__new__(type("C", (te.IZuTriggerCallback,), {"TriggerCallbackMethod": lambda s, x: None}))
    callback.__init__()
    gone = [weakref.ref(selector), weakref.ref(callback)]
    source.AddSelector(te.TRIGGER_SELECTOR_LINESTART, selector)
    source.AddSelectorTriggerCallback(te.TRIGGER_SELECTOR_LINESTART, callback)
    del selector, callback
    gc.collect()
    assert gone[0]() is not None and gone[1]() is not None
    assert gone[0]().GetName() == "LineStart"
    # Replaced entries are let go; others stay.
    source.AddSelector(te.TRIGGER_SELECTOR_LINESTART, None)
    gc.collect()
    assert gone[0]() is None and gone[1]() is not None
    source.AddSelectorTriggerCallback(te.TRIGGER_SELECTOR_LINESTART, None)
    gc.collect()
    assert gone[1]() is None


def test_protected_builders_only_inside_their_own_dispatch():
    source = Bare()
    for name in ("CreateTriggerSelector", "CreateTriggerMode", "CreateTriggerSource", "CreateTriggerSoftware"):
        assert error_of(getattr(m, "ZuStreamingChannelSourceTrigger_" + name), source, None, None) == (
            RuntimeError, "accessing protected member " + name)


class Overriding(TriggeredSource):
    """Takes part in building TriggerMode and TriggerSoftware."""

    def __init__(self, **kwargs):
        super().__init__(**kwargs)
        self.built = []

    def CreateTriggerMode(self, registers, factory):
        te.ZuStreamingChannelSourceTrigger.CreateTriggerMode(self, registers, factory)
        self.built.append("TriggerMode")
        self.built.append(error_of(te.ZuStreamingChannelSourceTrigger.CreateTriggerSource, self, registers, factory))

    def CreateTriggerSoftware(self, registers, factory):
        self.built.append("skipped TriggerSoftware")

    def PreQueueBufferProc(self):
        self.built.append("PreQueueBufferProc")
        return True

    def GetTxNumBuffersToUse(self):
        self.built.append("GetTxNumBuffersToUse")
        return (te.ZU_OK, 1)


@needs_netns()
def test_overrides_of_the_builders_take_effect_and_the_wait_stays_native():
    with SoftCamera(41, kind=Overriding, width=16, height=4) as cam:
        ctl = Controller(cam.address)
        try:
            xml = ctl.description()
            ctl.take_control()
            receiver = StreamReceiver()
            try:
                open_stream(ctl, receiver)
                start_acquisition(ctl)
                assert len(receiver.wait_for(3)) >= 3
                stop_acquisition(ctl)
            finally:
                receiver.close()
        finally:
            ctl.close()
    assert cam.source.built == ["TriggerMode", (RuntimeError, "accessing protected member CreateTriggerSource"),
                                "skipped TriggerSoftware"]
    for name in ("TriggerSelector", "TriggerMode", "TriggerSource"):
        assert f'Name="{name}"' in xml
    assert 'Name="TriggerSoftware"' not in xml


# ---- On the wire

@pytest.fixture
def triggered():
    with SoftCamera(42, kind=TriggeredSource, width=40, height=12) as cam:
        ctl = Controller(cam.address)
        ctl.take_control()
        receiver = StreamReceiver()
        open_stream(ctl, receiver)
        yield cam, ctl, receiver
        receiver.close()
        ctl.close()


def settle(receiver, count):
    """The blocks after waiting for count of them, and a moment more for any
    that should not have come."""
    blocks = receiver.wait_for(count)
    return receiver.wait_for(count + 1, timeout=0.3) if len(blocks) >= count else blocks


@needs_netns()
def test_no_frame_before_a_software_trigger_then_one_per_trigger(triggered, capfd):
    cam, ctl, receiver = triggered
    assert (ctl.read(SELECTOR), ctl.read(MODE), ctl.read(SOURCE)) == (te.TRIGGER_SELECTOR_FRAMESTART, 0, 0)
    ctl.write(MODE, te.TRIGGER_MODE_ON)
    ctl.write(SOURCE, te.TRIGGER_SOURCE_SOFTWARE)
    start_acquisition(ctl)
    assert settle(receiver, 0) == []
    for n in range(1, 5):
        ctl.write(SOFTWARE, 1)
        blocks = settle(receiver, n)
        assert len(blocks) == n, n
    stop_acquisition(ctl)
    for block in blocks:
        got = np.frombuffer(block.data(), dtype=np.uint8).reshape(12, 40)
        assert np.array_equal(got, pattern(block.id - 1, 12, 40)), block.id
    assert [b.id for b in blocks] == [1, 2, 3, 4]
    # Told once per trigger, on the thread that queues the buffers.
    calls = list(cam.source.triggered)
    assert [name for name, _ in calls] == ["FrameStart"] * 4
    assert {thread for _, thread in calls} <= cam.source.queue_threads
    assert threading.get_ident() not in cam.source.queue_threads


@needs_netns()
def test_registers_refuse_what_the_source_does_not_have(triggered):
    cam, ctl, receiver = triggered
    for address, value in ((SELECTOR, te.TRIGGER_SELECTOR_LINESTART), (MODE, 2), (SOURCE, 7)):
        with pytest.raises(GvcpError):
            ctl.write(address, value)
    # Mode and source follow the selector.
    ctl.write(SELECTOR, te.TRIGGER_SELECTOR_ACQUISITIONSTART)
    ctl.write(MODE, te.TRIGGER_MODE_ON)
    ctl.write(SOURCE, te.TRIGGER_SOURCE_USER)
    assert cam.source.selectors[te.TRIGGER_SELECTOR_ACQUISITIONSTART].GetSource() == te.TRIGGER_SOURCE_USER
    assert cam.source.selectors[te.TRIGGER_SELECTOR_FRAMESTART].GetMode() is False
    ctl.write(SELECTOR, te.TRIGGER_SELECTOR_FRAMESTART)
    assert (ctl.read(MODE), ctl.read(SOURCE)) == (0, 0)


class Raising(te.IZuTriggerCallback):
    def TriggerCallbackMethod(self, selector):
        raise ValueError("trigger callback failed")


@needs_netns()
def test_a_failing_callback_prints_its_line_and_frames_go_on(triggered, capfd):
    cam, ctl, receiver = triggered
    cam.source.AddSelectorTriggerCallback(te.TRIGGER_SELECTOR_FRAMESTART, Raising())
    ctl.write(MODE, te.TRIGGER_MODE_ON)
    start_acquisition(ctl)
    ctl.write(SOFTWARE, 1)
    assert len(receiver.wait_for(1)) == 1
    ctl.write(SOFTWARE, 1)
    assert len(receiver.wait_for(2)) == 2
    # Back to free running.
    ctl.write(MODE, te.TRIGGER_MODE_OFF)
    assert len(receiver.wait_for(10)) >= 10
    stop_acquisition(ctl)
    out = capfd.readouterr().out
    assert out.count("In method 'TriggerCallbackMethod': ValueError: trigger callback failed") == 2


def test_register_sink_operations_the_subclass_lacks_run_the_sdks_own(capfd):
    source = Bare()
    # Through the pointer object: the director finds the proxy's method,
    # whose up-call runs the native step instead of dispatching again.
    for name in ("PostRead", "PostWrite"):
        assert getattr(m, "IZuRegisterEventSink_" + name)(source.this, None) is None
    for name in ("PreRead", "PreWrite"):
        assert getattr(m, "ZuStreamingChannelSourceTrigger_" + name)(source.this, None).GetCode() == te.ZU_OK
    assert m.ZuStreamingChannelSourceTrigger_Persist(source.this, None, None).GetCode() == te.ZU_NOT_IMPLEMENTED
    assert capfd.readouterr().out == ""
