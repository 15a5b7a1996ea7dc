#pragma once

// Maps an iteration count to the palette index 0..7 (F0..F7) by one fixed
// table: counts 2..400 step down F6..F1 in runs that repeat every hundred,
// some runs ending in F0; 0 and 1 give F7, everything above 400 gives F6.
//   swatchForCount(1) -> 7, swatchForCount(32) -> 0, swatchForCount(201) -> 0,
//   swatchForCount(301) -> 6, swatchForCount(32767) -> 6
int swatchForCount(int count);
