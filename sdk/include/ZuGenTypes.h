#ifndef ZU_GEN_TYPES_H
#define ZU_GEN_TYPES_H

#include <cstdint>

/// @file
/// Enumerations that describe a GenICam feature: who should see it, what
/// kind of value it holds, how to show that value and how the device
/// stores and refreshes it.
///
/// All of them have a fixed 32-bit signed underlying type: feature
/// descriptions come from device files, so a value outside the list must
/// survive a round trip instead of being undefined behaviour. The first six
/// mark "unknown" with 999 and the last three with -1, so test against the
/// named member rather than assuming either convention.

/// Audience a feature is meant for; a user interface shows the features
/// at or below the level its user picked.
typedef enum : int32_t
{
    ZuGenVisibilityBeginner = 0,    ///< Everyday features.
    ZuGenVisibilityExpert = 1,      ///< Features for users who know the device.
    ZuGenVisibilityGuru = 2,        ///< Features that can put the device in odd states.
    ZuGenVisibilityInvisible = 3,   ///< Features meant for programs, never shown.
    ZuGenVisibilityUndefined = 999  ///< The description gave no visibility.
} ZuGenVisibility;

/// Kind of value a feature holds. The numbering is the SDK's own and does
/// not follow the order in which a parameter is matched to its typed class.
typedef enum : int32_t
{
    ZuGenTypeInteger = 0,     ///< Integer value.
    ZuGenTypeEnum = 1,        ///< One of a set of named entries.
    ZuGenTypeBoolean = 2,     ///< True or false.
    ZuGenTypeString = 3,      ///< Text.
    ZuGenTypeCommand = 4,     ///< Action to execute, no value.
    ZuGenTypeFloat = 5,       ///< Floating-point value.
    ZuGenTypeRegister = 6,    ///< Raw block of register bytes.
    ZuGenTypeUndefined = 999  ///< Not one of the kinds above.
} ZuGenType;

/// How a numeric feature's value should be presented and edited.
typedef enum : int32_t
{
    ZuGenRepresentationLinear = 0,       ///< Slider with a linear scale.
    ZuGenRepresentationLogarithmic = 1,  ///< Slider with a logarithmic scale.
    ZuGenRepresentationBoolean = 2,      ///< Check box over 0 and 1.
    ZuGenRepresentationPureNumber = 3,   ///< Decimal number in an edit box.
    ZuGenRepresentationHexNumber = 4,    ///< Hexadecimal number in an edit box.
    ZuGenRepresentationIPV4Address = 5,  ///< Dotted IPv4 address.
    ZuGenRepresentationMACAddress = 6,   ///< Colon-separated MAC address.
    ZuGenRepresentationUndefined = 999   ///< The description gave no representation.
} ZuGenRepresentation;

/// Whether a feature's name is defined by the naming convention or by the
/// device maker; only standard names can be relied on across devices.
typedef enum : int32_t
{
    ZuGenNameSpaceStandard = 0,    ///< Name from the standard feature naming convention.
    ZuGenNameSpaceCustom = 1,      ///< Maker-specific name.
    ZuGenNameSpaceUndefined = 999  ///< The description gave no name space.
} ZuGenNameSpace;

/// Current access to a feature. It can change with the state of the
/// device (a feature locked during acquisition reads as read-only).
typedef enum : int32_t
{
    ZuGenAccessModeReadOnly = 0,        ///< Readable only.
    ZuGenAccessModeReadWrite = 1,       ///< Readable and writable.
    ZuGenAccessModeWriteOnly = 2,       ///< Writable only.
    ZuGenAccessModeNotImplemented = 3,  ///< The device does not have the feature.
    ZuGenAccessModeNotAvailable = 4,    ///< The feature exists but cannot be used now.
    ZuGenAccessModeUndefined = 999      ///< Access could not be determined.
} ZuGenAccessMode;

/// How the GenICam layer caches a feature's value between device accesses.
typedef enum : int32_t
{
    ZuGenCacheWriteThrough = 0,  ///< A write updates the cache and the device.
    ZuGenCacheWriteAround = 1,   ///< A write goes to the device; the next read reloads.
    ZuGenCacheNone = 2,          ///< Every read goes to the device.
    ZuGenCacheUndefined = 999    ///< The description gave no caching mode.
} ZuGenCache;

/// How a cached value learns that the device changed it.
typedef enum : int32_t
{
    ZuGenRefreshInvalid = -1,  ///< Not known.
    ZuGenRefreshPolling = 0,   ///< The value is re-read periodically.
    ZuGenRefreshAuto = 1,      ///< The device signals changes.
    ZuGenRefreshManual = 2     ///< The application must invalidate it.
} ZuGenRefresh;

/// Byte order of a register as the device stores it.
typedef enum : int32_t
{
    ZuGenEndiannessInvalid = -1,  ///< Not known.
    ZuGenEndiannessLittle = 0,    ///< Least significant byte first.
    ZuGenEndiannessBig = 1        ///< Most significant byte first.
} ZuGenEndianness;

/// Whether an integer register is read as signed or unsigned.
typedef enum : int32_t
{
    ZuGenSignUndefined = -1,  ///< Not known.
    ZuGenSignUnsigned = 0,    ///< Unsigned.
    ZuGenSignSigned = 1       ///< Two's complement.
} ZuGenSign;

#endif
