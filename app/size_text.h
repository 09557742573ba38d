// A byte count as every window of the program shows it ("1.5 GB").
#pragma once

#include <QString>

#include <cstdint>

#include "catalogue/display_format.h"

inline QString SizeText(uint64_t bytes)
{
    return QString::fromStdString(vexlo::catalogue::SizeText(static_cast<int64_t>(bytes)));
}
