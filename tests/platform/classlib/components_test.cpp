// Components: ownership, free notification, names, loading; the utility window and the
// error report hook; shift states.
#include <gtest/gtest.h>

#include "classlib/Classes.h"

namespace {

std::vector<String>* g_log = nullptr;

// Logs its deletion and every notification it hears.
class TProbe : public TComponent {
 public:
  TProbe(TComponent* owner, const String& name) : TComponent(owner) { SetName(name); }
  ~TProbe() override {
    if (g_log) g_log->push_back("free " + Name());
  }
  void Notification(TComponent* c, TOperation op) override {
    TComponent::Notification(c, op);
    if (c == watched && op == opRemove) watched = nullptr;
    if (g_log && c) g_log->push_back(Name() + (op == opRemove ? " -" : " +") + c->Name());
  }
  void Loaded() override {
    TComponent::Loaded();
    loading_seen = ComponentState().Contains(csLoading);
    if (g_log) g_log->push_back("loaded " + Name());
  }
  TComponent* watched = nullptr;
  bool loading_seen = true;
};

class Components : public ::testing::Test {
 protected:
  void SetUp() override { g_log = &log; }
  void TearDown() override { g_log = nullptr; }
  std::vector<String> Take() {
    auto out = log;
    log.clear();
    return out;
  }
  std::vector<String> log;
};

using V = std::vector<String>;

TEST_F(Components, OwnerFreesItsComponentsNewestFirst) {
  auto* form = new TProbe(nullptr, "form");
  auto* a = new TProbe(form, "a");
  new TProbe(form, "b");
  new TProbe(a, "a1");
  new TProbe(form, "c");
  EXPECT_EQ(form->ComponentCount(), 3);
  EXPECT_EQ(form->Components(1)->Name(), "b");
  EXPECT_EQ(a->ComponentIndex(), 0);
  Take();
  delete form;
  // Each logs as its own destructor starts, before the base deletes what it owns.
  EXPECT_EQ(Take(), (V{"free form", "free c", "free b", "free a", "free a1"}));
}

TEST_F(Components, FreedComponentTellsThoseThatAsked) {
  TProbe left(nullptr, "left");
  TProbe right(nullptr, "right");
  auto* target = new TProbe(&left, "target");
  right.watched = target;
  target->FreeNotification(&right);
  Take();
  delete target;
  // The other family hears through the free notification; the owner's family through the
  // owner.
  EXPECT_EQ(Take(), (V{"free target", "right -target", "left -target"}));
  EXPECT_EQ(right.watched, nullptr);
  EXPECT_EQ(left.ComponentCount(), 0);
}

TEST_F(Components, FreeNotificationRunsBothWaysAndCanBeWithdrawn) {
  auto* a = new TProbe(nullptr, "a");
  auto* b = new TProbe(nullptr, "b");
  a->FreeNotification(b);
  Take();
  delete b;  // the one that asked goes first: a must forget it
  EXPECT_EQ(Take(), (V{"free b", "a -b"}));
  delete a;
  EXPECT_EQ(Take(), (V{"free a"}));

  auto* c = new TProbe(nullptr, "c");
  auto* d = new TProbe(nullptr, "d");
  c->FreeNotification(d);
  c->RemoveFreeNotification(d);
  Take();
  delete c;
  EXPECT_EQ(Take(), (V{"free c"}));
  delete d;
}

TEST_F(Components, ComponentMovesBetweenOwners) {
  auto* first = new TProbe(nullptr, "first");
  auto* second = new TProbe(nullptr, "second");
  auto* child = new TProbe(first, "child");
  Take();
  second->InsertComponent(child);
  EXPECT_EQ(Take(), (V{"child -child", "first -child", "child +child", "second +child"}));
  EXPECT_EQ(child->Owner(), second);
  EXPECT_EQ(first->ComponentCount(), 0);
  delete first;
  EXPECT_EQ(Take(), (V{"free first"}));
  delete second;
  EXPECT_EQ(Take(), (V{"free second", "free child"}));
}

TEST_F(Components, NamesAreUniquePerOwnerAndFoundWithoutCase) {
  TProbe form(nullptr, "frmMain");
  auto* btn = new TProbe(&form, "btnPlay1");
  EXPECT_EQ(form.FindComponent("BTNPLAY1"), btn);
  EXPECT_EQ(form.FindComponent("nothing"), nullptr);
  EXPECT_THROW(new TProbe(&form, "btnplay1"), EComponentError);
  EXPECT_EQ(form.ComponentCount(), 1);  // the clashing one left again as its constructor failed
  btn->SetName("BtnPlay1");             // renaming to itself is no clash
  btn->SetTag(7);
  EXPECT_EQ(btn->Tag(), 7);
}

TEST_F(Components, LoadingMarksTheFamilyAndCallsLoadedInOrder) {
  TProbe form(nullptr, "form");
  auto* a = new TProbe(&form, "a");
  auto* b = new TProbe(&form, "b");
  form.BeginLoading();
  EXPECT_TRUE(a->ComponentState().Contains(csLoading));
  Take();
  form.EndLoading();
  EXPECT_EQ(Take(), (V{"loaded form", "loaded a", "loaded b"}));
  EXPECT_FALSE(b->ComponentState().Contains(csLoading));
  EXPECT_FALSE(b->loading_seen);
}

TEST(Persistent, AssignWithoutSupportNamesBothClasses) {
  TStringList list;
  TComponent comp(nullptr);
  try {
    list.Assign(&comp);
    FAIL() << "no exception";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message(), "Cannot assign a TComponent to a TStringList");
  }
  EXPECT_EQ(EListError("x").ClassName(), "EListError");
}

TEST(ShiftState, ComparesExactly) {
  TShiftState left{ssLeft};
  EXPECT_TRUE(left == TShiftState{ssLeft});
  EXPECT_FALSE((TShiftState{ssLeft, ssShift}) == left);
  EXPECT_FALSE(TShiftState{ssRight} == left);
  EXPECT_TRUE((TShiftState{ssLeft, ssCtrl}).Contains(ssCtrl));
  EXPECT_FALSE(left.Contains(ssDouble));
  EXPECT_TRUE(TShiftState{}.Empty());
  EXPECT_EQ(left + TShiftState{ssDouble} - TShiftState{ssLeft}, TShiftState{ssDouble});
}

TEST(UtilityWindow, MessagesReachTheMethodAndErrorsTheReport) {
  std::vector<String> reports;
  SetApplicationHandleException([&](TObject*) { reports.push_back(CurrentExceptionMessage()); });
  HWND wnd = AllocateHWnd([](TMessage& m) {
    if (m.Msg == WM_USER + 1) m.Result = static_cast<LRESULT>(m.WParam + 1);
    if (m.Msg == WM_USER + 2) throw EConvertError("bad value");
    if (m.Msg == WM_USER + 3) Abort();
  });
  ASSERT_NE(wnd, 0u);
  EXPECT_EQ(SendMessageA(wnd, WM_USER + 1, 41, 0), 42);
  EXPECT_EQ(SendMessageA(wnd, WM_USER + 2, 0, 0), 0);
  EXPECT_EQ(SendMessageA(wnd, WM_USER + 3, 0, 0), 0);
  EXPECT_EQ(reports, (std::vector<String>{"bad value"}));  // EAbort stays silent
  DeallocateHWnd(wnd);
  EXPECT_FALSE(IsWindow(wnd));
  SetApplicationHandleException(nullptr);
}

}  // namespace
