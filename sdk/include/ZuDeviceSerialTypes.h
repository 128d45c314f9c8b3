#ifndef ZU_DEVICE_SERIAL_TYPES_H
#define ZU_DEVICE_SERIAL_TYPES_H

#include <cstdint>

/// @file
/// The serial ports a device may bridge to its controller.

/// A serial port of a device: the two UARTs, or one of the bulk channels.
typedef enum : int32_t
{
    ZuDeviceSerialInvalid = -1,  ///< No port.
    ZuDeviceSerial0 = 0,         ///< The first UART.
    ZuDeviceSerial1 = 1,         ///< The second UART.
    ZuDeviceSerialBulk0 = 2,     ///< Bulk channel 0.
    ZuDeviceSerialBulk1 = 3,     ///< Bulk channel 1.
    ZuDeviceSerialBulk2 = 4,     ///< Bulk channel 2.
    ZuDeviceSerialBulk3 = 5,     ///< Bulk channel 3.
    ZuDeviceSerialBulk4 = 6,     ///< Bulk channel 4.
    ZuDeviceSerialBulk5 = 7,     ///< Bulk channel 5.
    ZuDeviceSerialBulk6 = 8,     ///< Bulk channel 6.
    ZuDeviceSerialBulk7 = 9      ///< Bulk channel 7.
} ZuDeviceSerial;

#endif
