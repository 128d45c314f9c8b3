#ifndef IZU_REGISTER_STORE_H
#define IZU_REGISTER_STORE_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuString.h"

class IZuRegister;

/// Saves registers to, or loads them from, a user set.
///
/// Lent to a register event sink's Persist notification only.
class ZU_API IZuRegisterStore
{
public:
    /// Virtual destructor.
    virtual ~IZuRegisterStore() {}

    /// Saves the register's content to the user set, or loads it from there,
    /// under the name of the register's feature followed by the suffix.
    /// @param aRegister The register.
    /// @param aNameSuffix A suffix unique to the current selector combination.
    /// @return ZU_OK on success.
    virtual ZuResult Persist(IZuRegister *aRegister, const ZuString &aNameSuffix) = 0;
};

#endif
