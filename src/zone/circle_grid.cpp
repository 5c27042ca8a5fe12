// The cells of the alive zone's circles and forced eyes.
#include <algorithm>
#include <cassert>
#include <cmath>

#include "zone/circle_grid.hpp"

namespace cellvane {

namespace {

bool finite(Point p) { return std::isfinite(p.x) && std::isfinite(p.y); }

}  // namespace

bool CircleGrid::filed_by_cell(const ShapeKind& kind) {
    const auto* c = std::get_if<Circle>(&kind);
    return c != nullptr && c->radius == DEAD_ZONE_RADIUS && finite(c->centre);
}

void CircleGrid::add(ShapeId id, const ShapeKind& kind, std::size_t slot) {
    if (!filed_by_cell(kind)) {
        loose_.insert(std::upper_bound(loose_.begin(), loose_.end(), id), id);
        return;
    }
    const Point c = std::get<Circle>(kind).centre;
    const std::int64_t x = cell_of(c.x);
    const std::int64_t y = cell_of(c.y);
    const std::uint64_t key = Cells::key(x, y);
    if (places_.empty()) grow();
    std::size_t at = find(key);
    if (places_[at].filed.empty()) {
        if ((places_.size() <= SMALL_TABLE ? 4 : 2) * (filled_ + 1) > places_.size()) {
            grow();
            at = find(key);
        }
        places_[at].key = key;
        ++filled_;
    }
    assert(slot <= UINT32_MAX);
    places_[at].filed.push_back(Filed{id, c, static_cast<std::uint32_t>(slot)});
    if (filed_ == 0) {
        min_x_ = max_x_ = x;
        min_y_ = max_y_ = y;
    } else {
        min_x_ = std::min(min_x_, x);
        max_x_ = std::max(max_x_, x);
        min_y_ = std::min(min_y_, y);
        max_y_ = std::max(max_y_, y);
    }
    ++filed_;
}

void CircleGrid::remove(ShapeId id, const ShapeKind& kind) {
    if (!filed_by_cell(kind)) {
        const auto it = std::lower_bound(loose_.begin(), loose_.end(), id);
        if (it != loose_.end() && *it == id) loose_.erase(it);
        return;
    }
    const Point c = std::get<Circle>(kind).centre;
    if (places_.empty()) return;
    std::size_t at = find(Cells::key(cell_of(c.x), cell_of(c.y)));
    auto& filed = places_[at].filed;
    const auto it = std::find_if(filed.begin(), filed.end(), [id](const Filed& f) { return f.id == id; });
    if (it == filed.end()) return;
    filed.erase(it);
    --filed_;
    if (!filed.empty()) return;
    // The cell is empty and its place free: each later place of the run
    // moves back into the gap unless its home lies cyclically in (gap,
    // place], where a probe from it still meets it.
    --filled_;
    const std::size_t mask = places_.size() - 1;
    for (std::size_t j = (at + 1) & mask; !places_[j].filed.empty(); j = (j + 1) & mask) {
        const std::size_t h = home(places_[j].key);
        if (at <= j ? (at < h && h <= j) : (at < h || h <= j)) continue;
        std::swap(places_[at], places_[j]);
        at = j;
    }
}

void CircleGrid::grow() {
    std::vector<Place> old = std::move(places_);
    shift_ = old.empty() ? 60 : shift_ - 1;
    places_ = std::vector<Place>(std::size_t{1} << (64 - shift_));
    for (Place& place : old) {
        if (!place.filed.empty()) places_[find(place.key)] = std::move(place);
    }
}

void EyeCells::add(Point p) {
    if (!finite(p)) return;
    const PointKey key = point_key(p);
    std::vector<Eye>& eyes = cells_[Cells::key(Cells::cell_of(p.x), Cells::cell_of(p.y))];
    for (Eye& eye : eyes) {
        if (eye.key == key) {
            eye.at = p;
            return;
        }
    }
    eyes.push_back(Eye{key, p});
    ++size_;
}

void EyeCells::remove(Point p) {
    if (!finite(p)) return;
    const PointKey key = point_key(p);
    const auto found = cells_.find(Cells::key(Cells::cell_of(p.x), Cells::cell_of(p.y)));
    if (found == cells_.end()) return;
    std::vector<Eye>& eyes = found->second;
    for (std::size_t i = 0; i < eyes.size(); ++i) {
        if (eyes[i].key == key) {
            eyes[i] = eyes.back();
            eyes.pop_back();
            --size_;
            break;
        }
    }
    if (eyes.empty()) cells_.erase(found);
}

void EyeCells::near(Point p, double reach, std::vector<Eye>& out) const {
    // An eye within reach of p along an axis lies between the rounded ends
    // p - reach and p + reach (rounding never crosses a representable value),
    // so in the cells between theirs.
    const std::int64_t x0 = Cells::cell_of(p.x - reach);
    const std::int64_t x1 = Cells::cell_of(p.x + reach);
    const std::int64_t y0 = Cells::cell_of(p.y - reach);
    const std::int64_t y1 = Cells::cell_of(p.y + reach);
    for (std::int64_t x = x0; x <= x1; ++x) {
        for (std::int64_t y = y0; y <= y1; ++y) {
            const auto found = cells_.find(Cells::key(x, y));
            if (found != cells_.end()) out.insert(out.end(), found->second.begin(), found->second.end());
        }
    }
}

}  // namespace cellvane
