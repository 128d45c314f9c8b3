"""The trigger selectors from Python: every call dispatches through the
virtual table (a function of one class applied to another runs the
object's own transition), texts and shapes of the wrappers, and the
trigger callback's director."""
import sys
import threading

import pytest

import _tarn_edge_310 as m
import tarn_edge_310 as te
from support import error_of, prototypes
from support.threads import other_threads_ran_during

DISABLED, ENABLED, ARMED, FIRED, ONESHOT = (te.IZuTriggerSelector_State_Disabled, te.IZuTriggerSelector_State_Enabled,
                                            te.IZuTriggerSelector_State_Armed, te.IZuTriggerSelector_State_Fired,
                                            te.IZuTriggerSelector_State_OneShot)
CLASSES = {"ZuTriggerSelectorDefault": "N/A", "ZuTriggerSelectorAcquisitionStart": "AcquisitionStart",
           "ZuTriggerSelectorFrameStart": "FrameStart", "ZuTriggerSelectorLineStart": "LineStart"}


def state(selector):
    return m.IZuTriggerSelector_GetState(selector)


def test_constants_and_new_selectors():
    assert (DISABLED, ENABLED, ARMED, FIRED, ONESHOT) == (0, 1, 2, 3, 4)
    assert (te.TRIGGER_SELECTOR_FRAMESTART, te.TRIGGER_SELECTOR_LINESTART, te.TRIGGER_SELECTOR_LAST) == (0, 9, 12)
    assert (te.TRIGGER_MODE_OFF, te.TRIGGER_MODE_ON, te.TRIGGER_SOURCE_SOFTWARE, te.TRIGGER_SOURCE_USER) == (0, 1, 0, 1)
    for name, default in CLASSES.items():
        selector = getattr(te, name)()
        assert m.IZuTriggerSelector_GetName(selector) == default
        assert getattr(te, name)("Mine").GetName() == "Mine"
        assert (state(selector), selector.IsEnabled(), selector.GetMode(), selector.GetSource()) == (DISABLED, False, False, 0)
        for signal in ("Start", "FireTrigger", "Rearm", "Stop"):
            getattr(m, "IZuTriggerSelector_" + signal)(selector, *((4,) if signal == "Start" else ()))
            assert state(selector) == DISABLED, (name, signal)
        # No GetState of its own: the interface's serves every class.
        assert not hasattr(m, name + "_GetState")


def test_functions_dispatch_to_the_objects_own_class():
    frame = te.ZuTriggerSelectorFrameStart()
    frame.SetMode(True)
    m.ZuTriggerSelectorAcquisitionStart_Start(frame, 1)
    m.ZuTriggerSelectorAcquisitionStart_FireTrigger(frame)
    assert state(frame) == FIRED          # FrameStart's transition, not OneShot
    m.ZuTriggerSelectorDefault_Rearm(frame)
    assert state(frame) == ARMED
    line = te.ZuTriggerSelectorLineStart()
    line.SetMode(True)
    m.ZuTriggerSelectorDefault_Start(line, 2)
    m.IZuTriggerSelector_FireTrigger(line)
    assert state(line) == ARMED
    m.ZuTriggerSelectorFrameStart_FireTrigger(line)
    assert state(line) == FIRED


@pytest.mark.parametrize("name", ["ZuTriggerSelectorAcquisitionStart", "ZuTriggerSelectorFrameStart", "ZuTriggerSelectorLineStart"])
def test_cycles(name):
    s = getattr(te, name)()
    s.SetMode(True)
    s.Start(3)
    assert state(s) == ARMED
    for _ in range(2 if name.endswith("LineStart") else 0):
        s.FireTrigger()
        assert state(s) == ARMED
    s.FireTrigger()
    after = {"ZuTriggerSelectorAcquisitionStart": ONESHOT}.get(name, FIRED)
    assert state(s) == after
    s.FireTrigger()
    s.Rearm()
    assert state(s) == (ONESHOT if after == ONESHOT else ARMED)
    s.SetMode(True)                       # from any state back to Enabled
    assert state(s) == ENABLED and s.IsEnabled() and s.GetMode()
    s.Start(1)
    s.Stop()
    assert state(s) == ENABLED
    s.SetMode(False)
    assert state(s) == DISABLED
    s.Stop()
    assert state(s) == DISABLED


def test_line_start_of_zero_lines_wraps():
    s = te.ZuTriggerSelectorLineStart()
    s.SetMode(True)
    s.Start(0)
    s.FireTrigger()
    assert state(s) == ARMED
    s.SetSource(4294967295)
    assert s.GetSource() == 4294967295


def test_argument_texts():
    s = te.ZuTriggerSelectorLineStart()
    assert error_of(m.ZuTriggerSelectorDefault_SetMode, s, 1) == (
        TypeError, "in method 'ZuTriggerSelectorDefault_SetMode', argument 2 of type 'bool'")
    for bad, kind in ((2 ** 32, OverflowError), (-1, OverflowError), ("3", TypeError)):
        assert error_of(m.ZuTriggerSelectorLineStart_Start, s, bad) == (
            kind, "in method 'ZuTriggerSelectorLineStart_Start', argument 2 of type 'uint32_t'")
        assert error_of(m.ZuTriggerSelectorDefault_SetSource, s, bad) == (
            kind, "in method 'ZuTriggerSelectorDefault_SetSource', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuTriggerSelectorDefault_GetName, object()) == (
        TypeError, "in method 'ZuTriggerSelectorDefault_GetName', argument 1 of type 'ZuTriggerSelectorDefault const *'")
    assert error_of(m.ZuTriggerSelectorFrameStart_Rearm, te.ZuTriggerSelectorDefault()) == (
        TypeError, "in method 'ZuTriggerSelectorFrameStart_Rearm', argument 1 of type 'ZuTriggerSelectorFrameStart *'")
    assert error_of(m.delete_ZuTriggerSelectorLineStart, te.ZuTriggerSelectorFrameStart()) == (
        TypeError, "in method 'delete_ZuTriggerSelectorLineStart', argument 1 of type 'ZuTriggerSelectorLineStart *'")
    assert error_of(m.new_ZuTriggerSelectorLineStart, 1) == (TypeError, prototypes(
        "new_ZuTriggerSelectorLineStart", "ZuTriggerSelectorLineStart::ZuTriggerSelectorLineStart(char const *const)",
        "ZuTriggerSelectorLineStart::ZuTriggerSelectorLineStart()"))
    assert error_of(m.new_ZuTriggerSelectorDefault, "a", "b")[0] is TypeError
    assert error_of(m.IZuTriggerSelector_Stop, None)[0] in (TypeError, ValueError, RuntimeError)


# ---- The trigger callback

class Recorder(te.IZuTriggerCallback):
    def __init__(self, answer=None):
        super().__init__()
        self.answer, self.seen = answer, []

    def TriggerCallbackMethod(self, selector):
        self.seen.append((type(selector).__name__, selector and selector.GetName()))
        return self.answer


class Raising(te.IZuTriggerCallback):
    def TriggerCallbackMethod(self, selector):
        raise ValueError("bad trigger")


class Silent(te.IZuTriggerCallback):
    pass


def test_callback_receives_the_declared_selector_type_whatever_it_answers():
    for answer in (5, "text", None):
        callback = Recorder(answer)
        m.IZuTriggerCallback_TriggerCallbackMethod(callback.this, te.ZuTriggerSelectorFrameStart())
        m.IZuTriggerCallback_TriggerCallbackMethod(callback.this, None)
        assert callback.seen == [("IZuTriggerSelector", "FrameStart"), ("NoneType", None)]


def test_callback_up_calls_errors_and_ownership(capfd):
    callback = Recorder()
    pure = "SWIG director pure virtual method called IZuTriggerCallback::TriggerCallbackMethod"
    assert error_of(m.IZuTriggerCallback_TriggerCallbackMethod, callback, None) == (RuntimeError, pure)
    silent = Silent()
    assert error_of(m.IZuTriggerCallback_TriggerCallbackMethod, silent.this, None) == (
        RuntimeError, "SWIG director method error. In method 'TriggerCallbackMethod': RuntimeError: " + pure)
    raising = Raising()
    assert error_of(m.IZuTriggerCallback_TriggerCallbackMethod, raising.this, None)[0] is RuntimeError
    assert "In method 'TriggerCallbackMethod': ValueError: bad trigger" in capfd.readouterr().out
    assert error_of(m.new_IZuTriggerCallback, None) == (RuntimeError, "accessing abstract class or protected constructor")
    before = sys.getrefcount(callback)
    m.disown_IZuTriggerCallback(callback)
    m.disown_IZuTriggerCallback(callback)
    assert sys.getrefcount(callback) == before + 1
