// The Voronoi partition: frame, cell edges round each stone, and whether an
// edge reaches into the board.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/delaunay.hpp"
#include "analysis/partition.hpp"

namespace cellvane {
namespace {

const CellEdge* edge_to(const VoronoiPartition& p, std::size_t stone, std::size_t neighbour) {
    for (const CellEdge* e = p.cell_begin(stone); e != p.cell_end(stone); ++e) {
        if (e->neighbour == neighbour) return e;
    }
    return nullptr;
}

TEST(AnalysisPartition, OneStoneHasFourEdgesFacingTheFrame) {
    const auto p = build_partition(18.0, {{9, 9}});
    ASSERT_TRUE(p.has_value());
    ASSERT_EQ(p->sites.size(), 5u);
    EXPECT_EQ(p->sites[1].x, -126.0);
    EXPECT_EQ(p->sites[1].y, 9.0);
    EXPECT_EQ(p->sites[2].x, 144.0);
    EXPECT_EQ(p->sites[3].y, -126.0);
    EXPECT_EQ(p->sites[4].y, 144.0);
    EXPECT_EQ(p->triangles.size(), 12u);
    ASSERT_EQ(p->circumcentres.size(), 4u);
    ASSERT_EQ(p->stone_count(), 1u);
    ASSERT_EQ(p->cell_end(0) - p->cell_begin(0), 4);
    std::vector<bool> seen(5, false);
    for (const CellEdge* e = p->cell_begin(0); e != p->cell_end(0); ++e) {
        EXPECT_GE(e->neighbour, 1u);
        seen[e->neighbour] = true;
        // The edges chain: each ends where the next starts.
        const CellEdge* after = e + 1 == p->cell_end(0) ? p->cell_begin(0) : e + 1;
        EXPECT_EQ(e->to, after->from);
        // Each edge is the bisector of the stone and its neighbour.
        for (std::size_t end : {e->from, e->to}) {
            const Point c = p->circumcentres[end];
            const double ds = std::hypot(c.x - 9, c.y - 9);
            const double dn = std::hypot(c.x - p->sites[e->neighbour].x, c.y - p->sites[e->neighbour].y);
            EXPECT_NEAR(ds, dn, 1e-9 * ds);
        }
        // The cell reaches halfway to the far frame: its edges lie off the board.
        EXPECT_FALSE(cells_touch(*p, *e, 18.0));
    }
    EXPECT_TRUE(seen[1] && seen[2] && seen[3] && seen[4]);
    // inedges: every site is reached by some half-edge.
    for (std::size_t s = 0; s < 5; ++s) EXPECT_NE(p->inedges[s], delaunay::EMPTY);
}

TEST(AnalysisPartition, CellEdgesSeparateEachStoneFromItsNeighbour) {
    const std::vector<Point> stones{{3, 4}, {9, 9}, {14, 2.5}, {5, 15}, {16, 16}, {9.5, 4}};
    const auto p = build_partition(18.0, stones);
    ASSERT_TRUE(p.has_value());
    for (std::size_t i = 0; i < stones.size(); ++i) {
        ASSERT_GE(p->cell_end(i) - p->cell_begin(i), 3);
        for (const CellEdge* e = p->cell_begin(i); e != p->cell_end(i); ++e) {
            const Point q = p->sites[e->neighbour];
            for (std::size_t end : {e->from, e->to}) {
                const Point c = p->circumcentres[end];
                const double ds = std::hypot(c.x - stones[i].x, c.y - stones[i].y);
                EXPECT_NEAR(ds, std::hypot(c.x - q.x, c.y - q.y), 1e-9 * (1 + ds));
                // No site is nearer to a Voronoi vertex than its own triangle's sites.
                for (const Point& s : p->sites) EXPECT_GE(std::hypot(c.x - s.x, c.y - s.y), ds * (1 - 1e-12));
            }
            // The neighbour's cell has the same edge, reversed.
            if (e->neighbour < stones.size()) {
                const CellEdge* back = edge_to(*p, e->neighbour, i);
                ASSERT_NE(back, nullptr);
                EXPECT_EQ(back->from, e->to);
                EXPECT_EQ(back->to, e->from);
            }
        }
    }
}

TEST(AnalysisPartition, FourCocircularStonesMeetInOnePoint) {
    // The diagonal of the square is a Delaunay edge whose Voronoi edge has
    // zero length: it connects nothing.
    const auto p = build_partition(18.0, {{6, 6}, {12, 6}, {12, 12}, {6, 12}});
    ASSERT_TRUE(p.has_value());
    const CellEdge* diag = edge_to(*p, 0, 2);
    if (diag == nullptr) diag = edge_to(*p, 1, 3);
    ASSERT_NE(diag, nullptr);
    const Point a = p->circumcentres[diag->from];
    const Point c = p->circumcentres[diag->to];
    EXPECT_EQ(a.x, 9.0);
    EXPECT_EQ(a.y, 9.0);
    EXPECT_EQ(c.x, 9.0);
    EXPECT_EQ(c.y, 9.0);
    EXPECT_FALSE(cells_touch(*p, *diag, 18.0));
    // The sides of the square do touch.
    EXPECT_TRUE(cells_touch(*p, *edge_to(*p, 0, 1), 18.0));
    EXPECT_TRUE(cells_touch(*p, *edge_to(*p, 1, 2), 18.0));
}

TEST(AnalysisPartition, SymmetricPairSharesTheCentreLine) {
    const auto p = build_partition(18.0, {{5.25, 7}, {12.75, 7}});
    ASSERT_TRUE(p.has_value());
    const CellEdge* e = edge_to(*p, 0, 1);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(p->circumcentres[e->from].x, 9.0);
    EXPECT_EQ(p->circumcentres[e->to].x, 9.0);
    EXPECT_TRUE(cells_touch(*p, *e, 18.0));
}

TEST(AnalysisPartition, StoneOnTheBoardCentreAndDuplicates) {
    // A stone exactly on the centre of the sites' box is never the first seed.
    const auto centre = build_partition(18.0, {{9, 9}, {9, 12}});
    ASSERT_TRUE(centre.has_value());
    EXPECT_EQ(centre->cell_end(0) - centre->cell_begin(0), 4);
    EXPECT_NE(edge_to(*centre, 0, 1), nullptr);
    // A duplicate stone gets no triangles and so no cell edges.
    const auto dup = build_partition(18.0, {{4, 4}, {4, 4}, {12, 12}});
    ASSERT_TRUE(dup.has_value());
    const auto edges = [&](std::size_t i) { return dup->cell_end(i) - dup->cell_begin(i); };
    EXPECT_TRUE((edges(0) == 0) != (edges(1) == 0));
    EXPECT_GE(edges(2), 3);
}

TEST(AnalysisPartition, NonFiniteCentresHaveNoPartition) {
    EXPECT_FALSE(build_partition(18.0, {{9, std::nan("")}}).has_value());
    EXPECT_FALSE(build_partition(std::numeric_limits<double>::infinity(), {{9, 9}}).has_value());
}

// cells_touch on hand-made edges between two circumcentres.
bool touches(Point a, Point c, double b = 10.0) {
    VoronoiPartition p;
    p.circumcentres = {a, c};
    return cells_touch(p, CellEdge{0, 1, 0}, b);
}

TEST(AnalysisPartition, CellsTouchClipsTheEdgeToTheClosedSquare) {
    EXPECT_TRUE(touches({2, 2}, {3, 4}));
    // One end far outside, crossing in.
    EXPECT_TRUE(touches({-1e6, 5}, {5, 5}));
    EXPECT_TRUE(touches({5, 5}, {3e7, -2e7}));
    EXPECT_TRUE(touches({-100, -95}, {100, 105}));
    // Both ends outside, the line passing through the square.
    EXPECT_TRUE(touches({-5, 5}, {15, 5}));
    // Both ends outside, the line missing the square.
    EXPECT_FALSE(touches({-5, 3}, {3, -5}));
    EXPECT_FALSE(touches({-100, -90}, {100, 110}));  // through the corner (0, 10) only
    EXPECT_FALSE(touches({11, 0}, {11, 10}));
    EXPECT_FALSE(touches({-3, -1}, {-1, -3}));
    // Only grazing the corner (0, 0).
    EXPECT_FALSE(touches({-1, 1}, {1, -1}));
    EXPECT_FALSE(touches({10, 10}, {12, 12}));
    // Along the boundary lines.
    EXPECT_TRUE(touches({0, -5}, {0, 5}));
    EXPECT_TRUE(touches({3, 10}, {7, 10}));
    EXPECT_FALSE(touches({-1e-300, 2}, {-1e-300, 8}));
    // Zero length, also with the two zeros of different sign.
    EXPECT_FALSE(touches({5, 5}, {5, 5}));
    EXPECT_FALSE(touches({0.0, 5}, {-0.0, 5}));
    // Invalid circumcentre index.
    VoronoiPartition p;
    p.circumcentres = {{1, 1}};
    EXPECT_FALSE(cells_touch(p, CellEdge{0, 1, 0}, 10.0));
}

TEST(AnalysisPartition, EveryEdgeWithinTheClosedSquareTouches) {
    // Ends drawn from the square's corners, sides, zeros of both signs,
    // subnormal and nearly-B coordinates and the inside; an edge of positive
    // length lying within the closed square always keeps a stretch in it,
    // whichever end comes first.
    const double tiny = std::numeric_limits<double>::denorm_min();
    for (const double b : {10.0, 0x1p-500, 1e300}) {
        const std::vector<double> pool{0.0, -0.0, tiny, 3 * tiny, b * 0.25, b * 0.5, std::nextafter(b, 0.0), b};
        int checked = 0;
        for (double ax : pool) {
            for (double ay : pool) {
                for (double cx : pool) {
                    for (double cy : pool) {
                        if (ax == cx && ay == cy) continue;
                        ASSERT_TRUE(touches({ax, ay}, {cx, cy}, b)) << ax << " " << ay << " " << cx << " " << cy;
                        ++checked;
                    }
                }
            }
        }
        EXPECT_GT(checked, 3000);
    }
    // An edge wholly outside a side, however close, does not touch.
    EXPECT_FALSE(touches({-1e-300, 0.0}, {-1e-300, 10.0}));
    EXPECT_FALSE(touches({5.0, std::nextafter(10.0, 11.0)}, {6.0, 11.0}));
}

}  // namespace
}  // namespace cellvane
