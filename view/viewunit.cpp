#include "view/viewunit.h"

#include "core/canvas_tools.h"
#include "core/settings.h"

void StartUpViewUnit() {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  TVXPen* pen = s->GridPen();
  if (pen == nullptr) {
    // The settings make the pen with themselves; one freed by an earlier
    // shut-down is made again.
    pen = new TVXPen(nullptr);
    s->SetGridPen(pen);
  }
  pen->SetMode(pmNot);
  pen->SetStyle(psSolid);
  pen->SetWidth(1);
}

void ShutDownViewUnit() {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  TVXPen* pen = s->GridPen();
  if (pen == nullptr) return;
  s->SetGridPen(nullptr);
  delete pen;
}
