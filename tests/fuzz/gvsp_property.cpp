// The reassembly property of tests/sdk/gev/gvsp_property.h with the
// fuzzer's bytes as its choices: datagrams one at a time or in batches
// received onto landings, packet sizes, restarts, kinds of block, loss,
// duplicates, reordering and hostile datagrams. A block that comes
// back complete must be one that was sent; once the trouble stops, the
// blocks that follow come back whole. What did not hold ends the run.
#include "gvsp_property.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    gvsptest::ByteChoices choices(aData, aSize);
    const size_t batch = choices.Next(65);
    gvsptest::PropertyOutcome outcome = gvsptest::RunProperty(choices, 1 + aSize / 80, batch);
    if (!outcome.failure.empty()) {
        std::fprintf(stderr, "gvsp_property: %s\n", outcome.failure.c_str());
        std::abort();
    }
    return 0;
}
