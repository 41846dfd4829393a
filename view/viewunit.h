// The viewer module's start-up and shut-down, called by the library's
// start-up (core/startup.h): they prepare and release the settings' grid
// pen with which the viewers draw the pixel grid.
#pragma once

// The settings' grid pen becomes pmNot, psSolid, width 1.
void StartUpViewUnit();
// Frees the settings' grid pen; without one, does nothing.
void ShutDownViewUnit();
