// TVXTransitionEffects: the engine that animates the change from one picture
// to another. It holds a source picture, a target picture and the frame
// being composed (24-bit platform bitmaps of one size) and draws the frames
// of one of the catalogue's effects (view/transition_catalogue.h), either on
// a window timer for a duration on one of three timing curves, painting on
// its owner viewer, or one frame at a time at a percentage (CreateBitmap),
// with or without an owner. Progress is a step 0 (the source) .. 1024 (the
// target). User-interface thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "gui/graphics_types.h"
#include "platform/win_geometry.h"
#include "proc/transition_hooks.h"

class TBitmap;
class TCanvas;
class TTimer;
class TVXBitmap;
class TVXView;
class TVXTransitionEffects;

using TVXTransitionStepEvent = std::function<void(void* Sender, int32_t step)>;
using TVXOnTransitionPaint =
    std::function<void(void* Sender, TBitmap* Bitmap, TVXTransitionEffects* Transition, int32_t Step)>;
using TVXTransitionStopEvent = std::function<void(void* Sender)>;

class TVXTransitionEffects : public TVXTransitionFrameMaker {
 public:
  // Owner: the viewer the timed runs paint on; none for frames on demand.
  explicit TVXTransitionEffects(TVXView* Owner = nullptr);
  ~TVXTransitionEffects() override;

  // Stops a run, then sizes the three pictures to Width x Height (the
  // callers paint SourceShot and TargetShot).
  void SetSizes(int32_t Width, int32_t Height);
  // Frames on demand: copies of the two pictures (TargetBitmap at the size
  // of OriginalBitmap) for the CreateBitmap calls that follow. Does nothing
  // for vxttNone.
  void PrepareBitmap(TBitmap* OriginalBitmap, TBitmap* TargetBitmap) override;
  // A timed run from SourceShot to TargetShot on the owner's canvas; with
  // UpdateOnStop the owner is repainted when it ends. A run in progress
  // starts again. Does nothing for vxttNone or a frame of 1 x 1 or less;
  // raises EVXException without an owner.
  void Run(bool UpdateOnStop);
  // Ends a run (timer off, pictures released, the paint lock Run took
  // released, owner updated with UpdateOnStop, OnTransitionStop fired).
  // Does nothing while idle.
  void Stop();
  // The frame at TransitionProgress per cent (limited to 0 .. 100) into
  // DestBitmap, which takes the frame's size and 24 bits. Effects that draw
  // incrementally build on the frames made before.
  void CreateBitmap(float TransitionProgress, TBitmap* DestBitmap) override;

  TBitmap* SourceShot() const { return fSourceShot.get(); }
  TBitmap* TargetShot() const { return fTargetShot.get(); }
  bool Running() const { return fRunning; }
  // The step of the next frame and the frames drawn since the last start.
  int32_t Step() const { return fStep; }
  int32_t Frames() const { return fFrames; }

  TVXTransitionType Transition() const override { return fTransition; }
  void SetTransition(TVXTransitionType Value) override { fTransition = Value; }
  int32_t Duration() const { return fDuration; }
  void SetDuration(int32_t Value) { fDuration = Value; }
  TVXTransitionTiming Timing() const override { return fTiming; }
  void SetTiming(TVXTransitionTiming Value) override { fTiming = Value; }
  TColor Background() const override { return fBackground; }
  void SetBackground(TColor Value) override { fBackground = Value; }
  TVXBitmap* FullImage() const override { return fFullImage; }
  void SetFullImage(TVXBitmap* Value) override { fFullImage = Value; }
  TRect StartRect() const override { return fStartRect; }
  void SetStartRect(const TRect& Value) override { fStartRect = Value; }
  TRect EndRect() const override { return fEndRect; }
  void SetEndRect(const TRect& Value) override { fEndRect = Value; }

  // Sender: the owner.
  TVXTransitionStopEvent OnTransitionStop;
  TVXTransitionStepEvent OnTransitionStep;
  const TVXOnTransitionPaint& OnTransitionPaint() const { return fOnTransitionPaint; }
  void SetOnTransitionPaint(TVXOnTransitionPaint Value) { fOnTransitionPaint = std::move(Value); }

 private:
  void TimerTick();
  // Draws the frame for fStep into fCurrentView and copies it onto Canvas
  // (none: CreateBitmap copies the rows itself).
  // The effects reach the pictures' rows through the bitmaps at every frame,
  // so pictures resized after PrepareBitmap never leave stale rows behind.
  void MakeFrame(TCanvas* Canvas);
  bool CanStart() const;
  // The 46 effects the engine draws itself (transition_effects.cpp); true
  // when Transition is one of them.
  bool DrawOwnEffect();
  void DrawFade();
  void DrawStraightWipe();
  void DrawCornerSlide();
  void DrawPush();
  void DrawRandomPoints();
  void DrawRandomBoxes();
  void DrawCenter();
  void DrawPageFlip(bool Forward);
  void DrawPerspectivePageFlip(bool Forward);
  void DrawCube();
  void DrawSoftWipe();
  // The pan-and-zoom frame for fStep (transition_panzoom.cpp).
  void DrawPanZoom();
  void ResetToSource();
  void PageShade(int32_t Edge, bool Forward);
  void CubeShade(int32_t Edge, bool ByColumns, bool Kind1);

  std::unique_ptr<TBitmap> fSourceShot;
  std::unique_ptr<TBitmap> fTargetShot;
  std::unique_ptr<TBitmap> fCurrentView;
  TVXBitmap* fFullImage = nullptr;
  int32_t fWidth = 0;
  int32_t fHeight = 0;
  bool fRunning = false;
  // Run took the owner's paint lock and Stop has not given it back yet.
  bool fLockTaken = false;
  TVXView* fOwner = nullptr;
  std::unique_ptr<TTimer> fTimer;
  int32_t fStep = 0;
  bool FFirstStep = false;
  int32_t fAccum1 = 0;
  TVXTransitionType fTransition = vxttNone;
  int32_t fDuration = 1000;
  uint32_t fStartTick = 0;
  bool fUpdateOnStop = false;
  TRect fStartRect{};
  TRect fEndRect{};
  TVXTransitionTiming fTiming = vxttLinear;
  TColor fBackground = 0;
  // The smallest and largest source edges pan and zoom has drawn since the
  // last reset.
  int32_t FMinLeft = 0, FMaxLeft = 0, FMinTop = 0, FMaxTop = 0, FMinBottom = 0, FMaxBottom = 0, FMinRight = 0,
          FMaxRight = 0;
  TVXOnTransitionPaint fOnTransitionPaint;
  int32_t fFrames = 0;
};

// Makes an engine without owner for the processing component's transition
// frames (proc/transition_hooks.h); the viewer library's start-up installs it.
std::unique_ptr<TVXTransitionFrameMaker> VXCreateTransitionFrameMaker();
