#pragma once

#include "picturefile/picturerecord.h"

#include <QString>

#include <optional>

class QIODevice;

// A PNG's header and its text chunks ahead of the first IDAT.
struct PngHeaderAndTexts
{
    int width = 0, height = 0;
    int bitDepth = 0, colourType = 0;
    PictureTexts texts; // (keyword, UTF-8 value) in file order
};

// Reads a PNG up to its first IDAT chunk, never the pixels, so it takes the
// same time for a picture of any size: at most PngReadSession::MaxBytesAhead
// bytes and MaxChunksAhead chunks. Checks the signature, every CRC and the
// IHDR; reads tEXt and zTXt (Latin-1, given back as UTF-8) and iTXt,
// compressed or not. On failure nullopt and a German reason in *whyNot,
// e.g. "Die Datei ist kein PNG-Bild."
std::optional<PngHeaderAndTexts> readPngTexts(QIODevice &device, QString *whyNot);
