// Labels and edit boxes. GUI thread only.
#pragma once

#include "classlib/Controls.h"
#include "classlib/Forms.h"

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

// A one-line edit box (Qt's line edit inside the control's window). OnKeyPress may change
// the typed character or discard it by setting it to 0; OnKeyDown may swallow a key by
// setting it to 0. OnChange follows every change of the text, typed or set.
class TEdit : public TWinControl {
 public:
  explicit TEdit(TComponent* AOwner);
  ~TEdit() override;
  void SetText(const String& v) override;
  Integer MaxLength() const { return maxLength_; }
  void SetMaxLength(Integer v);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);
  bool AutoSelect() const { return autoSelect_; }
  void SetAutoSelect(bool v) { autoSelect_ = v; }
  Integer SelStart() const;
  void SetSelStart(Integer v);
  Integer SelLength() const;
  void SetSelLength(Integer v);
  void SelectAll();
  void Clear() { SetText(""); }
  TNotifyEvent OnChange;

  // Library-internal: the edit's text changed.
  void TextChangedByEdit(const String& v);

 protected:
  virtual void Change();
  void BoundsChanged(const TRect& Old) override;
  void Dispatch(TMessage& Message) override;

 private:
  void ApplyLook();
  Integer maxLength_ = 0;
  bool readOnly_ = false;
  TBorderStyle borderStyle_ = bsSingle;
  bool autoSelect_ = true;
  bool syncing_ = false;
};
