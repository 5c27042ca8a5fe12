// The clipping structure that holds the alive zone exactly: every outline cut
// into segments at the points where other outlines cross it, kept in an
// arena of slots, with the shared-start index of the points where segments
// begin and the table of shapes. Internal to the zone (and its tests); the
// zone's face (zone.hpp) answers what other folders ask of it.
#pragma once

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

#include "zone/zone.hpp"

namespace cellvane {

// A short list of ids held inline while it has at most Inline entries and on
// the heap beyond that: 16 bytes for one shape id or two segment ids. Nearly
// every point has one cause (the one other outline crossing there) and one or
// two segments starting there, so almost nothing allocates. (std::vector ran
// 3.3% more instructions over three random games on an 18 board and 11.6% more
// carving and reclaiming 1,000 stones on a 90 board, callgrind.)
template <typename Id, std::uint32_t Inline>
class InlineIds {
public:
    using value_type = Id;
    using iterator = Id*;
    using const_iterator = const Id*;

    InlineIds() = default;
    InlineIds(const InlineIds& other) { assign(other); }
    InlineIds(InlineIds&& other) noexcept { take(other); }
    InlineIds& operator=(const InlineIds& other) {
        if (this != &other) {
            release();
            assign(other);
        }
        return *this;
    }
    InlineIds& operator=(InlineIds&& other) noexcept {
        if (this != &other) {
            release();
            take(other);
        }
        return *this;
    }
    ~InlineIds() { release(); }

    bool empty() const { return size_ == 0; }
    std::size_t size() const { return size_; }
    Id* begin() { return data(); }
    Id* end() { return data() + size_; }
    const Id* begin() const { return data(); }
    const Id* end() const { return data() + size_; }
    Id operator[](std::size_t i) const { return data()[i]; }
    bool contains(Id id) const { return std::find(begin(), end(), id) != end(); }
    void clear() {
        release();
        size_ = 0;
    }
    friend bool operator==(const InlineIds& a, const InlineIds& b) {
        return a.size_ == b.size_ && std::equal(a.begin(), a.end(), b.begin());
    }

protected:
    static constexpr std::uint32_t INLINE = Inline;

    Id* data() { return size_ > INLINE ? store_.heap_ : store_.inline_; }
    const Id* data() const { return size_ > INLINE ? store_.heap_ : store_.inline_; }
    // Opens a gap at position at and writes id there.
    void insert_at(std::size_t at, Id id) {
        assert(at <= size_);
        if (size_ == room(size_)) grow();
        ++size_;
        Id* d = data();
        for (std::size_t i = size_ - 1; i > at; --i) d[i] = d[i - 1];
        d[at] = id;
    }
    // Closes the gap at position at; back to inline storage when it fits.
    void erase_at(std::size_t at) {
        assert(at < size_);
        Id* d = data();
        for (std::size_t i = at + 1; i < size_; ++i) d[i - 1] = d[i];
        if (size_ == INLINE + 1) {
            Id kept[INLINE];
            for (std::uint32_t i = 0; i < INLINE; ++i) kept[i] = d[i];
            delete[] store_.heap_;
            for (std::uint32_t i = 0; i < INLINE; ++i) store_.inline_[i] = kept[i];
        }
        --size_;
    }
    // Keeps the first n entries, in place (n at most the size).
    void truncate(std::size_t n) {
        if (size_ > INLINE && n <= INLINE) {
            Id kept[INLINE];
            for (std::size_t i = 0; i < n; ++i) kept[i] = store_.heap_[i];
            delete[] store_.heap_;
            for (std::size_t i = 0; i < n; ++i) store_.inline_[i] = kept[i];
        }
        size_ = static_cast<std::uint32_t>(n);
    }

private:
    // The storage first and the size after it, with no capacity field: the
    // heap block's capacity follows from the size (see room), so a list is
    // 12 bytes of data and a member that follows one can sit in its last
    // four (see Segment). A move copies the union whole, whichever member
    // is in use.
    union Store {
        Id inline_[INLINE] = {};
        Id* heap_;
    } store_;
    std::uint32_t size_ = 0;

    // Entries the storage holds at least while there are n: INLINE inline,
    // else the smallest INLINE * 2^k not below n. A heap block is allocated
    // at room(n) entries when its size reaches n and only dropped when the
    // size falls back to INLINE, so it always holds at least room(size_).
    static std::uint32_t room(std::uint32_t n) {
        std::uint32_t r = INLINE;
        while (r < n) r *= 2;
        return r;
    }
    // Called when the storage is full: a block of twice the size.
    void grow() {
        const std::uint32_t bigger = size_ * 2;
        Id* fresh = new Id[bigger];
        const Id* d = data();
        for (std::uint32_t i = 0; i < size_; ++i) fresh[i] = d[i];
        if (size_ > INLINE) delete[] store_.heap_;
        store_.heap_ = fresh;
    }
    void release() {
        if (size_ > INLINE) delete[] store_.heap_;
    }
    void assign(const InlineIds& other) {
        size_ = other.size_;
        if (size_ > INLINE) store_.heap_ = new Id[room(size_)];
        Id* d = data();
        for (std::uint32_t i = 0; i < size_; ++i) d[i] = other.data()[i];
    }
    void take(InlineIds& other) {
        store_ = other.store_;
        size_ = other.size_;
        other.size_ = 0;
    }
};

// The shapes whose crossings with a segment's own shape put its start point
// where it is, each with the part its crossing plays in coverage. A point
// stays in the structure exactly as long as one of them is there, so removing
// a shape merges back every split it alone made, also where other outlines
// touch or cross at the same point. Nearly every point has one cause and a
// point where three outlines meet has two. Insertion order, no repeats.
//
// Where two outlines cross, the part of each that lies in the other's dead
// region runs from one crossing point to the other along the list. The cause
// at the point where that part begins OPENS it and the cause at the point
// where it ends (the first segment past it) CLOSES it; both on one point
// mark a part of no length. So coverage is held as two marks per crossing
// rather than as a set on every segment: walking a list from its head, the
// number of shapes covering a segment is the head's count plus the opens
// less the closes met since (see ClipGraph::for_each_segment).
//
// The two role bits are kept in the top bits of each entry. Shape ids grow by
// one per carve from zero, so they stay below 2^62 for centuries of play. (A
// plain {id, roles} entry ran 1.6% more instructions over three random games
// on an 18 board and 5.3% more carving and reclaiming 10,000 stones, though
// 1.6% fewer on 1,000, callgrind.)
class Causes : private InlineIds<std::uint64_t, 1> {
    using Base = InlineIds<std::uint64_t, 1>;

public:
    static constexpr std::uint8_t OPENS = 1;
    static constexpr std::uint8_t CLOSES = 2;

    // Yields the shape ids, without their roles.
    class const_iterator {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = ShapeId;
        using difference_type = std::ptrdiff_t;
        using pointer = const ShapeId*;
        using reference = ShapeId;

        const_iterator() = default;
        explicit const_iterator(const std::uint64_t* at) : at_(at) {}
        ShapeId operator*() const { return *at_ & ID_MASK; }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator was = *this;
            ++at_;
            return was;
        }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.at_ == b.at_; }

    private:
        const std::uint64_t* at_ = nullptr;
    };

    using Base::clear;
    using Base::empty;
    using Base::size;
    const_iterator begin() const { return const_iterator{Base::begin()}; }
    const_iterator end() const { return const_iterator{Base::end()}; }
    friend bool operator==(const Causes& a, const Causes& b) {
        return static_cast<const Base&>(a) == static_cast<const Base&>(b);
    }

    // Adds id with the given roles, or adds the roles to id's entry.
    void add(ShapeId id, std::uint8_t roles) {
        assert((id & ~ID_MASK) == 0 && "shape ids stay below 2^62");
        if (std::uint64_t* at = find(id)) {
            *at |= static_cast<std::uint64_t>(roles) << ROLE_SHIFT;
        } else {
            insert_at(size(), (id & ID_MASK) | (static_cast<std::uint64_t>(roles) << ROLE_SHIFT));
        }
    }
    // Drops id, keeping the others in order; answers the roles it had (0 when
    // it was not there).
    std::uint8_t remove(ShapeId id) {
        std::uint64_t* at = find(id);
        if (at == nullptr) return 0;
        const std::uint8_t roles = role_bits(*at);
        erase_at(static_cast<std::size_t>(at - Base::begin()));
        return roles;
    }
    bool contains(ShapeId id) const { return find(id) != nullptr; }
    // The roles of id's entry, 0 when id is not a cause.
    std::uint8_t roles_of(ShapeId id) const {
        const std::uint64_t* at = find(id);
        return at == nullptr ? 0 : role_bits(*at);
    }
    // Calls f(id, roles) for each entry in order.
    template <class F>
    void each(F&& f) const {
        for (const std::uint64_t e : static_cast<const Base&>(*this)) f(e & ID_MASK, role_bits(e));
    }
    // How the number of shapes covering the list changes at this point: the
    // parts opened here less the parts closed here.
    std::int64_t cover_step() const {
        // Nearly every point has one cause: its two role bits, OPENS the
        // lower, are the top two bits of the one entry.
        if (size() == 1) {
            const std::uint64_t e = *Base::begin();
            return static_cast<std::int64_t>((e >> ROLE_SHIFT) & 1) - static_cast<std::int64_t>(e >> (ROLE_SHIFT + 1));
        }
        std::int64_t step = 0;
        for (const std::uint64_t e : static_cast<const Base&>(*this)) {
            const std::uint8_t roles = role_bits(e);
            step += static_cast<std::int64_t>((roles & OPENS) != 0) - static_cast<std::int64_t>((roles & CLOSES) != 0);
        }
        return step;
    }

private:
    static constexpr int ROLE_SHIFT = 62;
    static constexpr std::uint64_t ID_MASK = (std::uint64_t{1} << ROLE_SHIFT) - 1;
    static std::uint8_t role_bits(std::uint64_t e) { return static_cast<std::uint8_t>(e >> ROLE_SHIFT); }
    const std::uint64_t* find(ShapeId id) const {
        for (const std::uint64_t& e : static_cast<const Base&>(*this)) {
            if ((e & ID_MASK) == id) return &e;
        }
        return nullptr;
    }
    std::uint64_t* find(ShapeId id) { return const_cast<std::uint64_t*>(std::as_const(*this).find(id)); }
};

// The segments that start at one point, in insertion order: inline while
// there are at most two (a crossing of two outlines, a corner of the square),
// on the heap beyond.
class SegList : public InlineIds<SegId, 2> {
public:
    SegList() = default;
    SegList(std::initializer_list<SegId> ids) {
        for (const SegId id : ids) push_back(id);
    }
    void push_back(SegId id) { insert_at(size(), id); }
    // Drops every entry equal to id, keeping the others in order; answers
    // how many were dropped.
    std::size_t erase(SegId id) {
        SegId* d = data();
        std::size_t kept = 0;
        for (std::size_t i = 0; i < size(); ++i) {
            if (d[i] != id) d[kept++] = d[i];
        }
        const std::size_t dropped = size() - kept;
        truncate(kept);
        return dropped;
    }
};

// The shared-start index: PointKey to the segments starting at that point,
// an open-addressing table with plain linear probing and no tombstones: a
// search runs from the key's home slot to the key or the first empty slot, a
// removal moves back each later entry of the run that may sit in the hole.
// The table fills to 7/8 before it doubles. (Robin Hood order with a probe
// number byte per slot ran 2.1% more instructions carving and reclaiming
// 1,000 stones on a 90 board, 2.6% on 10,000 stones, callgrind, and took as
// long.) Iteration runs in table order, which is not key order; sorted_keys()
// gives the keys in key order.
class PointIndex {
public:
    struct Entry {
        PointKey first;
        SegList second;
    };

    template <class E>
    class Iter {
    public:
        Iter(E* at, E* stop, const std::uint8_t* used) : at_(at), stop_(stop), used_(used) { skip(); }
        E& operator*() const { return *at_; }
        E* operator->() const { return at_; }
        Iter& operator++() {
            ++at_;
            ++used_;
            skip();
            return *this;
        }
        friend bool operator==(const Iter& a, const Iter& b) { return a.at_ == b.at_; }

    private:
        void skip() {
            while (at_ != stop_ && *used_ == 0) {
                ++at_;
                ++used_;
            }
        }
        E* at_;
        E* stop_;
        const std::uint8_t* used_;
    };
    using iterator = Iter<Entry>;
    using const_iterator = Iter<const Entry>;

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    iterator begin() { return {slots_.data(), slots_.data() + slots_.size(), used_.data()}; }
    iterator end() { return {slots_.data() + slots_.size(), slots_.data() + slots_.size(), nullptr}; }
    const_iterator begin() const { return {slots_.data(), slots_.data() + slots_.size(), used_.data()}; }
    const_iterator end() const { return {slots_.data() + slots_.size(), slots_.data() + slots_.size(), nullptr}; }

    iterator find(PointKey key) {
        const std::size_t at = locate(key);
        return at == NONE ? end() : iterator{slots_.data() + at, slots_.data() + slots_.size(), used_.data() + at};
    }
    const_iterator find(PointKey key) const {
        const std::size_t at = locate(key);
        return at == NONE ? end()
                          : const_iterator{slots_.data() + at, slots_.data() + slots_.size(), used_.data() + at};
    }
    bool contains(PointKey key) const { return locate(key) != NONE; }

    // Where a search for a key ended: the slot holding it, or the empty slot
    // a new entry for it would take while the table is not changed.
    struct Spot {
        std::size_t at = NONE;
        bool found = false;
    };
    Spot seek(PointKey key) const {
        Spot spot;
        if (slots_.empty()) return spot;
        const std::size_t mask = slots_.size() - 1;
        for (std::size_t i = hash(key) & mask;; i = (i + 1) & mask) {
            if (used_[i] == 0) {
                spot.at = i;
                return spot;
            }
            if (slots_[i].first == key) {
                spot.at = i;
                spot.found = true;
                return spot;
            }
        }
    }
    // The list at a spot found holding its key.
    const SegList& list_at(const Spot& spot) const { return slots_[spot.at].second; }
    SegList& list_at(const Spot& spot) { return slots_[spot.at].second; }
    // Drops the entry at a spot found holding its key.
    void erase_at(const Spot& spot) { erase_slot(spot.at); }
    // The list under key, made empty when the key is absent, given where
    // seek(key) ended on the table as it still is: an absent key goes straight
    // into its slot unless the table must grow first. Afterwards spot names
    // the key's entry.
    SegList& list_for(PointKey key, Spot& spot);
    // The list under key, made empty when the key is absent.
    SegList& operator[](PointKey key);
    SegList& at(PointKey key) { return (*this)[key]; }
    // The list under key, or an empty list when the key is absent.
    const SegList& at(PointKey key) const;
    void erase(iterator it);
    std::vector<PointKey> sorted_keys() const;

    friend bool operator==(const PointIndex& a, const PointIndex& b);

private:
    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);
    std::vector<Entry> slots_;
    // Per slot: 1 when it holds an entry, 0 when empty.
    std::vector<std::uint8_t> used_;
    std::size_t size_ = 0;

    static std::size_t hash(PointKey key) {
        std::uint64_t h = key.x * 0x9E3779B97F4A7C15ULL ^ (key.y + 0x632BE59BD9B4E019ULL + (key.x >> 29));
        h ^= h >> 30;
        h *= 0xBF58476D1CE4E5B9ULL;
        h ^= h >> 27;
        h *= 0x94D049BB133111EBULL;
        h ^= h >> 31;
        return static_cast<std::size_t>(h);
    }
    std::size_t locate(PointKey key) const {
        const Spot spot = seek(key);
        return spot.found ? spot.at : NONE;
    }
    // Puts the entry into the first empty slot from its home (its key
    // absent, room for it made); answers the slot it lands in.
    std::size_t place(Entry&& entry);
    void erase_slot(std::size_t at);
    // The slot of key's entry, made empty when the key is absent.
    std::size_t slot_for(PointKey key);
    void grow();
};

// 56 bytes: next sits in the last four bytes of causes, which holds 12 bytes
// of data (see InlineIds).
struct Segment {
    double offset = 0.0;
    Point start;
    // Shapes whose crossings put the start point here, with the parts of
    // coverage they open and close there (see Causes).
    [[no_unique_address]] Causes causes;
    SegId next = 0;
    ShapeId shape = 0;
    SegId prev = 0;
    bool off_board = false;
    // One of an edge line's own four points, which no removal merges away.
    bool permanent = false;
};

// One slot of the segment arena: a segment, or vacant. A vacant slot holds a
// segment with no causes whose shape is VACANT, an id no shape reaches
// (they grow by one from zero), so a slot costs no more than a segment.
class SegmentSlot {
public:
    static constexpr ShapeId VACANT = ~ShapeId{0};

    SegmentSlot() { seg_.shape = VACANT; }
    explicit operator bool() const { return seg_.shape != VACANT; }
    bool has_value() const { return seg_.shape != VACANT; }
    Segment& operator*() { return seg_; }
    const Segment& operator*() const { return seg_; }
    Segment* operator->() { return &seg_; }
    const Segment* operator->() const { return &seg_; }
    // Fills the slot with a segment of `shape` (a shape's id, never VACANT)
    // that has no marks and links to nothing; the caller links it.
    Segment& fill(ShapeId shape, Point start, double offset, bool off_board) {
        assign(shape, start, offset, off_board);
        return seg_;
    }
    // Vacates the slot: every field as a fresh segment has it.
    void reset() { assign(VACANT, Point{}, 0.0, false); }

private:
    // Writes every field, one by one rather than through a temporary.
    void assign(ShapeId shape, Point start, double offset, bool off_board) {
        seg_.offset = offset;
        seg_.start = start;
        seg_.causes.clear();
        seg_.next = 0;
        seg_.shape = shape;
        seg_.prev = 0;
        seg_.off_board = off_board;
        seg_.permanent = false;
    }

    Segment seg_;
};
static_assert(sizeof(void*) != 8 || sizeof(SegmentSlot) == 56, "a segment slot is 56 bytes on 64-bit targets");

// The shapes by id, held flat in ascending id. Ids only grow, so a new
// shape goes at the end; a lookup bisects a compact array of the ids alone.
// An erased shape leaves its slot behind, marked, until the marked slots
// outnumber the shapes and are squeezed out all at once: erasing the shapes
// of a capture of n stones costs n lookups and one pass, not n passes over
// the table. Walks skip the marked slots. Adding or erasing a shape may move
// the others: no reference to a shape is kept across either.
class ShapeTable {
public:
    using Entry = ShapeEntry;
    // The id of an erased slot, which no shape takes (ids grow by one from
    // zero).
    static constexpr ShapeId ERASED = ERASED_SLOT;

    template <class E>
    class Iter {
    public:
        using iterator_category = std::forward_iterator_tag;
        using value_type = Entry;
        using difference_type = std::ptrdiff_t;
        using pointer = E*;
        using reference = E&;

        Iter() = default;
        // An iterator at `at`, which must be a shape's slot or the end.
        Iter(E* at, E* stop) : at_(at), stop_(stop) {}
        E& operator*() const { return *at_; }
        E* operator->() const { return at_; }
        Iter& operator++() {
            ++at_;
            skip();
            return *this;
        }
        Iter operator++(int) {
            Iter was = *this;
            ++*this;
            return was;
        }
        friend bool operator==(const Iter& a, const Iter& b) { return a.at_ == b.at_; }

        // Moves on past erased slots.
        Iter& skip() {
            while (at_ != stop_ && at_->first == ERASED) ++at_;
            return *this;
        }

    private:
        E* at_ = nullptr;
        E* stop_ = nullptr;
    };
    using iterator = Iter<Entry>;
    using const_iterator = Iter<const Entry>;

    iterator begin() { return make(0).skip(); }
    iterator end() { return make(entries_.size()); }
    const_iterator begin() const { return make(0).skip(); }
    const_iterator end() const { return make(entries_.size()); }
    std::size_t size() const { return entries_.size() - erased_; }
    bool empty() const { return size() == 0; }
    // Slots in use or erased, in ascending id: a walk over them by number
    // (skipping the erased) meets the shapes in the order of the iterators.
    std::size_t slots() const { return entries_.size(); }
    // The entry in a slot below slots(): a shape, or first == ERASED.
    const Entry& in_slot(std::size_t slot) const { return entries_[slot]; }
    // Every slot, in place.
    OutlineSlots all_slots() const { return {entries_.data(), entries_.size(), size()}; }

    iterator find(ShapeId id) {
        const std::size_t at = position(id);
        return at != NONE ? make(at) : end();
    }
    const_iterator find(ShapeId id) const {
        const std::size_t at = position(id);
        return at != NONE ? make(at) : end();
    }
    bool contains(ShapeId id) const { return position(id) != NONE; }
    // The slot of the shape with this id, which must exist.
    std::size_t slot_of(ShapeId id) const { return position(id); }
    // How many times the erased slots were squeezed out, moving the others.
    std::uint64_t squeezes() const { return squeezes_; }
    // The shape with this id, or nullptr.
    Shape* get(ShapeId id) {
        const std::size_t at = position(id);
        return at != NONE ? &entries_[at].second : nullptr;
    }
    const Shape* get(ShapeId id) const {
        const std::size_t at = position(id);
        return at != NONE ? &entries_[at].second : nullptr;
    }
    // The shape with this id, which must exist.
    Shape& operator[](ShapeId id) { return find(id)->second; }
    Shape& at(ShapeId id) { return find(id)->second; }
    const Shape& at(ShapeId id) const { return find(id)->second; }

    void insert_or_assign(ShapeId id, Shape shape) {
        const std::size_t at = first_not_below(live_key(id));
        const auto offset = static_cast<std::ptrdiff_t>(at);
        if (at < ids_.size() && (ids_[at] | 1) == (live_key(id) | 1)) {
            if (entries_[at].first == ERASED) --erased_;
            ids_[at] = live_key(id);
            entries_[at] = Entry{id, std::move(shape)};
            return;
        }
        // Ids only grow: a new shape goes after every slot.
        assert(at == ids_.size());
        // Grown by half rather than doubled, like the segment arena.
        if (entries_.size() == entries_.capacity()) {
            const std::size_t more = entries_.size() + entries_.size() / 2 + 16;
            ids_.reserve(more);
            entries_.reserve(more);
        }
        ids_.insert(ids_.begin() + offset, live_key(id));
        entries_.insert(entries_.begin() + offset, Entry{id, std::move(shape)});
    }
    void erase(ShapeId id) {
        const std::size_t at = position(id);
        if (at == NONE) return;
        if (at + 1 == entries_.size()) {
            // The newest shape (a trial's circle) goes at once, with any
            // erased slots before it.
            entries_.pop_back();
            ids_.pop_back();
            while (!entries_.empty() && entries_.back().first == ERASED) {
                entries_.pop_back();
                ids_.pop_back();
                --erased_;
            }
            return;
        }
        entries_[at].first = ERASED;
        std::vector<SegId>().swap(entries_[at].second.by_offset);
        ids_[at] |= 1;
        ++erased_;
        if (erased_ > size()) squeeze();
        assert(erased_ <= entries_.size() && ids_.size() == entries_.size());
    }

private:
    static constexpr std::size_t NONE = static_cast<std::size_t>(-1);
    // By slot, twice the id of its shape, plus one once the slot is erased:
    // still ascending, and a lookup of a shape's key never meets an erased
    // slot's. (Shape ids stay below 2^62, see Causes.)
    std::vector<ShapeId> ids_;
    static ShapeId live_key(ShapeId id) { return id << 1; }
    std::vector<Entry> entries_;
    std::size_t erased_ = 0;
    std::uint64_t squeezes_ = 0;

    iterator make(std::size_t at) {
        Entry* base = entries_.data();
        return {base + at, base + entries_.size()};
    }
    const_iterator make(std::size_t at) const {
        const Entry* base = entries_.data();
        return {base + at, base + entries_.size()};
    }
    // Drops every erased slot, keeping the order of the others.
    void squeeze() {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].first == ERASED) continue;
            if (kept != i) {
                entries_[kept] = std::move(entries_[i]);
                ids_[kept] = ids_[i];
            }
            ++kept;
        }
        entries_.resize(kept);
        ids_.resize(kept);
        erased_ = 0;
        ++squeezes_;
    }
    // The place of the first key not below key: a bisection whose steps
    // pick a half by a conditional move rather than a branch, since which
    // half a lookup takes cannot be foreseen (std::lower_bound mispredicted
    // 74% more branches, callgrind, 3,000 nearest moves on 1,000 stones).
    // The place sought always lies in [base, base + len].
    std::size_t first_not_below(ShapeId id) const {
        std::size_t len = ids_.size();
        if (len == 0) return 0;
        const ShapeId* base = ids_.data();
        while (len > 1) {
            const std::size_t half = len / 2;
            base = base[half] < id ? base + half : base;
            len -= half;
        }
        return static_cast<std::size_t>(base - ids_.data()) + (*base < id ? 1 : 0);
    }
    std::size_t position(ShapeId id) const {
        const std::size_t at = first_not_below(live_key(id));
        return at < ids_.size() && ids_[at] == live_key(id) ? at : NONE;
    }
};

class ClipGraph {
public:
    explicit ClipGraph(const BoardFrame& frame);

    ShapeId add_shape(const ShapeKind& kind);
    std::optional<SegId> add_point(ShapeId shape, Point p);
    std::vector<SegId> segments_of(ShapeId shape) const;
    void remove_segment(SegId id);
    std::optional<SegmentGeometry> segment_geometry(SegId id) const;
    std::vector<ExposedPiece> exposed_pieces(ShapeId shape) const;

    // Calls f(const ExposedPiece&) for each exposed piece of the shape, in the
    // order exposed_pieces lists them, without building a list. f answers
    // true to go on, false to stop early.
    template <class F>
    void for_each_exposed_piece(ShapeId shape, F&& f) const;
    // The same for a shape record already found.
    template <class F>
    void for_each_exposed_piece(const Shape& shape, F&& f) const;

    // Read-only views.
    double board_size() const { return frame_.size; }
    const BoardFrame& frame() const { return frame_; }
    const ShapeTable& shapes() const { return shapes_; }
    const Shape* shape(ShapeId id) const;
    // The segment in slot id, or nullptr when the slot is vacant or out of range.
    const Segment* slot(SegId id) const {
        if (id >= arena_.size() || !arena_[id]) return nullptr;
        return &*arena_[id];
    }
    std::size_t arena_size() const { return arena_.size(); }
    std::uint64_t live_count() const { return live_count_; }
    const std::vector<SegId>& free_list() const { return free_list_; }
    const PointIndex& index() const { return index_; }
    ShapeId next_shape_id() const { return next_shape_id_; }
    // The one walk along a shape's list: calls f(id, segment, cover) for each
    // segment from the head in list order, where cover is the number of
    // shapes whose dead region holds the segment (the head's count, then the
    // marks of each segment's causes added in turn). At most count segments,
    // stopping at a vacant or out-of-range id and on return to the head, so
    // a damaged structure is read without looping. f answers false to stop
    // early, or nothing to go on; an f that takes only (id, segment) is
    // called without the count, which is then not worked out.
    template <class F>
    void for_each_segment(const Shape& shape, F&& f) const;
    // Whether some segment of the shape's list is exposed: on the board and
    // held by no dead region (cover 0 in for_each_segment). The answer is kept
    // in the shape until its list or marks change, so a list that stays
    // covered from move to move is walked once.
    bool has_exposed_segment(const Shape& shape) const {
        if (shape.exposure == Exposure::Unknown) find_exposure(shape);
        return shape.exposure == Exposure::Some;
    }
    // The shapes whose dead region holds the segment, ascending, worked out
    // from the marks along its list (for checks and tests; a walk of the
    // whole list).
    std::vector<ShapeId> covering(SegId id) const;
    // Whether the part of the shape's list from open up to (not including)
    // close holds the head segment.
    bool part_holds_head(const Shape& shape, SegId open, SegId close) const;
    // Marks the part of shape's list from open up to (not including) close as
    // lying in by's dead region.
    void cover_part(ShapeId shape, SegId open, SegId close, ShapeId by);

    // Splits the new circle n (centred at f, of the dead zone's radius)
    // against each shape of `candidates` that it crosses, ascending: the two
    // crossing points go into both lists, and the part of each outline inside
    // the other's dead region is marked. The candidates are shapes older
    // than n; any the new circle cannot cross are passed over.
    void cross_new_circle(ShapeId n, Point f, const std::vector<ShapeId>& candidates);
    // Removes a shape and every trace of it: its marks on other outlines, its
    // segments, and the points of other outlines that only its crossings put
    // there (their two pieces merge back into one). Answers the kind of the
    // shape removed, or nothing when there was none.
    std::optional<ShapeKind> remove_shape(ShapeId a);

private:
    std::vector<SegmentSlot> arena_;
    std::vector<SegId> free_list_;
    std::uint64_t live_count_ = 0;
    BoardFrame frame_;
    ShapeTable shapes_;
    PointIndex index_;
    ShapeId next_shape_id_ = 0;

    Segment* slot_mut(SegId id) {
        if (id >= arena_.size() || !arena_[id]) return nullptr;
        return &*arena_[id];
    }
    // Files the segment in the shared-start index at p, through spot: where
    // index_.seek(point_key(p)) ended, and afterwards p's entry.
    SegId new_segment(ShapeId shape, Point p, double offset, const Segment* split, PointIndex::Spot& spot);
    // Unlinks the live segment id (seg) from its list and vacates its slot.
    // owner is its shape's record (nullptr when there is none) and spot
    // where index_.seek found its start point; answers whether that entry
    // of the index stays (other segments still start there), in which case
    // spot still names it.
    bool drop_segment(SegId id, Segment& seg, Shape* owner, const PointIndex::Spot& spot);
    // The geometry of seg, a segment of shape, running to next.
    SegmentGeometry geometry_between(const Shape& shape, const Segment& seg, const Segment& next) const;

    // cover_part for a shape record already found.
    void cover_part_of(Shape& shape, SegId open, SegId close, ShapeId by);
    // Walks the shape's list to fill in its exposure.
    void find_exposure(const Shape& shape) const;
    // The steps of add_point.
    // Adds p at offset w to the shape's list, given spot: where
    // index_.seek(point_key(p)) ended on the index as it still is. Afterwards
    // spot names p's entry, so that the other outline through p can be
    // given the same point with no search.
    SegId add_point_at(ShapeId shape_id, Shape& shape, Point p, double w, PointIndex::Spot& spot);
    SegId start_list(ShapeId shape_id, Shape& shape, Point p, double w, PointIndex::Spot& spot);
    // The segment a new point at offset w goes after, or nothing when it
    // becomes an edge's new head.
    std::optional<SegId> place_of(Shape& shape, double w);
    // The same answer found by walking the list from its head.
    std::optional<SegId> walk_place(const Shape& shape, double w) const;
    void step_back_over_ties(const Shape& shape, PointKey key, double w, SegId& after) const;
    SegId link_after(ShapeId shape_id, SegId c, Point p, double w, PointIndex::Spot& spot);
    SegId link_as_head(ShapeId shape_id, Shape& shape, Point p, double w, PointIndex::Spot& spot);

    // The offset order of long lists (Shape::by_offset): built once a list
    // reaches ORDER_FROM segments, dropped when it falls below ORDER_UNTIL.
    static constexpr std::uint64_t ORDER_FROM = 32;
    static constexpr std::uint64_t ORDER_UNTIL = 16;
    double offset_of(SegId id) const;
    void build_order(Shape& shape);
    std::size_t order_position(const Shape& shape, SegId id) const;
    std::optional<SegId> split_by_order(const Shape& shape, double w, bool& becomes_head) const;
    void order_insert(Shape& shape, SegId made, SegId after, bool at_head, double w);
    void order_erase(Shape& shape, SegId gone);

    // One end of the part of another outline that a removed shape covered.
    struct PartEnd {
        ShapeId shape = 0;
        SegId seg = 0;
        std::uint8_t roles = 0;
    };
    // Buffers of remove_shape, reused so that removing a shape allocates
    // nothing once warm; a copy of the graph starts without them.
    struct Scratch {
        std::vector<SegId> ids;
        std::vector<SegId> merged;
        std::vector<SegId> at_point;
        std::vector<PartEnd> ends;
        Scratch() = default;
        Scratch(const Scratch&) {}
        Scratch(Scratch&&) = default;
        Scratch& operator=(const Scratch&) { return *this; }
        Scratch& operator=(Scratch&&) = default;
        ~Scratch() = default;
    };
    Scratch scratch_;
    // The steps of remove_shape, over a's segments in scratch_.ids: its marks
    // taken off the outlines it crossed (filling scratch_.merged with the
    // segments left with no cause), then its points and the points that
    // merge back.
    void unmark(ShapeId a);
    void drop_points(ShapeId a, Shape* own);

public:
    // Whether a long list's offset order is the list itself (for checks).
    bool order_matches(const Shape& shape) const;
};

}  // namespace cellvane

#include "zone/exposed_pieces.inl"
