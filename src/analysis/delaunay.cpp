#include "analysis/delaunay.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <utility>

#include "analysis/predicates.hpp"

namespace cellvane::delaunay {

namespace {

using predicates::in_circle;
using predicates::orient_sign;

constexpr double INF = std::numeric_limits<double>::infinity();
// Two sites closer than this in both coordinates count as one.
constexpr double NEAR = 0x1p-51;

double squared_distance(Point a, Point b) {
    const double dx = a.x - b.x;
    const double dy = a.y - b.y;
    return dx * dx + dy * dy;
}

bool nearly_equal(Point p, Point q) {
    return std::fabs(p.x - q.x) <= NEAR && std::fabs(p.y - q.y) <= NEAR;
}

double circumradius2(Point a, Point b, Point c) {
    const Point d = circumdelta(a, b, c).offset;
    return d.x * d.x + d.y * d.y;
}

// Float to index, saturating: NaN and negative values give 0.
std::size_t saturating_index(double f) {
    if (!(f > 0.0)) return 0;
    if (f >= 0x1p64) return std::numeric_limits<std::size_t>::max();
    return static_cast<std::size_t>(f);
}

// The site nearest to `from` among those at a positive squared distance; the
// first of equally near sites wins. EMPTY when every distance is zero,
// infinite or NaN.
std::size_t closest_site(const Point* pts, std::size_t n, Point from) {
    double best = INF;
    std::size_t found = EMPTY;
    for (std::size_t i = 0; i < n; ++i) {
        const double d = squared_distance(from, pts[i]);
        if (d > 0.0 && d < best) {
            best = d;
            found = i;
        }
    }
    return found;
}

void sort_keyed_fallback(std::vector<std::pair<std::uint64_t, std::size_t>>& keyed,
                         std::vector<std::pair<std::uint64_t, std::size_t>>& spare, std::vector<std::uint32_t>& counts);

}  // namespace

// The pairs are spread over at least as many buckets as entries by the
// leading bits of each key's difference from the smallest key, in list
// order (a counting sort, which keeps equal keys in ascending index); an
// insertion sort on the keys then orders each bucket. As the buckets follow
// in key order, that insertion sort runs over the whole list and moves an
// entry only within its bucket. A bucket too full for it sends the list to
// std::sort, which orders the pairs themselves, when it is short, and
// otherwise to a least-significant-digit radix sort, stable by
// construction, in 8-bit digits, where a digit that every key shares is
// skipped. (std::sort of the pairs ran 5% more instructions and mispredicted
// 38% more branches triangulating 100,000 uniform sites, callgrind.)
void sort_keyed(std::vector<std::pair<std::uint64_t, std::size_t>>& keyed, std::uint64_t lo, std::uint64_t hi,
                std::vector<std::pair<std::uint64_t, std::size_t>>& spare, std::vector<std::uint32_t>& counts) {
    const std::size_t n = keyed.size();
    if (n < 2) return;
    if (n <= std::numeric_limits<std::uint32_t>::max() / 2) {
        const unsigned bits = static_cast<unsigned>(std::bit_width(n));
        const unsigned width = static_cast<unsigned>(std::bit_width(hi - lo));
        const unsigned shift = width > bits ? width - bits : 0;
        const std::size_t buckets = std::size_t{1} << bits;
        counts.assign(buckets, 0);
        std::uint32_t* const count = counts.data();
        for (std::size_t i = 0; i < n; ++i) ++count[(keyed[i].first - lo) >> shift];
        std::uint32_t total = 0;
        std::uint32_t fullest = 0;
        for (std::size_t b = 0; b < buckets; ++b) {
            const std::uint32_t c = count[b];
            fullest = c > fullest ? c : fullest;
            count[b] = total;
            total += c;
        }
        if (fullest > 32) {
            sort_keyed_fallback(keyed, spare, counts);
            return;
        }
        spare.resize(n);
        std::pair<std::uint64_t, std::size_t>* const out = spare.data();
        for (std::size_t i = 0; i < n; ++i) out[count[(keyed[i].first - lo) >> shift]++] = keyed[i];
        for (std::size_t i = 1; i < n; ++i) {
            const std::pair<std::uint64_t, std::size_t> entry = out[i];
            std::size_t j = i;
            for (; j > 0 && out[j - 1].first > entry.first; --j) out[j] = out[j - 1];
            out[j] = entry;
        }
        keyed.swap(spare);
        return;
    }
    sort_keyed_fallback(keyed, spare, counts);
}

namespace {

void sort_keyed_fallback(std::vector<std::pair<std::uint64_t, std::size_t>>& keyed,
                         std::vector<std::pair<std::uint64_t, std::size_t>>& spare, std::vector<std::uint32_t>& counts) {
    const std::size_t n = keyed.size();
    if (n < 512 || n > std::numeric_limits<std::uint32_t>::max()) {
        std::sort(keyed.begin(), keyed.end());
        return;
    }
    constexpr unsigned BITS = 8;
    constexpr std::size_t BUCKETS = std::size_t{1} << BITS;
    constexpr unsigned PASSES = (64 + BITS - 1) / BITS;
    counts.assign(PASSES * BUCKETS, 0);
    for (const auto& entry : keyed) {
        for (unsigned d = 0; d < PASSES; ++d) ++counts[d * BUCKETS + ((entry.first >> (d * BITS)) & (BUCKETS - 1))];
    }
    spare.resize(n);
    for (unsigned d = 0; d < PASSES; ++d) {
        std::uint32_t* count = counts.data() + d * BUCKETS;
        if (count[(keyed[0].first >> (d * BITS)) & (BUCKETS - 1)] == n) continue;
        std::uint32_t total = 0;
        for (std::size_t b = 0; b < BUCKETS; ++b) {
            const std::uint32_t c = count[b];
            count[b] = total;
            total += c;
        }
        for (const auto& entry : keyed) spare[count[(entry.first >> (d * BITS)) & (BUCKETS - 1)]++] = entry;
        keyed.swap(spare);
    }
}

class Builder {
public:
    Builder(const std::vector<Point>& pts, Triangulation& out, Workspace& ws)
        : pts_(pts.data()), n_(pts.size()), out_(out), ws_(ws) {}

    bool run();

private:
    const Point* pts_;
    std::size_t n_;
    Triangulation& out_;
    Workspace& ws_;
    // The triangulation's arrays, sized ahead for the most triangles the
    // sites can give; `used_` half-edges are written.
    Index* tri_ = nullptr;
    Index* twin_ = nullptr;
    std::size_t used_ = 0;
    std::size_t room_ = 0;
    Index* hull_prev_ = nullptr;
    Index* hull_next_ = nullptr;
    Index* hull_tri_ = nullptr;
    Index* hull_key_ = nullptr;  // hash key of each hull site
    // legalize's stack of pending edges.
    std::size_t* stack_ = nullptr;
    std::size_t stack_room_ = 0;
    Index* hash_ = nullptr;
    std::size_t hash_len_ = 0;
    double hash_len_real_ = 0.0;
    std::size_t hull_start_ = 0;
    Point centre_;

    std::size_t hash_key(Point p) const {
        const double dx = p.x - centre_.x;
        const double dy = p.y - centre_.y;
        const double t = dx / (std::fabs(dx) + std::fabs(dy));
        const double a = (dy > 0.0 ? 3.0 - t : 1.0 + t) / 4.0;
        const double f = hash_len_real_ * a;
        // The index is below len but where a reaches 1 or beyond; only then
        // is the division worked. Truncation is the floor for a positive
        // value, and below len it fits a signed conversion; the saturating
        // conversion gives 0 for anything not positive, with or without a
        // floor taken first.
        if (f > 0.0 && f < hash_len_real_) return static_cast<std::size_t>(static_cast<std::int64_t>(f));
        const std::size_t k = saturating_index(f);
        return k < hash_len_ ? k : k % hash_len_;
    }

    // Stores hull site i in the bucket of its key, which is kept for when i
    // is hashed again.
    void hash_site(std::size_t i, std::size_t key) {
        hash_[key] = static_cast<Index>(i);
        hull_key_[i] = static_cast<Index>(key);
    }

    // Makes b follow a on the hull.
    void join_hull(std::size_t a, std::size_t b) {
        hull_next_[a] = static_cast<Index>(b);
        hull_prev_[b] = static_cast<Index>(a);
    }

    // Makes a and b twins; b is a half-edge, never EMPTY.
    void pair(std::size_t a, std::size_t b) {
        twin_[a] = static_cast<Index>(b);
        twin_[b] = static_cast<Index>(a);
    }

    // Appends triangle (i0, i1, i2) and answers its first half-edge; the
    // caller sets its three twins.
    std::size_t add_triangle(std::size_t i0, std::size_t i1, std::size_t i2) {
        if (used_ + 3 > room_) grow();
        const std::size_t t = used_;
        tri_[t] = static_cast<Index>(i0);
        tri_[t + 1] = static_cast<Index>(i1);
        tri_[t + 2] = static_cast<Index>(i2);
        used_ = t + 3;
        return t;
    }

    void grow();
    [[gnu::always_inline]] inline std::size_t legalize(std::size_t start);

    // The three sites of the first triangle.
    struct Seed {
        std::size_t i0, i1, i2;
    };
    // The first hull edge a new site sees, and whether the edges before it
    // need checking too.
    struct Visible {
        std::size_t edge;
        bool walk_back;
    };
    std::optional<Point> usable_box_centre() const;
    std::optional<Seed> choose_seed(Point box_centre) const;
    void start_from(const Seed& seed);
    void order_by_distance_to_centre();
    Seed number_by_rank(const Seed& seed);
    void start_hull(const Seed& seed);
    std::optional<Visible> first_visible_edge(Point p, std::size_t key) const;
    void add_site(std::size_t i);
};

// More room for triangles, kept for a later call; only sites whose hull
// walks went astray can need it.
void Builder::grow() {
    room_ = room_ < 3 ? 3 : 2 * room_;
    out_.triangles.resize(room_);
    out_.halfedges.resize(room_);
    tri_ = out_.triangles.data();
    twin_ = out_.halfedges.data();
}

// Flips half-edge a while the site across it lies inside the circumcircle of
// a's triangle, then legalises the two edges the flip exposed: first the one
// now at a, then the one at next(twin). Written as a loop over a stack of
// pending edges (so deep flip chains cannot exhaust the call stack); the
// edges are visited in exactly the order of the recursive formulation, and
// the answer is what that formulation answers: prev of the last edge found
// legal. Each edge is held with its position in its triangle in the two low
// bits, so that next and prev of it need no division; `start` is the third
// edge of its triangle. The neighbours within a triangle are chosen by
// branches, which let the loads of the next sites start early when
// predicted, rather than by table lookups on the way to them.
inline std::size_t Builder::legalize(std::size_t start) {
    Index* const tri = tri_;
    Index* const twin = twin_;
    std::size_t* stack = stack_;
    std::size_t room = stack_room_;
    std::size_t top = 0;
    // The edge in hand; after a flip it is a again, with next(twin) kept on
    // the stack for later.
    std::size_t entry = start << 2 | 2;
    for (;;) {
        const auto a = static_cast<Index>(entry >> 2);
        const std::size_t ra = entry & 3;
        const Index ar = ra == 0 ? a + 2 : a - 1;
        const Index b = twin[a];
        const Index al = ra == 2 ? a - 2 : a + 1;
        const Index rb = b % 3;
        const Index bl = rb == 0 ? b + 2 : b - 1;
        if (b == EMPTY || !in_circle(pts_[tri[ar]], pts_[tri[a]], pts_[tri[al]], pts_[tri[bl]])) {
            if (top == 0) return ar;
            entry = stack[--top];
            continue;
        }
        const Index p0 = tri[ar];
        const Index p1 = tri[bl];
        tri[a] = p1;
        tri[b] = p0;
        const Index hbl = twin[bl];
        const Index har = twin[ar];
        if (hbl == EMPTY) {
            // bl was a hull edge: the hull entry that referred to it now
            // refers to a.
            std::size_t e = hull_start_;
            for (std::size_t steps = 0; steps < n_; ++steps) {
                if (hull_tri_[e] == bl) {
                    hull_tri_[e] = static_cast<Index>(a);
                    break;
                }
                e = hull_prev_[e];
                if (e == hull_start_) break;
            }
        }
        twin[a] = hbl;
        if (hbl != EMPTY) twin[hbl] = static_cast<Index>(a);
        twin[b] = har;
        if (har != EMPTY) twin[har] = static_cast<Index>(b);
        twin[ar] = static_cast<Index>(bl);
        twin[bl] = static_cast<Index>(ar);
        if (top == room) {
            ws_.pending.resize(2 * room);
            stack_ = stack = ws_.pending.data();
            stack_room_ = room = ws_.pending.size();
        }
        // br = next(b) waits; a is legalised first.
        stack[top++] = rb == 2 ? std::size_t{b - 2} << 2 : std::size_t{b + 1} << 2 | (rb + 1);
    }
}

bool Builder::run() {
    // At most 2n - 5 triangles, whose half-edge numbers, even once the
    // room for them is doubled, stay below EMPTY.
    if (n_ > EMPTY / 12) return false;
    const std::optional<Point> box_centre = usable_box_centre();
    if (!box_centre) return false;
    const std::optional<Seed> seed = choose_seed(*box_centre);
    if (!seed) return false;
    start_from(*seed);
    order_by_distance_to_centre();
    const Seed ranked = number_by_rank(*seed);
    start_hull(ranked);
    // A site takes a few hundred nanoseconds: the clock is read once per
    // thousand of them.
    StopPoll stop(1024);
    for (std::size_t k = 0; k < n_; ++k) {
        if (stop()) return false;
        if (k > 0 && nearly_equal(pts_[k], pts_[k - 1])) continue;
        if (k == ranked.i0 || k == ranked.i1 || k == ranked.i2) continue;
        add_site(k);
    }
    // Back from ranks to the sites' own indices.
    const std::pair<std::uint64_t, std::size_t>* const order = ws_.keyed.data();
    for (std::size_t e = 0; e < used_; ++e) tri_[e] = static_cast<Index>(order[tri_[e]].second);
    out_.triangles.resize(used_);
    out_.halfedges.resize(used_);
    return true;
}

// From here on the sweep numbers each site by its rank in the sorted order
// and reads the sites from a copy laid out in that order: a new site and the
// hull round it, which holds the sites met most recently, then lie close
// together in memory. Nothing but the numbering changes, and the triangles
// are numbered back once the sweep is done. Answers the seed by rank, and
// renumbers the first triangle, which holds the seed.
Builder::Seed Builder::number_by_rank(const Seed& seed) {
    const std::pair<std::uint64_t, std::size_t>* const order = ws_.keyed.data();
    ws_.sorted_sites.resize(n_);
    Point* const sorted = ws_.sorted_sites.data();
    Seed ranked{0, 0, 0};
    for (std::size_t k = 0; k < n_; ++k) {
        const std::size_t i = order[k].second;
        sorted[k] = pts_[i];
        if (i == seed.i0) ranked.i0 = k;
        if (i == seed.i1) ranked.i1 = k;
        if (i == seed.i2) ranked.i2 = k;
    }
    pts_ = sorted;
    tri_[0] = static_cast<Index>(ranked.i0);
    tri_[1] = static_cast<Index>(ranked.i1);
    tri_[2] = static_cast<Index>(ranked.i2);
    return ranked;
}

// The centre of the sites' bounding box, or nothing when a coordinate is
// not finite or there are fewer than three sites.
std::optional<Point> Builder::usable_box_centre() const {
    double min_x = INF, min_y = INF, max_x = -INF, max_y = -INF;
    bool finite = true;
    for (std::size_t i = 0; i < n_; ++i) {
        const Point p = pts_[i];
        finite = finite && std::isfinite(p.x) && std::isfinite(p.y);
        if (p.x < min_x) min_x = p.x;
        if (p.y < min_y) min_y = p.y;
        if (p.x > max_x) max_x = p.x;
        if (p.y > max_y) max_y = p.y;
    }
    if (!finite || n_ < 3) return std::nullopt;
    return Point{(min_x + max_x) / 2, (min_y + max_y) / 2};
}

// Seed triangle: the site nearest the box centre, its nearest site, and the
// site making the smallest circumcircle with those two, turned clockwise.
std::optional<Builder::Seed> Builder::choose_seed(Point box_centre) const {
    const std::size_t i0 = closest_site(pts_, n_, box_centre);
    if (i0 == EMPTY) return std::nullopt;
    std::size_t i1 = closest_site(pts_, n_, pts_[i0]);
    if (i1 == EMPTY) return std::nullopt;
    std::size_t i2 = EMPTY;
    double min_radius = INF;
    for (std::size_t i = 0; i < n_; ++i) {
        if (i == i0 || i == i1) continue;
        const double r = circumradius2(pts_[i0], pts_[i1], pts_[i]);
        if (r < min_radius) {
            min_radius = r;
            i2 = i;
        }
    }
    if (i2 == EMPTY) return std::nullopt;
    if (orient_sign(pts_[i0], pts_[i1], pts_[i2]) > 0) std::swap(i1, i2);
    return Seed{i0, i1, i2};
}

// The seed's circumcentre becomes the centre every later site is ordered and
// hashed about; the seed is the first triangle. The triangle arrays are
// sized for 2n - 5 triangles, the most n sites give; resizing buffers that
// held a triangulation of the same size writes next to nothing.
void Builder::start_from(const Seed& seed) {
    const Point d = circumdelta(pts_[seed.i0], pts_[seed.i1], pts_[seed.i2]).offset;
    centre_ = {pts_[seed.i0].x + d.x, pts_[seed.i0].y + d.y};

    room_ = 3 * (2 * n_ - 5);
    out_.triangles.resize(room_);
    out_.halfedges.resize(room_);
    tri_ = out_.triangles.data();
    twin_ = out_.halfedges.data();
    used_ = 0;
    const std::size_t t = add_triangle(seed.i0, seed.i1, seed.i2);
    twin_[t] = EMPTY;
    twin_[t + 1] = EMPTY;
    twin_[t + 2] = EMPTY;
}

// Sites by squared distance to the centre; equal distances keep ascending
// index (NaN distances last). A squared distance is never negative, so the
// bits of one that is not NaN order as the value does (a zero taken as +0);
// a NaN takes the largest key. The keys and indices are sorted as plain
// pairs of integers, whose order is the one described.
void Builder::order_by_distance_to_centre() {
    std::vector<std::pair<std::uint64_t, std::size_t>>& keyed = ws_.keyed;
    keyed.resize(n_);
    std::uint64_t lo = std::numeric_limits<std::uint64_t>::max();
    std::uint64_t hi = 0;
    for (std::size_t i = 0; i < n_; ++i) {
        const double d = squared_distance(pts_[i], centre_);
        std::uint64_t key = std::numeric_limits<std::uint64_t>::max();
        if (d == 0.0) {
            key = 0;
        } else if (!std::isnan(d)) {
            std::memcpy(&key, &d, sizeof key);
        }
        keyed[i] = {key, i};
        lo = key < lo ? key : lo;
        hi = key > hi ? key : hi;
    }
    sort_keyed(keyed, lo, hi, ws_.keyed_spare, ws_.radix_counts);
}

// The hull is the seed triangle, its sites hashed by angle.
void Builder::start_hull(const Seed& seed) {
    const std::size_t i0 = seed.i0;
    const std::size_t i1 = seed.i1;
    const std::size_t i2 = seed.i2;
    ws_.hull_prev.assign(n_, EMPTY);
    ws_.hull_next.assign(n_, EMPTY);
    ws_.hull_tri.assign(n_, EMPTY);
    ws_.hash.assign(static_cast<std::size_t>(std::sqrt(static_cast<double>(n_))), EMPTY);
    hull_prev_ = ws_.hull_prev.data();
    hull_next_ = ws_.hull_next.data();
    hull_tri_ = ws_.hull_tri.data();
    ws_.hull_key.resize(n_);
    hull_key_ = ws_.hull_key.data();
    if (ws_.pending.size() < 16) ws_.pending.resize(16);
    stack_ = ws_.pending.data();
    stack_room_ = ws_.pending.size();
    hash_ = ws_.hash.data();
    hash_len_ = ws_.hash.size();
    hash_len_real_ = static_cast<double>(hash_len_);
    hull_start_ = i0;
    join_hull(i0, i1);
    join_hull(i1, i2);
    join_hull(i2, i0);
    hull_tri_[i0] = 0;
    hull_tri_[i1] = 1;
    hull_tri_[i2] = 2;
    hash_site(i0, hash_key(pts_[i0]));
    hash_site(i1, hash_key(pts_[i1]));
    hash_site(i2, hash_key(pts_[i2]));
}

// The first hull edge p sees, found from a hull site near p's angle; whether
// the visible run may also start before that edge. Nothing when no hull site
// is hashed or p sees no edge.
std::optional<Builder::Visible> Builder::first_visible_edge(Point p, std::size_t key) const {
    const std::size_t len = hash_len_;
    std::size_t found = EMPTY;
    // Slots key, key + 1, ... round the table once.
    std::size_t slot = key;
    for (std::size_t j = 0; j < len; ++j) {
        const std::size_t s = hash_[slot];
        if (s != EMPTY && hull_next_[s] != EMPTY) {
            found = s;
            break;
        }
        if (++slot == len) slot = 0;
    }
    if (found == EMPTY) return std::nullopt;
    const std::size_t start = hull_prev_[found];
    std::size_t e = start;
    for (std::size_t steps = 0; orient_sign(p, pts_[e], pts_[hull_next_[e]]) <= 0; ++steps) {
        e = hull_next_[e];
        if (e == start || steps >= n_) return std::nullopt;
    }
    return Visible{e, e == start};
}

// Adds site i outside the hull: a triangle on the first edge it sees, then
// on every further edge it sees forward and backward along the hull, each
// legalised; the hull then runs through i. Each new triangle's outer side
// lies on a hull edge, whose half-edge becomes its twin; a hull site's
// hull_tri is always set.
void Builder::add_site(std::size_t i) {
    const Point p = pts_[i];
    const std::size_t key = hash_key(p);
    const std::optional<Visible> visible = first_visible_edge(p, key);
    if (!visible) return;
    std::size_t e = visible->edge;

    std::size_t t = add_triangle(e, i, hull_next_[e]);
    twin_[t] = EMPTY;
    twin_[t + 1] = EMPTY;
    pair(t + 2, hull_tri_[e]);
    hull_tri_[i] = static_cast<Index>(legalize(t + 2));
    hull_tri_[e] = static_cast<Index>(t);

    // Forward along the hull while p sees the next edge.
    std::size_t nn = hull_next_[e];
    for (std::size_t steps = 0; steps < n_; ++steps) {
        const std::size_t q = hull_next_[nn];
        if (orient_sign(p, pts_[nn], pts_[q]) <= 0) break;
        t = add_triangle(nn, i, q);
        pair(t, hull_tri_[i]);
        twin_[t + 1] = EMPTY;
        pair(t + 2, hull_tri_[nn]);
        hull_tri_[i] = static_cast<Index>(legalize(t + 2));
        hull_next_[nn] = EMPTY;
        nn = q;
    }
    // Backward, when the visible run may start before the first edge found.
    if (visible->walk_back) {
        for (std::size_t steps = 0; steps < n_; ++steps) {
            const std::size_t q = hull_prev_[e];
            if (orient_sign(p, pts_[q], pts_[e]) <= 0) break;
            t = add_triangle(q, i, e);
            twin_[t] = EMPTY;
            pair(t + 1, hull_tri_[e]);
            pair(t + 2, hull_tri_[q]);
            legalize(t + 2);
            hull_tri_[q] = static_cast<Index>(t);
            hull_next_[e] = EMPTY;
            e = q;
        }
    }

    join_hull(e, i);
    join_hull(i, nn);
    hull_start_ = e;
    hash_site(i, key);
    hash_site(e, hull_key_[e]);
}

}  // namespace

bool triangulate_into(const std::vector<Point>& sites, Triangulation& out, Workspace& ws) {
    Builder builder(sites, out, ws);
    return builder.run();
}

std::optional<Triangulation> triangulate(const std::vector<Point>& sites) {
    Triangulation out;
    Workspace ws;
    if (!triangulate_into(sites, out, ws)) return std::nullopt;
    return out;
}

}  // namespace cellvane::delaunay
