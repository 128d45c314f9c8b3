#ifndef IZU_REGISTER_MAP_H
#define IZU_REGISTER_MAP_H

#include "ZuBaseApi.h"

/// The register map of a running software device.
///
/// The software device owns it; it is lent to the callbacks that receive it.
class ZU_API IZuRegisterMap
{
public:
    virtual ~IZuRegisterMap() {}
};

#endif
