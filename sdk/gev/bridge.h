#ifndef TARN_GEV_BRIDGE_H
#define TARN_GEV_BRIDGE_H

// Register blocks of our own beside the GigE Vision bootstrap registers,
// served by the software camera and polled by the controller over plain
// READREG/WRITEREG/READMEM/WRITEMEM: a serial bridge per port and a
// firmware window. Each block starts with a magic word, so that a
// controller can tell a device that has it from one that does not (which
// answers an error or another value there). Registers are 32-bit and
// big-endian, as every GVCP register; windows are multiples of 4 bytes.
// They sit at the top of the address space, out of the way of the
// registers that scripts and trigger sources place from 0x20000 on.

#include <cstdint>

namespace tarn {
namespace bridge {

// One block per port (the port numbers of ZuDeviceSerial, 0 to 9).
//
// The controller writes up to WindowSize bytes into TxWindow and then their
// count into TxCommit; the device takes them only when TxFree allows (else
// the commit is refused with INVALID_PARAMETER and nothing is taken). It
// reads RxAvailable, then that many bytes (at most WindowSize) from
// RxWindow, and writes the count it took into RxTake. Control's flush bit
// empties both directions.
namespace serial {
constexpr uint32_t Base = 0xFFFE0000;
constexpr uint32_t Stride = 0x1000;
constexpr uint32_t Ports = 10;
constexpr uint32_t Magic = 0x00, RxAvailable = 0x04, TxFree = 0x08, Control = 0x0C, TxCommit = 0x10,
                   RxTake = 0x14;
constexpr uint32_t TxWindow = 0x100, RxWindow = 0x800, WindowSize = 0x400;
constexpr uint32_t MagicValue = 0x54534231;  // "TSB1"
constexpr uint32_t ControlFlush = 1;
constexpr uint32_t portBase(uint32_t aPort) { return Base + Stride * aPort; }
} // namespace serial

// The firmware window. The controller announces the image's size and
// CRC-32 (Size, Crc) and its version text (Version), writes ControlBegin,
// then hands the image over in order: each chunk written into Window and
// then its offset (ChunkOffset) and length (ChunkLength, which takes it).
// ControlCommit checks size and CRC-32 and installs the image; Status
// tells the outcome. ControlAbort drops what was received.
namespace firmware {
constexpr uint32_t Base = 0xFFFF0000;
constexpr uint32_t Magic = 0x00, Capacity = 0x04, Control = 0x08, Status = 0x0C, Size = 0x10, Crc = 0x14,
                   ChunkOffset = 0x18, ChunkLength = 0x1C, Version = 0x40, VersionSize = 32;
constexpr uint32_t Window = 0x1000, WindowSize = 0x1000;
constexpr uint32_t MagicValue = 0x54465731;  // "TFW1"
enum : uint32_t { ControlBegin = 1, ControlCommit = 2, ControlAbort = 3 };
enum : uint32_t {
    StatusIdle = 0,
    StatusReceiving = 1,
    StatusInstalled = 2,
    StatusBadSize = 0x81,   // more than Capacity, or the chunks do not add up to Size
    StatusBadCrc = 0x82,    // the image received does not match Crc
    StatusBadChunk = 0x83,  // a chunk out of order or past Size, or no transfer begun
};
} // namespace firmware

} // namespace bridge
} // namespace tarn

#endif
