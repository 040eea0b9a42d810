// Components and ownership, event types, lists of pointers and of strings, the utility
// window, the application's error report hook, and threads.
//
// Everything here is GUI thread only unless its comment says otherwise.
#pragma once

#include <atomic>
#include <condition_variable>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "classlib/SysUtils.h"
#include "classlib/System.h"
#include "win32/Messages.h"
#include "win32/Types.h"

// ---------------------------------------------------------------------------------------
// Event types. Events are public callback members named OnX; an empty one is unassigned.

enum TShiftStateItem { ssShift, ssAlt, ssCtrl, ssLeft, ssRight, ssMiddle, ssDouble };
using TShiftState = TSet<TShiftStateItem>;
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
// A topic of the application's help; 0 for none.
using THelpContext = Integer;

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;
using TKeyEvent = std::function<void(TObject* Sender, Word& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;
using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TDragOverEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y,
                                          TDragState State, bool& Accept)>;
using TDragDropEvent = std::function<void(TObject* Sender, TObject* Source, int X, int Y)>;

// ---------------------------------------------------------------------------------------
// The application's error report. Every dispatch of the library (window procedures,
// timers, calls handed to the GUI thread) catches what its handler throws and hands it
// here, so no exception ever crosses the event loop.

// Installed by the application object. The handler is called inside a catch block and may
// rethrow std::current_exception() to look at the error. EAbort is never reported.
void SetApplicationHandleException(std::function<void(TObject* Sender)> Handler);
// To be called inside a catch block: reports the exception being handled. Without an
// installed handler the message goes to standard error. Any thread may call it.
void HandleExceptionNow(TObject* Sender);
// The text the error report shows for the exception being handled (inside a catch block).
String CurrentExceptionMessage();

// ---------------------------------------------------------------------------------------
// The GUI thread.

// The thread id (GetCurrentThreadId) of the GUI thread. Taken from the first thread that
// uses the library's threads or utility windows unless set before; the application object
// sets it at start. Any thread may call MainThreadID.
DWORD MainThreadID();
// Makes the calling thread the GUI thread and gives it its message queue.
void SetMainThreadID();
bool IsMainThread();

// ---------------------------------------------------------------------------------------
// Persistent objects and components.

class TPersistent : public TObject {
 public:
  // Copies Source into this object; a class that cannot raises EConvertError
  // "Cannot assign a TX to a TY".
  virtual void Assign(TPersistent* Source);

 protected:
  virtual void AssignTo(TPersistent* Dest);
  [[noreturn]] void AssignError(TPersistent* Source);
};

enum TOperation { opInsert, opRemove };
enum TComponentStateItem {
  csLoading,
  csReading,
  csWriting,
  csDestroying,
  csDesigning,
  csAncestor,
  csUpdating,
  csFixups,
  csFreeNotification,
  csInline,
  csDesignInstance
};
using TComponentState = TSet<TComponentStateItem>;

// A component belongs to its owner and is deleted with it: the owner deletes the
// components it owns in the reverse order of their insertion. Delete a component with
// `delete` (it leaves its owner first); everything it asked to hear about is told.
class TComponent : public TPersistent {
 public:
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  TComponent* Components(Integer Index) const;
  Integer ComponentCount() const { return static_cast<Integer>(components_.size()); }
  // Position in the owner's list, -1 without owner.
  Integer ComponentIndex() const;
  const String& Name() const { return name_; }
  // Names are unique among the components of one owner (letter case ignored): a clash
  // raises EComponentError.
  virtual void SetName(const String& NewName);
  Integer Tag() const { return tag_; }
  void SetTag(Integer Value) { tag_ = Value; }
  TComponentState ComponentState() const { return state_; }

  // Adds and removes owned components. A component moves between owners by
  // RemoveComponent on the old owner and InsertComponent on the new one.
  void InsertComponent(TComponent* AComponent);
  void RemoveComponent(TComponent* AComponent);
  // Deletes every owned component, the newest first.
  void DestroyComponents();
  // An owned component by name (letter case ignored), or null.
  TComponent* FindComponent(const String& AName) const;

  // Asks to be told (Notification with opRemove) when AComponent is deleted. The request
  // runs both ways: AComponent also hears when this component goes.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // A form being built from its description: BeginLoading marks this component and all it
  // owns with csLoading; EndLoading clears the mark and calls Loaded on each, in the order
  // they were made (the owner first).
  void BeginLoading();
  void EndLoading();

  // Told when a component is inserted into or removed from the owner's family, or when a
  // component this one asked about is deleted. The base passes the notice on to the owned
  // components and forgets a removed component's free notifications.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 protected:
  // Runs after the component's properties were all applied from its description.
  virtual void Loaded();
  // Marks the component and everything it owns as going away; the destructor does it, a
  // class may do it earlier in its own destructor so that its children see csDestroying.
  // A component that acts on its own (a timer) stops here: its owner may be taking apart
  // what its handler uses before the component itself is deleted.
  virtual void Destroying();
  void SetDesigning(bool Value);
  void SetComponentStateFlag(TComponentStateItem Item, bool Value);

 private:
  void Insert(TComponent* AComponent);
  void Remove(TComponent* AComponent);
  void ValidateRename(TComponent* AComponent, const String& CurName, const String& NewName);
  void CollectLoading(std::vector<TComponent*>& Out);

  TComponent* owner_ = nullptr;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
  String name_;
  Integer tag_ = 0;
  TComponentState state_;
};

// ---------------------------------------------------------------------------------------
// The utility window: a window without a screen side whose messages go to a method.

struct TMessage {
  Cardinal Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = std::function<void(TMessage& Message)>;

// A message-only window of the calling thread. What the method throws goes to the error
// report and the message answers 0. Raises EOutOfResources when no window can be made.
HWND AllocateHWnd(TWndMethod Method);
void DeallocateHWnd(HWND Wnd);

// ---------------------------------------------------------------------------------------
// Pointer list.

class TList : public TObject {
 public:
  TList() = default;
  Integer Add(void* Item);
  void Insert(Integer Index, void* Item);
  void Delete(Integer Index);
  // Removes the first occurrence; answers its index or -1.
  Integer Remove(void* Item);
  Integer IndexOf(void* Item) const;
  void Clear();
  void Exchange(Integer Index1, Integer Index2);
  void Move(Integer CurIndex, Integer NewIndex);
  void* First() const;
  void* Last() const;
  Integer Count() const { return static_cast<Integer>(items_.size()); }
  void* Items(Integer Index) const;
  void SetItems(Integer Index, void* Item);
  // Ordered by Compare (< 0, 0, > 0).
  void Sort(const std::function<int(void* Item1, void* Item2)>& Compare);

 private:
  void Check(Integer Index) const;
  std::vector<void*> items_;
};

// ---------------------------------------------------------------------------------------
// String lists.

// The abstract list of strings, each with an associated object. Lists of controls derive
// from it; TStringList keeps its strings itself.
class TStrings : public TPersistent {
 public:
  virtual Integer Count() const = 0;
  // A bad index raises EListError "List index out of bounds (%d)".
  virtual String Strings(Integer Index) const = 0;
  virtual void SetStrings(Integer Index, const String& S);
  virtual TObject* Objects(Integer Index) const;
  virtual void SetObjects(Integer Index, TObject* AObject);
  virtual void Clear() = 0;
  virtual void Delete(Integer Index) = 0;
  virtual void Insert(Integer Index, const String& S) = 0;
  virtual void InsertObject(Integer Index, const String& S, TObject* AObject);
  virtual Integer Add(const String& S);
  virtual Integer AddObject(const String& S, TObject* AObject);
  void AddStrings(const TStrings& Strings);
  void Append(const String& S) { Add(S); }
  // First index of S without regard to letter case, or -1.
  virtual Integer IndexOf(const String& S) const;
  Integer IndexOfObject(TObject* AObject) const;
  Integer IndexOfName(const String& Name) const;
  virtual void Exchange(Integer Index1, Integer Index2);
  virtual void Move(Integer CurIndex, Integer NewIndex);
  bool Equals(const TStrings& Strings) const;

  // Every line followed by CR LF. Setting splits at CR, LF or CR LF; a last line without a
  // break is still a line.
  virtual String Text() const;
  virtual void SetText(const String& Value);
  // Lines separated by commas; a line with blanks, commas or quotes is quoted.
  String CommaText() const;
  void SetCommaText(const String& Value);
  // "Name=Value" lines.
  String Names(Integer Index) const;
  String Values(const String& Name) const;
  void SetValues(const String& Name, const String& Value);

  // A name with a drive letter ("C:\...") is a path of the system and goes through the
  // platform's drive mapping; any other name is used as it is. Bytes are kept as they are
  // (NUL bytes too); lines are written with CR LF. Failures raise EFOpenError or
  // EFCreateError with the file name.
  virtual void LoadFromFile(const String& FileName);
  virtual void SaveToFile(const String& FileName) const;

  // Change notifications are held back between BeginUpdate and the matching EndUpdate.
  void BeginUpdate();
  void EndUpdate();
  Integer UpdateCount() const { return update_count_; }

  void Assign(TPersistent* Source) override;

 protected:
  virtual void SetUpdateState(bool Updating);
  [[noreturn]] void Error(const String& Msg, Integer Index) const;

 private:
  Integer update_count_ = 0;
};

enum TDuplicates { dupIgnore, dupAccept, dupError };
class TStringList;
using TStringListSortCompare =
    std::function<int(TStringList* List, Integer Index1, Integer Index2)>;

class TStringList : public TStrings {
 public:
  TStringList() = default;
  ~TStringList() override;

  Integer Count() const override { return static_cast<Integer>(items_.size()); }
  String Strings(Integer Index) const override;
  void SetStrings(Integer Index, const String& S) override;
  TObject* Objects(Integer Index) const override;
  void SetObjects(Integer Index, TObject* AObject) override;
  void Clear() override;
  void Delete(Integer Index) override;
  // On a sorted list Insert raises EListError; Add finds the place.
  void Insert(Integer Index, const String& S) override;
  void InsertObject(Integer Index, const String& S, TObject* AObject) override;
  Integer Add(const String& S) override;
  Integer AddObject(const String& S, TObject* AObject) override;
  Integer IndexOf(const String& S) const override;
  void Exchange(Integer Index1, Integer Index2) override;

  // Binary search of a sorted list (letter case ignored): true when found; Index is where
  // S is or would go.
  bool Find(const String& S, Integer& Index) const;
  // Orders the lines without regard to letter case.
  virtual void Sort();
  void CustomSort(const TStringListSortCompare& Compare);
  bool Sorted() const { return sorted_; }
  void SetSorted(bool Value);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates Value) { duplicates_ = Value; }

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool Updating) override;

 private:
  struct Item {
    String S;
    TObject* Object = nullptr;
  };
  void CheckIndex(Integer Index) const;
  void InsertItem(Integer Index, const String& S, TObject* AObject);
  std::vector<Item> items_;
  bool sorted_ = false;
  TDuplicates duplicates_ = dupIgnore;
};

// ---------------------------------------------------------------------------------------
// Threads.

enum TThreadPriority { tpIdle, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// What SuspendableWait answers when a pause came during the wait (see TThread).
constexpr DWORD WAIT_SUSPENDED = 0x0000C000u;

// A thread running Execute.
//
// Suspension is cooperative: stopping a thread at an arbitrary point is not safe here (a
// thread stopped while it holds the allocator's lock would freeze the program), so Suspend
// takes effect at the thread's suspension points:
//   - SuspendableWait: a pause during the wait ends it; the thread stays paused until it
//     is resumed and then gets WAIT_SUSPENDED, meaning "the wait was cut short by a pause:
//     do not act on it";
//   - Synchronize: a thread paused before or while its call runs on the GUI thread stays
//     paused, before the call or after the call has returned, until it is resumed;
//   - CheckSuspended.
// Suspend and Resume never nest: Suspend on a suspended thread and Resume on a running one
// do nothing, so one Resume always restarts the thread. A thread created suspended does
// not run Execute until Resume. Terminate followed by Resume of a suspended thread lets
// it run to its end.
//
// C++ cannot run code after the most derived constructor, so a thread created running
// (CreateSuspended false) starts Execute only when its class calls AfterConstruction()
// as the last step of its constructor; a class created suspended starts with Resume.
//
// A class whose Execute uses its own members ends the thread in its own destructor
// (Terminate, wake it, WaitFor): by the time the base destructor runs, those members are
// gone. The base destructor still terminates, resumes and waits for a running thread.
//
// Priority is applied to the operating system thread where the user may (a lower
// priority always; a higher one only with the right to it) and otherwise only kept;
// Priority reads back what was written.
class TThread : public TObject {
 public:
  explicit TThread(bool CreateSuspended);
  ~TThread() override;

  // Any thread.
  void Resume();
  void Suspend();
  bool Suspended() const;
  void SetSuspended(bool Value);
  void Terminate();
  bool Terminated() const { return terminated_.load(); }

  // Waits until the thread has ended and answers ReturnValue. On the GUI thread the wait
  // keeps serving Synchronize calls and messages sent to its windows, so a thread that is
  // handing a call to the GUI thread can finish it and end.
  Integer WaitFor();

  TThreadPriority Priority() const { return priority_.load(); }
  void SetPriority(TThreadPriority Value);
  bool FreeOnTerminate() const { return free_on_terminate_.load(); }
  void SetFreeOnTerminate(bool Value) { free_on_terminate_ = Value; }
  DWORD ThreadID() const { return thread_id_; }
  HANDLE Handle() const;
  Integer ReturnValue() const { return return_value_.load(); }
  bool Finished() const { return finished_.load(); }
  // What Execute threw, if anything (the thread then ended).
  std::exception_ptr FatalException() const { return fatal_exception_; }

  // Runs on the GUI thread (through Synchronize) after Execute has returned.
  TNotifyEvent OnTerminate;

 protected:
  virtual void Execute() = 0;
  // Starts a thread created running; see the class comment.
  void AfterConstruction();

  // Runs Method on the GUI thread and waits for it to return; on the GUI thread itself it
  // runs directly. What Method throws goes to the error report on the GUI thread and the
  // thread goes on. Raises EThread when the GUI thread is gone. A suspension point.
  void Synchronize(const std::function<void()>& Method);
  // Waits for Event (an event handle of the platform) for at most Milliseconds:
  // WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_FAILED, or WAIT_SUSPENDED after a pause (see above).
  DWORD SuspendableWait(HANDLE Event, DWORD Milliseconds);
  // Blocks while the thread is paused; answers whether it was.
  bool CheckSuspended();
  void SetReturnValue(Integer Value) { return_value_ = Value; }
  virtual void DoTerminate();

 private:
  void Run();
  void Start();
  void ApplyPriority();
  bool OnOwnThread() const;
  void SignalSuspendFd(bool Paused);

  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::thread thread_;
  bool suspended_ = false;         // what Suspended answers; guarded by mutex_
  bool started_ = false;           // Execute may begin; guarded by mutex_
  bool cancelled_ = false;         // destroyed before it ever ran; guarded by mutex_
  bool ended_ = false;             // the thread function is done; guarded by mutex_
  bool running_id_known_ = false;  // guarded by mutex_
  Cardinal pause_generation_ = 0;  // counts Suspend calls; guarded by mutex_
  std::atomic<bool> terminated_{false};
  std::atomic<bool> finished_{false};
  std::atomic<bool> free_on_terminate_{false};
  std::atomic<TThreadPriority> priority_{tpNormal};
  std::atomic<Integer> return_value_{0};
  std::atomic<int> os_tid_{0};
  DWORD thread_id_ = 0;
  int suspend_fd_ = -1;  // readable while a pause is requested
  int ended_fd_ = -1;    // readable once the thread function is done
  int base_nice_ = 0;
  std::exception_ptr fatal_exception_;
};
