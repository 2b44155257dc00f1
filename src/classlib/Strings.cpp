#include "classlib/Strings.h"

#include <algorithm>

// ---- TStrings

void TStrings::IndexError(int index) { throw EStringListError("List index out of bounds (%d)", {index}); }

void TStrings::Put(int index, const std::string& text) {
  TObject* object = GetObject(index);
  Delete(index);
  Insert(index, text);
  PutObject(index, object);
}

int TStrings::Add(const std::string& text) {
  int index = Count();
  Insert(index, text);
  return index;
}

int TStrings::AddObject(const std::string& text, TObject* object) {
  int index = Add(text);
  PutObject(index, object);
  return index;
}

void TStrings::Move(int currentIndex, int newIndex) {
  if (currentIndex == newIndex) return;
  Updating([&] {
    std::string text = Get(currentIndex);
    TObject* object = GetObject(currentIndex);
    Delete(currentIndex);
    Insert(newIndex, text);
    PutObject(newIndex, object);
  });
}

void TStrings::AddStrings(const TStrings& strings) {
  Updating([&] {
    for (int i = 0; i < strings.Count(); ++i) AddObject(strings.Get(i), strings.GetObject(i));
  });
}

int TStrings::IndexOf(const std::string& text) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiCompareText(Get(i), text) == 0) return i;
  return -1;
}

std::string TStrings::Names(int index) const {
  std::string entry = Get(index);
  std::size_t eq = entry.find('=');
  return eq == std::string::npos ? std::string() : entry.substr(0, eq);
}

int TStrings::IndexOfName(const std::string& name) const {
  for (int i = 0; i < Count(); ++i) {
    std::string entry = Get(i);
    std::size_t eq = entry.find('=');
    if (eq != std::string::npos && AnsiCompareText(entry.substr(0, eq), name) == 0) return i;
  }
  return -1;
}

std::string TStrings::Values(const std::string& name) const {
  int i = IndexOfName(name);
  return i < 0 ? std::string() : Get(i).substr(name.size() + 1);
}

void TStrings::SetValues(const std::string& name, const std::string& value) {
  int i = IndexOfName(name);
  if (value.empty()) {
    if (i >= 0) Delete(i);
  } else if (i < 0) {
    Add(name + "=" + value);
  } else {
    Put(i, name + "=" + value);
  }
}

std::string TStrings::Text() const {
  std::string text;
  for (int i = 0; i < Count(); ++i) {
    text += Get(i);
    text += "\r\n";
  }
  return text;
}

void TStrings::SetText(const std::string& text) {
  Updating([&] {
    Clear();
    std::size_t start = 0;
    while (start < text.size()) {
      std::size_t end = text.find_first_of("\r\n", start);
      if (end == std::string::npos) end = text.size();
      Add(text.substr(start, end - start));
      if (end < text.size() && text[end] == '\r') ++end;
      if (end < text.size() && text[end] == '\n') ++end;
      start = end;
    }
  });
}

void TStrings::LoadFromStream(TStream& stream) {
  std::int64_t size = stream.Size() - stream.Position();
  std::string text(std::size_t(std::max<std::int64_t>(size, 0)), '\0');
  stream.ReadBuffer(text.data(), std::int64_t(text.size()));
  SetText(text);
}

void TStrings::LoadFromFile(const std::string& fileName) {
  TFileStream stream(fileName, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(stream);
}

void TStrings::SaveToStream(TStream& stream) const {
  std::string text = Text();
  stream.WriteBuffer(text.data(), std::int64_t(text.size()));
}

void TStrings::SaveToFile(const std::string& fileName) const {
  TFileStream stream(fileName, fmCreate);
  SaveToStream(stream);
}

void TStrings::BeginUpdate() {
  if (updateCount_++ == 0) SetUpdateState(true);
}

void TStrings::EndUpdate() {
  if (--updateCount_ == 0) SetUpdateState(false);
}

void TStrings::Assign(const TPersistent* source) {
  if (const auto* strings = dynamic_cast<const TStrings*>(source)) {
    Updating([&] {
      Clear();
      AddStrings(*strings);
    });
    return;
  }
  TPersistent::Assign(source);
}

// ---- TStringList

void TStringList::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) IndexError(index);
}

std::string TStringList::Get(int index) const {
  CheckIndex(index);
  return items_[std::size_t(index)].first;
}

void TStringList::Put(int index, const std::string& text) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  CheckIndex(index);
  Changing();
  items_[std::size_t(index)].first = text;
  Changed();
}

TObject* TStringList::GetObject(int index) const {
  CheckIndex(index);
  return items_[std::size_t(index)].second;
}

void TStringList::PutObject(int index, TObject* object) {
  CheckIndex(index);
  Changing();
  items_[std::size_t(index)].second = object;
  Changed();
}

void TStringList::Insert(int index, const std::string& text) {
  if (sorted_) throw EStringListError("Operation not allowed on sorted list");
  if (index < 0 || index > Count()) IndexError(index);
  InsertItem(index, text, nullptr);
}

void TStringList::InsertItem(int index, const std::string& text, TObject* object) {
  Changing();
  items_.insert(items_.begin() + index, {text, object});
  Changed();
}

void TStringList::Delete(int index) {
  CheckIndex(index);
  Changing();
  items_.erase(items_.begin() + index);
  Changed();
}

void TStringList::Clear() {
  if (items_.empty()) return;
  Changing();
  items_.clear();
  Changed();
}

int TStringList::Add(const std::string& text) {
  int index = Count();
  if (sorted_ && Find(text, index)) {
    if (duplicates_ == TDuplicates::dupIgnore) return index;
    if (duplicates_ == TDuplicates::dupError) throw EStringListError("String list does not allow duplicates");
  }
  InsertItem(index, text, nullptr);
  return index;
}

int TStringList::CompareStrings(const std::string& a, const std::string& b) const {
  if (!caseSensitive_) return AnsiCompareText(a, b);
  return a.compare(b) < 0 ? -1 : a == b ? 0 : 1;
}

int TStringList::IndexOf(const std::string& text) const {
  if (!sorted_) {
    for (int i = 0; i < Count(); ++i)
      if (CompareStrings(items_[std::size_t(i)].first, text) == 0) return i;
    return -1;
  }
  int index;
  return Find(text, index) ? index : -1;
}

bool TStringList::Find(const std::string& text, int& index) const {
  int lo = 0, hi = Count() - 1;
  bool found = false;
  while (lo <= hi) {
    int mid = lo + (hi - lo) / 2;
    int c = CompareStrings(items_[std::size_t(mid)].first, text);
    if (c < 0) {
      lo = mid + 1;
    } else {
      hi = mid - 1;
      if (c == 0) {
        found = true;
        if (duplicates_ != TDuplicates::dupAccept) lo = mid;
      }
    }
  }
  index = lo;
  return found;
}

void TStringList::Sort() {
  CustomSort([](const TStringList& list, int a, int b) { return list.CompareStrings(list.Get(a), list.Get(b)); });
}

void TStringList::CustomSort(const std::function<int(const TStringList&, int, int)>& compare) {
  if (Count() < 2) return;
  Changing();
  // Sort an index permutation so the comparison sees the list as it is.
  std::vector<int> order(items_.size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = int(i);
  std::stable_sort(order.begin(), order.end(), [&](int a, int b) { return compare(*this, a, b) < 0; });
  std::vector<std::pair<std::string, TObject*>> sorted;
  sorted.reserve(items_.size());
  for (int i : order) sorted.push_back(std::move(items_[std::size_t(i)]));
  items_ = std::move(sorted);
  Changed();
}

void TStringList::SetSorted(bool sorted) {
  if (sorted == sorted_) return;
  if (sorted) Sort();
  sorted_ = sorted;
}

void TStringList::SetCaseSensitive(bool caseSensitive) {
  if (caseSensitive == caseSensitive_) return;
  caseSensitive_ = caseSensitive;
  if (sorted_) Sort();
}

void TStringList::Changed() {
  if (UpdateCount() == 0 && OnChange) OnChange(this);
}

void TStringList::Changing() {
  if (UpdateCount() == 0 && OnChanging) OnChanging(this);
}

void TStringList::SetUpdateState(bool updating) {
  if (updating) Changing();
  else Changed();
}
