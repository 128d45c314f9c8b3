#ifndef IZU_REGISTER_EVENT_SINK_H
#define IZU_REGISTER_EVENT_SINK_H

#include "ZuBaseApi.h"
#include "ZuResult.h"

class IZuRegister;
class IZuRegisterStore;

/// Told before and after every access to the registers it is attached to.
class ZU_API IZuRegisterEventSink
{
public:
    virtual ~IZuRegisterEventSink() {}

    /// Before a read; anything but ZU_OK refuses it.
    /// @param aRegister The register.
    virtual ZuResult PreRead(IZuRegister *aRegister) { (void)aRegister; return ZuResult(ZU_OK); }
    /// After a read.
    /// @param aRegister The register.
    virtual void PostRead(IZuRegister *aRegister) { (void)aRegister; }
    /// Before a write; anything but ZU_OK refuses it.
    /// @param aRegister The register.
    virtual ZuResult PreWrite(IZuRegister *aRegister) { (void)aRegister; return ZuResult(ZU_OK); }
    /// After a write.
    /// @param aRegister The register.
    virtual void PostWrite(IZuRegister *aRegister) { (void)aRegister; }
    /// Persists a register whose content depends on a selector, for user sets.
    /// @param aRegister The register.
    /// @param aStore Where the user set keeps it.
    virtual ZuResult Persist(IZuRegister *aRegister, IZuRegisterStore *aStore) { (void)aRegister; (void)aStore; return ZuResult(ZU_NOT_IMPLEMENTED); }
};

#endif
