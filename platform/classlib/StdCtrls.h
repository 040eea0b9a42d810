// Labels and edit boxes. GUI thread only.
#pragma once

#include "classlib/Controls.h"
#include "classlib/Forms.h"

#include <functional>
#include <memory>

enum TTextLayout { tlTop, tlCenter, tlBottom };

// Text drawn in the parent's surface. With AutoSize the label takes the size of its text
// (a right-aligned label keeps its right edge); a transparent label leaves what lies
// beneath it; "&" marks an accelerator and "&&" shows one "&".
class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool v);
  TTextLayout Layout() const { return layout_; }
  void SetLayout(TTextLayout v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  bool ShowAccelChar() const { return showAccelChar_; }
  void SetShowAccelChar(bool v);

 protected:
  void Paint() override;
  void CMTextChanged(TMessage& Message) override;
  void CMFontChanged(TMessage& Message) override;

 private:
  void AdjustBounds();
  String DisplayText() const;
  std::vector<String> Lines(TCanvas* c) const;
  TAlignment alignment_ = taLeftJustify;
  bool autoSize_ = true;
  bool transparent_ = false;
  TTextLayout layout_ = tlTop;
  bool wordWrap_ = false;
  bool showAccelChar_ = true;
};

// Edit styles of the creation parameters.
constexpr DWORD ES_LEFT = 0x0000;
constexpr DWORD ES_CENTER = 0x0001;
constexpr DWORD ES_RIGHT = 0x0002;
constexpr DWORD ES_MULTILINE = 0x0004;
constexpr DWORD ES_AUTOHSCROLL = 0x0080;
constexpr DWORD ES_READONLY = 0x0800;
// Edit messages: the formatting rectangle (LParam points to a RECT in client coordinates).
constexpr UINT EM_GETRECT = 0x00B2;
constexpr UINT EM_SETRECT = 0x00B3;
constexpr UINT EM_SETRECTNP = 0x00B4;

// A one-line edit box (Qt's line edit inside the control's window). OnKeyPress may change
// the typed character or discard it by setting it to 0; OnKeyDown may swallow a key by
// setting it to 0. OnChange follows every change of the text, typed or set.
//
// The clipboard keys arrive as WM_PASTE, WM_CUT and WM_COPY, which a class may refuse by
// handling them itself. The window's style comes from CreateParams when the control gets
// its parent (and again on RecreateWnd): the alignment style, and ES_MULTILINE, without
// which the formatting rectangle (EM_SETRECT, EM_SETRECTNP) is ignored, as the platform
// ignores it for one-line edits.
class TCustomEdit : public TWinControl {
 public:
  explicit TCustomEdit(TComponent* AOwner);
  ~TCustomEdit() override;
  void SetText(const String& v) override;
  void SetParent(TWinControl* AParent) override;
  // Limits what the user types or pastes (0: no limit), not the text set by the program.
  Integer MaxLength() const { return maxLength_; }
  void SetMaxLength(Integer v);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);
  // The sunken 3D border (CM_CTL3DCHANGED follows a change).
  bool Ctl3D() const { return ctl3D_; }
  void SetCtl3D(bool v) {
    if (v == ctl3D_) return;
    ctl3D_ = v;
    Perform(CM_CTL3DCHANGED, 0, 0);
  }
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool v) { autoSelect_ = v; }
  bool Modified() const { return modified_; }
  void SetModified(bool v) { modified_ = v; }
  Integer SelStart() const;
  void SetSelStart(Integer v);
  Integer SelLength() const;
  void SetSelLength(Integer v);
  void SelectAll();
  void Clear() { SetText(""); }
  void PasteFromClipboard() { Perform(WM_PASTE, 0, 0); }
  void CutToClipboard() { Perform(WM_CUT, 0, 0); }
  void CopyToClipboard() { Perform(WM_COPY, 0, 0); }
  // The style the window was made with (CreateParams).
  DWORD WindowStyle() const { return style_; }
  // The formatting rectangle: where the text is laid out, in client coordinates.
  TRect FormattingRect() const;
  TNotifyEvent OnChange;

  // Library-internal: the edit's text changed; how many characters the user may still
  // enter (over the selection).
  void TextChangedByEdit(const String& v);
  Integer Room() const;

 protected:
  virtual void Change();
  virtual void CreateParams(TCreateParams& Params);
  virtual void CreateWnd();
  // Makes the window again from CreateParams (a style changed).
  void RecreateWnd();
  void BoundsChanged(const TRect& Old) override;
  void Dispatch(TMessage& Message) override;
  TAlignment EditAlignment() const { return alignment_; }
  void SetEditAlignment(TAlignment v);

 private:
  void ApplyLook();
  void ApplyFormattingRect();
  Integer maxLength_ = 0;
  bool readOnly_ = false;
  TBorderStyle borderStyle_ = bsSingle;
  bool ctl3D_ = true;
  bool autoSelect_ = true;
  bool modified_ = false;
  bool syncing_ = false;
  bool created_ = false;
  TAlignment alignment_ = taLeftJustify;
  DWORD style_ = 0;
  bool hasRect_ = false;
  TRect rect_;
};

class TEdit : public TCustomEdit {
 public:
  using TCustomEdit::TCustomEdit;
};

// A check box; setting Checked (or State) to a new value runs OnClick, as a click does.
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
class TCheckBox : public TCustomControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  bool Checked() const { return state_ == cbChecked; }
  void SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }
  TCheckBoxState State() const { return state_; }
  void SetState(TCheckBoxState v);
  bool AllowGrayed() const { return allowGrayed_; }
  void SetAllowGrayed(bool v) { allowGrayed_ = v; }
  // taRightJustify (the default): the caption right of the box.
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);

 protected:
  void Paint() override;
  void Click() override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;

 private:
  TCheckBoxState state_ = cbUnchecked;
  bool allowGrayed_ = false;
  bool toggling_ = false;
  TAlignment alignment_ = taRightJustify;
};

// A radio button; the radio buttons of one parent form a group: checking one unchecks the
// others. Becoming checked runs OnClick, whether by a click or by setting Checked.
class TRadioButton : public TCustomControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  bool Checked() const { return checked_; }
  void SetChecked(bool v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);

 protected:
  void Paint() override;
  void Click() override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;

 private:
  bool checked_ = false;
  TAlignment alignment_ = taRightJustify;
};

// A frame with a caption that holds other controls.
class TGroupBox : public TCustomControl {
 public:
  explicit TGroupBox(TComponent* AOwner);

 protected:
  void Paint() override;
};

// The list of a list box or combo box: a string list whose changes the control follows.
// Index errors raise EListError "List index out of bounds (%d)".
class TControlStrings : public TStringList {
 public:
  explicit TControlStrings(std::function<void()> changed) : changed_(std::move(changed)) {}

 protected:
  void Changed() override {
    TStringList::Changed();
    if (changed_) changed_();
  }

 private:
  std::function<void()> changed_;
};

enum TOwnerDrawStateItem {
  odSelected,
  odGrayed,
  odDisabled,
  odChecked,
  odFocused,
  odDefault,
  odComboBoxEdit
};
using TOwnerDrawState = TSet<TOwnerDrawStateItem>;
using TDrawItemEvent =
    std::function<void(TWinControl* Control, Integer Index, TRect Rect, TOwnerDrawState State)>;
enum TListBoxStyle { lbStandard, lbOwnerDrawFixed };

// A list of text lines, one selected (ItemIndex, -1 for none); rows that do not fit scroll
// (a scroll bar at the right edge, the wheel, the keys). Owner-drawn fixed rows
// (lbOwnerDrawFixed) are ItemHeight high and drawn by OnDrawItem on the canvas, which is
// prepared with the list's font and colour (highlight colours for the selected row).
class TListBox : public TCustomControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;
  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* v) { items_->Assign(v); }
  Integer ItemIndex() const { return itemIndex_; }
  void SetItemIndex(Integer v);
  Integer Count() const { return items_->Count(); }
  void Clear() { items_->Clear(); }
  TListBoxStyle Style() const { return style_; }
  void SetStyle(TListBoxStyle v);
  Integer ItemHeight() const;
  void SetItemHeight(Integer v);
  bool IntegralHeight() const { return integralHeight_; }
  // Only whole rows are drawn.
  void SetIntegralHeight(bool v) {
    integralHeight_ = v;
    Invalidate();
  }
  // The first row shown.
  Integer TopIndex() const { return topIndex_; }
  void SetTopIndex(Integer v);
  Integer ItemAtPos(const TPoint& Pos, bool Existing) const;
  TRect ItemRect(Integer Index) const;
  TDrawItemEvent OnDrawItem;

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  bool DragStartsAt(Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void Dispatch(TMessage& Message) override;
  virtual void DrawItem(Integer Index, const TRect& Rect, TOwnerDrawState State);

 private:
  void ItemsChanged();
  Integer VisibleRows() const;
  bool ScrollShown() const;
  TRect ScrollRect() const;
  Integer thumbGrab_ = -1;
  std::unique_ptr<TControlStrings> items_;
  Integer itemIndex_ = -1;
  Integer topIndex_ = 0;
  TListBoxStyle style_ = lbStandard;
  Integer itemHeight_ = 13;
  bool integralHeight_ = false;
};

enum TComboBoxStyle { csDropDown, csDropDownList };

// A drop-down list (Qt's combo box inside the control's window). A choice made by the user
// runs OnChange, then OnClick; setting ItemIndex or Text from code runs neither.
class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TStrings* Items() const { return items_.get(); }
  void SetItems(TStrings* v) { items_->Assign(v); }
  Integer ItemIndex() const;
  void SetItemIndex(Integer v);
  void SetText(const String& v) override;
  TComboBoxStyle Style() const { return style_; }
  void SetStyle(TComboBoxStyle v);
  Integer DropDownCount() const { return dropDownCount_; }
  void SetDropDownCount(Integer v);
  void Clear() { items_->Clear(); }
  TNotifyEvent OnChange;

  // Library-internal: the user chose an entry.
  virtual void Chosen(Integer Index);

 protected:
  virtual void Change();
  void BoundsChanged(const TRect& Old) override;
  void Dispatch(TMessage& Message) override;
  void SyncItems();

 private:
  void ApplyLook();
  std::unique_ptr<TControlStrings> items_;
  TComboBoxStyle style_ = csDropDown;
  Integer dropDownCount_ = 8;
  bool syncing_ = false;
};

enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };

// Lines of text in a box with scroll bars (Qt's text box inside the control's window).
class TMemo : public TWinControl {
 public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;
  TStrings* Lines() const { return lines_.get(); }
  void SetLines(TStrings* v) { lines_->Assign(v); }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  TScrollStyle ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollStyle v);
  bool WordWrap() const { return wordWrap_; }
  void SetWordWrap(bool v);
  void Clear() { lines_->Clear(); }
  // The whole text, kept exactly as set: a final line break stays (the lines then end with
  // an empty one) and none is added.
  void SetText(const String& v) override;

  // Library-internal: the user changed the text.
  void TextChangedByEdit(const String& v);

 protected:
  void BoundsChanged(const TRect& Old) override;
  void Dispatch(TMessage& Message) override;

 private:
  void ApplyLook();
  void LinesChanged();
  std::unique_ptr<TControlStrings> lines_;
  bool readOnly_ = false;
  TScrollStyle scrollBars_ = ssNone;
  bool wordWrap_ = true;
  bool syncing_ = false;
};
