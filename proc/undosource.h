// Where an undo entry came from, and the event that asks for a snapshot:
// shared by the processing component and the viewers that pass the event on.
#pragma once
#include <functional>

enum TVXUndoSource { vxuUnknown, vxuImage, vxuSelection, vxuObject, vxuLayer, vxuFullLayer, vxuObjectsAndLayers };

// (Sender, Source): an undo snapshot was requested.
using TVXSaveUndoEvent = std::function<void(void* Sender, TVXUndoSource Source)>;
