// TStrings and TStringList.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "classlib/Classes.h"

namespace {
constexpr const char* kListIndexError = "List index out of bounds (%d)";
constexpr const char* kSortedListError = "Operation not allowed on sorted string list";
constexpr const char* kDuplicateString = "String list does not allow duplicates";
}  // namespace

// ---------------------------------------------------------------------------------------
// TStrings

void TStrings::Error(const String& Msg, Integer Index) const {
  throw EListError(Msg, Index);
}

void TStrings::SetStrings(Integer Index, const String& S) {
  TObject* obj = Objects(Index);
  BeginUpdate();
  Delete(Index);
  InsertObject(Index, S, obj);
  EndUpdate();
}

TObject* TStrings::Objects(Integer Index) const {
  if (Index < 0 || Index >= Count()) Error(kListIndexError, Index);
  return nullptr;
}

void TStrings::SetObjects(Integer Index, TObject*) {
  if (Index < 0 || Index >= Count()) Error(kListIndexError, Index);
}

void TStrings::InsertObject(Integer Index, const String& S, TObject* AObject) {
  Insert(Index, S);
  SetObjects(Index, AObject);
}

Integer TStrings::Add(const String& S) {
  Integer i = Count();
  Insert(i, S);
  return i;
}

Integer TStrings::AddObject(const String& S, TObject* AObject) {
  Integer i = Add(S);
  SetObjects(i, AObject);
  return i;
}

void TStrings::AddStrings(const TStrings& Strings) {
  BeginUpdate();
  for (Integer i = 0; i < Strings.Count(); ++i) AddObject(Strings.Strings(i), Strings.Objects(i));
  EndUpdate();
}

Integer TStrings::IndexOf(const String& S) const {
  for (Integer i = 0; i < Count(); ++i) {
    if (AnsiCompareText(Strings(i), S) == 0) return i;
  }
  return -1;
}

Integer TStrings::IndexOfObject(TObject* AObject) const {
  for (Integer i = 0; i < Count(); ++i) {
    if (Objects(i) == AObject) return i;
  }
  return -1;
}

Integer TStrings::IndexOfName(const String& Name) const {
  for (Integer i = 0; i < Count(); ++i) {
    String s = Strings(i);
    auto eq = s.find('=');
    if (eq != String::npos && AnsiCompareText(s.substr(0, eq), Name) == 0) return i;
  }
  return -1;
}

void TStrings::Exchange(Integer Index1, Integer Index2) {
  BeginUpdate();
  String s1 = Strings(Index1);
  TObject* o1 = Objects(Index1);
  SetStrings(Index1, Strings(Index2));
  SetObjects(Index1, Objects(Index2));
  SetStrings(Index2, s1);
  SetObjects(Index2, o1);
  EndUpdate();
}

void TStrings::Move(Integer CurIndex, Integer NewIndex) {
  if (CurIndex == NewIndex) return;
  BeginUpdate();
  String s = Strings(CurIndex);
  TObject* o = Objects(CurIndex);
  Delete(CurIndex);
  InsertObject(NewIndex, s, o);
  EndUpdate();
}

bool TStrings::Equals(const TStrings& Strings) const {
  if (Count() != Strings.Count()) return false;
  for (Integer i = 0; i < Count(); ++i) {
    if (this->Strings(i) != Strings.Strings(i)) return false;
  }
  return true;
}

String TStrings::Text() const {
  String out;
  for (Integer i = 0; i < Count(); ++i) {
    out += Strings(i);
    out += "\r\n";
  }
  return out;
}

void TStrings::SetText(const String& Value) {
  BeginUpdate();
  try {
    Clear();
    std::size_t p = 0;
    const std::size_t n = Value.size();
    while (p < n) {
      std::size_t start = p;
      while (p < n && Value[p] != '\r' && Value[p] != '\n') ++p;
      Add(Value.substr(start, p - start));
      // CR, LF and CR LF each end one line; LF CR is two breaks.
      if (p < n && Value[p] == '\r') ++p;
      if (p < n && Value[p] == '\n') ++p;
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

String TStrings::CommaText() const {
  if (Count() == 1 && Strings(0).empty()) return "\"\"";
  String out;
  for (Integer i = 0; i < Count(); ++i) {
    String s = Strings(i);
    bool quote = std::any_of(s.begin(), s.end(), [](char c) {
      return static_cast<unsigned char>(c) <= ' ' || c == '"' || c == ',';
    });
    if (i > 0) out += ',';
    if (quote) {
      out += '"';
      for (char c : s) {
        out += c;
        if (c == '"') out += '"';
      }
      out += '"';
    } else {
      out += s;
    }
  }
  return out;
}

void TStrings::SetCommaText(const String& Value) {
  auto blank = [](char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; };
  BeginUpdate();
  try {
    Clear();
    std::size_t p = 0;
    const std::size_t n = Value.size();
    while (p < n && blank(Value[p])) ++p;
    while (p < n) {
      String s;
      if (Value[p] == '"') {
        ++p;
        while (p < n) {
          if (Value[p] == '"') {
            if (p + 1 < n && Value[p + 1] == '"') {
              s += '"';
              p += 2;
              continue;
            }
            ++p;
            break;
          }
          s += Value[p++];
        }
      } else {
        std::size_t start = p;
        while (p<n&& static_cast<unsigned char>(Value[p])> ' ' && Value[p] != ',') ++p;
        s = Value.substr(start, p - start);
      }
      Add(s);
      while (p < n && blank(Value[p])) ++p;
      if (p < n && Value[p] == ',') {
        do {
          ++p;
        } while (p < n && blank(Value[p]));
      }
    }
  } catch (...) {
    EndUpdate();
    throw;
  }
  EndUpdate();
}

String TStrings::Names(Integer Index) const {
  String s = Strings(Index);
  auto eq = s.find('=');
  return eq == String::npos ? String() : s.substr(0, eq);
}

String TStrings::Values(const String& Name) const {
  Integer i = IndexOfName(Name);
  if (i < 0) return String();
  String s = Strings(i);
  return s.substr(s.find('=') + 1);
}

void TStrings::SetValues(const String& Name, const String& Value) {
  Integer i = IndexOfName(Name);
  if (!Value.empty()) {
    if (i < 0) {
      Add(Name + "=" + Value);
    } else {
      SetStrings(i, Name + "=" + Value);
    }
  } else if (i >= 0) {
    Delete(i);
  }
}

void TStrings::LoadFromFile(const String& FileName) {
  std::FILE* f = std::fopen(LinuxPath(FileName).c_str(), "rb");
  struct stat st {};
  if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {
    // A folder opens for reading here but is no file to load.
    std::fclose(f);
    f = nullptr;
  }
  if (!f) throw EFOpenError(FileName);
  String bytes;
  char buf[65536];
  std::size_t got;
  while ((got = std::fread(buf, 1, sizeof buf, f)) > 0) bytes.append(buf, got);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) throw EInOutError("Read error on %s", FileName);
  SetText(bytes);
}

void TStrings::SaveToFile(const String& FileName) const {
  std::FILE* f = std::fopen(LinuxPath(FileName).c_str(), "wb");
  if (!f) throw EFCreateError(FileName);
  String text = Text();
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  ok = (std::fclose(f) == 0) && ok;
  // A disk that fills up must not pass for a saved list.
  if (!ok) throw EInOutError("Write error on %s", FileName);
}

void TStrings::BeginUpdate() {
  if (update_count_ == 0) SetUpdateState(true);
  ++update_count_;
}

void TStrings::EndUpdate() {
  if (update_count_ <= 0) return;
  --update_count_;
  if (update_count_ == 0) SetUpdateState(false);
}

void TStrings::SetUpdateState(bool) {}

void TStrings::Assign(TPersistent* Source) {
  if (auto* src = dynamic_cast<TStrings*>(Source)) {
    if (src == this) return;
    BeginUpdate();
    try {
      Clear();
      AddStrings(*src);
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
    return;
  }
  TPersistent::Assign(Source);
}

// ---------------------------------------------------------------------------------------
// TStringList

// Deleting a list tells nobody: the handlers may belong to objects already gone.
TStringList::~TStringList() = default;

void TStringList::CheckIndex(Integer Index) const {
  if (Index < 0 || Index >= Count()) Error(kListIndexError, Index);
}

String TStringList::Strings(Integer Index) const {
  CheckIndex(Index);
  return items_[static_cast<std::size_t>(Index)].S;
}

void TStringList::SetStrings(Integer Index, const String& S) {
  if (sorted_) Error(kSortedListError, 0);
  CheckIndex(Index);
  Changing();
  items_[static_cast<std::size_t>(Index)].S = S;
  Changed();
}

TObject* TStringList::Objects(Integer Index) const {
  CheckIndex(Index);
  return items_[static_cast<std::size_t>(Index)].Object;
}

void TStringList::SetObjects(Integer Index, TObject* AObject) {
  CheckIndex(Index);
  Changing();
  items_[static_cast<std::size_t>(Index)].Object = AObject;
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

void TStringList::Delete(Integer Index) {
  CheckIndex(Index);
  Changing();
  items_.erase(items_.begin() + Index);
  Changed();
}

void TStringList::InsertItem(Integer Index, const String& S, TObject* AObject) {
  Changing();
  items_.insert(items_.begin() + Index, Item{S, AObject});
  Changed();
}

void TStringList::Insert(Integer Index, const String& S) {
  InsertObject(Index, S, nullptr);
}

void TStringList::InsertObject(Integer Index, const String& S, TObject* AObject) {
  if (sorted_) Error(kSortedListError, 0);
  if (Index < 0 || Index > Count()) Error(kListIndexError, Index);
  InsertItem(Index, S, AObject);
}

Integer TStringList::Add(const String& S) {
  return AddObject(S, nullptr);
}

Integer TStringList::AddObject(const String& S, TObject* AObject) {
  Integer index = Count();
  if (sorted_ && Find(S, index)) {
    if (duplicates_ == dupIgnore) return index;
    if (duplicates_ == dupError) Error(kDuplicateString, 0);
    // dupAccept: after the equal ones, so equal lines keep the order they came in.
    while (index < Count() && AnsiCompareText(items_[static_cast<std::size_t>(index)].S, S) == 0) {
      ++index;
    }
  }
  InsertItem(index, S, AObject);
  return index;
}

bool TStringList::Find(const String& S, Integer& Index) const {
  Integer lo = 0;
  Integer hi = Count();
  while (lo < hi) {
    Integer mid = lo + (hi - lo) / 2;
    if (AnsiCompareText(items_[static_cast<std::size_t>(mid)].S, S) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  Index = lo;
  return lo < Count() && AnsiCompareText(items_[static_cast<std::size_t>(lo)].S, S) == 0;
}

Integer TStringList::IndexOf(const String& S) const {
  if (!sorted_) return TStrings::IndexOf(S);
  Integer index = 0;
  return Find(S, index) ? index : -1;
}

void TStringList::Exchange(Integer Index1, Integer Index2) {
  CheckIndex(Index1);
  CheckIndex(Index2);
  Changing();
  std::swap(items_[static_cast<std::size_t>(Index1)], items_[static_cast<std::size_t>(Index2)]);
  Changed();
}

void TStringList::Sort() {
  if (sorted_ || items_.size() < 2) return;
  Changing();
  std::stable_sort(items_.begin(), items_.end(),
                   [](const Item& a, const Item& b) { return AnsiCompareText(a.S, b.S) < 0; });
  Changed();
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
  if (sorted_ || items_.size() < 2) return;
  Changing();
  // The comparison reads the list by index, so order a permutation against the unchanged
  // list and apply it afterwards.
  std::vector<Integer> order(items_.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](Integer a, Integer b) { return Compare(this, a, b) < 0; });
  std::vector<Item> sorted;
  sorted.reserve(items_.size());
  for (Integer i : order) sorted.push_back(items_[static_cast<std::size_t>(i)]);
  items_ = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool Value) {
  if (sorted_ == Value) return;
  if (Value) Sort();
  sorted_ = Value;
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool Updating) {
  if (Updating) {
    Changing();
  } else {
    Changed();
  }
}
