#ifndef IZU_REGISTER_STORE_H
#define IZU_REGISTER_STORE_H

#include "ZuBaseApi.h"
#include "ZuResult.h"
#include "ZuString.h"

class IZuRegister;

/// Where a user set keeps the registers it saves.
class ZU_API IZuRegisterStore
{
public:
    virtual ~IZuRegisterStore() {}

    /// Stores the register's current content under its name and a suffix.
    /// @param aRegister The register.
    /// @param aNameSuffix Told apart from the register's other contents (one per selector value).
    virtual ZuResult Persist(IZuRegister *aRegister, const ZuString &aNameSuffix) = 0;
};

#endif
