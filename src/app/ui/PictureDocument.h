// The picture document lives with the Qt-free shell; this name is kept for the windows.
#pragma once

#include "app/PictureDocument.h"
