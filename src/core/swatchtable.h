#pragma once

// Maps an iteration count to the palette index 0..7 (F0..F7) by one fixed
// table: counts 2..400 step down F6..F1 in runs that repeat every hundred,
// some runs ending in F0; 0 and 1 give F7, everything above 400 gives F6.
//   swatchForCount(1) -> 7, swatchForCount(32) -> 0, swatchForCount(201) -> 0,
//   swatchForCount(301) -> 6, swatchForCount(32767) -> 6
int swatchForCount(int count);

// The same, but with `cycle` counts above 400 go on through the hundred-step
// pattern instead of all giving F6: count n > 400 gets the swatch of
// 301 + (n − 301) mod 100.
//   swatchForCount(401, true) -> 6 (as 301), swatchForCount(432, true) -> 0 (as 332)
int swatchForCount(int count, bool cycle);
