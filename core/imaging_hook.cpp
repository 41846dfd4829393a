#include "core/imaging_hook.h"

constinit TVXImagingHooks VXImagingHooks;
