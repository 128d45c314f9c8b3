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

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

class CustomRegister;

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

} // namespace softdevice
} // namespace tarn

#endif
