#include "core/clipboard_hooks.h"

constinit TVXClipboardHooks VXClipboardHooks;
