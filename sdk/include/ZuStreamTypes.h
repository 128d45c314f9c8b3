#ifndef ZU_STREAM_TYPES_H
#define ZU_STREAM_TYPES_H

#include <cstdint>

/// @file
/// Kinds of streams and of the data receivers behind them.

/// Kind of a stream, as ZuStream::GetType tells it.
typedef enum : int32_t
{
    ZuStreamTypeUnknown = -1, ///< Not a known kind.
    ZuStreamTypeGEV = 0,      ///< GigE Vision stream (ZuStreamGEV).
    ZuStreamTypeU3V = 1,      ///< USB3 Vision stream.
    ZuStreamTypeRTP = 2       ///< RTP stream.
} ZuStreamType;

/// What receives the packets of a GigE Vision stream.
typedef enum : int32_t
{
    ZuDataReceiverTypeUnknown = -1,       ///< Not known (the stream is not open).
    ZuDataReceiverTypeTarnDriver = 0,     ///< The maker's network driver.
    ZuDataReceiverTypeUserMode = 1,       ///< A thread of the process reading a UDP socket.
    ZuDataReceiverTypeTCP = 2,            ///< A TCP connection.
    ZuDataReceiverTypeGEVDriverDMA = 3    ///< A driver writing into memory directly.
} ZuDataReceiverType;

#endif
