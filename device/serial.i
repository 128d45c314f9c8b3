/* The device serial port: a device's UARTs and bulk channels, opened over a
 * device adapter. Counts come back in LISTs that begin with the result,
 * whatever the outcome (0 when the call failed). Read hands back a new
 * zero-filled array of the size asked for, of which the first count bytes
 * arrived: on failure it holds zeros, never what the heap held before.
 *
 * The echo sink has no Python class: None (the SDK's answer to a null
 * sink) or a pointer object made elsewhere is all Python can pass. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuDeviceSerialPort.h"
%}

%apply uint32_t &OUT_LIST { uint32_t &aBytesWritten, uint32_t &aWritten, uint32_t &aSize, uint32_t &aBytesRead,
                            uint32_t &aBytes };

/* Write: any one-dimensional object NumPy turns into uint8, read during the
 * call. Read: the size as a Python int, the array made before the call and
 * appended after the result. */
%apply (const uint8_t *TARN_CALL_BYTES, uint32_t TARN_CALL_LENGTH) { (const uint8_t *aBuffer, uint32_t aSize) };
%apply (uint8_t *TARN_FILLED, uint32_t TARN_FILLED_COUNT) { (uint8_t *aBuffer, uint32_t aBufferSize) };
%typemap(doctype) (const uint8_t *aBuffer, uint32_t aSize) "numpy.ndarray";

%include "ZuDeviceSerialPort.h"

%clear uint32_t &aBytesWritten, uint32_t &aWritten, uint32_t &aSize, uint32_t &aBytesRead, uint32_t &aBytes;
%clear (const uint8_t *aBuffer, uint32_t aSize);
%clear (uint8_t *aBuffer, uint32_t aBufferSize);
