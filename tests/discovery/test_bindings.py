"""Discovery bindings without the network: kinds, ownership, conversions and
the faults that the bindings refuse."""
import gc

import pytest

import tarn_base_310 as tb
from support import error_of

m = tb._tarn_base_310

U32_INDEXED = ["ZuSystem_GetInterface", "ZuSystem_GetDeviceInfo"]


@pytest.fixture
def system():
    return tb.ZuSystem()


@pytest.mark.parametrize("name", U32_INDEXED)
@pytest.mark.parametrize("index, exc", [(-1, OverflowError), (4294967296, OverflowError), ("0", TypeError)])
def test_index_conversion(system, name, index, exc):
    assert error_of(getattr(m, name), system, index) == (exc, f"in method '{name}', argument 2 of type 'uint32_t'")


@pytest.mark.parametrize("name", U32_INDEXED)
def test_index_past_the_end_is_none(system, name):
    assert getattr(m, name)(system, 0) is None


def test_settings(system):
    assert system.GetDetectionTimeout() == 1500
    system.SetDetectionTimeout(5)
    assert system.GetDetectionTimeout() == 100
    assert system.GetSubnetBroadcastEnabled() is False
    system.SetSubnetBroadcastEnabled(True)
    assert system.GetSubnetBroadcastEnabled() is True
    assert error_of(m.ZuSystem_SetSubnetBroadcastEnabled, system, 1) == (
        TypeError, "in method 'ZuSystem_SetSubnetBroadcastEnabled', argument 2 of type 'bool'")
    assert system.GetGEVSupportedVersion() >> 16 == 2
    assert system.GetU3VSupportedVersion() >> 16 == 1


def test_event_sink_takes_none_only(system):
    for name in ("ZuSystem_RegisterEventSink", "ZuSystem_UnregisterEventSink"):
        result = getattr(m, name)(system, None)
        assert type(result).__name__ == "ZuResult" and result.GetCode() == tb.ZU_INVALID_PARAMETER
        assert error_of(getattr(m, name), system, object()) == (
            TypeError, f"in method '{name}', argument 2 of type 'ZuSystemEventSink *'")
    assert not hasattr(tb, "ZuSystemEventSink")


def test_find_device_argument_errors(system):
    assert error_of(m.ZuSystem_FindDevice, system) == (
        TypeError, "ZuSystem_FindDevice expected 2 arguments, got 1")
    assert error_of(m.ZuSystem_FindDevice, system, 5) == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    assert error_of(m.ZuSystem_FindDevice, system, None)[0] is TypeError
    result, info = system.FindDevice("")
    assert result.GetCode() == tb.ZU_INVALID_PARAMETER and info is None


def test_session_records(system):
    record = tb.ZuSessionInfo()
    assert (record.mPort, str(record.mName), str(record.mAddress), str(record.mLocalAddress)) == (0, "", "", "")
    name = m.ZuSessionInfo_mName_get(record)
    assert type(name).__name__ == "ZuString"
    m.ZuSessionInfo_mName_set(record, tb.ZuString("abc"))
    assert str(name) == "abc"  # the proxy views the field
    for field in ("mName", "mAddress", "mLocalAddress"):
        setter = getattr(m, f"ZuSessionInfo_{field}_set")
        assert error_of(setter, record, "text") == (
            TypeError, f"in method 'ZuSessionInfo_{field}_set', argument 2 of type 'ZuString *'")
        # None has no text: refused, the field is left as it was.
        assert error_of(setter, record, None)[0] is TypeError
    assert str(record.mName) == "abc"
    del record
    gc.collect()
    assert str(name) == "abc"  # the view keeps its record alive
    record = tb.ZuSessionInfo()
    m.ZuSessionInfo_mPort_set(record, 65535)
    m.ZuSessionInfo_mPort_set(record, True)
    assert record.mPort == 1
    for value in (65536, -1):
        assert error_of(m.ZuSessionInfo_mPort_set, record, value) == (
            OverflowError, "in method 'ZuSessionInfo_mPort_set', argument 2 of type 'uint16_t'")
    assert error_of(m.ZuSystem_GetSessionInfo, system, 0, None) == (
        TypeError, "invalid null reference in method 'ZuSystem_GetSessionInfo', argument 3 of type 'ZuSessionInfo &'")
    assert error_of(m.ZuSystem_GetSessionInfo, system, 0, object())[0] is TypeError
    assert system.GetSessionInfo(0, record).GetCode() == tb.ZU_NOT_FOUND


@pytest.mark.parametrize("cls, kind", [
    (tb.ZuDeviceInfoGEV, tb.ZuDeviceInfoTypeGEV),
    (tb.ZuDeviceInfoMorvekProtocol, tb.ZuDeviceInfoTypeMorvekProtocol),
    (tb.ZuDeviceInfoUSB, tb.ZuDeviceInfoTypeUSB),
    (tb.ZuDeviceInfoU3V, tb.ZuDeviceInfoTypeU3V),
])
def test_copy_is_owned_and_keeps_its_kind(cls, kind):
    info = cls()
    copy = info.Copy()
    assert type(copy) is cls and copy.thisown
    assert copy.GetType() == kind and copy.GetInterface() is None
    del info
    gc.collect()
    assert copy.GetType() == kind


def test_kind_functions_refuse_other_kinds():
    assert error_of(m.ZuDeviceInfoU3V_GetSpeed, tb.ZuDeviceInfoUSB()) == (
        TypeError, "in method 'ZuDeviceInfoU3V_GetSpeed', argument 1 of type 'ZuDeviceInfoU3V const *'")
    assert error_of(m.ZuDeviceInfoGEV_GetMACAddress, tb.ZuDeviceInfoU3V())[0] is TypeError
    assert m.ZuDeviceInfoUSB_GetStatus(tb.ZuDeviceInfoU3V()) == tb.ZuUSBStatusNotInitialized
    assert error_of(m.ZuUSBHostController_GetSpeed, tb.ZuNetworkAdapter()) == (
        TypeError, "in method 'ZuUSBHostController_GetSpeed', argument 1 of type 'ZuUSBHostController const *'")
    maker = tb.ZuDeviceInfoMorvekProtocol()
    assert (maker.GetSoftwareMajor(), maker.GetDeviceID()) == (0, 0)  # a fresh record reads zero
    assert maker.GetMACAddress() == "00:00:00:00:00:00"


def test_no_abstract_constructors():
    assert not hasattr(m, "new_ZuInterface") and not hasattr(m, "new_ZuDeviceInfo")
    for cls in (tb.ZuNetworkAdapter, tb.ZuUSBHostController, tb.ZuSystem, tb.ZuSessionInfo, tb.IPConfig):
        made = cls()
        assert type(made) is cls and made.thisown
    assert error_of(tb.ZuInterface)[0] is AttributeError


def test_interfaces_empty_and_compare():
    adapter, controller = tb.ZuNetworkAdapter(), tb.ZuUSBHostController()
    assert adapter.GetType() == tb.ZuInterfaceTypeNetworkAdapter
    assert controller.GetType() == tb.ZuInterfaceTypeUSBHostController
    assert m.ZuInterface_Compare(adapter, controller) in (True, False)
    assert error_of(m.ZuInterface_Compare, adapter, 3) == (
        TypeError, "in method 'ZuInterface_Compare', argument 2 of type 'ZuInterface const *'")
    for args in ((None, adapter), (adapter, None)):
        assert error_of(m.ZuInterface_Compare, *args)[0] is TypeError
    copy = adapter.Copy()
    assert type(copy) is tb.ZuNetworkAdapter and copy.thisown
    assert error_of(m.ZuNetworkAdapter_GetIPAddress, adapter, -1)[0] is OverflowError


@pytest.mark.parametrize("accessor", [f"ZuSessionInfo_{f}_{op}" for f in ("mName", "mAddress", "mPort", "mLocalAddress")
                                      for op in ("get", "set")]
                         + [f"IPConfig_{f}_{op}" for f in ("mIPAddress", "mSubnetMask") for op in ("get", "set")])
def test_record_accessors_carry_no_docstring(accessor):
    assert getattr(m, accessor).__doc__ is None


def test_ipconfig_record():
    record = tb.IPConfig()
    assert record.mIPAddress == "" and record.mSubnetMask == ""
    record.mIPAddress = "192.168.0.\u00e9"
    assert record.mIPAddress == "192.168.0.\u00e9"
    assert error_of(m.IPConfig_mSubnetMask_set, record, None) == (
        TypeError, "invalid null reference in method 'IPConfig_mSubnetMask_set', argument 2 of type 'std::string const &'")
    assert error_of(m.IPConfig_mSubnetMask_set, record, b"255") == (
        TypeError, "in method 'IPConfig_mSubnetMask_set', argument 2 of type 'std::string const &'")
    assert record.mSubnetMask == ""
