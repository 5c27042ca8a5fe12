// Delaunay triangulation by sweep-hull insertion with Lawson flips.
//
// Sites are inserted in order of distance from the seed triangle's
// circumcentre; each new site is joined to the hull edges it sees and the new
// triangles are legalised by recursive edge flips. The numbering of triangles
// and half-edges that this order produces is what later decides where each
// territory ring starts and which way it runs, so the steps below are fixed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "core/core.hpp"

namespace cellvane::delaunay {

// A site, triangle corner or half-edge number, held in 32 bits so that the
// triangulation's arrays take half the memory; the sweep answers nothing
// for more sites than such numbers can count.
using Index = std::uint32_t;

// Marks a missing half-edge or site.
inline constexpr Index EMPTY = UINT32_MAX;

// next and prev of half-edge e within its triangle.
inline std::size_t next_halfedge(std::size_t e) { return e % 3 == 2 ? e - 2 : e + 1; }
inline std::size_t prev_halfedge(std::size_t e) { return e % 3 == 0 ? e + 2 : e - 1; }

// Offset from a to the circumcentre of a, b, c. `degenerate` when the cross
// product or a side's squared length is zero; the offset then means nothing.
struct Circumdelta {
    Point offset;
    bool degenerate = false;
};
inline Circumdelta circumdelta(Point a, Point b, Point c) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double ex = c.x - a.x;
    const double ey = c.y - a.y;
    const double bl = dx * dx + dy * dy;
    const double cl = ex * ex + ey * ey;
    const double cross = dx * ey - dy * ex;
    const double d = 0.5 / cross;
    return {{(ey * bl - dy * cl) * d, (dx * cl - ex * bl) * d}, cross == 0.0 || bl == 0.0 || cl == 0.0};
}

struct Triangulation {
    // Three site indices per triangle; every triangle runs clockwise in a
    // y-up frame (negative orientation).
    std::vector<Index> triangles;
    // Twin of each half-edge in the neighbouring triangle, or EMPTY on the hull.
    std::vector<Index> halfedges;
};

// Triangulates the sites. Answers nothing when no triangulation exists: any
// non-finite coordinate, fewer than three distinct sites, all collinear, or
// more sites than an Index can number the half-edges of.
// A site equal to the one inserted just before it (each coordinate within
// 2^-51) is skipped and belongs to no triangle.
std::optional<Triangulation> triangulate(const std::vector<Point>& sites);

// Buffers of the sweep, kept between calls so that a triangulation of a
// size met before allocates nothing.
struct Workspace {
    std::vector<Index> hull_prev;
    std::vector<Index> hull_next;
    std::vector<Index> hull_tri;
    std::vector<Index> hull_key;
    std::vector<Index> hash;
    std::vector<std::size_t> pending;
    std::vector<std::pair<std::uint64_t, std::size_t>> keyed;  // sort key and site
    std::vector<std::pair<std::uint64_t, std::size_t>> keyed_spare;
    std::vector<std::uint32_t> radix_counts;
    std::vector<Point> sorted_sites;  // the sites in the sweep's order
};

// Sorts (key, index) pairs, listed by ascending index, into ascending key;
// equal keys keep ascending index. `lo` and `hi` are the smallest and the
// largest key; `spare` and `counts` are scratch space.
void sort_keyed(std::vector<std::pair<std::uint64_t, std::size_t>>& keyed, std::uint64_t lo, std::uint64_t hi,
                std::vector<std::pair<std::uint64_t, std::size_t>>& spare, std::vector<std::uint32_t>& counts);

// The same triangulation written into `out` (whose buffers are reused),
// with the sweep's buffers in `ws`. Answers false where triangulate answers
// nothing; `out` is then unspecified.
bool triangulate_into(const std::vector<Point>& sites, Triangulation& out, Workspace& ws);

}  // namespace cellvane::delaunay
