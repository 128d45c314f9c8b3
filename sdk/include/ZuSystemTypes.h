#ifndef ZU_SYSTEM_TYPES_H
#define ZU_SYSTEM_TYPES_H

#include <cstdint>

/// @file
/// Enumerations reported by device discovery: the kind of a found device
/// and of the host interface it was found on, and the state of USB links.
/// Where a member is -1 it stands for a value the SDK could not classify.

/// Role of a device on the stream: whether it sends, receives or both.
typedef enum : int32_t
{
    ZuDeviceClassUnknown = 0,      ///< Role not reported.
    ZuDeviceClassTransmitter = 1,  ///< Sends streams (a camera).
    ZuDeviceClassReceiver = 2,     ///< Receives streams.
    ZuDeviceClassTransceiver = 3,  ///< Sends and receives.
    ZuDeviceClassPeripheral = 4    ///< No stream role.
} ZuDeviceClass;

/// State of a USB device's connection as the host controller reports it.
/// Anything other than ZuUSBStatusConnected means the device cannot be
/// opened; the value says why.
typedef enum : int32_t
{
    ZuUSBStatusNotInitialized = -1,     ///< Status not read yet.
    ZuUSBStatusConnected = 0,           ///< Enumerated and usable.
    ZuUSBStatusFailedEnumeration = 1,   ///< The host could not enumerate it.
    ZuUSBStatusGeneralFailure = 2,      ///< The port reported a failure.
    ZuUSBStatusCausedOvercurrent = 3,   ///< The port was shut down for overcurrent.
    ZuUSBStatusNotEnoughPower = 4,      ///< The port cannot supply the power asked for.
    ZuUSBStatusNotEnoughBandwidth = 5,  ///< The bus has no bandwidth left for it.
    ZuUSBStatusHubNestedTooDeeply = 6,  ///< Too many hubs between host and device.
    ZuUSBStatusInLegacyHub = 7,         ///< Connected through a legacy hub.
    ZuUSBStatusEnumerating = 8,         ///< Enumeration still in progress.
    ZuUSBStatusReset = 9                ///< The port is being reset.
} ZuUSBStatus;

/// Kind of host interface that discovery searched.
typedef enum : int32_t
{
    ZuInterfaceTypeUnknown = -1,           ///< Not classified.
    ZuInterfaceTypeUSBHostController = 0,  ///< A USB host controller.
    ZuInterfaceTypeNetworkAdapter = 1      ///< A network adapter.
} ZuInterfaceType;

/// Protocol through which a found device is reached; tells which device
/// information class describes it.
typedef enum : int32_t
{
    ZuDeviceInfoTypeUnknown = -1,        ///< Not classified.
    ZuDeviceInfoTypeGEV = 0,             ///< GigE Vision.
    ZuDeviceInfoTypeMorvekProtocol = 1,  ///< The maker's own network protocol.
    ZuDeviceInfoTypeUSB = 2,             ///< A USB device not described as USB3 Vision.
    ZuDeviceInfoTypeU3V = 3              ///< USB3 Vision.
} ZuDeviceInfoType;

/// Signalling speed of a USB link.
typedef enum : int32_t
{
    ZuUSBSpeedUnsupported = -1,  ///< A speed this SDK does not know.
    ZuUSBSpeedUnknown = 0,       ///< Not reported.
    ZuUSBSpeedLow = 1,           ///< 1.5 Mbit/s.
    ZuUSBSpeedFull = 2,          ///< 12 Mbit/s.
    ZuUSBSpeedHigh = 3,          ///< 480 Mbit/s.
    ZuUSBSpeedSuper = 4          ///< 5 Gbit/s or more.
} ZuUSBSpeed;

/// Kind of device object to create for a found device.
typedef enum : int32_t
{
    ZuDeviceTypeUnknown = -1,  ///< Not classified.
    ZuDeviceTypeGEV = 0,       ///< GigE Vision device.
    ZuDeviceTypeU3V = 1        ///< USB3 Vision device.
} ZuDeviceType;

#endif
