#ifndef TARN_SOFTDEVICE_STANDARD_FEATURES_H
#define TARN_SOFTDEVICE_STANDARD_FEATURES_H

// The camera's own features, each described once as a row (feature_row.h),
// in one table per family (standard_features.cpp): name and kind, register,
// limits and increments and where they come from, user-set membership,
// locking, and the camera's value the register holds. The device makes
// from these rows its registers (and what they refuse), its description,
// the list of what a user set keeps and the limits of the GVCP server's
// registers, so that the range a controller reads is the range the
// register takes.
//
// Adding a feature is adding a row to its family: where its register lies,
// which value of the camera it holds (camera_features.cpp reads and writes
// them) and, when the camera does not always have it, when it does.

#include "softdevice/model/description.h"
#include "softdevice/model/feature_row.h"
#include "softdevice/model/user_sets.h"
#include "gev/bootstrap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

class RegisterSpace;

// The tables, in the order of the description.
const std::vector<StandardFamily> &standardFamilies();
// A row by its feature's name; null for none.
const FeatureRow *standardRow(const std::string &aName);
// Where the register of one of the camera's own features lies (for a
// feature per channel, that channel's); 0 for no such feature.
uint32_t standardAddress(const std::string &aName, size_t aChannel = 0);

// The registers of the rows the device keeps itself, for the host's channels.
void layoutStandard(RegisterSpace &aSpace, FeatureHost &aHost);
// The categories and the rows the host has, into a new description.
void declareStandard(DescriptionWriter &aWriter, FeatureHost &aHost);
// What a user set keeps of them, per channel, and loading it back (a GVCP status).
void saveStandard(UserSet &aSet, RegisterSpace &aSpace, size_t aChannels);
uint16_t loadStandard(const UserSet &aSet, RegisterSpace &aSpace, size_t aChannels);
// What the GVCP server's registers take, as the description declares it.
std::vector<gvcp::FieldLimit> standardBootstrapLimits(FeatureHost &aHost);

} // namespace softdevice
} // namespace tarn

#endif
