// The double lanes for any processor: four lanes as two SSE2 registers on
// x86-64, as scalars elsewhere.
#include "deep/deeplanes.h"

void runLanesGeneric(const LaneJob &job)
{
    DeepLanes<4>(job).run();
}
