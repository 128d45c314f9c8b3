/* The device adapter: a connected device as the serial-port layer sees
 * it. IZuDeviceAdapter is abstract and has no director; ZuDeviceAdapter is
 * the SDK's implementation over a ZuDevice, which it follows without
 * keeping: once the device is freed its operations answer "not connected".
 *
 * Reference out-arguments other than the register value and the unique
 * identifier (int64_t &, bool &, ZuStringList &, ZuString &) and the byte
 * buffers travel as pointer objects of their own types, as SWIG passes
 * them: the SDK writes through them and the result is the ZuResult alone. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuDeviceAdapter.h"
%}

%apply uint32_t &OUT_TUPLE_IF_OK { uint32_t &aValue };
%apply ZuString &OUT_TUPLE_IF_OK { ZuString &aDeviceUniqueID };

%nodefaultctor IZuDeviceAdapter;
/* It overrides every pure operation of its bases, some of them out of
 * SWIG's sight. */
%feature("notabstract") ZuDeviceAdapter;

%include "ZuDeviceAdapter.h"

%clear uint32_t &aValue;
%clear ZuString &aDeviceUniqueID;
%feature("notabstract", "") ZuDeviceAdapter;
