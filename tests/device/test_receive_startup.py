"""The receiving module's start-up: every constant in its order and group,
and the module imported before the base module."""
from pathlib import Path

import _tarn_receive_310 as m

DATA = Path(__file__).resolve().parent.parent / "data"

# The families of device control and streams, after the shared ones.
OWN = [
    ("ZuEncodingUnknown", -1), ("ZuEncodingRZC1", 0),
    ("ZuBayerFilterSimple", 1), ("ZuBayerFilter3X3", 2),
    ("ZuBiColorFilter1X2", 1), ("ZuBiColorFilter1X3", 2),
    ("ZuStreamTypeUnknown", -1), ("ZuStreamTypeGEV", 0), ("ZuStreamTypeU3V", 1), ("ZuStreamTypeRTP", 2),
    ("ZuDataReceiverTypeUnknown", -1), ("ZuDataReceiverTypeTarnDriver", 0), ("ZuDataReceiverTypeUserMode", 1),
    ("ZuDataReceiverTypeTCP", 2), ("ZuDataReceiverTypeGEVDriverDMA", 3),
    ("ZuDeviceSerialInvalid", -1), ("ZuDeviceSerial0", 0), ("ZuDeviceSerial1", 1),
] + [(f"ZuDeviceSerialBulk{k}", k + 2) for k in range(8)]


def test_every_constant_in_order():
    shared = [(n, int(v)) for n, v in (line.split() for line in (DATA / "receive_shared_constants.txt").read_text().splitlines())]
    constants = [(k, v) for k, v in vars(m).items() if isinstance(v, int) and not k.startswith("_")]
    assert len(constants) == 388
    assert constants == shared + OWN
    # The device type, device class and access type travel as handles here.
    for name in ("ZuDeviceTypeGEV", "ZuDeviceClassTransmitter", "ZuAccessControl", "ZuPayloadTypeImage"):
        assert not hasattr(m, name)


def test_imported_before_the_base_module(py):
    out = py("""
        import _tarn_receive_310 as r
        import tarn_receive_310
        import tarn_base_310 as tb
        info = tb.ZuDeviceInfoGEV()
        result, device = r.ZuDevice_CreateAndConnect(info)
        print(result.GetCode(), device)
    """).stdout
    # Accepted through the shared type table; the SDK finds no address in it.
    assert out == f"{0x4001} None\n"
