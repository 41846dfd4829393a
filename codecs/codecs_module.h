// Start-up and shut-down of the codec library: each codec fills the I/O
// component's operations of its file types (io/codec_table.h).
#pragma once

void VXCodecsStartup();
void VXCodecsShutdown();
