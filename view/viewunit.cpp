#include "view/viewunit.h"

#include "core/canvas_tools.h"
#include "core/settings.h"
#include "io/codec_table.h"
#include "view/vexlaneview.h"

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
  // Format detection finds layers streams (file type 26) through the
  // viewer's probe; the other operations of the type stay as registered.
  const TVXCodecOps* old = VXFindCodecOps(26);
  TVXCodecOps ops = old != nullptr ? *old : TVXCodecOps{};
  ops.IsStream = &TVexlaneView::IsLayersStream;
  VXSetCodecOps(26, ops);
}

void ShutDownViewUnit() {
  TVXVexlaneGlobalSettings* s = VXGetGlobalSettings();
  TVXPen* pen = s->GridPen();
  if (pen == nullptr) return;
  s->SetGridPen(nullptr);
  delete pen;
}
