#ifndef IZU_GEN_API_FACTORY_H
#define IZU_GEN_API_FACTORY_H

#include "ZuBaseApi.h"

/// Declares the custom GenApi features of a software device while it starts.
///
/// The software device owns it; it is lent to the callbacks that receive it.
class ZU_API IZuGenApiFactory
{
public:
    virtual ~IZuGenApiFactory() {}
};

#endif
