// The circles and the forced eyes of the alive zone filed by cell: internal
// to the zone.
#pragma once

#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "zone/zone.hpp"

namespace cellvane {

// The circles of the alive zone filed by the cell that holds their centre,
// so that the circles near a point are found without looking at the others.
// Dead-zone sized circles (radius 2.0) with a finite centre are filed by
// cell, wherever they lie; every other shape (the edge lines, and circles no
// carve makes) is kept on a short list of loose shapes that every search
// visits.
class CircleGrid {
public:
    static constexpr double CELL = Cells::CELL;

    static bool filed_by_cell(const ShapeKind& kind);
    static std::int64_t cell_of(double v) { return Cells::cell_of(v); }

    using Filed = FiledCircle;

    // Files a shape, a circle with its outline's slot.
    void add(ShapeId id, const ShapeKind& kind, std::size_t slot);
    void remove(ShapeId id, const ShapeKind& kind);
    // Gives every filed circle the slot slot_of(id) answers, after the table
    // of outlines has moved its slots.
    template <class SlotOf>
    void reslot(SlotOf&& slot_of) {
        for (Place& place : places_) {
            for (Filed& filed : place.filed) filed.slot = static_cast<std::uint32_t>(slot_of(filed.id));
        }
    }

    // The ids of the circles filed in the cells [x0, x1] x [y0, y1] whose
    // centre keep(centre) accepts, appended to out.
    template <class Keep>
    void collect(std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1, std::vector<ShapeId>& out,
                 Keep&& keep) const {
        for (std::int64_t x = x0; x <= x1; ++x) {
            for (std::int64_t y = y0; y <= y1; ++y) {
                if (const auto* filed = cell(x, y)) {
                    for (const Filed& f : *filed) {
                        if (keep(f.centre)) out.push_back(f.id);
                    }
                }
            }
        }
    }
    // The filled cells read in place, until the grid next changes.
    CircleCells view() const {
        return places_.empty() ? CircleCells{} : CircleCells{places_.data(), places_.size(), shift_, filled_};
    }
    // The circles filed in one cell, in the order they were filed, or nullptr.
    const std::vector<Filed>* cell(std::int64_t x, std::int64_t y) const {
        if (places_.empty()) return nullptr;
        const Place& place = places_[find(Cells::key(x, y))];
        return place.filed.empty() ? nullptr : &place.filed;
    }
    // Calls f(filed) for every filed circle, in no particular order.
    template <class F>
    void for_each_filed(F&& f) const {
        for (const Place& place : places_) {
            for (const Filed& filed : place.filed) f(filed);
        }
    }
    // Loose shapes, ascending.
    const std::vector<ShapeId>& loose() const { return loose_; }
    std::size_t filed() const { return filed_; }
    // Whether the square of cells [x0, x1] x [y0, y1] holds every cell that
    // was ever filled (a bound that only grows).
    bool covers_all(std::int64_t x0, std::int64_t x1, std::int64_t y0, std::int64_t y1) const {
        return filed_ == 0 || (x0 <= min_x_ && max_x_ <= x1 && y0 <= min_y_ && max_y_ <= y1);
    }

private:
    // The filled cells by key, as CircleCells reads them (a
    // std::unordered_map, its bucket found by a division, ran 1.8 times the
    // instructions of the liveness test over 100 stones on 25.5, callgrind).
    using Place = CircleCell;
    // A table of up to SMALL_TABLE places is kept at most a quarter full,
    // a larger one at most half full: whether a lookup's home place holds
    // another cell follows no pattern, and at half full the probes of a
    // trial move on a 55-stone board mispredicted 3% more branches
    // (cachegrind), while quartering every table would hold 0.05 KB more
    // per stone at 10,000 stones.
    static constexpr std::size_t SMALL_TABLE = 1024;
    std::vector<Place> places_;
    std::size_t filled_ = 0;
    int shift_ = 64;
    // The place holding key, or else the free place that ends its probe.
    std::size_t find(std::uint64_t key) const {
        return CircleCells{places_.data(), places_.size(), shift_, filled_}.slot(key);
    }
    std::size_t home(std::uint64_t key) const { return Cells::home(key, shift_); }
    void grow();
    std::vector<ShapeId> loose_;
    std::size_t filed_ = 0;
    std::int64_t min_x_ = 0, max_x_ = 0, min_y_ = 0, max_y_ = 0;
};

// The forced eyes at finite points filed by cell, each under its key, so
// that the eyes a new stone fills are found among those near it. An eye at a
// non-finite point is no nearer than 2.0 to any finite point (its distance is
// infinite or NaN), so only the forced-eye map holds it.
class EyeCells {
public:
    struct Eye {
        PointKey key;
        Point at;
    };

    // Files p under its key, or updates the point filed under that key.
    void add(Point p);
    void remove(Point p);
    // How many eyes are filed.
    std::size_t size() const { return size_; }
    // The eyes within `reach` of the finite point p along both axes, and
    // others of their cells, appended to out in no particular order.
    void near(Point p, double reach, std::vector<Eye>& out) const;

private:
    std::unordered_map<std::uint64_t, std::vector<Eye>> cells_;
    std::size_t size_ = 0;
};

}  // namespace cellvane
