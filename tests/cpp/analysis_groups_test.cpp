// Groups and their territories: labelling, rings, area and containment,
// checked against Voronoi cells computed independently.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "analysis/analysis.hpp"
#include "analysis/groups.hpp"
#include "analysis/partition.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

Stone stone(std::uint32_t id, double x, double y, Color c) { return Stone{{x, y}, id, c}; }

std::vector<std::uint32_t> ids(const Group& g) {
    std::vector<std::uint32_t> out;
    for (const Stone& s : g.stones) out.push_back(s.id);
    return out;
}

using Ids = std::vector<std::uint32_t>;

void expect_closed(const Group& g) {
    for (const Ring& r : g.rings) {
        ASSERT_GE(r.size(), 4u);
        EXPECT_EQ(r.front().x, r.back().x);
        EXPECT_EQ(r.front().y, r.back().y);
    }
}

TEST(AnalysisGroups, EmptyBoardHasNoGroups) {
    const auto a = analyse(18.0, {});
    EXPECT_TRUE(a.black.empty());
    EXPECT_TRUE(a.white.empty());
}

TEST(AnalysisGroups, LoneStoneOwnsTheWholeBoard) {
    const auto a = analyse(18.0, {stone(0, 4.5, 13, Color::White)});
    ASSERT_TRUE(a.black.empty());
    ASSERT_EQ(a.white.size(), 1u);
    const Group& g = a.white[0];
    EXPECT_EQ(g.color, Color::White);
    EXPECT_EQ(ids(g), Ids{0});
    ASSERT_EQ(g.rings.size(), 1u);
    ASSERT_EQ(g.rings[0].size(), 5u);
    expect_closed(g);
    std::set<std::pair<double, double>> corners;
    for (std::size_t i = 0; i < 4; ++i) corners.insert({g.rings[0][i].x, g.rings[0][i].y});
    EXPECT_EQ(corners, (std::set<std::pair<double, double>>{{0, 0}, {0, 18}, {18, 0}, {18, 18}}));
    EXPECT_EQ(area(g.rings), 324.0);
    EXPECT_TRUE(territory_contains(g.rings, 9, 9));
    EXPECT_FALSE(territory_contains(g.rings, -1, 9));
    EXPECT_FALSE(territory_contains(g.rings, 9, 18.5));
}

TEST(AnalysisGroups, FarApartStonesOfOneColourShareTheirBisector) {
    const auto a = analyse(18.0, {stone(0, 2, 2, Color::Black), stone(1, 16, 16, Color::Black)});
    ASSERT_EQ(a.black.size(), 1u);
    EXPECT_EQ(ids(a.black[0]), (Ids{0, 1}));
    ASSERT_EQ(a.black[0].rings.size(), 1u);
    EXPECT_NEAR(area(a.black[0].rings), 324.0, 1e-9);
}

TEST(AnalysisGroups, CellsMeetingAtAPointOrOffTheBoardDoNotConnect) {
    // Checkerboard square: the black diagonal meets only at (9, 9).
    const auto a = analyse(18.0, {stone(0, 6, 6, Color::Black), stone(1, 12, 6, Color::White),
                                  stone(2, 12, 12, Color::Black), stone(3, 6, 12, Color::White)});
    ASSERT_EQ(a.black.size(), 2u);
    ASSERT_EQ(a.white.size(), 2u);
    EXPECT_EQ(ids(a.black[0]), Ids{0});
    EXPECT_EQ(ids(a.black[1]), Ids{2});
    EXPECT_EQ(ids(a.white[0]), Ids{1});
    EXPECT_EQ(ids(a.white[1]), Ids{3});
    for (const auto* side : {&a.black, &a.white}) {
        for (const Group& g : *side) EXPECT_NEAR(area(g.rings), 81.0, 1e-9);
    }

    // Two black stones along the top edge with a white one between them: the
    // black cells share an edge, but only far below the board.
    const std::vector<Stone> top{stone(0, 1, 1, Color::Black), stone(1, 9, 0.5, Color::White),
                                 stone(2, 17, 1, Color::Black)};
    const auto p = build_partition(18.0, {top[0].position, top[1].position, top[2].position});
    ASSERT_TRUE(p.has_value());
    const CellEdge* shared = nullptr;
    for (const CellEdge* e = p->cell_begin(0); e != p->cell_end(0); ++e) {
        if (e->neighbour == 2) shared = e;
    }
    ASSERT_NE(shared, nullptr);
    EXPECT_GT(p->circumcentres[shared->from].y, 18.0);
    EXPECT_GT(p->circumcentres[shared->to].y, 18.0);
    EXPECT_FALSE(cells_touch(*p, *shared, 18.0));
    const auto b = analyse(18.0, top);
    ASSERT_EQ(b.black.size(), 2u);
    EXPECT_EQ(ids(b.black[0]), Ids{0});
    EXPECT_EQ(ids(b.black[1]), Ids{2});
}

TEST(AnalysisGroups, GroupsComeInOrderOfTheirLowestId) {
    // Ids with gaps, as after captures and passes.
    const auto a = analyse(18.0, {stone(0, 3, 3, Color::Black), stone(1, 9, 9, Color::White),
                                  stone(4, 15, 3, Color::Black), stone(7, 3, 15, Color::White),
                                  stone(9, 15, 15, Color::Black)});
    std::vector<Ids> black, white;
    for (const Group& g : a.black) black.push_back(ids(g));
    for (const Group& g : a.white) white.push_back(ids(g));
    ASSERT_FALSE(black.empty());
    for (std::size_t i = 1; i < black.size(); ++i) EXPECT_LT(black[i - 1][0], black[i][0]);
    for (std::size_t i = 1; i < white.size(); ++i) EXPECT_LT(white[i - 1][0], white[i][0]);
    std::size_t count = 0;
    for (const auto& g : black) {
        EXPECT_TRUE(std::is_sorted(g.begin(), g.end()));
        count += g.size();
    }
    for (const auto& g : white) count += g.size();
    EXPECT_EQ(count, 5u);
}

TEST(AnalysisGroups, SurroundedGroupLeavesAHole) {
    std::vector<Stone> stones{stone(0, 9, 9, Color::White)};
    for (int k = 0; k < 8; ++k) {
        const double t = k * 3.141592653589793 / 4;
        stones.push_back(stone(static_cast<std::uint32_t>(k + 1), 9 + 4 * std::cos(t), 9 + 4 * std::sin(t), Color::Black));
    }
    const auto a = analyse(18.0, stones);
    ASSERT_EQ(a.black.size(), 1u);
    ASSERT_EQ(a.white.size(), 1u);
    const Group& black = a.black[0];
    const Group& white = a.white[0];
    ASSERT_EQ(black.rings.size(), 2u);
    ASSERT_EQ(white.rings.size(), 1u);
    expect_closed(black);
    expect_closed(white);
    EXPECT_GT(enclosed_area(black.rings[0]), enclosed_area(black.rings[1]));
    EXPECT_EQ(area(black.rings), enclosed_area(black.rings[0]) - enclosed_area(black.rings[1]));
    EXPECT_NEAR(enclosed_area(black.rings[1]), area(white.rings), 1e-9);
    EXPECT_NEAR(area(black.rings) + area(white.rings), 324.0, 1e-9);
    EXPECT_FALSE(territory_contains(black.rings, 9, 9));
    EXPECT_TRUE(territory_contains(white.rings, 9, 9));
    EXPECT_TRUE(territory_contains(black.rings, 1, 1));
    EXPECT_FALSE(territory_contains(white.rings, 1, 1));
}

TEST(AnalysisGroups, FallbackGivesEveryStoneItsOwnEmptyGroup) {
    const std::vector<Stone> stones{stone(2, 0, 0, Color::White), stone(5, 0, 0, Color::Black),
                                    stone(6, 0, 0, Color::White)};
    for (double size : {1e-300, 1e300, std::nan(""), 0.0, -0.0, std::numeric_limits<double>::infinity(),
                        -std::numeric_limits<double>::infinity()}) {
        const auto a = analyse(size, stones);
        ASSERT_EQ(a.black.size(), 1u) << size;
        ASSERT_EQ(a.white.size(), 2u) << size;
        EXPECT_EQ(ids(a.black[0]), Ids{5});
        EXPECT_EQ(ids(a.white[0]), Ids{2});
        EXPECT_EQ(ids(a.white[1]), Ids{6});
        for (const Group& g : a.white) EXPECT_TRUE(g.rings.empty());
        EXPECT_TRUE(a.black[0].rings.empty());
    }
    // Just inside the guard the analysis runs (even if its arithmetic has
    // degenerated); just outside it falls back.
    const double smallest = std::sqrt(std::numeric_limits<double>::min()) / 16;
    ASSERT_TRUE(std::isnormal((16 * smallest) * (16 * smallest)));
    ASSERT_FALSE(std::isnormal((16 * (smallest / 2)) * (16 * (smallest / 2))));
    const std::uint64_t before = TestAccess::analyse_runs();
    EXPECT_EQ(analyse(smallest / 2, {stone(0, 0, 0, Color::Black)}).black[0].rings.size(), 0u);
    EXPECT_EQ(TestAccess::analyse_runs(), before + 1);
}

TEST(AnalysisGroups, ScalingTheBoardByAPowerOfTwoScalesEverythingExactly) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(1.0, 17.0);
    std::vector<Stone> stones;
    for (std::uint32_t i = 0; i < 30; ++i) stones.push_back(stone(i, u(rng), u(rng), i % 3 ? Color::Black : Color::White));
    const auto base = analyse(18.0, stones);
    // (Far smaller boards would bring every stone within the 2^-51 duplicate
    // tolerance of the triangulator, which is absolute.)
    for (int k : {-20, 100}) {
        const double s = std::ldexp(1.0, k);
        std::vector<Stone> scaled = stones;
        for (Stone& st : scaled) st.position = {st.position.x * s, st.position.y * s};
        const auto a = analyse(18.0 * s, scaled);
        ASSERT_EQ(a.black.size(), base.black.size());
        ASSERT_EQ(a.white.size(), base.white.size());
        for (std::size_t side = 0; side < 2; ++side) {
            const auto& gs = side ? a.white : a.black;
            const auto& bs = side ? base.white : base.black;
            for (std::size_t g = 0; g < gs.size(); ++g) {
                EXPECT_EQ(ids(gs[g]), ids(bs[g]));
                ASSERT_EQ(gs[g].rings.size(), bs[g].rings.size());
                for (std::size_t r = 0; r < gs[g].rings.size(); ++r) {
                    ASSERT_EQ(gs[g].rings[r].size(), bs[g].rings[r].size());
                    for (std::size_t i = 0; i < gs[g].rings[r].size(); ++i) {
                        EXPECT_EQ(gs[g].rings[r][i].x, bs[g].rings[r][i].x * s);
                        EXPECT_EQ(gs[g].rings[r][i].y, bs[g].rings[r][i].y * s);
                    }
                }
                EXPECT_EQ(area(gs[g].rings), area(bs[g].rings) * s * s);
            }
        }
    }
}

TEST(AnalysisGroups, DuplicateStoneIsAGroupOfItsOwnWithoutTerritory) {
    const auto a = analyse(18.0, {stone(0, 4, 4, Color::Black), stone(1, 4, 4, Color::Black)});
    ASSERT_EQ(a.black.size(), 2u);
    const bool first_empty = a.black[0].rings.empty();
    EXPECT_NE(first_empty, a.black[1].rings.empty());
    EXPECT_EQ(area(a.black[first_empty ? 1 : 0].rings), 324.0);
}

TEST(AnalysisGroups, AnalyseCountsItsRuns) {
    const std::uint64_t before = TestAccess::analyse_runs();
    analyse(18.0, {});
    analyse(1e300, {stone(0, 1, 1, Color::Black)});
    analyse(18.0, {stone(0, 1, 1, Color::Black)});
    EXPECT_EQ(TestAccess::analyse_runs(), before + 3);
}

TEST(AnalysisGroups, AreaAndContainment) {
    const Ring square{{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
    const Ring reversed{{0, 0}, {0, 4}, {4, 4}, {4, 0}, {0, 0}};
    const Ring hole{{1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}};
    EXPECT_EQ(area({}), 0.0);
    EXPECT_EQ(area({square}), 16.0);
    EXPECT_EQ(area({reversed}), 16.0);
    EXPECT_EQ(area({square, hole}), 15.0);
    EXPECT_EQ(area({square, hole, hole}), 14.0);
    EXPECT_EQ(area({Ring{{0, 0}, {1, 1}}}), 0.0);
    // Unclosed and closed rings measure alike.
    EXPECT_EQ(enclosed_area(Ring{{0, 0}, {4, 0}, {4, 4}}), 8.0);

    EXPECT_TRUE(ring_contains(square, 2, 2));
    EXPECT_TRUE(ring_contains(reversed, 2, 2));
    EXPECT_FALSE(ring_contains(square, 5, 2));
    EXPECT_FALSE(ring_contains(square, 2, -1));
    EXPECT_FALSE(ring_contains(Ring{{0, 0}, {4, 0}}, 2, 0));
    EXPECT_TRUE(territory_contains({square, hole}, 3, 3));
    EXPECT_FALSE(territory_contains({square, hole}, 1.5, 1.5));
    EXPECT_FALSE(territory_contains({}, 1.5, 1.5));
    // A ring of fewer than three points contains nothing, so it cuts no hole.
    EXPECT_TRUE(territory_contains({square, Ring{{1, 1}, {2, 2}}}, 1.5, 1.5));
}

// Independent Voronoi cell: the board square cut by the half-plane of every
// other site, nearer to `s` than to it.
std::vector<Point> voronoi_cell(const std::vector<Stone>& stones, std::size_t s, double b) {
    std::vector<Point> poly{{0, 0}, {b, 0}, {b, b}, {0, b}};
    const Point p = stones[s].position;
    for (std::size_t j = 0; j < stones.size() && !poly.empty(); ++j) {
        if (j == s) continue;
        const Point q = stones[j].position;
        // keep x with (x - m) . (q - p) <= 0, m the midpoint
        const Point m{(p.x + q.x) / 2, (p.y + q.y) / 2};
        const Point n{q.x - p.x, q.y - p.y};
        auto side = [&](Point x) { return (x.x - m.x) * n.x + (x.y - m.y) * n.y; };
        std::vector<Point> out;
        for (std::size_t i = 0; i < poly.size(); ++i) {
            const Point a = poly[i];
            const Point c = poly[(i + 1) % poly.size()];
            const double sa = side(a), sc = side(c);
            if (sa <= 0) out.push_back(a);
            if ((sa < 0 && sc > 0) || (sa > 0 && sc < 0)) {
                const double t = sa / (sa - sc);
                out.push_back({a.x + t * (c.x - a.x), a.y + t * (c.y - a.y)});
            }
        }
        poly = std::move(out);
    }
    return poly;
}

std::vector<Stone> random_position(std::mt19937_64& rng, std::size_t count, double b, double min_gap) {
    std::uniform_real_distribution<double> u(1.0, b - 1.0);
    std::uniform_int_distribution<int> coin(0, 1);
    std::vector<Stone> stones;
    for (int tries = 0; stones.size() < count && tries < 100000; ++tries) {
        const Point p{u(rng), u(rng)};
        bool ok = true;
        for (const Stone& s : stones) ok = ok && std::hypot(s.position.x - p.x, s.position.y - p.y) >= min_gap;
        if (ok) stones.push_back({p, static_cast<std::uint32_t>(stones.size()), coin(rng) ? Color::White : Color::Black});
    }
    return stones;
}

TEST(AnalysisGroups, TerritoriesMatchIndependentVoronoiCells) {
    std::mt19937_64 rng(2024);
    for (int round = 0; round < 12; ++round) {
        const double b = round % 2 ? 25.5 : 18.0;
        const auto stones = random_position(rng, 10 + 5 * round, b, round < 6 ? 2.0 : 0.0);
        const auto a = analyse(b, stones);
        std::vector<const Group*> groups;
        for (const Group& g : a.black) groups.push_back(&g);
        for (const Group& g : a.white) groups.push_back(&g);
        std::vector<std::size_t> owner(stones.size(), groups.size());
        double total = 0;
        for (std::size_t gi = 0; gi < groups.size(); ++gi) {
            const Group& g = *groups[gi];
            expect_closed(g);
            double cells = 0;
            for (const Stone& s : g.stones) {
                EXPECT_EQ(s.color, g.color);
                owner[s.id] = gi;
                cells += enclosed_area(voronoi_cell(stones, s.id, b));
            }
            EXPECT_NEAR(area(g.rings), cells, 1e-9 * b * b) << "round " << round << " group " << gi;
            total += area(g.rings);
        }
        EXPECT_NEAR(total, b * b, 1e-9 * b * b);
        for (std::size_t o : owner) EXPECT_LT(o, groups.size());

        // Every point lies in the territory of its nearest stone's group, and
        // in no other.
        std::uniform_real_distribution<double> u(0.0, b);
        for (int k = 0; k < 400; ++k) {
            const double x = u(rng), y = u(rng);
            std::vector<double> d;
            for (const Stone& s : stones) d.push_back(std::hypot(s.position.x - x, s.position.y - y));
            std::vector<double> sorted = d;
            std::sort(sorted.begin(), sorted.end());
            if (sorted.size() > 1 && sorted[1] - sorted[0] < 1e-9) continue;
            const std::size_t nearest = static_cast<std::size_t>(std::min_element(d.begin(), d.end()) - d.begin());
            for (std::size_t gi = 0; gi < groups.size(); ++gi) {
                EXPECT_EQ(territory_contains(groups[gi]->rings, x, y), gi == owner[nearest])
                    << "round " << round << " at " << x << ", " << y;
            }
        }
    }
}

TEST(AnalysisGroups, SameColourNeighboursWhoseCellsTouchAreOneGroup) {
    // Union-find over touching same-colour cell edges must give the same
    // partition of the stones as the analysis.
    std::mt19937_64 rng(77);
    for (int round = 0; round < 10; ++round) {
        const auto stones = random_position(rng, 40, 19.0, 2.0);
        std::vector<Point> centres;
        for (const Stone& s : stones) centres.push_back(s.position);
        const auto p = build_partition(19.0, centres);
        ASSERT_TRUE(p.has_value());
        std::vector<std::size_t> parent(stones.size());
        for (std::size_t i = 0; i < parent.size(); ++i) parent[i] = i;
        auto find = [&](std::size_t i) {
            while (parent[i] != i) i = parent[i];
            return i;
        };
        for (std::size_t i = 0; i < stones.size(); ++i) {
            for (const CellEdge* e = p->cell_begin(i); e != p->cell_end(i); ++e) {
                if (e->neighbour < stones.size() && stones[e->neighbour].color == stones[i].color &&
                    cells_touch(*p, *e, 19.0)) {
                    parent[find(i)] = find(e->neighbour);
                }
            }
        }
        const auto a = analyse(19.0, stones);
        for (const auto* side : {&a.black, &a.white}) {
            for (const Group& g : *side) {
                for (const Stone& s : g.stones) EXPECT_EQ(find(s.id), find(g.stones[0].id));
            }
        }
        std::set<std::size_t> roots;
        for (std::size_t i = 0; i < stones.size(); ++i) roots.insert(find(i));
        EXPECT_EQ(roots.size(), a.black.size() + a.white.size());
    }
}

TEST(AnalysisGroups, AnyInputPutsEveryStoneInExactlyOneGroup) {
    // Stones off the board, stacked, at extreme or non-finite coordinates,
    // on boards of every size: the analysis never fails and loses no stone.
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<double> sizes{18.0, 1e-150, 1e150, 3.0, 1e-300, inf, std::nan("")};
    std::mt19937_64 rng(404);
    for (int round = 0; round < 300; ++round) {
        const double b = sizes[static_cast<std::size_t>(round) % sizes.size()];
        const std::vector<double> pool{0.0, -0.0, b, b / 2, b / 3, 1e-300, 1e300, -1.0, inf, std::nan(""), 1.0, 2.0};
        std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
        std::uniform_real_distribution<double> u(0.0, std::isfinite(b) ? b : 1.0);
        std::uniform_int_distribution<int> count(0, 12);
        std::vector<Stone> stones;
        const int n = count(rng);
        const bool finite_only = round % 3 == 0;
        for (int i = 0; i < n; ++i) {
            const bool special = !finite_only && i % 3 == 0;
            double x = special ? pool[pick(rng)] : u(rng);
            double y = special ? pool[pick(rng)] : u(rng);
            if (finite_only && i % 4 == 0 && i > 0) {
                x = stones.back().position.x;
                y = stones.back().position.y;
            }
            stones.push_back(stone(static_cast<std::uint32_t>(2 * i), x, y, i % 2 ? Color::White : Color::Black));
        }
        const auto a = analyse(b, stones);
        std::vector<int> seen(stones.size(), 0);
        for (const auto* side : {&a.black, &a.white}) {
            for (const Group& g : *side) {
                ASSERT_FALSE(g.stones.empty());
                for (const Stone& s : g.stones) {
                    ASSERT_EQ(s.color, g.color);
                    ++seen[s.id / 2];
                }
                for (const Ring& r : g.rings) {
                    ASSERT_GE(r.size(), 4u);
                    EXPECT_EQ(folded_bits(r.front().x), folded_bits(r.back().x));
                }
                (void)area(g.rings);
                (void)territory_contains(g.rings, 1, 1);
            }
        }
        for (int k : seen) EXPECT_EQ(k, 1) << "round " << round;
    }
}

// The grouping and ring tracing as plainly as they can be written: a
// depth-first labelling, an ordered map of boundary adjacency, a set of
// visited vertices, four clipping passes, stable sorts.
struct Reference {
    std::vector<std::size_t> labels;
    std::vector<std::vector<std::size_t>> members;  // by group number
};

Reference reference_labels(const VoronoiPartition& p, const std::vector<Stone>& stones, double b) {
    const std::size_t n = stones.size();
    const std::size_t none = std::numeric_limits<std::size_t>::max();
    Reference out{std::vector<std::size_t>(n, none), {}};
    for (std::size_t o = 0; o < n; ++o) {
        if (out.labels[o] != none) continue;
        std::vector<std::size_t> group;
        std::vector<std::size_t> stack{o};
        while (!stack.empty()) {
            const std::size_t v = stack.back();
            stack.pop_back();
            if (out.labels[v] != none) continue;
            out.labels[v] = out.members.size();
            group.push_back(v);
            if (v >= p.stone_count()) continue;
            for (const CellEdge* e = p.cell_begin(v); e != p.cell_end(v); ++e) {
                if (e->neighbour < n && stones[e->neighbour].color == stones[o].color && cells_touch(p, *e, b)) {
                    stack.push_back(e->neighbour);
                }
            }
        }
        out.members.push_back(group);
    }
    return out;
}

std::vector<Point> reference_clip(std::vector<Point> pts, double b) {
    for (int side = 0; side < 4; ++side) {
        if (pts.size() < 3) return {};
        auto in = [&](Point q) {
            return side == 0 ? q.x >= 0 : side == 1 ? q.x <= b : side == 2 ? q.y >= 0 : q.y <= b;
        };
        std::vector<Point> out;
        Point prev = pts.back();
        for (const Point cur : pts) {
            if (in(cur) != in(prev)) {
                const double dx = cur.x - prev.x;
                const double dy = cur.y - prev.y;
                if (side == 0) out.push_back({0.0, prev.y + dy * ((0 - prev.x) / dx)});
                if (side == 1) out.push_back({b, prev.y + dy * ((b - prev.x) / dx)});
                if (side == 2) out.push_back({prev.x + ((0 - prev.y) / dy) * dx, 0.0});
                if (side == 3) out.push_back({prev.x + ((b - prev.y) / dy) * dx, b});
            }
            if (in(cur)) out.push_back(cur);
            prev = cur;
        }
        pts = std::move(out);
    }
    return pts.size() < 3 ? std::vector<Point>{} : pts;
}

Group reference_group(const VoronoiPartition& p, double b, const std::vector<Stone>& stones,
                      const std::vector<std::size_t>& labels, const std::vector<std::size_t>& members, Color color) {
    const std::size_t n = p.stone_count();
    std::map<std::size_t, std::vector<std::size_t>> adjacency;
    std::vector<std::size_t> order;
    auto link = [&](std::size_t from, std::size_t to) {
        auto [it, fresh] = adjacency.try_emplace(from);
        if (fresh) order.push_back(from);
        it->second.push_back(to);
    };
    for (const std::size_t m : members) {
        if (m >= n) continue;
        for (const CellEdge* e = p.cell_begin(m); e != p.cell_end(m); ++e) {
            if (e->neighbour < n && labels[e->neighbour] == labels[members[0]]) continue;
            link(e->from, e->to);
            link(e->to, e->from);
        }
    }
    std::set<std::size_t> visited;
    std::vector<Ring> rings;
    std::vector<double> areas;
    for (const std::size_t k : order) {
        if (visited.count(k) != 0) continue;
        std::vector<std::size_t> trace;
        for (std::size_t r = k;;) {
            visited.insert(r);
            trace.push_back(r);
            const auto& next = adjacency[r];
            const auto it = std::find_if(next.begin(), next.end(), [&](std::size_t a) { return visited.count(a) == 0; });
            if (it == next.end()) break;
            r = *it;
        }
        if (trace.size() < 3) continue;
        std::vector<Point> pts;
        for (const std::size_t i : trace) {
            if (i < p.circumcentres.size()) pts.push_back(p.circumcentres[i]);
        }
        pts = reference_clip(pts, b);
        if (pts.empty()) continue;
        areas.push_back(enclosed_area(pts));
        rings.push_back(pts);
    }
    std::vector<std::size_t> by_area(rings.size());
    for (std::size_t i = 0; i < by_area.size(); ++i) by_area[i] = i;
    std::stable_sort(by_area.begin(), by_area.end(), [&](std::size_t x, std::size_t y) {
        if (std::isnan(areas[x]) || std::isnan(areas[y])) return !std::isnan(areas[x]) && std::isnan(areas[y]);
        return areas[x] > areas[y];
    });
    Group g;
    g.color = color;
    for (const std::size_t i : by_area) {
        g.rings.push_back(rings[i]);
        g.rings.back().push_back(rings[i].front());
    }
    for (const std::size_t m : members) {
        if (m < stones.size()) g.stones.push_back(stones[m]);
    }
    std::stable_sort(g.stones.begin(), g.stones.end(), [](const Stone& x, const Stone& y) { return x.id < y.id; });
    return g;
}

::testing::AssertionResult same_bits(const Group& got, const Group& want) {
    auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    if (got.color != want.color) return ::testing::AssertionFailure() << "colour";
    if (got.stones.size() != want.stones.size()) return ::testing::AssertionFailure() << "stone count";
    for (std::size_t i = 0; i < got.stones.size(); ++i) {
        const Stone& s = got.stones[i];
        const Stone& t = want.stones[i];
        if (s.id != t.id || s.color != t.color || bits(s.position.x) != bits(t.position.x) ||
            bits(s.position.y) != bits(t.position.y)) {
            return ::testing::AssertionFailure() << "stone " << i;
        }
    }
    if (got.rings.size() != want.rings.size()) return ::testing::AssertionFailure() << "ring count";
    for (std::size_t r = 0; r < got.rings.size(); ++r) {
        if (got.rings[r].size() != want.rings[r].size()) return ::testing::AssertionFailure() << "ring " << r << " length";
        for (std::size_t i = 0; i < got.rings[r].size(); ++i) {
            if (bits(got.rings[r][i].x) != bits(want.rings[r][i].x) || bits(got.rings[r][i].y) != bits(want.rings[r][i].y)) {
                return ::testing::AssertionFailure() << "ring " << r << " point " << i;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

TEST(AnalysisGroups, GroupsAndRingsMatchAPlainTracingBitForBit) {
    // Uniform, lattice (co-circular stones: zero-length edges and shared
    // circumcentres), edge-hugging and duplicated positions, with lopsided
    // colourings that make large groups with holes; and a negative board
    // size, whose square holds nothing.
    std::mt19937_64 rng(1213);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    // Each round is also analysed over the result of the rounds before it,
    // whose groups, stones and rings are more or fewer, longer or shorter;
    // every few rounds that result is first refilled with single-stone
    // groups (a board too small to measure) or emptied.
    PositionAnalysis reused;
    for (int round = 0; round < 400; ++round) {
        const std::vector<double> sizes{18.0, 25.5, 19.0, 9.0, -18.0};
        const double b = sizes[static_cast<std::size_t>(round + round / 5) % sizes.size()];
        const double span = std::fabs(b);
        const int kind = round % 5;
        const double step = std::vector<double>{1.0, 1.5, 2.25, 3.0}[static_cast<std::size_t>(round / 5) % 4];
        const double black_share = 0.2 + 0.6 * unit(rng);
        const std::size_t count = 1 + static_cast<std::size_t>(unit(rng) * (round % 3 == 0 ? 90 : 40));
        std::vector<Stone> stones;
        std::uint32_t id = 0;
        for (std::size_t i = 0; i < count; ++i) {
            Point q{unit(rng) * span, unit(rng) * span};
            if (kind == 1 || kind == 2) {
                const double cells = std::floor(span / step);
                q = {std::floor(unit(rng) * (cells + 1)) * step, std::floor(unit(rng) * (cells + 1)) * step};
            }
            if (kind == 3 && unit(rng) < 0.3) (unit(rng) < 0.5 ? q.x : q.y) = unit(rng) < 0.5 ? 0.0 : span;
            if (kind == 4 && !stones.empty() && unit(rng) < 0.2) q = stones.back().position;
            id += 1 + static_cast<std::uint32_t>(unit(rng) * 3);
            stones.push_back(stone(id, q.x, q.y, unit(rng) < black_share ? Color::Black : Color::White));
        }
        std::vector<Point> centres;
        for (const Stone& s : stones) centres.push_back(s.position);
        auto p = build_partition(b, centres);
        ASSERT_TRUE(p.has_value());

        const auto a = analyse(b, stones);
        const Reference ref = reference_labels(*p, stones, b);
        std::vector<Group> black, white;
        for (const auto& m : ref.members) {
            const Color c = stones[m[0]].color;
            (c == Color::Black ? black : white).push_back(reference_group(*p, b, stones, ref.labels, m, c));
        }
        ASSERT_EQ(a.black.size(), black.size()) << "round " << round;
        ASSERT_EQ(a.white.size(), white.size()) << "round " << round;
        for (std::size_t g = 0; g < black.size(); ++g) EXPECT_TRUE(same_bits(a.black[g], black[g])) << "round " << round;
        for (std::size_t g = 0; g < white.size(); ++g) EXPECT_TRUE(same_bits(a.white[g], white[g])) << "round " << round;
        if (round % 4 == 1) {
            analyse_into(1e-200, stones, reused);
            const auto single = analyse(1e-200, stones);
            ASSERT_EQ(reused.black.size(), single.black.size());
            ASSERT_EQ(reused.white.size(), single.white.size());
            for (std::size_t g = 0; g < single.black.size(); ++g) EXPECT_TRUE(same_bits(reused.black[g], single.black[g]));
            for (std::size_t g = 0; g < single.white.size(); ++g) EXPECT_TRUE(same_bits(reused.white[g], single.white[g]));
        }
        if (round % 4 == 3) {
            analyse_into(b, {}, reused);
            EXPECT_TRUE(reused.black.empty() && reused.white.empty());
        }
        analyse_into(b, stones, reused);
        ASSERT_EQ(reused.black.size(), black.size()) << "round " << round;
        ASSERT_EQ(reused.white.size(), white.size()) << "round " << round;
        for (std::size_t g = 0; g < black.size(); ++g) EXPECT_TRUE(same_bits(reused.black[g], black[g])) << "round " << round;
        for (std::size_t g = 0; g < white.size(); ++g) EXPECT_TRUE(same_bits(reused.white[g], white[g])) << "round " << round;

        // The same groups built one by one, with ids in no particular order
        // and, every other round, a partition that lists fewer circumcentres
        // than its cell edges name.
        std::vector<Stone> shuffled = stones;
        for (Stone& s : shuffled) s.id = static_cast<std::uint32_t>(unit(rng) * 2 * count);
        analyse_into(b, shuffled, reused);
        const auto fresh = analyse(b, shuffled);
        ASSERT_EQ(reused.black.size(), fresh.black.size()) << "round " << round;
        ASSERT_EQ(reused.white.size(), fresh.white.size()) << "round " << round;
        for (std::size_t g = 0; g < fresh.black.size(); ++g) EXPECT_TRUE(same_bits(reused.black[g], fresh.black[g]));
        for (std::size_t g = 0; g < fresh.white.size(); ++g) EXPECT_TRUE(same_bits(reused.white[g], fresh.white[g]));
        if (round % 2 == 1) p->circumcentres.resize(p->circumcentres.size() * 3 / 4);
        const Reference cut = reference_labels(*p, shuffled, b);
        for (const auto& m : cut.members) {
            const Color c = shuffled[m[0]].color;
            EXPECT_TRUE(same_bits(build_group(*p, b, shuffled, cut.labels, m, c),
                                  reference_group(*p, b, shuffled, cut.labels, m, c)))
                << "round " << round;
        }
    }

    // Cell-edge lists no triangulation gives: vertices of any degree,
    // dangling paths, edges from a circumcentre to itself, indices past the
    // circumcentres and points that are not finite.
    const double odd[] = {std::nan(""), std::numeric_limits<double>::infinity(), -0.0};
    // Each group is also built through one workspace kept across the
    // rounds, whose count of groups passes its largest value and starts
    // again on the way.
    GroupWorkspace kept;
    kept.generation = std::numeric_limits<std::uint32_t>::max() - 200;
    for (int round = 0; round < 300; ++round) {
        VoronoiPartition p;
        const std::size_t count = 1 + static_cast<std::size_t>(unit(rng) * 8);
        const std::size_t points = 3 + static_cast<std::size_t>(unit(rng) * 8);
        for (std::size_t i = 0; i < points; ++i) {
            Point q{unit(rng) * 28 - 5, unit(rng) * 28 - 5};
            if (unit(rng) < 0.05) q.x = odd[static_cast<std::size_t>(unit(rng) * 3)];
            p.circumcentres.push_back(q);
        }
        std::vector<Stone> stones;
        std::vector<std::size_t> labels;
        p.edge_start.push_back(0);
        for (std::size_t i = 0; i < count; ++i) {
            stones.push_back(stone(static_cast<std::uint32_t>(unit(rng) * 10), 0, 0, Color::Black));
            labels.push_back(static_cast<std::size_t>(unit(rng) * 3));
            const std::size_t edges = static_cast<std::size_t>(unit(rng) * 7);
            for (std::size_t k = 0; k < edges; ++k) {
                p.edges.push_back({static_cast<std::uint32_t>(unit(rng) * (points + 2)),
                                   static_cast<std::uint32_t>(unit(rng) * (points + 2)),
                                   static_cast<std::uint32_t>(unit(rng) * (count + 4))});
            }
            p.edge_start.push_back(p.edges.size());
        }
        for (std::size_t g = 0; g < 3; ++g) {
            std::vector<std::size_t> members;
            for (std::size_t i = 0; i < count; ++i) {
                if (labels[i] == g) members.insert(members.begin() + static_cast<long>(unit(rng) * (members.size() + 1)), i);
            }
            if (members.empty()) continue;
            const Group expected = reference_group(p, 18.0, stones, labels, members, Color::Black);
            EXPECT_TRUE(same_bits(build_group(p, 18.0, stones, labels, members, Color::Black), expected))
                << "arbitrary round " << round;
            Group through_kept;
            build_group_into(p, 18.0, stones, labels, members.data(), members.size(), Color::Black, kept,
                             through_kept);
            EXPECT_TRUE(same_bits(through_kept, expected)) << "arbitrary round " << round << ", kept workspace";
        }
    }
}

}  // namespace
}  // namespace cellvane
