// What the screen shows at this moment, through GDI.
#pragma once

#include "png_writer.h"

namespace extractor::test {

// An empty image when the screen cannot be read.
RgbImage captureScreen();

}  // namespace extractor::test
