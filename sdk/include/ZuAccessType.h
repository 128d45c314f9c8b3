#ifndef ZU_ACCESS_TYPE_H
#define ZU_ACCESS_TYPE_H

#include <cstdint>

/// @file
/// How a controller shares a GigE Vision device with other controllers.

/// The access a controller holds (or asks for) on a GigE Vision device.
typedef enum : int32_t
{
    ZuAccessUnknown = 0,    ///< Not connected, or not known.
    ZuAccessOpen = 1,       ///< Reads only, beside the controller that holds the device.
    ZuAccessControl = 2,    ///< Control: others may still read.
    ZuAccessExclusive = 3,  ///< Exclusive control: others may not even read.
    ZuAccessReadOnly = 4    ///< Reads only, without taking any privilege.
} ZuAccessType;

#endif
