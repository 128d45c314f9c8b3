#include "ZuGenFUUpdater.h"

#include "UpdateFile.h"

#include "ZuDevice.h"
#include "ZuGenParameterArray.h"
#include "gev/bridge.h"
#include "tarn/SinkList.h"
#include "tarn/Worker.h"

#include <zlib.h>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace fw = tarn::bridge::firmware;

namespace {

// Larger files are no firmware of any device we serve.
constexpr size_t kMaxFile = 256u << 20;

bool IsOk(const ZuResult &aResult)
{
    return aResult.GetCode() == ZU_OK;
}

ZuResult Fail(uint32_t aCode, const std::string &aWhy)
{
    return ZuResult(aCode, ZuString(aWhy.c_str()));
}

ZuResult ReadFile(const std::string &aPath, std::vector<uint8_t> &aOut)
{
    struct stat st {};
    if (::stat(aPath.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? Fail(ZU_NOT_FOUND, "no update file " + aPath)
                                                   : Fail(ZU_CANNOT_OPEN_FILE, "cannot open the update file " + aPath);
    if (!S_ISREG(st.st_mode)) return Fail(ZU_CANNOT_OPEN_FILE, "the update file " + aPath + " is not a regular file");
    if (size_t(st.st_size) > kMaxFile) return Fail(ZU_INVALID_DATA_FORMAT, "the update file " + aPath + " is too large");
    std::FILE *f = std::fopen(aPath.c_str(), "rb");
    if (!f) return Fail(ZU_CANNOT_OPEN_FILE, "cannot open the update file " + aPath);
    // Read into room for the whole file at once: growing by doubling would
    // hold up to three times the file while it moves.
    aOut.clear();
    aOut.reserve(size_t(st.st_size));
    uint8_t chunk[65536];
    size_t n = 0;
    bool failed = false;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
        if (aOut.size() + n > kMaxFile) {
            failed = true;
            break;
        }
        aOut.insert(aOut.end(), chunk, chunk + n);
    }
    failed = failed || std::ferror(f);
    std::fclose(f);
    return failed ? Fail(ZU_CANNOT_OPEN_FILE, "cannot read the update file " + aPath) : ZuResult();
}

} // namespace

struct ZuGenFUUpdater::Impl {
    std::string file;
    std::unique_ptr<ZuDeviceInfo> info;
    std::string deviceId;
    bool reset = false;

    // Each with what keeps it alive while attached (the bindings' hold).
    tarn::SinkList<IUpdaterObserver> observers;

    mutable std::mutex lock;
    tarn::Worker worker;
    bool started = false;
    bool running = false;
    ZuResult result = ZuResult(ZU_NOT_INITIALIZED, ZuString("the update has not been started"));
    std::atomic<bool> cancel{false};

    template <class Call> void Tell(Call aCall)
    {
        observers.ForEach([&](IUpdaterObserver *o) {
            // An observer that fails has reported it; the update goes on.
            try {
                aCall(o);
            } catch (...) {
            }
        });
    }
    void Label(const std::string &aText)
    {
        Tell([&](IUpdaterObserver *o) { o->UpdateProgressLabel(aText.c_str()); });
    }
    void Value(int aPercent)
    {
        Tell([&](IUpdaterObserver *o) { o->UpdateProgressValue(aPercent); });
    }

    ZuResult Run();
    ZuResult Install(ZuDeviceGEV &aDevice, const tarn::updater::UpdateFile &aUpdate);
    void Finish(const ZuResult &aResult);
};

ZuResult ZuGenFUUpdater::Impl::Install(ZuDeviceGEV &aDevice, const tarn::updater::UpdateFile &aUpdate)
{
    uint32_t magic = 0, capacity = 0;
    ZuResult r = aDevice.ReadRegister(fw::Base + fw::Magic, magic);
    if (!IsOk(r) || magic != fw::MagicValue) return Fail(ZU_NOT_SUPPORTED, "the device takes no firmware update");
    r = aDevice.ReadRegister(fw::Base + fw::Capacity, capacity);
    if (!IsOk(r)) return r;
    const std::vector<uint8_t> &image = aUpdate.image;
    if (image.size() > capacity)
        return Fail(ZU_ERR_OVERFLOW, "the firmware image is larger than the device takes");
    uint8_t version[fw::VersionSize] = {};
    std::copy(aUpdate.version.begin(), aUpdate.version.end(), version);
    const uint32_t crc = uint32_t(crc32(crc32(0L, Z_NULL, 0), image.data(), uInt(image.size())));
    for (auto step : {std::make_pair(fw::Size, uint32_t(image.size())), std::make_pair(fw::Crc, crc)}) {
        r = aDevice.WriteRegister(fw::Base + step.first, step.second);
        if (!IsOk(r)) return r;
    }
    r = aDevice.WriteMemory(fw::Base + fw::Version, version, sizeof version);
    if (IsOk(r)) r = aDevice.WriteRegister(fw::Base + fw::Control, fw::ControlBegin);
    if (!IsOk(r)) return r;

    Label("Writing the firmware");
    std::vector<uint8_t> window(fw::WindowSize);
    int shown = -1;
    for (size_t at = 0; at < image.size(); at += fw::WindowSize) {
        if (cancel) {
            aDevice.WriteRegister(fw::Base + fw::Control, fw::ControlAbort);
            return Fail(ZU_ABORTED, "the update was ended before it completed");
        }
        const uint32_t n = uint32_t(std::min<size_t>(fw::WindowSize, image.size() - at));
        std::fill(std::copy(image.begin() + at, image.begin() + at + n, window.begin()), window.end(), 0);
        r = aDevice.WriteMemory(fw::Base + fw::Window, window.data(), (n + 3) & ~3u);
        if (IsOk(r)) r = aDevice.WriteRegister(fw::Base + fw::ChunkOffset, uint32_t(at));
        if (IsOk(r)) r = aDevice.WriteRegister(fw::Base + fw::ChunkLength, n);
        if (!IsOk(r)) {
            aDevice.WriteRegister(fw::Base + fw::Control, fw::ControlAbort);
            return r;
        }
        const int percent = 10 + int(80 * (at + n) / image.size());
        if (percent != shown) Value(shown = percent);
    }

    Label("Installing the firmware");
    Value(90);
    r = aDevice.WriteRegister(fw::Base + fw::Control, fw::ControlCommit);
    uint32_t status = 0;
    ZuResult s = aDevice.ReadRegister(fw::Base + fw::Status, status);
    if (!IsOk(s)) return IsOk(r) ? s : r;
    if (status == fw::StatusInstalled) return ZuResult();
    if (status == fw::StatusBadCrc || status == fw::StatusBadSize)
        return Fail(ZU_CORRUPTED_DATA, "the device found the firmware image damaged");
    // Only the device's word that it installed the image counts: an
    // accepted commit followed by any other status is still a failure.
    if (!IsOk(r)) return r;
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", unsigned(status));
    return Fail(ZU_GENERIC_ERROR, std::string("the device did not install the firmware (status ") + text + ")");
}

ZuResult ZuGenFUUpdater::Impl::Run()
{
    Label("Reading the update file");
    Value(0);
    std::vector<uint8_t> bytes;
    ZuResult r = ReadFile(file, bytes);
    if (!IsOk(r)) return r;
    tarn::updater::UpdateFile update;
    r = tarn::updater::ParseUpdateFile(bytes.data(), bytes.size(), update);
    if (!IsOk(r)) return r;
    if (!info) return Fail(ZU_INVALID_PARAMETER, "no device to update");

    Label("Connecting to the device");
    Value(5);
    ZuResult connected;
    std::unique_ptr<ZuDevice, void (*)(ZuDevice *)> device(ZuDevice::CreateAndConnect(info.get(), &connected),
                                                           &ZuDevice::Free);
    if (!device) return connected;
    auto *gev = dynamic_cast<ZuDeviceGEV *>(device.get());
    if (!gev) return Fail(ZU_NOT_SUPPORTED, "the device takes no firmware update");
    ZuGenParameterArray *features = device->GetParameters();
    if (!update.model.empty()) {
        ZuString model;
        ZuGenString *p = features ? features->GetString(ZuString("DeviceModelName")) : nullptr;
        if (!p || !IsOk(p->GetValue(model)) || model.Narrow() != update.model)
            return Fail(ZU_NOT_SUPPORTED, "the update is for devices of the model " + update.model);
    }
    Value(10);
    r = Install(*gev, update);
    if (!IsOk(r)) return r;
    if (!deviceId.empty()) {
        Label("Writing the device user id");
        Value(95);
        ZuGenString *p = features ? features->GetString(ZuString("DeviceUserID")) : nullptr;
        r = p ? p->SetValue(ZuString(deviceId.c_str())) : Fail(ZU_NOT_SUPPORTED, "the device has no DeviceUserID");
        if (!IsOk(r)) return r;
    }
    if (reset) {
        Label("Resetting the device");
        Value(97);
        ZuGenCommand *p = features ? features->GetCommand(ZuString("DeviceReset")) : nullptr;
        r = p ? p->Execute() : Fail(ZU_NOT_SUPPORTED, "the device has no DeviceReset");
        if (!IsOk(r)) return r;
    }
    return ZuResult();
}

void ZuGenFUUpdater::Impl::Finish(const ZuResult &aResult)
{
    if (IsOk(aResult)) {
        Label("Update complete");
        Value(100);
    } else {
        Label("Update failed: " + aResult.GetDescription().Narrow());
    }
    std::lock_guard<std::mutex> guard(lock);
    result = aResult;
    running = false;
}

ZuGenFUUpdater::ZuGenFUUpdater(const char *aPath, const char *aFileName, const ZuDeviceInfo *aDeviceInfo,
                               const char *aDeviceId, bool aDeviceReset)
    : mImpl(std::make_shared<Impl>())
{
    const std::string path = aPath ? aPath : "", name = aFileName ? aFileName : "";
    if (path.empty() || name.empty() || name[0] == '/')
        mImpl->file = path.empty() ? name : name.empty() ? path : name;
    else
        mImpl->file = path.back() == '/' ? path + name : path + "/" + name;
    if (aDeviceInfo) mImpl->info.reset(aDeviceInfo->Copy());
    mImpl->deviceId = aDeviceId ? aDeviceId : "";
    mImpl->reset = aDeviceReset;
}

ZuGenFUUpdater::~ZuGenFUUpdater()
{
    mImpl->cancel = true;
    // Its observers hear no more once it is gone (a binding lets their
    // objects go then).
    mImpl->observers.Clear();
    // Destroyed by an observer on the update's own thread: the thread ends
    // by itself, holding what it uses.
    mImpl->worker.Stop();
}

void ZuGenFUUpdater::Attach(IUpdaterObserver *aObserver)
{
    // Attached already: stays so.
    mImpl->observers.Add(aObserver);
}

void ZuGenFUUpdater::Detach(IUpdaterObserver *aObserver)
{
    mImpl->observers.Remove(aObserver);
}

void ZuGenFUUpdater::Start()
{
    {
        std::lock_guard<std::mutex> guard(mImpl->lock);
        if (mImpl->running) return;
    }
    // The update before has ended (it may still be leaving, or be the caller).
    mImpl->worker.Stop();
    std::lock_guard<std::mutex> guard(mImpl->lock);
    if (mImpl->running) return;
    mImpl->running = true;
    mImpl->started = true;
    mImpl->cancel = false;
    mImpl->result = ZuResult(ZU_PENDING, ZuString("the update is running"));
    std::shared_ptr<Impl> impl = mImpl;
    ZuResult started = mImpl->worker.Start([impl](tarn::Worker::Control &) {
        ZuResult r;
        try {
            r = impl->Run();
            if (IsOk(r) && impl->cancel) r = Fail(ZU_ABORTED, "the update was ended before it completed");
        } catch (...) {
            r = Fail(ZU_GENERIC_ERROR, "the update failed");
        }
        impl->Finish(r);
    });
    if (!started.IsOK()) {
        mImpl->running = false;
        mImpl->result = Fail(ZU_THREAD_ERROR, "the update's thread could not start");
    }
}

bool ZuGenFUUpdater::IsDone() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->started && !mImpl->running;
}

ZuResult ZuGenFUUpdater::GetResult() const
{
    std::lock_guard<std::mutex> guard(mImpl->lock);
    return mImpl->result;
}
