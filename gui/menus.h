// Menus: items with captions, check marks and click events, and the pop-up
// menu a control opens at the mouse. Headless there is nobody to choose:
// a pop-up menu closes without a choice unless the forms driver chose an
// item of it (VXFormDriver::ChooseMenuItem).
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "gui/component.h"
#include "gui/graphics.h"

class TCustomImageList;

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner = nullptr);
  // Frees the sub-items it holds.
  ~TMenuItem() override;
  const std::string& Caption() const { return fCaption; }
  void SetCaption(const std::string& v) { fCaption = v; }
  bool Checked() const { return fChecked; }
  // A checked radio item unchecks the other radio items of its group.
  void SetChecked(bool v);
  bool Enabled() const { return fEnabled; }
  void SetEnabled(bool v) { fEnabled = v; }
  bool Visible() const { return fVisible; }
  void SetVisible(bool v) { fVisible = v; }
  bool RadioItem() const { return fRadioItem; }
  void SetRadioItem(bool v) { fRadioItem = v; }
  uint8_t GroupIndex() const { return fGroupIndex; }
  void SetGroupIndex(uint8_t v) { fGroupIndex = v; }
  // A click toggles Checked first.
  bool AutoCheck() const { return fAutoCheck; }
  void SetAutoCheck(bool v) { fAutoCheck = v; }
  bool Default() const { return fDefault; }
  void SetDefault(bool v) { fDefault = v; }
  int ImageIndex() const { return fImageIndex; }
  void SetImageIndex(int v) { fImageIndex = v; }
  const std::string& Hint() const { return fHint; }
  void SetHint(const std::string& v) { fHint = v; }
  // "-" makes a separator.
  bool IsLine() const { return fCaption == "-"; }

  int Count() const { return int(fItems.size()); }
  TMenuItem* Items(int Index) const;
  TMenuItem* Parent() const { return fParent; }
  // Takes Item in (it leaves its former parent); the item is then freed
  // with this one unless removed.
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  // Takes Item out without freeing it.
  void Remove(TMenuItem* Item);
  // Frees sub-item Index (and Clear all of them).
  void Delete(int Index);
  void Clear();
  int IndexOf(const TMenuItem* Item) const;
  // What a choice of the item does: with AutoCheck toggles Checked, then
  // OnClick; nothing for a disabled item.
  virtual void Click();
  TNotifyEvent OnClick;

 private:
  std::string fCaption;
  bool fChecked = false, fEnabled = true, fVisible = true, fRadioItem = false, fAutoCheck = false, fDefault = false;
  uint8_t fGroupIndex = 0;
  int fImageIndex = -1;
  std::string fHint;
  TMenuItem* fParent = nullptr;
  std::vector<TMenuItem*> fItems;
};

class TMenu : public TComponent {
 public:
  explicit TMenu(TComponent* AOwner = nullptr);
  ~TMenu() override;
  // The root item; its sub-items are the menu's items.
  TMenuItem* Items() { return fItems.get(); }
  TCustomImageList* Images() const { return fImages; }
  void SetImages(TCustomImageList* v);
  // Whether Item belongs to this menu (at any depth).
  bool Contains(const TMenuItem* Item) const;
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  std::unique_ptr<TMenuItem> fItems;
  TCustomImageList* fImages = nullptr;
};

enum TPopupAlignment { paLeft, paRight, paCenter };

class TPopupMenu : public TMenu {
 public:
  explicit TPopupMenu(TComponent* AOwner = nullptr);
  // Opens with a right click on a control that has the menu.
  bool AutoPopup() const { return fAutoPopup; }
  void SetAutoPopup(bool v) { fAutoPopup = v; }
  TPopupAlignment Alignment() const { return fAlignment; }
  void SetAlignment(TPopupAlignment v) { fAlignment = v; }
  // The control the menu was last opened for.
  TComponent* PopupComponent() const { return fPopupComponent; }
  void SetPopupComponent(TComponent* v) { fPopupComponent = v; }
  // The screen point of the last Popup.
  TPoint PopupPoint() const { return fPopupPoint; }
  // Opens the menu at a screen point: OnPopup, then the person's choice
  // (an enabled, visible item) is clicked after the menu closed.
  virtual void Popup(int X, int Y);
  TNotifyEvent OnPopup;
  TNotifyEvent OnClose;

 private:
  bool fAutoPopup = true;
  TPopupAlignment fAlignment = paLeft;
  TComponent* fPopupComponent = nullptr;
  TPoint fPopupPoint{0, 0};
};
