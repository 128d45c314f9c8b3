#ifndef ZU_PAYLOAD_TYPE_H
#define ZU_PAYLOAD_TYPE_H

#include <cstdint>

/// @file
/// Kind of payload a buffer carries.

/// Kind of payload a buffer carries; it decides which typed view of the
/// buffer (image, raw data, chunk data, multi-part, GenDC, ...) is valid.
///
/// Values 1 to 11 mirror the payload types of the GigE Vision stream
/// protocol. Devices may report their own kinds from
/// ZuPayloadTypeDeviceSpecificBase upwards, and a buffer keeps such a value
/// as it is, which is why the underlying type is fixed rather than left to
/// the compiler.
typedef enum : int32_t
{
    ZuPayloadTypeUndefined = -1,              ///< No payload kind set yet.
    ZuPayloadTypeNone = 0,                    ///< Empty payload.
    ZuPayloadTypeImage = 1,                   ///< One image.
    ZuPayloadTypeRawData = 2,                 ///< A block of bytes with no structure.
    ZuPayloadTypeFile = 3,                    ///< A file transferred as payload.
    ZuPayloadTypeChunkData = 4,               ///< Chunks only.
    ZuPayloadTypeExtendedChunkData = 5,       ///< Image followed by chunks.
    ZuPayloadTypeJPEG = 6,                    ///< JPEG-compressed image.
    ZuPayloadTypeJPEG2000 = 7,                ///< JPEG 2000-compressed image.
    ZuPayloadTypeH264 = 8,                    ///< H.264 access unit.
    ZuPayloadTypeMultiZoneImage = 9,          ///< Image sent as several zones.
    ZuPayloadTypeMultiPart = 10,              ///< Several parts of different kinds.
    ZuPayloadTypeGenDC = 11,                  ///< GenICam generic data container.
    ZuPayloadTypeDeviceSpecificBase = 0x8000, ///< First value left to device makers.
    ZuPayloadTypeMorvekCompressed = 0x80E7    ///< Image compressed by the maker's own codec.
} ZuPayloadType;

#endif
