#include "analysis/partition.hpp"

#include <cmath>

#include "analysis/delaunay.hpp"

namespace cellvane {

namespace {

using delaunay::EMPTY;
using delaunay::next_halfedge;

// Circumcentre of a, b, c; the origin for a degenerate triangle (zero cross
// product or a zero side).
Point circumcentre(Point a, Point b, Point c) {
    const delaunay::Circumdelta d = delaunay::circumdelta(a, b, c);
    if (d.degenerate) return {0.0, 0.0};
    return {a.x + d.offset.x, a.y + d.offset.y};
}

}  // namespace

bool build_partition_into(double board_size, const std::vector<Point>& centres, VoronoiPartition& part,
                          PartitionWorkspace& ws) {
    const double b = board_size;
    const std::size_t n = centres.size();
    const double two_b = b + b;
    const double three_b = b + (b + b);
    const Point lo{-two_b, -two_b};
    const Point hi{three_b, three_b};
    const double w = hi.x - lo.x;
    const double h = hi.y - lo.y;

    part.sites.clear();
    part.sites.reserve(n + 4);
    part.sites.assign(centres.begin(), centres.end());
    part.sites.push_back({lo.x - w, lo.y + h * 0.5});
    part.sites.push_back({hi.x + w, lo.y + h * 0.5});
    part.sites.push_back({lo.x + w * 0.5, lo.y - h});
    part.sites.push_back({lo.x + w * 0.5, hi.y + h});

    if (!delaunay::triangulate_into(part.sites, ws.triangulation, ws.sweep)) return false;
    part.triangles.swap(ws.triangulation.triangles);
    part.halfedges.swap(ws.triangulation.halfedges);
    const auto& triangles = part.triangles;
    const auto& halfedges = part.halfedges;

    // An incoming half-edge per site; a site on the hull keeps its hull edge
    // so that the walk round it would start there.
    // Half-edges by ascending index, a triangle's three at a time: half-edge
    // e of the triangle starting at t ends where the next one starts.
    part.inedges.assign(part.sites.size(), EMPTY);
    std::size_t* const inedges = part.inedges.data();
    for (std::size_t t = 0; t + 2 < triangles.size(); t += 3) {
        for (std::size_t k = 0; k < 3; ++k) {
            const std::size_t e = t + k;
            const std::size_t p = triangles[k == 2 ? t : e + 1];
            if (halfedges[e] == EMPTY || inedges[p] == EMPTY) inedges[p] = e;
        }
    }

    const std::size_t tri_count = triangles.size() / 3;
    part.circumcentres.clear();
    part.circumcentres.reserve(tri_count);
    for (std::size_t t = 0; t < tri_count; ++t) {
        part.circumcentres.push_back(circumcentre(part.sites[triangles[3 * t]], part.sites[triangles[3 * t + 1]],
                                                  part.sites[triangles[3 * t + 2]]));
    }

    // Cell edges: walk round each stone through the triangles that share it.
    part.edges.clear();
    part.edges.reserve(halfedges.size());
    part.edge_start.clear();
    part.edge_start.reserve(n + 1);
    // The edge between consecutive triangles of the walk is written as soon
    // as the second is reached, and the closing one at the end; a walk that
    // does not close, or passes fewer than three triangles, takes its edges
    // back.
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t base = part.edges.size();
        part.edge_start.push_back(base);
        const std::size_t first = part.inedges[i];
        if (first == EMPTY) continue;
        const auto first_triangle = static_cast<std::uint32_t>(first / 3);
        const auto first_neighbour = static_cast<std::uint32_t>(triangles[first]);
        std::uint32_t previous = first_triangle;
        std::size_t e = halfedges[next_halfedge(first)];
        bool closed = false;
        std::size_t m = 1;
        // At most one triangle per half-edge is passed, as a walk that does
        // not close could otherwise go on.
        for (std::size_t steps = 1; e != EMPTY; ++steps) {
            if (e == first) {
                closed = true;
                break;
            }
            if (steps >= halfedges.size()) break;
            const auto t = static_cast<std::uint32_t>(e / 3);
            part.edges.push_back({previous, t, static_cast<std::uint32_t>(triangles[e])});
            previous = t;
            ++m;
            e = halfedges[next_halfedge(e)];
        }
        if (!closed || m < 3) {
            part.edges.resize(base);
            continue;
        }
        part.edges.push_back({previous, first_triangle, first_neighbour});
    }
    part.edge_start.push_back(part.edges.size());
    return true;
}

std::optional<VoronoiPartition> build_partition(double board_size, const std::vector<Point>& centres) {
    VoronoiPartition part;
    PartitionWorkspace ws;
    if (!build_partition_into(board_size, centres, part, ws)) return std::nullopt;
    return part;
}

}  // namespace cellvane
