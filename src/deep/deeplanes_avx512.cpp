// Eight double lanes in one AVX-512 register, the reference's points
// gathered; built with -mavx512f and its companions (no FMA: the error bound
// holds for the written operations only).
#include "deep/deeplanes.h"

void runLanesAvx512(const LaneJob &job)
{
    DeepLanes<8>(job).run();
}
