#ifndef ZU_DEVICE_SERIAL_PORT_H
#define ZU_DEVICE_SERIAL_PORT_H

#include "ZuBaseApi.h"
#include "ZuDeviceAdapter.h"
#include "ZuDeviceSerialTypes.h"
#include "ZuResult.h"

#ifdef SWIG
class ZuDeviceSerialPortEchoSink;
#else
#include <memory>

/// Receives a copy of all device serial traffic of the process, from every
/// open port: what was written, what arrived, and read completions
/// announced by NotifyReadComplete. Called on the thread that wrote or
/// announced, or on a port's receiving thread for arriving bytes; the data
/// is valid during the call only. A sink must not unregister itself from
/// inside a call.
class ZU_API ZuDeviceSerialPortEchoSink
{
public:
    virtual ~ZuDeviceSerialPortEchoSink() {}
    /// Bytes written to a device's port.
    /// @param aDeviceID The device's unique identifier (IZuDeviceAdapter::GetUniqueID).
    /// @param aPort The port.
    /// @param aData The bytes.
    /// @param aLength How many.
    virtual void OnDataSent(const ZuString &aDeviceID, ZuDeviceSerial aPort, const uint8_t *aData,
                            uint32_t aLength) = 0;
    /// Bytes that arrived from a device's port.
    virtual void OnDataReceived(const ZuString &aDeviceID, ZuDeviceSerial aPort, const uint8_t *aData,
                                uint32_t aLength) = 0;
    /// The application finished reading a reply (NotifyReadComplete).
    virtual void OnReadComplete(const ZuString &aDeviceID, ZuDeviceSerial aPort) = 0;
};
#endif

/// A serial port of a connected device: one of its UARTs or bulk channels,
/// bridged over the device's control channel. Written and read as bytes;
/// arriving bytes wait in a receive buffer held by the port until read.
///
/// The port follows its device without keeping it, and does not keep the
/// adapter it was opened over either: once the device is freed or
/// disconnected, its operations answer ZU_NOT_CONNECTED.
class ZU_API ZuDeviceSerialPort
{
public:
    /// Builds a closed port.
    ZuDeviceSerialPort();
    /// Closes the port.
    virtual ~ZuDeviceSerialPort();

    /// Opens one serial port of a device.
    /// @param aAdapter The adapter of the connected device.
    /// @param aPort The port.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no adapter); ZU_NOT_CONNECTED
    ///   (the device is not connected); ZU_NOT_SUPPORTED (the device has no
    ///   such port); ZU_STATE_ERROR (the port is open already).
    ZuResult Open(IZuDeviceAdapter *aAdapter, ZuDeviceSerial aPort);
    /// Closes the port; the bytes in the receive buffer are dropped.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the port is closed already.
    ZuResult Close();
    /// Tells whether the port is open.
    bool IsOpened();

    /// Writes bytes; blocks until they are all written or writing stalls.
    /// @param aBuffer The bytes.
    /// @param aSize How many.
    /// @param aBytesWritten Receives how many were written.
    /// @return ZU_OK; ZU_NOT_CONNECTED (the port is not open or the device
    ///   is gone); ZU_GENERIC_ERROR (not all bytes could be written).
    ZuResult Write(const uint8_t *aBuffer, uint32_t aSize, uint32_t &aBytesWritten);
    /// The progress of the current or last write; may be called from
    /// another thread during a blocking Write.
    /// @param aWritten Receives the bytes written so far.
    /// @param aSize Receives the bytes of the whole write.
    /// @return ZU_OK; ZU_STATE_ERROR when no write was made yet.
    ZuResult GetWriteProgress(uint32_t &aWritten, uint32_t &aSize);
    /// Reads the bytes that arrived, waiting up to the time-out until as
    /// many as the buffer holds are there; returns what came by then.
    /// @param aBuffer Receives the bytes.
    /// @param aBufferSize How many it holds.
    /// @param aBytesRead Receives how many were read.
    /// @param aTimeout The longest wait, in milliseconds.
    /// @return ZU_OK; ZU_TIMEOUT (nothing arrived in time); ZU_NOT_CONNECTED
    ///   (the port is not open or the device is gone).
    ZuResult Read(uint8_t *aBuffer, uint32_t aBufferSize, uint32_t &aBytesRead, uint32_t aTimeout);
    /// Tells the registered echo sinks that a read is complete.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the port is not open.
    ZuResult NotifyReadComplete();
    /// Empties the receive buffer.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the port is not open.
    ZuResult FlushRxBuffer();
    /// How many bytes wait in the receive buffer.
    /// @param aBytes Receives the count.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the port is not open.
    ZuResult GetRxBytesReady(uint32_t &aBytes);
    /// The capacity of the receive buffer: when more bytes arrive before
    /// they are read, the oldest are dropped first.
    /// @param aSize Receives the capacity in bytes.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the port is not open.
    ZuResult GetRxBufferSize(uint32_t &aSize);
    /// Resizes the receive buffer, which flushes it.
    /// @param aSize The capacity in bytes, at least 1.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (0); ZU_NOT_CONNECTED when the
    ///   port is not open.
    ZuResult SetRxBufferSize(uint32_t aSize);

    /// Tells whether a device has a serial port.
    /// @param aAdapter The adapter of the connected device.
    /// @param aPort The port.
    static bool IsSupported(IZuDeviceAdapter *aAdapter, ZuDeviceSerial aPort);
    /// Registers a sink that hears all serial traffic of the process.
    /// @param aSink The sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no sink); ZU_NOT_SUPPORTED
    ///   (registered already).
    static ZuResult RegisterEchoSink(ZuDeviceSerialPortEchoSink *aSink);
    /// Unregisters an echo sink; no call reaches it once this returns.
    /// @param aSink The sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (no sink); ZU_NOT_FOUND (not
    ///   registered).
    static ZuResult UnregisterEchoSink(ZuDeviceSerialPortEchoSink *aSink);

    /// Bytes written since the last ResetStatistics.
    uint64_t GetBytesSent() const;
    /// Bytes received since the last ResetStatistics.
    uint64_t GetBytesReceived() const;
    /// Sets both counters to 0.
    void ResetStatistics();

#ifndef SWIG
    struct Impl;

private:
    ZuDeviceSerialPort(const ZuDeviceSerialPort &) = delete;
    ZuDeviceSerialPort &operator=(const ZuDeviceSerialPort &) = delete;
    std::unique_ptr<Impl> mImpl;
#endif
};

#endif
