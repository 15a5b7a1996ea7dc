#pragma once

#include <QImage>

// The program's icon: the Mandelbrot set in the standard palette, computed
// by the program's own kernel, as an 8-bit indexed picture.
QImage mandelbrotIcon(int side = 300);
