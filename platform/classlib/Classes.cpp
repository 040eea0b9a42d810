#include "classlib/Classes.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

// ---------------------------------------------------------------------------------------
// Error report and the GUI thread.

namespace {

std::mutex g_report_mutex;
std::function<void(TObject*)> g_report;
std::atomic<DWORD> g_main_thread{0};
std::once_flag g_dispatch_hook_once;

void InstallDispatchHook() {
  // Window procedures that the platform runs for us (posted and cross-thread messages,
  // timers) report through the same error report as everything else.
  std::call_once(g_dispatch_hook_once,
                 [] { win32::SetDispatchExceptionHandler([] { HandleExceptionNow(nullptr); }); });
}

void EnsureMainThread() {
  if (g_main_thread.load() == 0) SetMainThreadID();
}

}  // namespace

void SetApplicationHandleException(std::function<void(TObject* Sender)> Handler) {
  InstallDispatchHook();
  std::lock_guard<std::mutex> lock(g_report_mutex);
  g_report = std::move(Handler);
}

String CurrentExceptionMessage() {
  try {
    throw;
  } catch (const Exception& e) {
    return e.Message();
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "Unknown exception";
  }
}

void HandleExceptionNow(TObject* Sender) {
  try {
    throw;
  } catch (const EAbort&) {
    return;  // the silent exception: the operation stops, nobody is told
  } catch (...) {
  }
  std::function<void(TObject*)> report;
  {
    std::lock_guard<std::mutex> lock(g_report_mutex);
    report = g_report;
  }
  if (report) {
    try {
      report(Sender);
      return;
    } catch (...) {
      // A failing report must not take the program down; fall back to standard error.
    }
  }
  std::fprintf(stderr, "%s\n", CurrentExceptionMessage().c_str());
}

DWORD MainThreadID() {
  return g_main_thread.load();
}

void SetMainThreadID() {
  g_main_thread = GetCurrentThreadId();
  // Workers hand calls to this thread through its queue: it must exist before they do.
  win32::ThreadMessageFd();
  InstallDispatchHook();
}

bool IsMainThread() {
  DWORD id = g_main_thread.load();
  return id != 0 && id == GetCurrentThreadId();
}

// ---------------------------------------------------------------------------------------
// TPersistent

void TPersistent::Assign(TPersistent* Source) {
  if (Source) {
    Source->AssignTo(this);
  } else {
    AssignError(nullptr);
  }
}

void TPersistent::AssignTo(TPersistent* Dest) {
  Dest->AssignError(this);
}

void TPersistent::AssignError(TPersistent* Source) {
  String source_name = Source ? Source->ClassName() : String("nil");
  throw EConvertError("Cannot assign a %s to a %s", source_name, ClassName());
}

// ---------------------------------------------------------------------------------------
// TComponent

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked; each answer removes its link, so loop until none is left.
  while (!free_notifies_.empty()) {
    TComponent* other = free_notifies_.back();
    free_notifies_.pop_back();
    auto& back = other->free_notifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::Components(Integer Index) const {
  if (Index < 0 || Index >= ComponentCount()) ListIndexError(Index);
  return components_[static_cast<std::size_t>(Index)];
}

Integer TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<Integer>(it - list.begin());
}

void TComponent::ValidateRename(TComponent* AComponent, const String& CurName,
                                const String& NewName) {
  if (NewName.empty() || SameText(CurName, NewName)) return;
  TComponent* found = FindComponent(NewName);
  if (found && found != AComponent) {
    throw EComponentError("A component named %s already exists", NewName);
  }
}

void TComponent::SetName(const String& NewName) {
  if (name_ == NewName) return;
  if (owner_) owner_->ValidateRename(this, name_, NewName);
  name_ = NewName;
}

void TComponent::Insert(TComponent* AComponent) {
  components_.push_back(AComponent);
  AComponent->owner_ = this;
}

void TComponent::Remove(TComponent* AComponent) {
  auto it = std::find(components_.begin(), components_.end(), AComponent);
  if (it != components_.end()) components_.erase(it);
  AComponent->owner_ = nullptr;
}

void TComponent::InsertComponent(TComponent* AComponent) {
  if (!AComponent) return;
  if (AComponent->owner_) AComponent->owner_->RemoveComponent(AComponent);
  ValidateRename(AComponent, String(), AComponent->name_);
  Insert(AComponent);
  Notification(AComponent, opInsert);
}

void TComponent::RemoveComponent(TComponent* AComponent) {
  if (!AComponent || AComponent->owner_ != this) return;
  Notification(AComponent, opRemove);
  Remove(AComponent);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* last = components_.back();
    Remove(last);
    delete last;
  }
}

TComponent* TComponent::FindComponent(const String& AName) const {
  if (AName.empty()) return nullptr;
  for (TComponent* c : components_) {
    if (SameText(c->name_, AName)) return c;
  }
  return nullptr;
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (!AComponent || AComponent == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), AComponent) == free_notifies_.end()) {
    free_notifies_.push_back(AComponent);
    AComponent->free_notifies_.push_back(this);
  }
  state_.Include(csFreeNotification);
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (!AComponent) return;
  auto drop = [](std::vector<TComponent*>& list, TComponent* c) {
    list.erase(std::remove(list.begin(), list.end(), c), list.end());
  };
  drop(free_notifies_, AComponent);
  drop(AComponent->free_notifies_, this);
}

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  if (Operation == opRemove && AComponent) RemoveFreeNotification(AComponent);
  // Back to front: a component that reacts by deleting itself leaves the ones not yet told
  // in place.
  for (std::size_t i = components_.size(); i > 0; --i) {
    if (i - 1 < components_.size()) components_[i - 1]->Notification(AComponent, Operation);
  }
}

void TComponent::CollectLoading(std::vector<TComponent*>& Out) {
  Out.push_back(this);
  for (TComponent* c : components_) c->CollectLoading(Out);
}

void TComponent::BeginLoading() {
  std::vector<TComponent*> all;
  CollectLoading(all);
  for (TComponent* c : all) c->state_.Include(csLoading).Include(csReading);
}

void TComponent::EndLoading() {
  std::vector<TComponent*> all;
  CollectLoading(all);
  for (TComponent* c : all) c->state_.Exclude(csReading);
  for (TComponent* c : all) {
    c->state_.Exclude(csLoading);
    c->Loaded();
  }
}

void TComponent::Loaded() {
  state_.Exclude(csLoading);
}

void TComponent::Destroying() {
  if (state_.Contains(csDestroying)) return;
  state_.Include(csDestroying);
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::SetDesigning(bool Value) {
  SetComponentStateFlag(csDesigning, Value);
}

void TComponent::SetComponentStateFlag(TComponentStateItem Item, bool Value) {
  if (Value) {
    state_.Include(Item);
  } else {
    state_.Exclude(Item);
  }
}

// ---------------------------------------------------------------------------------------
// Utility windows

HWND AllocateHWnd(TWndMethod Method) {
  EnsureMainThread();
  auto method = std::make_shared<TWndMethod>(std::move(Method));
  HWND wnd = CreateWindowWithProc([method](HWND, UINT msg, WPARAM wParam, LPARAM lParam) {
    TMessage m;
    m.Msg = msg;
    m.WParam = wParam;
    m.LParam = lParam;
    try {
      if (*method) (*method)(m);
    } catch (...) {
      HandleExceptionNow(nullptr);
      return LRESULT{0};
    }
    return m.Result;
  });
  if (wnd == 0) throw EOutOfResources("Error creating window");
  return wnd;
}

void DeallocateHWnd(HWND Wnd) {
  if (Wnd) DestroyWindow(Wnd);
}

// ---------------------------------------------------------------------------------------
// TList

void TList::Check(Integer Index) const {
  if (Index < 0 || Index >= Count()) ListIndexError(Index);
}

Integer TList::Add(void* Item) {
  items_.push_back(Item);
  return Count() - 1;
}

void TList::Insert(Integer Index, void* Item) {
  if (Index < 0 || Index > Count()) ListIndexError(Index);
  items_.insert(items_.begin() + Index, Item);
}

void TList::Delete(Integer Index) {
  Check(Index);
  items_.erase(items_.begin() + Index);
}

Integer TList::Remove(void* Item) {
  Integer i = IndexOf(Item);
  if (i >= 0) Delete(i);
  return i;
}

Integer TList::IndexOf(void* Item) const {
  auto it = std::find(items_.begin(), items_.end(), Item);
  return it == items_.end() ? -1 : static_cast<Integer>(it - items_.begin());
}

void TList::Clear() {
  items_.clear();
}

void TList::Exchange(Integer Index1, Integer Index2) {
  Check(Index1);
  Check(Index2);
  std::swap(items_[static_cast<std::size_t>(Index1)], items_[static_cast<std::size_t>(Index2)]);
}

void TList::Move(Integer CurIndex, Integer NewIndex) {
  if (CurIndex == NewIndex) return;
  Check(NewIndex);
  void* item = Items(CurIndex);
  items_.erase(items_.begin() + CurIndex);
  items_.insert(items_.begin() + NewIndex, item);
}

void* TList::First() const {
  return Items(0);
}
void* TList::Last() const {
  return Items(Count() - 1);
}

void* TList::Items(Integer Index) const {
  Check(Index);
  return items_[static_cast<std::size_t>(Index)];
}

void TList::SetItems(Integer Index, void* Item) {
  Check(Index);
  items_[static_cast<std::size_t>(Index)] = Item;
}

void TList::Sort(const std::function<int(void*, void*)>& Compare) {
  std::stable_sort(items_.begin(), items_.end(),
                   [&](void* a, void* b) { return Compare(a, b) < 0; });
}
