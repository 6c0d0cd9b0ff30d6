#pragma once
// Allocation of large 24-bit pictures (kept in codec so the image library
// wrappers can use it too).
#include "codec/picture_buffer.h"
