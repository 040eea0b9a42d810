// The platform's common controls: track bar, up-down and list view, drawn by the library.
// GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Controls.h"
#include "classlib/Forms.h"
#include "classlib/Graphics.h"
#include "classlib/Timers.h"

enum TTrackBarOrientation { trHorizontal, trVertical };
enum TTickStyle { tsNone, tsAuto, tsManual };

// A slider over Min .. Max. Position is always kept in the range (Min and Max changes pull
// it in too); every change of Position, by the user or by code, runs OnChange.
class TTrackBar : public TCustomControl {
 public:
  explicit TTrackBar(TComponent* AOwner);
  Integer Min() const { return min_; }
  void SetMin(Integer v);
  Integer Max() const { return max_; }
  void SetMax(Integer v);
  Integer Position() const { return position_; }
  void SetPosition(Integer v);
  Integer Frequency() const { return frequency_; }
  void SetFrequency(Integer v);
  Integer LineSize() const { return lineSize_; }
  void SetLineSize(Integer v) { lineSize_ = v; }
  Integer PageSize() const { return pageSize_; }
  void SetPageSize(Integer v) { pageSize_ = v; }
  TTickStyle TickStyle() const { return tickStyle_; }
  void SetTickStyle(TTickStyle v);
  TTrackBarOrientation Orientation() const { return orientation_; }
  void SetOrientation(TTrackBarOrientation v);
  TNotifyEvent OnChange;

 protected:
  virtual void Changed();
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;

 private:
  TRect ThumbRect() const;
  Integer PositionAt(Integer X, Integer Y) const;
  Integer Length() const;
  Integer min_ = 0, max_ = 10, position_ = 0;
  Integer frequency_ = 1, lineSize_ = 1, pageSize_ = 2;
  TTickStyle tickStyle_ = tsAuto;
  TTrackBarOrientation orientation_ = trHorizontal;
  bool tracking_ = false;
};

// Up-down: two arrow buttons stepping a position between Min and Max by Increment.
enum TUDBtnType { btNext, btPrev };
enum TUDOrientation { udHorizontal, udVertical };
using TUDClickEvent = std::function<void(TObject* Sender, TUDBtnType Button)>;

// Up-down messages of the control's window.
constexpr UINT UDM_SETRANGE = WM_USER + 101;
constexpr UINT UDM_GETRANGE = WM_USER + 102;
constexpr UINT UDM_SETPOS = WM_USER + 103;
constexpr UINT UDM_GETPOS = WM_USER + 104;

// The platform's up-down control. A click on an arrow moves the control's own position by
// Increment (held in range, or wrapped round with Wrap) and tells the parent with
// WM_VSCROLL (WM_HSCROLL when horizontal), code SB_THUMBPOSITION and the new position in
// the high word, then SB_ENDSCROLL. The parent hands that back as CN_VSCROLL (CN_HSCROLL);
// the class's handling compares the new position with the one it knew and runs OnClick
// with btNext (up, greater) or btPrev (down, smaller). A class can handle the
// notifications itself.
class TCustomUpDown : public TCustomControl {
 public:
  explicit TCustomUpDown(TComponent* AOwner);
  Integer Min() const { return min_; }
  void SetMin(Integer v);
  Integer Max() const { return max_; }
  void SetMax(Integer v);
  // The position as the class knows it; the control's own follows UDM_SETPOS.
  Integer Position() const;
  void SetPosition(Integer v);
  Integer Increment() const { return increment_; }
  void SetIncrement(Integer v) { increment_ = v; }
  bool Wrap() const { return wrap_; }
  void SetWrap(bool v) { wrap_ = v; }
  bool ArrowKeys() const { return arrowKeys_; }
  void SetArrowKeys(bool v) { arrowKeys_ = v; }
  TUDOrientation Orientation() const { return orientation_; }
  void SetOrientation(TUDOrientation v);
  TUDClickEvent OnClick;

 protected:
  virtual void Click(TUDBtnType Button);
  void Dispatch(TMessage& Message) override;
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;

 private:
  // One step of the control, as an arrow click makes it.
  void Step(bool up);
  void RepeatTick();
  TTimer* repeat_ = nullptr;
  bool overArrow_ = false;
  Integer min_ = 0, max_ = 100, increment_ = 1;
  Integer position_ = 0;    // the class's
  Integer controlPos_ = 0;  // the control's own
  bool wrap_ = false;
  bool arrowKeys_ = true;
  TUDOrientation orientation_ = udVertical;
  int pressed_ = 0;  // 1 upper arrow, -1 lower arrow
};

class TUpDown : public TCustomUpDown {
 public:
  using TCustomUpDown::TCustomUpDown;
};

// ---------------------------------------------------------------------------------------
// List view (report view: rows of a caption and sub-items under columns).

class TListView;
class TListItems;
enum TDisplayCode { drBounds, drIcon, drLabel, drSelectBounds };

class TListItem : public TPersistent {
 public:
  TListItem(TListItems* AOwner);
  ~TListItem() override;
  const String& Caption() const { return caption_; }
  void SetCaption(const String& v);
  // Texts of the columns after the first; changing them repaints the row.
  TStrings* SubItems() const { return subItems_.get(); }
  void SetSubItems(TStrings* v) { subItems_->Assign(v); }
  Integer ImageIndex() const { return imageIndex_; }
  void SetImageIndex(Integer v);
  bool Selected() const { return selected_; }
  void SetSelected(bool v);
  bool Focused() const { return focused_; }
  void SetFocused(bool v);
  void* Data() const { return data_; }
  void SetData(void* v) { data_ = v; }
  Integer Index() const;
  TListItems* Owner() const { return owner_; }
  TListView* ListView() const;
  // In the list's client coordinates.
  TRect DisplayRect(TDisplayCode Code) const;
  // Frees the item.
  void Delete();

 private:
  friend class TListItems;
  friend class TListView;
  TListItems* owner_;
  String caption_;
  std::unique_ptr<TStringList> subItems_;
  Integer imageIndex_ = -1;
  bool selected_ = false;
  bool focused_ = false;
  void* data_ = nullptr;
};

// The items of a list view, owned by it. A bad index raises EListError.
class TListItems : public TPersistent {
 public:
  explicit TListItems(TListView* AOwner) : owner_(AOwner) {}
  ~TListItems() override;
  Integer Count() const { return static_cast<Integer>(items_.size()); }
  TListItem* Item(Integer Index) const;
  TListItem* operator[](Integer Index) const { return Item(Index); }
  TListItem* Add();
  TListItem* Insert(Integer Index);
  void Delete(Integer Index);
  void Clear();
  Integer IndexOf(const TListItem* Value) const;
  // Inside a bracket the list neither repaints nor sorts; the closing EndUpdate does both
  // once.
  void BeginUpdate();
  void EndUpdate();
  TListView* Owner() const { return owner_; }

 private:
  friend class TListView;
  friend class TListItem;
  TListView* owner_;
  std::vector<TListItem*> items_;
};

class TListColumns;
class TListColumn : public TPersistent {
 public:
  explicit TListColumn(TListColumns* AOwner) : owner_(AOwner) {}
  const String& Caption() const { return caption_; }
  void SetCaption(const String& v);
  Integer Width() const { return width_; }
  void SetWidth(Integer v);
  Integer MinWidth() const { return minWidth_; }
  void SetMinWidth(Integer v);
  Integer MaxWidth() const { return maxWidth_; }
  void SetMaxWidth(Integer v);
  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment v);
  Integer Index() const;

 private:
  void Changed();
  TListColumns* owner_;
  String caption_;
  Integer width_ = 50;
  Integer minWidth_ = 0;
  Integer maxWidth_ = 0;
  TAlignment alignment_ = taLeftJustify;
};

class TListColumns : public TPersistent {
 public:
  explicit TListColumns(TListView* AOwner) : owner_(AOwner) {}
  ~TListColumns() override;
  Integer Count() const { return static_cast<Integer>(columns_.size()); }
  TListColumn* Items(Integer Index) const;
  TListColumn* Add();
  void Clear();
  TListView* Owner() const { return owner_; }

 private:
  friend class TListColumn;
  TListView* owner_;
  std::vector<std::unique_ptr<TListColumn>> columns_;
};

enum TViewStyle { vsIcon, vsSmallIcon, vsList, vsReport };
enum TSortType { stNone, stData, stText, stBoth };
enum TCustomDrawStateItem {
  cdsSelected,
  cdsGrayed,
  cdsDisabled,
  cdsChecked,
  cdsFocused,
  cdsDefault,
  cdsHot,
  cdsMarked,
  cdsIndeterminate
};
using TCustomDrawState = TSet<TCustomDrawStateItem>;
enum TItemStateItem { isNone, isCut, isDropHilited, isFocused, isSelected, isActivating };
using TItemStates = TSet<TItemStateItem>;

using TLVCompareEvent = std::function<void(TObject* Sender, TListItem* Item1, TListItem* Item2,
                                           Integer Data, Integer& Compare)>;
using TLVCustomDrawItemEvent = std::function<void(TListView* Sender, TListItem* Item,
                                                  TCustomDrawState State, bool& DefaultDraw)>;
using TLVInfoTipEvent = std::function<void(TObject* Sender, TListItem* Item, String& InfoTip)>;
using TLVColumnClickEvent = std::function<void(TObject* Sender, TListColumn* Column)>;
using TLVSelectItemEvent = std::function<void(TObject* Sender, TListItem* Item, bool Selected)>;
// Answers < 0, 0 or > 0 for the order of two items.
using TLVCompare = std::function<Integer(TListItem* Item1, TListItem* Item2, Integer Data)>;

// The list view in report view. Rows that do not fit scroll (a scroll bar at the right
// edge, the wheel, the keys). Rows are drawn by the library, or by OnCustomDrawItem on
// Canvas (setting DefaultDraw to false leaves the row to it). With SortType stText or
// stBoth the list keeps itself sorted: every caption change sorts again (OnCompare when
// assigned, else the captions).
class TListView : public TCustomControl {
 public:
  explicit TListView(TComponent* AOwner);
  ~TListView() override;
  TListItems* Items() const { return items_.get(); }
  TListColumns* Columns() const { return columns_.get(); }
  TViewStyle ViewStyle() const { return viewStyle_; }
  void SetViewStyle(TViewStyle v) { viewStyle_ = v; }
  bool MultiSelect() const { return multiSelect_; }
  void SetMultiSelect(bool v);
  bool RowSelect() const { return rowSelect_; }
  void SetRowSelect(bool v);
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool v) { readOnly_ = v; }
  bool HideSelection() const { return hideSelection_; }
  void SetHideSelection(bool v);
  bool ShowColumnHeaders() const { return showColumnHeaders_; }
  void SetShowColumnHeaders(bool v);
  bool ColumnClick() const { return columnClick_; }
  void SetColumnClick(bool v) { columnClick_ = v; }
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);
  TImageList* SmallImages() const { return smallImages_; }
  void SetSmallImages(TImageList* v);
  TSortType SortType() const { return sortType_; }
  void SetSortType(TSortType v);
  // The first selected item, or null; setting it selects only that one.
  TListItem* Selected() const;
  void SetSelected(TListItem* v);
  Integer SelCount() const;
  TListItem* ItemFocused() const;
  void SetItemFocused(TListItem* v);
  TListItem* TopItem() const;
  TListItem* GetItemAt(Integer X, Integer Y) const;
  // The next item after StartItem (null: from the start) that has one of the states.
  TListItem* GetNextItem(TListItem* StartItem, TItemStates States) const;
  void ClearSelection();
  bool AlphaSort();
  bool CustomSort(TLVCompare SortProc, Integer Data);
  TCanvas* Canvas() { return TCustomControl::Canvas(); }
  // Height of a row and of the header (0 when hidden).
  Integer RowHeight() const;
  Integer HeaderHeight() const;
  String TipAt(const TPoint& P) override;
  // Nothing is repainted inside an update bracket.
  void Invalidate() override;

  TLVCompareEvent OnCompare;
  TLVCustomDrawItemEvent OnCustomDrawItem;
  TLVInfoTipEvent OnInfoTip;
  TLVColumnClickEvent OnColumnClick;
  TLVSelectItemEvent OnSelectItem;

  // Library-internal.
  void ItemChanged(TListItem* Item, bool CaptionChanged);
  void ItemSelecting(TListItem* Item, bool Selected);
  void ItemFocusing(TListItem* Item);
  void ItemRemoving(TListItem* Item);
  void UpdatesChanged(bool Updating);
  void ColumnsChanged() { Invalidate(); }

 protected:
  void Paint() override;
  void MouseDown(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  void KeyDown(Word& Key, TShiftState Shift) override;
  void MouseMove(TShiftState Shift, Integer X, Integer Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, Integer X, Integer Y) override;
  bool DragStartsAt(Integer X, Integer Y) override;
  void Dispatch(TMessage& Message) override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  virtual void DrawItemDefault(TListItem* Item, TCustomDrawState State);

 private:
  friend class TListItem;
  void Sort(const std::function<Integer(TListItem*, TListItem*)>& compare);
  Integer CompareItems(TListItem* a, TListItem* b);
  void EnsureVisible(Integer index);
  Integer VisibleRows() const;
  Integer ColumnsWidth() const;
  void MoveFocus(Integer index, TShiftState Shift);
  bool ScrollShown() const;
  TRect ScrollRect() const;
  void SetTop(Integer index);
  Integer thumbGrab_ = -1;
  std::unique_ptr<TListItems> items_;
  std::unique_ptr<TListColumns> columns_;
  TViewStyle viewStyle_ = vsReport;
  bool multiSelect_ = false;
  bool rowSelect_ = false;
  bool readOnly_ = false;
  bool hideSelection_ = true;
  bool showColumnHeaders_ = true;
  bool columnClick_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  TImageList* smallImages_ = nullptr;
  TSortType sortType_ = stNone;
  Integer updating_ = 0;
  bool sortPending_ = false;
  bool selecting_ = false;
  Integer topIndex_ = 0;
  Integer anchor_ = -1;
  TListItem* collapseTo_ = nullptr;
};
