#pragma once

#include "picturefile/picturerecord.h"

#include <QString>

#include <cstdint>
#include <optional>

// A picture as the window's fields can take it. The export draws views the
// fields cannot hold: by centre and width of any length ("Re", "Im",
// "Width", whose X0 … Y1 are only the nearest doubles) and with an Imax up
// to 2^31 − 1. The window opens them all the same, with what its fields
// hold, and says what they could not.
struct WindowRecord
{
    PictureRecord record;
    bool deepView = false; // the file's pixels are finer than the record's doubles
    std::optional<std::int64_t> imaxBeyondField; // the recorded Imax where above ImaxFieldMax
};

// The largest value of the Imax field; the window's runs count no further.
inline constexpr std::int16_t ImaxFieldMax = 32767;

// As pictureRecordFromTexts, and besides:
// - "Re", "Im" and "Width" each once, with a "Size" (the export writes a
//   deep view at a size of its own): deepView, and the field texts X0 … Y1
//   are the recorded doubles written as the fields show numbers
//   ("X0" "-0.74364388703715904" -> "-0,743643887037159");
// - "Imax" up to 2147483647: above 32767 the drawing's Imax and its field
//   text are 32767, and imaxBeyondField keeps the recorded one.
// Otherwise nullopt and a German reason, e.g. "Der Schlüssel „Width“ fehlt."
std::optional<WindowRecord> windowRecordFromTexts(const PictureTexts &texts, QString *whyNot);
