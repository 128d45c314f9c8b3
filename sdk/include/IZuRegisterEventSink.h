#ifndef IZU_REGISTER_EVENT_SINK_H
#define IZU_REGISTER_EVENT_SINK_H

#include "ZuBaseApi.h"
#include "ZuResult.h"

class IZuRegister;
class IZuRegisterStore;

/// Told before and after every access to the registers it is attached to.
///
/// A register keeps a plain pointer to its sinks.
class ZU_API IZuRegisterEventSink
{
public:
    /// Virtual destructor.
    virtual ~IZuRegisterEventSink() {}

    /// Called before the register is read; may refresh its content.
    /// @param aRegister The register.
    /// @return ZU_OK to let the read go on; an error fails it.
    virtual ZuResult PreRead(IZuRegister *aRegister) { (void)aRegister; return ZuResult(ZU_OK); }
    /// Called after the register was read.
    /// @param aRegister The register.
    virtual void PostRead(IZuRegister *aRegister) { (void)aRegister; }
    /// Called before a write is committed; the new value is readable.
    /// @param aRegister The register.
    /// @return ZU_OK to let the write go on; an error fails it and restores the old value.
    virtual ZuResult PreWrite(IZuRegister *aRegister) { (void)aRegister; return ZuResult(ZU_OK); }
    /// Called after the register was written: the place to react to a new value.
    /// @param aRegister The register.
    virtual void PostWrite(IZuRegister *aRegister) { (void)aRegister; }
    /// Called when a user set is saved or loaded, for registers holding
    /// several values behind selectors.
    /// @param aRegister The register.
    /// @param aStore Persists one selector combination.
    /// @return ZU_OK when persisted; ZU_NOT_IMPLEMENTED when the register needs no such handling.
    virtual ZuResult Persist(IZuRegister *aRegister, IZuRegisterStore *aStore)
    {
        (void)aRegister;
        (void)aStore;
        return ZuResult(ZU_NOT_IMPLEMENTED);
    }
};

#endif
