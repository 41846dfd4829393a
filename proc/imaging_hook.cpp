#include "proc/imaging_hook.h"

constinit TVXImagingHooks VXImagingHooks;
