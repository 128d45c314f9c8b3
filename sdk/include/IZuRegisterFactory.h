#ifndef IZU_REGISTER_FACTORY_H
#define IZU_REGISTER_FACTORY_H

#include "ZuBaseApi.h"

/// Creates the custom registers of a software device while it starts.
///
/// The software device owns it; it is lent to the callbacks that receive it.
class ZU_API IZuRegisterFactory
{
public:
    virtual ~IZuRegisterFactory() {}
};

#endif
