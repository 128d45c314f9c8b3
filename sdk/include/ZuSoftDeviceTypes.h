#ifndef ZU_SOFT_DEVICE_TYPES_H
#define ZU_SOFT_DEVICE_TYPES_H

/// Access that a controller obtained to a device.
enum ZuAccessType
{
    ZuAccessUnknown = 0,    ///< Not known.
    ZuAccessOpen = 1,       ///< Read-only access, no control channel held.
    ZuAccessControl = 2,    ///< Control access: others may still read.
    ZuAccessExclusive = 3,  ///< Exclusive access: nobody else may read or write.
    ZuAccessReadOnly = 4    ///< Monitoring access.
};

/// Acknowledge status of an action command.
enum ZuActionAckStatusEnum
{
    ZuActionAckStatusOK = 0,        ///< The action was executed or scheduled.
    ZuActionAckStatusLate = 1,      ///< The scheduled time was already past.
    ZuActionAckStatusOverflow = 2,  ///< The queue of scheduled actions is full.
    ZuActionAckStatusNoRefTime = 3  ///< The device has no reference time.
};

/// Progress of saving or loading a user set.
enum ZuUserSetState
{
    ZuUserSetStateSaveStart = 0,      ///< Saving the user set begins.
    ZuUserSetStateSaveCompleted = 1,  ///< Saving the user set is complete.
    ZuUserSetStateLoadStart = 2,      ///< Loading the user set begins.
    ZuUserSetStateLoadCompleted = 3   ///< Loading the user set is complete.
};

/// Scan type of a stream channel.
enum ZuScanType
{
    ZuScanTypeInvalid = -1,  ///< Not a valid scan type.
    ZuScanTypeArea = 0,      ///< Area-scan images.
    ZuScanTypeLine = 1,      ///< Line-scan images.
    ZuScanTypeArea3D = 2,    ///< Area-scan 3D data.
    ZuScanTypeLine3D = 3     ///< Line-scan 3D data.
};

#endif
