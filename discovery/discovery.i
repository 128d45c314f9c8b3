/* Discovery: the system, its interfaces and the device informations. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuSystem.h"
%}

%include <std_string.i>

/* Returned interfaces and device informations come back as their most
 * specific kind; a Copy is owned by its proxy. A borrowed one keeps the
 * proxy it came from alive (and so, step by step, its ZuSystem): dropping
 * the system while its findings are still in use must not leave them
 * pointing at freed memory. */
TARN_DOWNCAST(ZuInterface, ZuNetworkAdapter, ZuUSBHostController)
TARN_DOWNCAST(ZuDeviceInfo, ZuDeviceInfoU3V, ZuDeviceInfoUSB, ZuDeviceInfoGEV, ZuDeviceInfoMorvekProtocol)
%newobject ZuInterface::Copy;
%newobject ZuDeviceInfo::Copy;

/* The text fields of a session record are views into it; None has no text
 * to copy into one. */
%apply SWIGTYPE *TARN_KEEP_OWNER { ZuString *mName, ZuString *mAddress, ZuString *mLocalAddress };
%apply SWIGTYPE *TARN_NOT_NULL { ZuString *mName, ZuString *mAddress, ZuString *mLocalAddress };

/* No interface to compare: refused before the SDK sees it. */
%apply SWIGTYPE *TARN_NOT_NULL { const ZuInterface *a1, const ZuInterface *a2 };

/* What a system found is its own: once the system is deleted, an interface
 * or device information kept from it (a proxy or its bare pointer object)
 * refuses use instead of reaching freed memory (TARN_LENT). */
%apply SWIGTYPE *TARN_KEEP_OWNER { const ZuInterface *ZuSystem::GetInterface, const ZuDeviceInfo *ZuSystem::GetDeviceInfo,
                                   const ZuDeviceInfo *ZuInterface::GetDeviceInfo, const ZuInterface *ZuDeviceInfo::GetInterface };
%apply SWIGTYPE *TARN_LENT { const ZuInterface *ZuSystem::GetInterface, const ZuDeviceInfo *ZuSystem::GetDeviceInfo,
                             const ZuDeviceInfo *ZuInterface::GetDeviceInfo, const ZuInterface *ZuDeviceInfo::GetInterface };

/* FindDevice: [ZuResult, device information or None]. */
%apply const SWIGTYPE **OUT_LENT_LIST { const ZuDeviceInfo **aDeviceInfo };

%include "discovery/docs/discovery.i"

%nodefaultctor ZuInterface;
%nodefaultctor ZuDeviceInfo;

%include "ZuInterface.h"
%include "ZuDeviceInfo.h"
%include "ZuSystem.h"

%types(ZuSystemLib::IPConfigVector *, ZuSystemLib::GatewayVector *);

%clear ZuInterface *, const ZuInterface *, ZuDeviceInfo *, const ZuDeviceInfo *;
%clear ZuString *mName, ZuString *mAddress, ZuString *mLocalAddress;
%clear const ZuInterface *a1, const ZuInterface *a2;
%clear const ZuDeviceInfo **aDeviceInfo;
