#pragma once

#include <string>

// A view by its centre and width, each a decimal text of any length in rule
// 1's form, as DeepView reads them; the height follows from the picture's
// shape (width × H / W).
struct ViewTexts
{
    std::string re, im, width;

    bool operator==(const ViewTexts &) const = default;
};
