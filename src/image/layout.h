// The layout constants live in board/layout.h, below the image, where the
// simulator can use them too; this path is kept for code written against it.
#pragma once

#include "board/layout.h"
