#ifndef ZU_GENDC_CONTAINER_H
#define ZU_GENDC_CONTAINER_H

// The container behind the GenDC interfaces, over memory that a buffer or a
// manager holds. Internal to the buffer library.

#include "ZuGenDC.h"

#include <memory>
#include <vector>

class ZuBuffer;

namespace zu_gendc {

// Where a container's bytes live. The bytes may change or move between two
// calls; every read goes through Get() again.
class Memory
{
public:
    struct Span
    {
        uint8_t *data;
        uint64_t size;
        std::shared_ptr<void> keep; // holds the bytes for as long as the span is used
    };
    virtual ~Memory() {}
    virtual Span Get() const = 0;
    virtual std::shared_ptr<void> Share(const void *aPointer) const = 0;
    // Makes aBytes the container; false when they cannot be held.
    virtual bool Replace(const std::vector<uint8_t> &aBytes) = 0;
    // Most bytes a layout may take.
    virtual uint64_t Capacity() const = 0;
    virtual uint64_t BlockID() const { return 0; }
    virtual uint64_t ReceptionTime() const { return 0; }
};

std::unique_ptr<IZuGenericDataContainer> NewContainer(std::unique_ptr<Memory> aMemory);
std::unique_ptr<Memory> BufferMemory(ZuBuffer *aBuffer);

// Bytes a container would take once laid out anew (0 when it cannot be).
uint64_t LaidOutSize(IZuGenericDataContainer *aContainer);
// Lays the container out anew; false when that fails.
bool LayOut(IZuGenericDataContainer *aContainer);
// Empties the container.
void Clear(IZuGenericDataContainer *aContainer);

}

#endif
