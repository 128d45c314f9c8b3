#ifndef TARN_GENDC_CHECK_H
#define TARN_GENDC_CHECK_H

// The whole-container check behind GenDC containers over buffer memory,
// for the SDK's own libraries and tests.

#include "ZuGenDC.h"

/// Checks a whole container held in aSize bytes: signature, version,
/// header types and sizes, and that every header and all data lie within
/// those bytes. Reads nothing outside them.
/// @return ZU_OK, or a failed result whose description names the first fault.
ZU_API ZuResult ZuGenDCValidate(const uint8_t *aData, uint64_t aSize);

#endif
