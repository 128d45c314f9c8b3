#ifndef ZU_SYSTEM_H
#define ZU_SYSTEM_H

#include "ZuBaseApi.h"
#include "ZuDeviceInfo.h"
#include "ZuInterface.h"
#include "ZuResult.h"
#include "ZuString.h"
#include "ZuSystemTypes.h"

#include <memory>

#ifdef SWIG
class ZuSystemEventSink;
#else
/// Receives each device as discovery finds it, on the discovering thread.
class ZU_API ZuSystemEventSink
{
public:
    virtual ~ZuSystemEventSink();
    /// Called once per device found by Find or FindDevice.
    virtual void OnDeviceFound(const ZuInterface *aInterface, const ZuDeviceInfo *aDeviceInfo) = 0;
};
#endif

/// A streaming session announced on the network through SAP.
struct ZU_API ZuSessionInfo
{
    // Plain comments on the fields: the accessors of plain records carry
    // no docstring in the bindings.
    // The session's name.
    ZuString mName;
    // The session's connection address.
    ZuString mAddress;
    // The session's port.
    uint16_t mPort = 0;
    // The local address through which the announcement was seen.
    ZuString mLocalAddress;
};

/// The root of discovery: finds the host's interfaces and the devices
/// behind them, and owns everything it found.
///
/// GigE Vision discovery sends on the loopback interface only, unless the
/// environment variable TARN_DISCOVERY_INTERFACES names the interfaces to
/// search (comma-separated).
class ZU_API ZuSystem
{
public:
    /// Builds a system with no interfaces and no devices yet.
    ZuSystem();

    /// Destroys the system with every interface and device information it found.
    virtual ~ZuSystem();

    /// Lists the host's interfaces and discovers the devices behind them.
    /// Blocks for the detection time-out while GigE Vision devices answer.
    /// Informations found by an earlier discovery stay valid until the
    /// system is destroyed.
    /// @return ZU_OK, or ZU_NETWORK_ERROR when no interface could be searched.
    ZuResult Find();

    /// Discovers until one device answers or the detection time-out ends.
    /// Other devices found meanwhile join the system's lists too.
    /// @param aDeviceToFind The device's MAC address, IP address, user-defined
    ///   name, serial number or unique ID.
    /// @param aDeviceInfo Receives the device's information, owned by the system;
    ///   a null pointer when it was not found.
    /// @return ZU_OK, ZU_NOT_FOUND, or ZU_INVALID_PARAMETER for an empty text.
    ZuResult FindDevice(const ZuString &aDeviceToFind, const ZuDeviceInfo **aDeviceInfo);

    /// Sets how long discovery waits for answers.
    /// @param aTimeout Milliseconds, held within 100 to 60000.
    void SetDetectionTimeout(uint32_t aTimeout);

    /// Returns how long discovery waits for answers, in milliseconds.
    uint32_t GetDetectionTimeout() const;

    /// Sets whether discovery also goes to each subnet's broadcast address.
    /// @param aEnabled true to send to the subnet broadcast addresses too.
    void SetSubnetBroadcastEnabled(bool aEnabled);

    /// Tells whether discovery also goes to each subnet's broadcast address.
    bool GetSubnetBroadcastEnabled() const;

    /// Returns the GigE Vision version that the SDK supports.
    /// @return Major version in the high 16 bits, minor in the low 16 bits.
    uint32_t GetGEVSupportedVersion() const;

    /// Returns the USB3 Vision version that the SDK supports, same layout.
    uint32_t GetU3VSupportedVersion() const;

    /// Adds a sink to be told of each device found.
    /// @param aEventSink The sink; it must outlive its registration.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null sink; ZU_GENERIC_ERROR
    ///   when it is registered already.
    ZuResult RegisterEventSink(ZuSystemEventSink *aEventSink);

    /// Removes a sink.
    /// @param aEventSink The sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null sink; ZU_NOT_FOUND
    ///   when it is not registered.
    ZuResult UnregisterEventSink(ZuSystemEventSink *aEventSink);

    /// Returns how many interfaces the last discovery listed.
    uint32_t GetInterfaceCount() const;

    /// Returns one interface.
    /// @param aIndex Index from 0 to GetInterfaceCount() - 1.
    /// @return The interface, or a null pointer for an index out of range.
    const ZuInterface *GetInterface(uint32_t aIndex) const;

    /// Returns how many devices were found behind all interfaces.
    uint32_t GetDeviceCount() const;

    /// Returns one found device.
    /// @param aIndex Index from 0 to GetDeviceCount() - 1.
    /// @return The device information, or a null pointer for an index out of range.
    const ZuDeviceInfo *GetDeviceInfo(uint32_t aIndex) const;

    /// Listens for sessions announced through SAP for the detection time-out.
    /// @return The number of sessions now announced.
    uint32_t DiscoverSessions() const;

    /// Fills a record with one announced session.
    /// @param aIndex Index from 0 to the count of DiscoverSessions() - 1.
    /// @param aSessionInfo Record to fill.
    /// @return ZU_OK, or ZU_NOT_FOUND for an index that names no session.
    ZuResult GetSessionInfo(uint32_t aIndex, ZuSessionInfo &aSessionInfo) const;

private:
    ZuSystem(const ZuSystem &) = delete;
    ZuSystem &operator=(const ZuSystem &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif
