#ifndef TARN_SOFTDEVICE_USER_SETS_H
#define TARN_SOFTDEVICE_USER_SETS_H

// User sets: named register contents saved and loaded as a whole, and the
// file that keeps them across restarts of the device.
//
// The file is text, one set after another:
//
//     tarn-user-sets 1
//     default 2
//     set 1
//     Width#0 00000040
//     TestGain 00000028
//     end
//
// Each value is its register's bytes in hex. A file that does not read as
// this (damaged, cut short, from elsewhere) is left alone: the device starts
// with its own state and says why in its log.

#include "IZuRegisterStore.h"
#include "IZuUserSetNotify.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

class CustomRegister;
class RegisterCatalog;

using UserSet = std::map<std::string, std::vector<uint8_t>>;

struct UserSetFile {
    uint32_t defaultSet = 0;
    std::map<uint32_t, UserSet> sets;
};

// Reads the text of a file; false with aError when it is not one.
bool parseUserSets(const std::string &aText, UserSetFile &aOut, std::string &aError);
std::string formatUserSets(const UserSetFile &aFile);

// The store lent to a register sink's Persist: saves the register's
// content into the set, or loads it from there, under the register's
// feature name and the suffix.
class RegisterStore : public IZuRegisterStore
{
public:
    RegisterStore(UserSet &aSet, bool aSaving) : mSet(aSet), mSaving(aSaving) {}
    ZuResult Persist(IZuRegister *aRegister, const ZuString &aNameSuffix) override;

private:
    UserSet &mSet;
    bool mSaving;
};

// Where user sets live (TARN_USERSET_DIR), empty when nowhere; and the file
// of one device.
std::string userSetDirectory();
std::string userSetPath(const std::string &aDirectory, const std::string &aSerial, const std::string &aMac);
// False with aError when the file cannot be read or written; a missing file
// reads as none (aExists false).
bool readUserSetFile(const std::string &aPath, UserSetFile &aOut, bool &aExists, std::string &aError);
bool writeUserSetFile(const std::string &aPath, const UserSetFile &aFile, std::string &aError);

// A device's user sets: the sets saved (index 0: the state the device
// started with), the one to start with, the file that keeps them across
// restarts, and the application's notification of each save and load.
class UserSetBank
{
public:
    static constexpr uint32_t kMaxSets = 256;

    // What a set is made of: the device's own values, saved into a set and
    // loaded from one (a GVCP status), and the script's registers whose
    // feature is streamable or whose sink persists them.
    struct Contents {
        std::function<void(UserSet &)> saveOwn;
        std::function<uint16_t(const UserSet &)> loadOwn;
        RegisterCatalog *registers = nullptr;
    };

    // aFailures counts what the application's up-calls threw.
    explicit UserSetBank(std::atomic<uint64_t> &aFailures) : mFailures(aFailures) {}

    // ---- Settings (the count while the device is created).
    ZuResult SetCount(uint32_t aCount);
    uint32_t Count() const { return mCount; }
    ZuResult SetNotify(IZuUserSetNotify *aNotify);
    void ForgetNotify(IZuUserSetNotify *aNotify);

    // ---- At Start, once the registers are there: the default set is the
    // state the device starts with; the saved ones, and which of them to
    // start with, come from the device's file (its serial number and MAC
    // name it). close() forgets the contents.
    void Open(Contents aContents, const std::string &aSerial, const std::string &aMac);
    void Close() { mContents = Contents(); }
    // GVCP statuses. A set that cannot be saved whole fails the save and
    // the one saved before stays.
    uint16_t Save(uint32_t aIndex);
    uint16_t Load(uint32_t aIndex);
    uint32_t DefaultSet() const { return mDefault; }
    // The set to start with from now on (kept in the file).
    void SetDefault(uint32_t aIndex);
    // Why the file was not read or written last time; empty when it was.
    std::string Problem() const;

private:
    void Notify(ZuUserSetState aState, uint32_t aIndex);
    void WriteFile();
    void Complain(const std::string &aProblem);

    std::atomic<uint64_t> &mFailures;
    uint32_t mCount = 0;
    Contents mContents;
    std::vector<std::optional<UserSet>> mSets;
    std::atomic<uint32_t> mDefault{0};
    std::string mPath;
    mutable std::mutex mLock;   // the notification and the problem
    IZuUserSetNotify *mNotify = nullptr;
    std::string mProblem;
};

} // namespace softdevice
} // namespace tarn

#endif
