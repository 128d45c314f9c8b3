"""The control responder and the display rate stabilizer from Python."""
import gc
import weakref

import _tarn_edge_310 as m
import tarn_base_310 as tb
import tarn_edge_310 as te
from support import error_of, needs_netns

pytestmark = needs_netns()


def test_the_constructor_takes_no_argument_and_the_version_is_two_zero():
    assert error_of(m.new_ZuVirtualDeviceGEV, 1)[0] is TypeError
    device = te.ZuVirtualDeviceGEV()
    assert error_of(m.ZuVirtualDeviceGEV_GetGEVSpecificationVersion, device, 1, 2) == (
        TypeError, "in method 'ZuVirtualDeviceGEV_GetGEVSpecificationVersion', argument 2 of type 'uint16_t &'")
    assert error_of(m.ZuVirtualDeviceGEV_GetGEVSpecificationVersion, device, None, None) == (
        TypeError,
        "invalid null reference in method 'ZuVirtualDeviceGEV_GetGEVSpecificationVersion', argument 2 of type "
        "'uint16_t &'")
    assert error_of(m.ZuVirtualDeviceGEV_SetGEVSpecificationVersion, device, 1, 65536) == (
        OverflowError, "in method 'ZuVirtualDeviceGEV_SetGEVSpecificationVersion', argument 3 of type 'uint16_t'")
    assert m.ZuVirtualDeviceGEV_SetGEVSpecificationVersion(device, 3, 0).GetCode() == te.ZU_INVALID_PARAMETER
    assert error_of(m.ZuVirtualDeviceGEV_StopListening, 3) == (
        TypeError, "in method 'ZuVirtualDeviceGEV_StopListening', argument 1 of type 'ZuVirtualDeviceGEV *'")
    assert error_of(m.ZuVirtualDeviceGEV_GetDevicePortThreadPriority, None) == (
        TypeError,
        "in method 'ZuVirtualDeviceGEV_GetDevicePortThreadPriority', argument 1 of type 'ZuVirtualDeviceGEV const *'")


def test_settings_before_listening_and_busy_while_it_listens():
    device = te.ZuVirtualDeviceGEV()
    assert error_of(m.ZuVirtualDeviceGEV_SetGVCPCapabilityPacketResendCommandSupported, device, 1) == (
        TypeError,
        "in method 'ZuVirtualDeviceGEV_SetGVCPCapabilityPacketResendCommandSupported', argument 2 of type 'bool'")
    assert m.ZuVirtualDeviceGEV_SetGVCPCapabilityPacketResendCommandSupported(device, True).IsOK()
    assert m.ZuVirtualDeviceGEV_GetGVCPCapabilityPacketResendCommandSupported(device) is True
    assert m.ZuVirtualDeviceGEV_SetModelName(device, "model").IsOK()
    assert m.ZuVirtualDeviceGEV_SetSerialNumber(device, tb.ZuString("SN1")).IsOK()
    # The device version keeps to its field like the other texts.
    assert m.ZuVirtualDeviceGEV_SetDeviceVersion(device, "v" * 31).IsOK()
    assert m.ZuVirtualDeviceGEV_SetDeviceVersion(device, "v" * 32).GetCode() == te.ZU_INVALID_PARAMETER
    assert m.ZuVirtualDeviceGEV_GetDeviceVersion(device) == "v" * 31
    assert m.ZuVirtualDeviceGEV_SetSerialNumber(device, "s" * 16).GetCode() == te.ZU_INVALID_PARAMETER
    assert error_of(m.ZuVirtualDeviceGEV_SetModelName, device, b"model") == (
        TypeError, "Argument 2: failed to create ZuString from Python string")
    assert error_of(m.ZuVirtualDeviceGEV_AddTransmitterGEV, device, "tx") == (
        TypeError, "in method 'ZuVirtualDeviceGEV_AddTransmitterGEV', argument 2 of type 'IZuTransmitterGEV *'")
    assert m.ZuVirtualDeviceGEV_AddTransmitterGEV(device, None).GetCode() == te.ZU_INVALID_PARAMETER
    assert error_of(m.ZuVirtualDeviceGEV_SetDevicePortThreadPriority, device, -1) == (
        OverflowError, "in method 'ZuVirtualDeviceGEV_SetDevicePortThreadPriority', argument 2 of type 'uint32_t'")
    assert m.ZuVirtualDeviceGEV_SetDevicePortThreadPriority(device, 100).GetCode() == te.ZU_INVALID_PARAMETER
    assert type(m.ZuVirtualDeviceGEV_GetDevicePortThreadPriority(device)) is int

    assert error_of(m.ZuVirtualDeviceGEV_StartListening, device, "127.0.0.1") == (
        TypeError, "in method 'ZuVirtualDeviceGEV_StartListening', argument 2 of type 'ZuString'")
    assert error_of(m.ZuVirtualDeviceGEV_StartListening, device, None) == (
        TypeError, "invalid null reference in method 'ZuVirtualDeviceGEV_StartListening', argument 2 of type 'ZuString'")
    address = tb.ZuString("127.43.0.10")
    assert m.ZuVirtualDeviceGEV_StartListening(device, address).IsOK()
    assert address.GetAscii() == "127.43.0.10"
    try:
        assert m.ZuVirtualDeviceGEV_SetModelName(device, "other").GetCode() == te.ZU_BUSY
        assert m.ZuVirtualDeviceGEV_AddTransmitterGEV(device, te.ZuTransmitterGEV()).GetCode() == te.ZU_BUSY
        assert m.ZuVirtualDeviceGEV_GetModelName(device) == "model"
        assert m.ZuVirtualDeviceGEV_SetDevicePortThreadPriority(device, 0).IsOK()
    finally:
        assert m.ZuVirtualDeviceGEV_StopListening(device) is None
    assert m.ZuVirtualDeviceGEV_SetModelName(device, "other").IsOK()
    assert device.GetModelName() == "other"


def test_a_transmitter_added_lives_as_long_as_the_responder():
    device = te.ZuVirtualDeviceGEV()
    tx = te.ZuTransmitterGEV()
    gone = weakref.ref(tx)
    assert m.ZuVirtualDeviceGEV_AddTransmitterGEV(device, tx).IsOK()
    # Added once only.
    assert device.AddTransmitterGEV(tx).GetCode() == te.ZU_INVALID_PARAMETER
    del tx
    gc.collect()
    assert gone() is not None
    del device
    gc.collect()
    assert gone() is None


def test_the_stabilizer_checks_its_target_and_answers_plain_values():
    s = te.ZuFPSStabilizer()
    assert error_of(m.ZuFPSStabilizer_IsTimeToDisplay, s, -1) == (
        OverflowError, "in method 'ZuFPSStabilizer_IsTimeToDisplay', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuFPSStabilizer_IsTimeToDisplay, s, 2**32) == (
        OverflowError, "in method 'ZuFPSStabilizer_IsTimeToDisplay', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuFPSStabilizer_IsTimeToDisplay, s, 30.0) == (
        TypeError, "in method 'ZuFPSStabilizer_IsTimeToDisplay', argument 2 of type 'uint32_t'")
    assert error_of(m.ZuFPSStabilizer_IsTimeToDisplay, s) == (
        TypeError, "ZuFPSStabilizer_IsTimeToDisplay expected 2 arguments, got 1")
    assert error_of(m.ZuFPSStabilizer_GetAverage, "s") == (
        TypeError, "in method 'ZuFPSStabilizer_GetAverage', argument 1 of type 'ZuFPSStabilizer *'")
    # A bool is an int: True asks for one frame a second.
    assert m.ZuFPSStabilizer_IsTimeToDisplay(s, True) is True
    assert m.ZuFPSStabilizer_IsTimeToDisplay(s, True) is False
    average = m.ZuFPSStabilizer_GetAverage(s)
    assert type(average) is int and average == 1
    assert m.ZuFPSStabilizer_Reset(s) is None
    assert m.ZuFPSStabilizer_IsTimeToDisplay(s, 1) is True
    assert m.ZuFPSStabilizer_IsTimeToDisplay.__doc__


def test_a_transmitter_destroyed_under_its_responder_is_let_go():
    """Destroyed explicitly while added: the responder still starts, serves
    its other requests and passes no resend request to the transmitter
    gone (under the address sanitizer a use of it ends the run)."""
    import socket
    import struct
    from support.gvcp import READREG_ACK, READREG_CMD, command, header
    device = te.ZuVirtualDeviceGEV()
    tx = te.ZuTransmitterGEV()
    assert device.AddTransmitterGEV(tx).IsOK()
    m.delete_ZuTransmitterGEV(tx)
    assert device.StartListening(tb.ZuString("127.43.0.11")).IsOK()
    controller = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    controller.settimeout(10)
    try:
        controller.bind(("127.0.0.1", 0))
        # PACKETRESEND for channel 0, then a read: its answer comes once the
        # request before it was served.
        controller.sendto(command(0x0040, struct.pack(">IIII", 0, 1, 0, 5), flags=0), ("127.43.0.11", 3956))
        controller.sendto(command(READREG_CMD, struct.pack(">I", 0x0D00), req_id=2), ("127.43.0.11", 3956))
        answer, _ = controller.recvfrom(1500)
        assert header(answer)[1] == READREG_ACK
    finally:
        controller.close()
        device.StopListening()
    del device
    gc.collect()
