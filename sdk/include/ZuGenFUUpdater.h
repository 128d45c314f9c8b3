#ifndef ZU_GEN_FU_UPDATER_H
#define ZU_GEN_FU_UPDATER_H

#include "ZuBaseApi.h"
#include "ZuDeviceInfo.h"
#include "ZuResult.h"

#ifndef SWIG
#include <memory>
#endif

/// Hears the progress of a firmware update, on the updater's own thread.
class ZU_API IUpdaterObserver
{
public:
    virtual ~IUpdaterObserver() {}
    /// What the update is doing now.
    /// @param aMsg The message.
    virtual void UpdateProgressLabel(const char *aMsg) = 0;
    /// How far the update is.
    /// @param aValue Progress in percent, 0 to 100.
    virtual void UpdateProgressValue(int aValue) = 0;
};

/// Writes a firmware update file into a device.
///
/// The update file is an archive of named members, all integers
/// little-endian:
///
///     8 bytes    "TARNFWU1"
///     members    each: u16 name length (1 to 255), the name (UTF-8),
///                u32 data length, the data
///     4 bytes    CRC-32 (as zlib computes it) of all bytes before it
///
/// The member "manifest" is required: UTF-8 lines "key=value" (blank lines,
/// lines starting with '#' and keys other than these are skipped; each of
/// these keys at most once, and the manifest and the image member are each
/// named once in the file):
///
///     Format=1         required: the manifest's format
///     Version=TEXT     required, 1 to 31 bytes: the firmware version the
///                      device reports once updated
///     Image=NAME       required: the member holding the firmware image
///     Model=TEXT       optional: the update fits only devices whose
///                      DeviceModelName is TEXT
///
/// The update connects to the device (no other controller may hold it),
/// hands the image over in chunks through the device's firmware window,
/// which checks its size and CRC-32 before installing it, writes the new
/// device user id (DeviceUserID) when one is given, executes DeviceReset
/// when asked to, and disconnects. Its outcome, read with GetResult once
/// IsDone is true: ZU_OK; ZU_NOT_FOUND (no such file); ZU_CANNOT_OPEN_FILE
/// (the file cannot be read); ZU_INVALID_DATA_FORMAT (not an update file,
/// truncated or damaged); ZU_CANT_READ_MANIFEST (no manifest, or one that
/// lacks a required key, gives one twice, names a missing image or another
/// format); ZU_INVALID_PARAMETER (no device information); what connecting
/// returns; ZU_NOT_SUPPORTED (the device has no firmware window, or is
/// another model); ZU_ERR_OVERFLOW (the image is larger than the device takes);
/// ZU_CORRUPTED_DATA (the device found the image damaged); ZU_GENERIC_ERROR
/// (the device reported another outcome than an installed image); ZU_ABORTED
/// (the updater was destroyed during the update).
class ZU_API ZuGenFUUpdater
{
public:
    /// Prepares the update of one device.
    /// @param aPath The folder of the update file (may be empty).
    /// @param aFileName The update file's name within that folder.
    /// @param aDeviceInfo The device, as discovery found it (copied).
    /// @param aDeviceId The device user id to write after the update; empty
    ///   keeps it unchanged.
    /// @param aDeviceReset Whether to reset the device after the update.
    ZuGenFUUpdater(const char *aPath, const char *aFileName, const ZuDeviceInfo *aDeviceInfo, const char *aDeviceId,
                   bool aDeviceReset);
    /// Ends an update in progress (its result is then ZU_ABORTED) and
    /// destroys the updater.
    virtual ~ZuGenFUUpdater();

    /// Attaches an observer of the progress; the updater does not own it.
    /// @param aObserver The observer; attaching it twice attaches it once.
    void Attach(IUpdaterObserver *aObserver);
    /// Detaches an observer; no call reaches it once this returns.
    /// @param aObserver The observer.
    void Detach(IUpdaterObserver *aObserver);
    /// Starts the update on a thread of its own and returns at once; does
    /// nothing while an update runs.
    void Start();
    /// Tells whether the update has completed.
    bool IsDone() const;
    /// The outcome of the update (see the class): ZU_PENDING while it
    /// runs, ZU_NOT_INITIALIZED before Start.
    ZuResult GetResult() const;

#ifndef SWIG
    struct Impl;

private:
    ZuGenFUUpdater(const ZuGenFUUpdater &) = delete;
    ZuGenFUUpdater &operator=(const ZuGenFUUpdater &) = delete;
    // Shared with the update's thread, which may outlive the updater when
    // an observer destroys it.
    std::shared_ptr<Impl> mImpl;
#endif
};

#endif
