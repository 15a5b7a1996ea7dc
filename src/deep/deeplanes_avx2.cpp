// The double lanes in one AVX2 register; built with -mavx2 (no FMA: the
// error bound holds for the written operations only).
#include "deep/deeplanes.h"

void runLanesAvx2(const LaneJob &job)
{
    DeepLanes<4>(job).run();
}
