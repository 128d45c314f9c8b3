#ifndef ZU_BASE_API_H
#define ZU_BASE_API_H

#include <cstdint>

#if defined(SWIG)
#define ZU_API
#else
#define ZU_API __attribute__((visibility("default")))
#endif

#endif
