// Lists of strings: the abstract TStrings and the stored, optionally sorted TStringList.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "classlib/Classes.h"
#include "classlib/Streams.h"

TVK_DECLARE_EXCEPTION(EStringListError, Exception);

class TStrings : public TPersistent {
 public:
  std::string ClassName() const override { return "TStrings"; }

  virtual int Count() const = 0;
  virtual std::string Get(int index) const = 0;
  virtual void Put(int index, const std::string& text);
  virtual TObject* GetObject(int index) const { return nullptr; }
  virtual void PutObject(int index, TObject* object) {}
  virtual void Insert(int index, const std::string& text) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  std::string Strings(int index) const { return Get(index); }
  TObject* Objects(int index) const { return GetObject(index); }

  virtual int Add(const std::string& text);
  int AddObject(const std::string& text, TObject* object);
  // Moves an entry, with its object, from one position to another.
  virtual void Move(int currentIndex, int newIndex);
  void AddStrings(const TStrings& strings);
  // Compared without regard to case.
  virtual int IndexOf(const std::string& text) const;

  // "Name=Value" entries.
  std::string Names(int index) const;
  int IndexOfName(const std::string& name) const;
  std::string Values(const std::string& name) const;
  void SetValues(const std::string& name, const std::string& value);

  // The entries joined with CR LF after each; setting splits at CR LF, CR or LF.
  std::string Text() const;
  virtual void SetText(const std::string& text);

  void LoadFromStream(TStream& stream);
  virtual void LoadFromFile(const std::string& fileName);
  void SaveToStream(TStream& stream) const;
  void SaveToFile(const std::string& fileName) const;

  void BeginUpdate();
  void EndUpdate();
  void Assign(const TPersistent* source) override;

 protected:
  virtual void SetUpdateState(bool updating) {}
  // Runs a change inside BeginUpdate/EndUpdate, ending the bracket also when the change raises.
  template <class Change>
  void Updating(Change&& change) {
    BeginUpdate();
    try {
      change();
    } catch (...) {
      EndUpdate();
      throw;
    }
    EndUpdate();
  }
  int UpdateCount() const { return updateCount_; }
  [[noreturn]] static void IndexError(int index);

 private:
  int updateCount_ = 0;
};

enum class TDuplicates { dupIgnore, dupAccept, dupError };

class TStringList : public TStrings {
 public:
  std::string ClassName() const override { return "TStringList"; }

  int Count() const override { return int(items_.size()); }
  std::string Get(int index) const override;
  void Put(int index, const std::string& text) override;
  TObject* GetObject(int index) const override;
  void PutObject(int index, TObject* object) override;
  void Insert(int index, const std::string& text) override;
  void Delete(int index) override;
  void Clear() override;
  int Add(const std::string& text) override;
  int IndexOf(const std::string& text) const override;

  // Binary search of a sorted list: true when found; Index is where the text is or would go.
  bool Find(const std::string& text, int& index) const;
  void Sort();
  void CustomSort(const std::function<int(const TStringList&, int, int)>& compare);

  bool Sorted() const { return sorted_; }
  void SetSorted(bool sorted);
  TDuplicates Duplicates() const { return duplicates_; }
  void SetDuplicates(TDuplicates duplicates) { duplicates_ = duplicates; }
  bool CaseSensitive() const { return caseSensitive_; }
  void SetCaseSensitive(bool caseSensitive);

  TNotifyEvent OnChange;
  TNotifyEvent OnChanging;

 protected:
  // Run around every change, outside BeginUpdate/EndUpdate brackets; they fire the events.
  virtual void Changed();
  virtual void Changing();
  void SetUpdateState(bool updating) override;
  int CompareStrings(const std::string& a, const std::string& b) const;

 private:
  void InsertItem(int index, const std::string& text, TObject* object);
  void CheckIndex(int index) const;

  std::vector<std::pair<std::string, TObject*>> items_;
  bool sorted_ = false;
  bool caseSensitive_ = false;
  TDuplicates duplicates_ = TDuplicates::dupIgnore;
};
