#ifndef TARN_SOFTDEVICE_DECLARATIONS_H
#define TARN_SOFTDEVICE_DECLARATIONS_H

// What a starting device lends the ready-made sources of its own library
// through the register factory it hands them, beside what a script gets: a
// way to end the start with a reason. Their registers and features go
// through the factories like a script's.

#include <string>

class IZuRegisterFactory;

namespace tarn {
namespace softdevice {

class Declarations
{
public:
    virtual ~Declarations() {}
    // Ends the start with ZU_INVALID_PARAMETER and this description.
    virtual void Refuse(const std::string &aWhy) = 0;
};

// The device behind a register factory it lent; null for any other factory.
Declarations *declarationsOf(IZuRegisterFactory *aFactory);

} // namespace softdevice
} // namespace tarn

#endif
