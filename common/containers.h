// The lists, mappings and sets that the checker's tables and records are
// made of.  Each one is kept in one of two ways: as a plain C++ container
// while only the core has used it (construction fills them so), or, once
// the host has reached it, as the host's own object, which is from then on
// its only storage.  The core reads and writes both the same way, through
// the calls below, which follow the standard containers'.
//
// Elements that are records (types derived from Record) come out by
// reference, so that the core changes the record in its place; other
// elements (numbers, texts) come out as values.
//
// A container has one owner: it moves and is never copied, so that every
// holder of a host object holds its own reference to it.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <stdexcept>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace nv {

// The base of every record the host sees as an object of its own.
struct Record {};
// The base of a record that a method may hand to the host by itself, before
// the host has reached the container that holds it.  The core keeps such a
// record in an allocation of its own that leaves room for its object (see
// RecordHooks); other records sit in their container's storage and move
// into their objects when the host reaches the container.
struct ReturnedRecord : Record {};

template <class T>
inline constexpr bool is_record_v = std::is_base_of_v<Record, T>;
template <class T>
inline constexpr bool is_returned_v = std::is_base_of_v<ReturnedRecord, T>;

template <class T>
class List;
template <class K, class V>
class Dict;
template <class T>
class Set;

template <class T>
struct IsContainerT : std::false_type {};
template <class T>
struct IsContainerT<List<T>> : std::true_type {};
template <class K, class V>
struct IsContainerT<Dict<K, V>> : std::true_type {};
template <class T>
struct IsContainerT<Set<T>> : std::true_type {};
template <class T>
inline constexpr bool is_container_v = IsContainerT<T>::value;

// Records and containers come out of a container in their place; numbers
// and texts as values.
template <class T>
inline constexpr bool by_ref_v = is_record_v<T> || is_container_v<T>;
template <class T>
using Get = std::conditional_t<by_ref_v<T>, T&, T>;

// How the records of a class are laid out in memory.  The binding leaves
// room before each record for the interpreter object that will hold it, so
// that the object can be made in place the first time the host reaches the
// record, wherever the record is then: a record never moves.  Without a
// binding (the core's own tests) a record is a plain allocation.
template <class T>
struct RecordHooks {
  static inline size_t prefix = 0;                 // bytes before the record
  static inline void* (*allocate)(size_t) = nullptr;
  static inline void (*free)(void*) = nullptr;     // memory that holds no object yet
  static inline void (*drop)(T*) = nullptr;        // gives up the core's hold
};

// A record the core holds in one of its containers.
template <class T>
class Owned {
 public:
  template <class... A>
  static Owned make(A&&... a) {
    using H = RecordHooks<T>;
    if (!H::allocate) return Owned(new T(std::forward<A>(a)...));
    char* mem = static_cast<char*>(H::allocate(H::prefix + sizeof(T)));
    try {
      return Owned(new (mem + H::prefix) T(std::forward<A>(a)...));
    } catch (...) {
      H::free(mem);
      throw;
    }
  }
  Owned(Owned&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  Owned& operator=(Owned&& o) noexcept {
    if (this != &o) {
      reset();
      p_ = o.p_;
      o.p_ = nullptr;
    }
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() { reset(); }

  T& operator*() const { return *p_; }
  T* get() const { return p_; }
  // The record, no longer held here (the host's object holds it now).
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  explicit Owned(T* p) : p_(p) {}
  void reset() {
    if (!p_) return;
    if (RecordHooks<T>::drop) RecordHooks<T>::drop(p_);
    else delete p_;
    p_ = nullptr;
  }
  T* p_ = nullptr;
};

// What a C++ container keeps of an element: returned records through their
// own allocation, anything else as it is.
template <class T>
using Stored = std::conditional_t<is_returned_v<T>, Owned<T>, T>;
template <class T>
Stored<T> store_value(T&& v) {
  if constexpr (is_returned_v<T>) return Owned<T>::make(std::move(v));
  else return std::move(v);
}
template <class T>
T& stored(Stored<T>& s) {
  if constexpr (is_returned_v<T>) return *s;
  else return s;
}

// Where a found element is: the record itself, or a copy of the value.
template <class T>
struct Slot {
  std::optional<T> value;
  Get<T> get() { return *value; }
  bool empty() const { return !value; }
};
template <class T>
struct RecordSlot {
  T* value = nullptr;
  T& get() { return *value; }
  bool empty() const { return !value; }
};
// A container found in a host object: a handle on it, held by the slot.
template <class T>
struct ContainerSlot {
  std::optional<T> own;  // a handle on the host's object, when found there
  T* value = nullptr;    // the C++ one in its place, otherwise
  T& get() { return own ? *own : *value; }
  bool empty() const { return !own && !value; }
};
template <class T>
using SlotOf = std::conditional_t<
    is_record_v<T>, RecordSlot<T>,
    std::conditional_t<is_container_v<T>, ContainerSlot<T>, Slot<T>>>;

// The host's side of a container, implemented by the binding.
template <class T>
struct ListHost {
  virtual ~ListHost() = default;
  virtual size_t size() const = 0;
  virtual Get<T> at(size_t i) const = 0;
  virtual Get<T> append(T&& v) = 0;
  virtual void set(size_t i, T&& v) = 0;
  virtual void clear() = 0;
};

template <class K, class V>
struct DictHost {
  virtual ~DictHost() = default;
  virtual size_t size() const = 0;
  virtual bool find(const K& key, SlotOf<V>& out) const = 0;
  // Steps through the entries from `pos` (0 at the start); false at the end.
  virtual bool next(size_t& pos, std::optional<K>& key, SlotOf<V>& value) const = 0;
  virtual Get<V> put(const K& key, V&& value) = 0;
  virtual bool erase(const K& key) = 0;
  virtual void clear() = 0;
};

template <class T>
struct SetHost {
  virtual ~SetHost() = default;
  virtual size_t size() const = 0;
  virtual bool contains(const T& v) const = 0;
  virtual bool next(size_t& pos, std::optional<T>& v) const = 0;
  virtual bool insert(const T& v) = 0;
  virtual bool erase(const T& v) = 0;
  virtual void clear() = 0;
};

namespace detail {
// A hint to fetch the line at p into the cache.  The compiler takes a call
// that does nothing but prefetch for one without effect and drops it; the
// empty volatile asm that uses p keeps the hint where it is written.
inline void prefetch(const void* p) {
  __builtin_prefetch(p);
  asm volatile("" : : "r"(p));
}
inline void prefetch_for_write(const void* p) {
  __builtin_prefetch(p, 1);
  asm volatile("" : : "r"(p));
}

// Keys are looked up by a view of themselves: texts as string_view.
template <class K>
using KeyView = std::conditional_t<std::is_same_v<K, std::string>, std::string_view, K>;

inline uint64_t mix64(uint64_t h) {
  h ^= h >> 33;
  h *= 0xFF51AFD7ED558CCDull;
  h ^= h >> 33;
  return h;
}
inline uint64_t key_hash(std::string_view text) {
  const char* p = text.data();
  size_t left = text.size();
  uint64_t h = 0x9E3779B97F4A7C15ull ^ left;
  for (; left >= 8; p += 8, left -= 8) {
    uint64_t w;
    std::memcpy(&w, p, 8);
    h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
    h ^= h >> 31;
  }
  uint64_t w = 0;
  for (size_t k = 0; k < left; ++k) w |= uint64_t{static_cast<unsigned char>(p[k])} << (8 * k);
  return mix64(h ^ w);
}
template <class K, class = std::enable_if_t<std::is_integral_v<K>>>
uint64_t key_hash(K key) {
  return mix64(static_cast<uint64_t>(key) * 0x9E3779B97F4A7C15ull + 1);
}

// An iterator over the positions of a container with operator[].
template <class C, class R>
class IndexIterator {
 public:
  using iterator_category = std::input_iterator_tag;
  using value_type = std::remove_cv_t<std::remove_reference_t<R>>;
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = R;
  IndexIterator(const C* c, size_t i) : c_(c), i_(i) {}
  R operator*() const { return (*c_)[i_]; }
  IndexIterator& operator++() {
    ++i_;
    return *this;
  }
  bool operator!=(const IndexIterator& o) const { return i_ != o.i_; }
  bool operator==(const IndexIterator& o) const { return i_ == o.i_; }

 private:
  const C* c_;
  size_t i_;
};

// Elements in insertion order whose addresses never change: chunks of 8,
// 8, 16, 32, ... elements, allocated as they fill.  Nothing is allocated
// while it is empty.
template <class E>
class StableVector {
 public:
  StableVector() = default;
  StableVector(StableVector&& o) noexcept : size_(o.size_) {
    std::copy(std::begin(o.chunks_), std::end(o.chunks_), std::begin(chunks_));
    std::fill(std::begin(o.chunks_), std::end(o.chunks_), nullptr);
    o.size_ = 0;
  }
  StableVector& operator=(StableVector&& o) noexcept {
    if (this != &o) {
      clear();
      size_ = o.size_;
      std::copy(std::begin(o.chunks_), std::end(o.chunks_), std::begin(chunks_));
      std::fill(std::begin(o.chunks_), std::end(o.chunks_), nullptr);
      o.size_ = 0;
    }
    return *this;
  }
  StableVector(const StableVector&) = delete;
  StableVector& operator=(const StableVector&) = delete;
  ~StableVector() { clear(); }

  size_t size() const { return size_; }
  E& operator[](size_t i) const {
    const size_t c = chunk_of(i);
    return chunks_[c][i - start_of(c)];
  }
  template <class... A>
  E& emplace_back(A&&... a) {
    const size_t c = chunk_of(size_);
    if (!chunks_[c]) chunks_[c] = std::allocator<E>().allocate(capacity_of(c));
    E* e = new (chunks_[c] + (size_ - start_of(c))) E{std::forward<A>(a)...};
    ++size_;
    return *e;
  }
  // Destroys every element and keeps the memory for new ones.
  void truncate() {
    for (size_t c = 0; c < kChunks && chunks_[c]; ++c) {
      const size_t begin = start_of(c);
      const size_t n = std::min(size_, begin + capacity_of(c)) - std::min(size_, begin);
      std::destroy_n(chunks_[c], n);
    }
    size_ = 0;
  }
  // Destroys every element and gives the memory back.
  void clear() {
    truncate();
    for (size_t c = 0; c < kChunks && chunks_[c]; ++c) {
      std::allocator<E>().deallocate(chunks_[c], capacity_of(c));
      chunks_[c] = nullptr;
    }
  }

  using iterator = IndexIterator<StableVector, E&>;
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, size_); }

 private:
  static constexpr size_t kFirst = 8;
  static constexpr size_t kChunks = 32;  // room for 2^34 elements
  static size_t chunk_of(size_t i) {
    return i < kFirst ? 0 : static_cast<size_t>(64 - __builtin_clzll(i / kFirst));
  }
  static size_t start_of(size_t c) { return c == 0 ? 0 : kFirst << (c - 1); }
  static size_t capacity_of(size_t c) { return c == 0 ? kFirst : kFirst << (c - 1); }

  E* chunks_[kChunks] = {};
  size_t size_ = 0;
};

// The C++ storage of a mapping or set: entries in insertion order, so that
// the host's object is filled in the order the readers stored them.  A
// small one is searched in order; from kScan entries on, an open-addressing
// index over the keys' hashes finds them.  An erased entry stays as a gap.
template <class K, class V>
struct Ordered {
  struct Entry {
    uint64_t hash;  // key_hash of the key, next to it
    K key;
    std::optional<Stored<V>> value;  // none once erased
    V& get() { return stored<V>(*value); }
  };
  StableVector<Entry> items;  // addresses stay put

  // It stays where it was made (inside its container's store).
  Ordered() = default;
  Ordered(const Ordered&) = delete;
  Ordered& operator=(const Ordered&) = delete;

  size_t size() const { return items.size() - erased; }
  Entry* find(const KeyView<K>& key) { return find_hashed(key, key_hash(key)); }
  // The entry of key, holding value; a new key comes last.
  Entry& put(const K& key, V value) {
    const uint64_t h = key_hash(KeyView<K>(key));
    if (Entry* e = find_hashed(key, h)) {
      e->value = store_value(std::move(value));
      return *e;
    }
    return add_hashed(key, std::move(value), h);
  }
  // The entry of key, made with value when there is none; true when made.
  std::pair<Entry*, bool> insert_new(const K& key, V value) {
    const uint64_t h = key_hash(KeyView<K>(key));
    if (Entry* e = find_hashed(key, h)) return {e, false};
    return {&add_hashed(key, std::move(value), h), true};
  }
  bool erase(const K& key) {
    Entry* e = find(key);
    if (!e) return false;
    if (!slots.empty()) {
      for (size_t i = e->hash & mask;; i = (i + 1) & mask) {
        IndexSlot& s = slots[i];
        if (s.pos != kGone && &items[s.pos] == e) {
          s.pos = kGone;
          break;
        }
      }
    }
    e->value.reset();
    ++erased;
    return true;
  }
  // Empties it and keeps its memory for new entries.
  void clear_keeping_memory() {
    items.truncate();
    std::fill(slots.begin(), slots.end(), IndexSlot{});
    used = 0;
    erased = 0;
  }
  // Empties it and gives its memory back.
  void release() {
    items.clear();
    std::vector<IndexSlot>().swap(slots);
    mask = 0;
    used = 0;
    erased = 0;
  }
  void reserve(size_t n) {
    if (n > kScan && 2 * n > slots.size()) reindex(n);
  }
  // Hints that the key will be looked up soon: its index slot is fetched
  // into the cache; then, once that is there, its entry.
  void prefetch_slot(const KeyView<K>& key) const {
    if (!slots.empty()) prefetch(&slots[key_hash(key) & mask]);
  }
  void prefetch_entry(const KeyView<K>& key) const {
    if (const Entry* e = likely_entry(key)) {
      // The entry's first lines: its hash and key, and a record's fields.
      const char* p = reinterpret_cast<const char*>(e);
      for (size_t at = 0; at < std::min<size_t>(sizeof(Entry), 320); at += 64)
        prefetch(p + at);
    }
  }
  // Then, once the entry is there: what it points to, a long key's text
  // and a record kept in its own allocation.
  void prefetch_held(const KeyView<K>& key) const {
    const Entry* e = likely_entry(key);
    if (!e) return;
    if constexpr (std::is_same_v<K, std::string>) prefetch(e->key.data());
    if constexpr (is_returned_v<V>) {
      if (e->value) {
        const char* p = reinterpret_cast<const char*>(e->value->get());
        for (size_t at = 0; at < std::min<size_t>(sizeof(V), 256); at += 64) prefetch(p + at);
      }
    }
  }

 private:
  // The entry whose hash matches key's, by the index only (the key itself
  // is not compared): for hints.
  const Entry* likely_entry(const KeyView<K>& key) const {
    if (slots.empty()) return nullptr;
    const uint64_t h = key_hash(key);
    const uint32_t tag = tag_of(h);
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const IndexSlot& s = slots[i];
      if (s.pos == kFree) return nullptr;
      if (s.pos != kGone && s.tag == tag) return &items[s.pos];
    }
  }

  static constexpr size_t kScan = 8;
  static constexpr uint32_t kFree = UINT32_MAX, kGone = UINT32_MAX - 1;
  struct IndexSlot {
    uint32_t tag = 0;  // the hash's high half
    uint32_t pos = kFree;
  };
  static uint32_t tag_of(uint64_t h) { return static_cast<uint32_t>(h >> 32); }

  Entry* find_hashed(const KeyView<K>& key, uint64_t h) {
    if (slots.empty()) {
      for (size_t i = 0, n = items.size(); i < n; ++i) {
        Entry& e = items[i];
        if (e.hash == h && e.value && KeyView<K>(e.key) == key) return &e;
      }
      return nullptr;
    }
    const uint32_t tag = tag_of(h);
    for (size_t i = h & mask;; i = (i + 1) & mask) {
      const IndexSlot& s = slots[i];
      if (s.pos == kFree) return nullptr;
      if (s.pos != kGone && s.tag == tag) {
        Entry& e = items[s.pos];
        if (e.hash == h && KeyView<K>(e.key) == key) return &e;
      }
    }
  }
  Entry& add_hashed(const K& key, V value, uint64_t h) {
    Entry& e = items.emplace_back(h, key, store_value(std::move(value)));
    const uint32_t pos = static_cast<uint32_t>(items.size() - 1);
    if (!slots.empty()) {
      if (2 * (used + 1) > slots.size()) reindex();
      else place(h, pos);
    } else if (items.size() > kScan) {
      reindex();
    }
    return e;
  }
  void place(uint64_t h, uint32_t pos) {
    size_t i = h & mask;
    while (slots[i].pos != kFree) i = (i + 1) & mask;
    slots[i] = IndexSlot{tag_of(h), pos};
    ++used;
  }
  // Builds the index anew over the live entries, with room for at least
  // `want` of them.
  void reindex(size_t want = 0) {
    const size_t live = std::max(size(), want);
    size_t cap = 16;
    while (cap < 2 * live + 2) cap *= 2;
    slots.assign(cap, IndexSlot{});
    mask = cap - 1;
    used = 0;
    for (size_t p = 0, n = items.size(); p < n; ++p)
      if (items[p].value) place(items[p].hash, static_cast<uint32_t>(p));
  }

  std::vector<IndexSlot> slots;  // empty while the entries are few
  size_t mask = 0;
  size_t used = 0;  // slots taken, erased ones included

 public:
  size_t erased = 0;
};

struct Present {};

inline uint64_t next_serial() {
  static uint64_t last = 0;
  return ++last;
}
}  // namespace detail

template <class T>
class List {
 public:
  struct Store {
    std::vector<Stored<T>> items;
    std::unique_ptr<ListHost<T>> host;
    // Which C++ list this is and how often the core has changed it: what an
    // index over a C++ list checks before it answers (see native_stamp).
    uint64_t serial = detail::next_serial();
    uint64_t edits = 0;
  };

  List() = default;
  List(std::vector<T> items) : s_(std::make_unique<Store>()) {
    s_->items.reserve(items.size());
    for (T& v : items) s_->items.push_back(store_value(std::move(v)));
  }
  List(std::initializer_list<T> items) : List(std::vector<T>(items)) {}
  explicit List(std::unique_ptr<ListHost<T>> host) : s_(std::make_unique<Store>()) {
    s_->host = std::move(host);
  }
  List(List&&) noexcept = default;
  List& operator=(List&&) noexcept = default;
  List(const List&) = delete;
  List& operator=(const List&) = delete;

  size_t size() const { return !s_ ? 0 : s_->host ? s_->host->size() : s_->items.size(); }
  bool empty() const { return size() == 0; }
  Get<T> operator[](size_t i) const {
    if (s_->host) return s_->host->at(i);
    return stored<T>(s_->items[i]);
  }
  Get<T> back() const { return (*this)[size() - 1]; }
  // A copy of the values, for a list of values.
  std::vector<T> values() const {
    std::vector<T> out;
    out.reserve(size());
    for (size_t i = 0, n = size(); i < n; ++i) out.push_back((*this)[i]);
    return out;
  }

  // Calls f(element) for every element in order; without copies while the
  // list is the core's.
  template <class F>
  void for_each(F&& f) const {
    if (!s_) return;
    if (s_->host) {
      for (size_t i = 0, n = s_->host->size(); i < n; ++i) f(s_->host->at(i));
      return;
    }
    for (auto& v : s_->items) f(stored<T>(const_cast<Stored<T>&>(v)));
  }

  // Hints that the list will be read soon: its store, then, once that is
  // in the cache, its first elements.
  void prefetch_store() const {
    if (s_) detail::prefetch(s_.get());
  }
  // Where the next element of a core's own list goes.
  void prefetch_end() const {
    if (s_ && !s_->host) detail::prefetch_for_write(s_->items.data() + s_->items.size());
  }
  void prefetch_items() const {
    if (!s_ || s_->host || s_->items.empty()) return;
    const char* p = reinterpret_cast<const char*>(s_->items.data());
    const size_t bytes = std::min<size_t>(s_->items.size() * sizeof(Stored<T>), 1024);
    for (size_t at = 0; at < bytes; at += 64) detail::prefetch(p + at);
  }

  // While the list is the core's own (the host has never reached it, so
  // only the core can have changed it): a stamp that changes with every
  // change the core makes through these calls, different for every list.
  // None once the host holds it.  Elements the core changes in their place
  // do not change it.
  struct Stamp {
    uint64_t serial, edits;
    bool operator==(const Stamp& o) const { return serial == o.serial && edits == o.edits; }
  };
  std::optional<Stamp> native_stamp() const {
    if (!s_ || s_->host) return std::nullopt;
    return Stamp{s_->serial, s_->edits};
  }

  template <class... A>
  Get<T> emplace_back(A&&... a) {
    Store& s = store();
    if (s.host) return s.host->append(T(std::forward<A>(a)...));
    ++s.edits;
    if constexpr (is_returned_v<T>) return *s.items.emplace_back(Owned<T>::make(std::forward<A>(a)...));
    else return s.items.emplace_back(std::forward<A>(a)...);
  }
  void push_back(T v) { emplace_back(std::move(v)); }
  void set(size_t i, T v) {
    Store& s = store();
    if (s.host) {
      s.host->set(i, std::move(v));
    } else {
      ++s.edits;
      s.items[i] = store_value(std::move(v));
    }
  }
  void reserve(size_t n) {
    Store& s = store();
    if (!s.host) s.items.reserve(n);
  }
  void clear() {
    if (!s_) return;
    if (s_->host) {
      s_->host->clear();
    } else {
      ++s_->edits;
      s_->items.clear();
    }
  }

  using iterator = detail::IndexIterator<List, Get<T>>;
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, size()); }

  // For the binding.
  Store& store() {
    if (!s_) s_ = std::make_unique<Store>();
    return *s_;
  }
  const Store* peek() const { return s_.get(); }

 private:
  std::unique_ptr<Store> s_;
};

// Lists of values compare by their values.
template <class T, class = std::enable_if_t<!by_ref_v<T>>>
bool operator==(const List<T>& a, const std::vector<T>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < b.size(); ++i)
    if (!(a[i] == b[i])) return false;
  return true;
}

template <class K, class V>
class Dict {
 public:
  using Native = detail::Ordered<K, V>;
  using Entry = typename Native::Entry;
  struct Store : Native {
    std::unique_ptr<DictHost<K, V>> host;
  };

  // One entry as the iterators give it.
  struct Item {
    const K& first;
    Get<V> second;
  };

  Dict() = default;
  template <class W = V, class = std::enable_if_t<!by_ref_v<W>>>
  Dict(std::initializer_list<std::pair<K, V>> items) {
    for (const auto& [k, v] : items) insert_or_assign(k, v);
  }
  explicit Dict(std::unique_ptr<DictHost<K, V>> host) : s_(std::make_unique<Store>()) {
    s_->host = std::move(host);
  }
  Dict(Dict&&) noexcept = default;
  Dict& operator=(Dict&&) noexcept = default;
  Dict(const Dict&) = delete;
  Dict& operator=(const Dict&) = delete;

  size_t size() const {
    if (!s_) return 0;
    return s_->host ? s_->host->size() : s_->Native::size();
  }
  bool empty() const { return size() == 0; }

  class iterator {
   public:
    struct Arrow {
      Item item;
      const Item* operator->() const { return &item; }
    };
    iterator() = default;
    Item operator*() const {
      if (entry_) return Item{entry_->key, get_native()};
      return Item{*key_, slot_.get()};
    }
    Arrow operator->() const { return Arrow{**this}; }
    iterator& operator++() {
      advance();
      return *this;
    }
    bool operator==(const iterator& o) const { return at_end() == o.at_end() && (at_end() || same(o)); }
    bool operator!=(const iterator& o) const { return !(*this == o); }

   private:
    friend class Dict;
    Get<V> get_native() const { return entry_->get(); }
    bool at_end() const { return !entry_ && !key_; }
    bool same(const iterator& o) const {
      return entry_ ? entry_ == o.entry_ : (o.key_ && *key_ == *o.key_);
    }
    void advance() {
      if (!store_) return;
      if (store_->host) {
        key_.reset();
        slot_ = SlotOf<V>{};
        if (!store_->host->next(pos_, key_, slot_)) key_.reset();
        return;
      }
      entry_ = nullptr;
      while (pos_ < store_->items.size()) {
        Entry& e = store_->items[pos_++];
        if (e.value) {
          entry_ = &e;
          return;
        }
      }
    }
    Store* store_ = nullptr;
    size_t pos_ = 0;
    Entry* entry_ = nullptr;          // native
    std::optional<K> key_;            // host
    mutable SlotOf<V> slot_{};
  };

  iterator begin() const {
    iterator it;
    it.store_ = s_.get();
    it.advance();
    return it;
  }
  iterator end() const { return iterator(); }

  iterator find(const K& key) const {
    iterator it;
    if (!s_) return it;
    it.store_ = s_.get();
    if (s_->host) {
      if (s_->host->find(key, it.slot_)) it.key_ = key;
      return it;
    }
    it.entry_ = s_->find(key);
    return it;
  }
  bool contains(const K& key) const { return find(key) != end(); }
  // The value under key; std::out_of_range when there is none.
  Get<V> at(const K& key) const {
    static_assert(!is_container_v<V>, "look a container up with lookup()");
    SlotOf<V> found = lookup(key);
    if (found.empty()) throw std::out_of_range("no such key");
    return found.get();
  }
  size_t count(const K& key) const { return contains(key) ? 1 : 0; }

  // The value stored under key; the record itself for a record.
  SlotOf<V> lookup(const K& key) const { return lookup_as(key); }

  // Hints for a lookup of key that comes soon (nothing for the host's
  // object): see Ordered.
  void prefetch_slot(const detail::KeyView<K>& key) const {
    if (s_ && !s_->host) s_->prefetch_slot(key);
  }
  void prefetch_entry(const detail::KeyView<K>& key) const {
    if (s_ && !s_->host) s_->prefetch_entry(key);
  }
  void prefetch_held(const detail::KeyView<K>& key) const {
    if (s_ && !s_->host) s_->prefetch_held(key);
  }

  // The value under key while the mapping is the core's own, for hints
  // only; null otherwise.
  const V* peek_native(const K& key) const {
    if (!s_ || s_->host) return nullptr;
    Entry* e = s_->find(key);
    return e ? &e->get() : nullptr;
  }

  // lookup() by a view of a text key, made into a text only for the host.
  template <class KK = K, class = std::enable_if_t<std::is_same_v<KK, std::string>>>
  SlotOf<V> lookup_text(std::string_view key) const { return lookup_as(key); }

  // Stores value under key, in the place of an earlier value; a new key
  // comes last.
  Get<V> insert_or_assign(const K& key, V value) {
    Store& s = store();
    if (s.host) return s.host->put(key, std::move(value));
    return s.put(key, std::move(value)).get();
  }
  // The value under key, made from args when there is none.
  template <class... A>
  std::pair<iterator, bool> try_emplace(const K& key, A&&... args) {
    iterator it = find(key);
    if (it != end()) return {it, false};
    insert_or_assign(key, V(std::forward<A>(args)...));
    return {find(key), true};
  }
  std::pair<iterator, bool> emplace(const K& key, V value) {
    iterator it = find(key);
    if (it != end()) return {it, false};
    insert_or_assign(key, std::move(value));
    return {find(key), true};
  }
  bool erase(const K& key) {
    if (!s_) return false;
    if (s_->host) return s_->host->erase(key);
    return s_->erase(key);
  }
  void clear() {
    if (!s_) return;
    if (s_->host) s_->host->clear();
    else s_->release();
  }
  void reserve(size_t n) {
    Store& s = store();
    if (!s.host) s.Native::reserve(n);
  }

  // For the binding.
  Store& store() {
    if (!s_) s_ = std::make_unique<Store>();
    return *s_;
  }
  const Store* peek() const { return s_.get(); }

 private:
  // lookup() by the key or a view of it; the host is asked with a key.
  template <class KV>
  SlotOf<V> lookup_as(const KV& key) const {
    SlotOf<V> out{};
    if (!s_) return out;
    if (s_->host) {
      if constexpr (std::is_same_v<KV, K>) s_->host->find(key, out);
      else s_->host->find(K(key), out);
      return out;
    }
    Entry* e = s_->find(key);
    if (!e) return out;
    if constexpr (by_ref_v<V>) out.value = &e->get();
    else out.value = e->get();
    return out;
  }

  std::unique_ptr<Store> s_;
};

// Mappings of values compare by their entries, in any order.
template <class K, class V, class = std::enable_if_t<!by_ref_v<V>>>
bool operator==(const Dict<K, V>& a, const Dict<K, V>& b) {
  if (a.size() != b.size()) return false;
  for (const auto& [k, v] : a) {
    auto other = b.lookup(k);
    if (other.empty() || !(other.get() == v)) return false;
  }
  return true;
}

template <class T>
class Set {
 public:
  using Native = detail::Ordered<T, detail::Present>;
  struct Store : Native {
    std::unique_ptr<SetHost<T>> host;
  };

  Set() = default;
  explicit Set(std::unique_ptr<SetHost<T>> host) : s_(std::make_unique<Store>()) {
    s_->host = std::move(host);
  }
  Set(Set&&) noexcept = default;
  Set& operator=(Set&&) noexcept = default;
  Set(const Set&) = delete;
  Set& operator=(const Set&) = delete;

  size_t size() const {
    if (!s_) return 0;
    return s_->host ? s_->host->size() : s_->Native::size();
  }
  bool empty() const { return size() == 0; }
  bool contains(const T& v) const {
    if (!s_) return false;
    if (s_->host) return s_->host->contains(v);
    return s_->find(v) != nullptr;
  }
  size_t count(const T& v) const { return contains(v) ? 1 : 0; }
  bool insert(const T& v) {
    Store& s = store();
    if (s.host) return s.host->insert(v);
    return s.insert_new(v, detail::Present{}).second;
  }
  bool erase(const T& v) {
    if (!s_) return false;
    if (s_->host) return s_->host->erase(v);
    return s_->erase(v);
  }
  void clear() {
    if (!s_) return;
    if (s_->host) s_->host->clear();
    else s_->release();
  }

  // Whether the host may hold it: false while it is the core's own.
  bool held_by_host() const { return s_ && s_->host; }
  // Empties a set that is the core's own, keeping its memory.
  void clear_native() {
    if (s_ && !s_->host) s_->clear_keeping_memory();
  }

  // Calls f(value) for every member, in the container's order.
  template <class F>
  void for_each(F&& f) const {
    if (!s_) return;
    if (s_->host) {
      size_t pos = 0;
      std::optional<T> v;
      while (s_->host->next(pos, v)) f(*v);
      return;
    }
    for (const auto& e : s_->items)
      if (e.value) f(e.key);
  }
  std::vector<T> values() const {
    std::vector<T> out;
    for_each([&](const T& v) { out.push_back(v); });
    return out;
  }

  Store& store() {
    if (!s_) s_ = std::make_unique<Store>();
    return *s_;
  }
  const Store* peek() const { return s_.get(); }

 private:
  std::unique_ptr<Store> s_;
};

}  // namespace nv
