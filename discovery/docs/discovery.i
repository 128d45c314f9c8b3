/* Docstrings of discovery operations that return out-values. */

%feature("docstring") ZuSystem::FindDevice "
FindDevice(aDeviceToFind) -> ZuResult, ZuDeviceInfo

Discovers until one device answers or the detection time-out ends.
Other devices found meanwhile join the system's lists too.
:type aDeviceToFind: string
:param aDeviceToFind: The device's MAC address, IP address, user-defined
      name, serial number or unique ID.
:rtype: list
:return: [ZuResult, the device's information as its most specific kind,
      borrowed from the system; None when it was not found]. The result is
      ZU_OK, ZU_NOT_FOUND, or ZU_INVALID_PARAMETER for an empty text.
";
