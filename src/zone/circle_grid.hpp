// The circles and the forced eyes of the alive zone filed by cell: internal
// to the zone.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "zone/zone.hpp"

namespace cellvane {

// The square cells of side CELL that the zone files its circles and forced
// eyes by. A coordinate's cell is floor(v / CELL): the division by a power of
// two and the floor are exact, so a point lies in cell i exactly when
// CELL * i <= v < CELL * (i + 1), at any distance from the origin. Cells
// beyond +-2^62 are clamped to it (no integer overflows) and a NaN goes to
// the lowest; the map never decreases as v grows, so two points whose cells
// differ by more than k along an axis lie more than k * CELL apart along it.
struct Cells {
    static constexpr double CELL = 4.0;

    // The floor taken as the truncation, less one below a negative
    // non-integer: std::floor without SSE4.1 is a longer sequence (the
    // liveness test's looks at the cells ran 1.4 times the instructions,
    // callgrind over 64 trial moves on a 55-stone board).
    static std::int64_t cell_of(double v) {
        constexpr double BOUND = 4611686018427387904.0;  // 2^62
        const double q = v / CELL;
        if (std::fabs(q) < BOUND) {
            const auto t = static_cast<std::int64_t>(q);
            return q < static_cast<double>(t) ? t - 1 : t;
        }
        return q > 0.0 ? std::int64_t{1} << 62 : -(std::int64_t{1} << 62);
    }

    // The key a cell is filed under: the low 32 bits of each index side by
    // side. Cells 2^32 apart along an axis share a key, and so a list; a
    // search meets the other cell's entries too and passes them over by
    // their distance. A search spans far fewer than 2^32 cells, so it never
    // meets one list twice.
    static std::uint64_t key(std::int64_t x, std::int64_t y) {
        return (static_cast<std::uint64_t>(static_cast<std::uint32_t>(x)) << 32) | static_cast<std::uint32_t>(y);
    }
};

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

    void add(ShapeId id, const ShapeKind& kind);
    void remove(ShapeId id, const ShapeKind& kind);

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
    // The circles filed in the cells that the box [lo, hi] overlaps, cell by
    // cell, put in found: so every filed circle whose centre lies in the
    // box, and maybe others. A box with a NaN bound, or one overlapping more
    // cells than are filled, gives every filled cell instead. Cells found
    // for the last box are kept (one look at the cells of a point costs
    // ~200 instructions; a ring's vertices often share them).
    void runs_near(Point lo, Point hi, CircleRuns& found) const;
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
    // The filled cells by key: open addressing with linear probing, in a
    // table of 2^(64 - shift_) places at most half full, where a place whose
    // list is empty is free (a std::unordered_map, its bucket found by a
    // division, ran 1.8 times the instructions of the liveness test over
    // 100 stones on 25.5, callgrind).
    struct Place {
        std::uint64_t key = 0;
        std::vector<Filed> filed;
    };
    std::vector<Place> places_;
    std::size_t filled_ = 0;
    int shift_ = 64;
    // The place holding key, or else the free place that ends its probe.
    std::size_t find(std::uint64_t key) const {
        const std::size_t mask = places_.size() - 1;
        std::size_t i = home(key);
        while (!places_[i].filed.empty() && places_[i].key != key) i = (i + 1) & mask;
        return i;
    }
    // The column folded into the row before the product: the product alone
    // sends a square of cells to few homes (49 cells to 27 of 64 places).
    std::size_t home(std::uint64_t key) const {
        return static_cast<std::size_t>(((key ^ (key >> 32)) * 0x9E3779B97F4A7C15u) >> shift_);
    }
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
