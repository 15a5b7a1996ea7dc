#pragma once

#include "core/drawing.h"
#include "core/picturecounts.h"

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

// What a picture file records of the run that drew it: the drawing, and
// what a file adds to it.
struct PictureRecord
{
    Drawing drawing;
    bool complete = false; // every column drawn with one section and palette since the last Refresh
    int size = 0; // W of a W × H export (N of N × N); 0 for the window's 400 × 400 picture (the 462 grid)
    int height = 0; // H of a W × H export; 0 with size 0
    bool cycle = false; // counts above 400 went on through the hundred-step colours
    int firstRow = 0, lastRow = -1; // rows of a banded export (lastRow -1: all rows)
    std::optional<PictureCounts> counts; // the window's counters; an export has none
};

inline constexpr int PictureMaxSize = 65536;

using PictureTexts = std::vector<std::pair<QByteArray, QByteArray>>;

// The PNG text chunks of a record, in this order, as (keyword, UTF-8 value):
//   "Software"  "Quirlbau 1.3"
//   "X0" "X1" "Y0" "Y1"  the shortest text that reads back as the same double,
//                        with a full stop whatever the locale (std::to_chars):
//                        -1.4025 -> "-1.4025", 0.0005 -> "5e-04", -1.402 -> "-1.402"
//   "Imax"      "300"
//   "Palette"   eight "#RRGGBB" separated by single spaces, F0 first
//   "Complete"  "yes" or "no"
//   "Field X0" "Field X1" "Field Y0" "Field Y1" "Field Imax"  the field texts
//   "Pixels" "Iterations"  only with counts: "213444" "16313"
//   "Size"      only for exports: "N" for N × N, "WxH" otherwise
//   "Rows"      only for banded exports: "FIRST:LAST"
//   "Cycle"     only when counts above 400 cycled: "yes"
PictureTexts pictureTexts(const PictureRecord &record);

// The record back from the texts of a file, which it distrusts: every key
// present once (other keys are ignored), every value checked (numbers finite
// and read back exactly, Imax within -32768..32767, eight colours, Size
// 1..65536, Rows within Size, Pixels 0..2^31-1 and Iterations together). Otherwise nullopt and a German reason in
// *whyNot, e.g. "Der Wert von X0 ist keine Zahl."
// Whether the texts hold a view by centre and width of any length ("Re",
// "Im", "Width"): its X0 … Y1 are only the nearest doubles, so such a
// picture is refused by pictureRecordFromTexts with a German reason (the
// window takes what its fields hold of it: windowRecordFromTexts).
bool isDeepView(const PictureTexts &texts);

std::optional<PictureRecord> pictureRecordFromTexts(const PictureTexts &texts, QString *whyNot);
