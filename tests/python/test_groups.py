"""Groups and territory as the host sees them: Game.groups, Game.territory and
the Group class, with an independent Voronoi computation to check areas,
grouping and containment on random positions."""

import copy
import inspect
import math
import random

import pytest
from conftest import random_play
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

from cellvane import Color, Game, GameDelta, Group, Stone

B, W = Color.BLACK, Color.WHITE


# ------------------------------------------------------------------ helpers


def log(*stones):
    """A hand-made log: one delta per (color, x, y), ids in order."""
    return [GameDelta(Stone(i, color, (float(x), float(y)))) for i, (color, x, y) in enumerate(stones)]


def board(size, *stones):
    return Game.replay(size, log(*stones))


def shoelace(ring):
    """Enclosed area of a ring, in the engine's evaluation order. Rings are
    ordered by this on their unclosed points and measured on their closed
    points; the closing pair need not add exactly zero once rounded."""
    if len(ring) < 3:
        return 0.0
    s = 0.0
    for i in range(len(ring)):
        j = (i + 1) % len(ring)
        s = (s + ring[i][0] * ring[j][1]) - ring[i][1] * ring[j][0]
    return abs(s) * 0.5


def rings_area(rings):
    if not rings:
        return 0.0
    outer = shoelace(rings[0])
    if len(rings) == 1:
        return outer
    holes = -0.0
    for ring in rings[1:]:
        holes += shoelace(ring)
    return outer - holes


def check_rings(group, size):
    """Structure every built ring has: closed, four points or more, on the
    board, largest first."""
    rings = group.rings
    for ring in rings:
        assert len(ring) >= 4
        assert ring[0] == ring[-1]
        for x, y in ring:
            assert type(x) is float and type(y) is float
            assert 0.0 <= x <= size and 0.0 <= y <= size
    areas = [shoelace(r[:-1]) for r in rings]
    assert areas == sorted(areas, reverse=True)


# ---------------------------------------------------------- basic positions


def test_empty_board_has_no_groups_and_negative_zero_shares():
    game = Game(18.0)
    assert game.groups() == []
    black, white = game.territory()
    assert (black, white) == (0.0, 0.0)
    assert math.copysign(1.0, black) == -1.0
    assert math.copysign(1.0, white) == -1.0


def test_lone_stone_owns_the_board_square():
    game = Game(18.0)
    game.try_move((4.0, 4.0))
    [group] = game.groups()
    assert group.color == B
    assert group.stone_ids == [0]
    assert group.stones == [Stone(0, B, (4.0, 4.0))]
    assert group.color_seed == 0
    assert not group.is_empty()

    [ring] = group.rings
    assert len(ring) == 5 and ring[0] == ring[-1]
    assert sorted(ring[:-1]) == [(0.0, 0.0), (0.0, 18.0), (18.0, 0.0), (18.0, 18.0)]
    assert group.area == 324.0 == 18.0**2
    assert repr(group) == "Group(color=Color.BLACK, stone_ids=[0], area=324.0)"

    black, white = game.territory()
    assert black == 324.0
    assert white == 0.0 and math.copysign(1.0, white) == -1.0

    assert group.contains_point((9.0, 9.0))
    assert group.contains_point((0.5, 17.5))
    for outside in [(-0.5, 9.0), (18.5, 9.0), (9.0, -0.5), (9.0, 18.5)]:
        assert not group.contains_point(outside)


def test_lone_white_stone_gives_black_a_negative_zero_share():
    game = board(9.0, (W, 4.5, 4.5))
    [group] = game.groups()
    assert group.color == W
    black, white = game.territory()
    assert math.copysign(1.0, black) == -1.0 and black == 0.0
    assert white == 81.0


def test_far_apart_stones_of_one_colour_form_one_group():
    # Nothing between them: their cells share the bisector across the board.
    game = board(18.0, (B, 2.0, 2.0), (B, 16.0, 16.0))
    [group] = game.groups()
    assert group.stone_ids == [0, 1]
    assert len(group.rings) == 1
    assert group.area == pytest.approx(324.0, rel=1e-12)


def test_group_order_and_repr():
    # Black 0 and 2 share the left half; white 1 and 3 the right half.
    game = Game(18.0)
    game.try_move((4.0, 4.0))
    game.try_move((14.0, 4.0))
    game.try_move((4.0, 14.0))
    game.try_move((14.0, 14.0))
    black, white = game.groups()
    assert (black.color, white.color) == (B, W)
    assert black.stone_ids == [0, 2] and white.stone_ids == [1, 3]
    assert black.color_seed == 0 and white.color_seed == 1
    # Every circumcentre here is exact, so the halves are too.
    assert black.area == 162.0 and white.area == 162.0
    assert repr(black) == "Group(color=Color.BLACK, stone_ids=[0, 2], area=162.0)"
    assert repr(white) == "Group(color=Color.WHITE, stone_ids=[1, 3], area=162.0)"
    assert game.territory() == (162.0, 162.0)


def test_repr_area_uses_exponent_form_without_plus_sign():
    game = board(1e9, (B, 5e8, 5e8))
    [group] = game.groups()
    assert group.area == 1e18
    assert repr(group) == "Group(color=Color.BLACK, stone_ids=[0], area=1e18)"


def test_cells_meeting_at_a_single_point_do_not_connect():
    # Co-circular corners of a square: the diagonal stones' shared Voronoi
    # edge has zero length. Coordinates chosen so every circumcentre is exact.
    game = board(16.0, (B, 4.0, 4.0), (W, 12.0, 4.0), (B, 12.0, 12.0), (W, 4.0, 12.0))
    groups = game.groups()
    assert [(g.color, g.stone_ids) for g in groups] == [(B, [0]), (B, [2]), (W, [1]), (W, [3])]
    for g in groups:
        assert g.area == 64.0
        check_rings(g, 16.0)
    assert game.territory() == (128.0, 128.0)


def test_cells_meeting_only_outside_the_board_do_not_connect():
    # The two black stones' cells meet on x = 9 only below y = -14.08, where
    # the white stone between them no longer is the nearest.
    game = board(18.0, (B, 2.0, 1.5), (B, 16.0, 1.5), (W, 9.0, 3.0))
    groups = game.groups()
    assert [(g.color, g.stone_ids) for g in groups] == [(B, [0]), (B, [1]), (W, [2])]
    assert groups[0].area == pytest.approx(groups[1].area, rel=1e-12)
    assert sum(game.territory()) == pytest.approx(324.0, rel=1e-12)


def test_surrounding_group_has_a_hole():
    centre = (W, 9.0, 9.0)
    ring_of_black = [
        (B, 9.0 + 4.0 * math.cos(k * math.pi / 4), 9.0 + 4.0 * math.sin(k * math.pi / 4)) for k in range(8)
    ]
    game = board(18.0, centre, *ring_of_black)
    black, white = game.groups()
    assert black.color == B and black.stone_ids == list(range(1, 9))
    assert white.stone_ids == [0]

    assert len(black.rings) == 2
    check_rings(black, 18.0)
    outer, hole = (shoelace(r) for r in black.rings)
    assert outer == pytest.approx(324.0, rel=1e-12)
    assert hole == pytest.approx(white.area, rel=1e-12)
    assert black.area == rings_area(black.rings) == outer - (-0.0 + hole)

    assert not black.contains_point((9.0, 9.0))
    assert white.contains_point((9.0, 9.0))
    assert black.contains_point((1.0, 1.0))
    assert not white.contains_point((1.0, 1.0))
    assert sum(game.territory()) == pytest.approx(324.0, rel=1e-12)


@pytest.mark.parametrize(
    "size, position",
    [(1e-300, (0.0, 0.0)), (1e-300, (1e-300, 5e-301)), (1e160, (5e159, 5e159)), (1e300, (1.0, 1e300))],
)
def test_board_size_outside_the_guard_falls_back_to_single_stone_groups(size, position):
    x, y = position
    game = Game.replay(size, [GameDelta(Stone(0, B, (x, y))), GameDelta(Stone(1, W, (x, y))), GameDelta(Stone(2, B, (x, y)))])
    groups = game.groups()
    assert [(g.color, g.stone_ids) for g in groups] == [(B, [0]), (B, [2]), (W, [1])]
    for g in groups:
        assert g.rings == []
        assert g.is_empty()
        assert g.area == 0.0
        assert not g.contains_point((x, y))
        assert not g.contains_point((0.0, 0.0))
        assert repr(g).endswith(", area=0.0)")
    black, white = game.territory()
    assert black == 0.0 and white == 0.0


# ------------------------------------------------------- the Group object


def test_group_members_are_fresh_copies_and_read_only():
    game = board(18.0, (B, 4.0, 4.0), (B, 8.0, 4.0))
    [group] = game.groups()
    assert group.stones is not group.stones
    assert group.rings is not group.rings
    group.stones.clear()
    group.stone_ids.append(99)
    group.rings[0].clear()
    assert group.stone_ids == [0, 1]
    assert len(group.rings[0]) >= 4
    for name in ["color", "stones", "stone_ids", "color_seed", "rings", "area"]:
        with pytest.raises(AttributeError):
            setattr(group, name, None)
    with pytest.raises(TypeError):
        Group()


def test_group_outlives_changes_to_its_board():
    game = Game(18.0)
    game.try_move((4.0, 4.0))
    [before] = game.groups()
    game.try_move((14.0, 14.0))
    game.try_move((4.0, 14.0))
    assert before.stone_ids == [0] and before.area == 324.0
    del game
    assert before.contains_point((9.0, 9.0))


def test_contains_point_converts_its_argument():
    game = board(18.0, (B, 4.0, 4.0))
    [group] = game.groups()
    assert group.contains_point(point=(9, 9)) is True
    with pytest.raises(TypeError, match=r"^argument 'point': 'list' object cannot be converted to 'tuple'$"):
        group.contains_point([9.0, 9.0])
    with pytest.raises(TypeError, match=r"^argument 'point': expected tuple of length 2, but got tuple of length 3$"):
        group.contains_point((9.0, 9.0, 9.0))
    with pytest.raises(TypeError, match=r"^argument 'point': "):
        group.contains_point(("a", 9.0))
    with pytest.raises(TypeError):
        group.contains_point()
    assert not group.contains_point((math.nan, 9.0))


def test_equality_compares_colour_stones_and_rings():
    def only_group(game, index=0):
        return game.groups()[index]

    game = board(18.0, (B, 4.0, 4.0), (W, 14.0, 14.0))
    first, second = game.groups(), game.groups()
    assert first == second and not (first != second)
    assert first[0] is not second[0]

    # Negative zero folds, in stone positions as in ring points.
    assert only_group(board(18.0, (B, -0.0, 9.0))) == only_group(board(18.0, (B, 0.0, 9.0)))
    # Colour alone differs.
    assert only_group(board(18.0, (B, 4.0, 4.0))) != only_group(board(18.0, (W, 4.0, 4.0)))
    # The stone's position alone differs (same rings: the whole square).
    assert only_group(board(18.0, (B, 4.0, 4.0))) != only_group(board(18.0, (B, 5.0, 4.0)))
    # Same stones, different rings.
    a = only_group(board(18.0, (B, 4.0, 4.0), (W, 14.0, 14.0)))
    b = only_group(board(18.0, (B, 4.0, 4.0), (W, 14.0, 10.0)))
    assert a.stones == b.stones and a.rings != b.rings
    assert a != b and not (a == b)


def test_comparisons_outside_equality_are_not_implemented_and_groups_are_unhashable():
    game = board(18.0, (B, 4.0, 4.0), (W, 14.0, 14.0))
    black, white = game.groups()
    assert black.__eq__(black.stones) is NotImplemented
    assert black.__ne__(black.stones[0]) is NotImplemented
    assert (black == black.stones) is False
    assert black != black.stones
    assert black.__lt__(white) is NotImplemented
    for compare in [lambda: black < white, lambda: black <= white, lambda: black > white, lambda: black >= white]:
        with pytest.raises(TypeError):
            compare()
    assert Group.__hash__ is None
    with pytest.raises(TypeError, match="unhashable"):
        hash(black)
    with pytest.raises(TypeError):
        {black}


def test_class_surface():
    assert Group.__module__ == "cellvane"
    assert str(inspect.signature(Group.is_empty)) == "(self, /)"
    assert str(inspect.signature(Group.contains_point)) == "(self, /, point)"
    assert Group.is_empty.__doc__ == (
        "Whether this group encloses nothing \u2014 no shape to draw and no area to measure."
    )
    assert Group.contains_point.__doc__ == (
        "Whether `point` lies in this group's territory: inside the outer ring and outside every hole."
    )
    assert Group.color.__doc__ == "Whose group this is."
    assert Group.stones.__doc__ == "The group's stones, ascending by id."
    assert Group.stone_ids.__doc__ == "The ids of the group's stones, ascending."
    assert Group.color_seed.__doc__ == (
        "The group's stable name: its lowest stone id, which it keeps across a move that merely extends it. "
        "`None` only for a group with no stones, which cannot happen on a board."
    )
    assert Group.rings.__doc__ == (
        "The group's territory. Ring 0 is the outer boundary, later rings are holes, and every ring is closed."
    )
    assert Group.area.__doc__ == "The board area this group controls, holes excluded."


# ------------------------------------------- stability across board copies


def test_groups_agree_across_repeated_calls_copies_replay_and_undo():
    game = random_play(Game(18.0), random.Random(7), 40, pass_when_stuck=False)
    assert len(game) > 10
    fresh = copy.copy(game)  # copied before the analysis ran
    groups = game.groups()
    assert game.groups() == groups
    assert copy.copy(game).groups() == groups  # copied after it ran
    assert copy.deepcopy(game).groups() == groups
    assert fresh.groups() == groups
    assert Game.replay(game.board_size, game.deltas()).groups() == groups
    territory = game.territory()
    assert Game.replay(game.board_size, game.deltas()).territory() == territory

    stones = sorted(i for g in groups for i in g.stone_ids)
    assert stones == [s.id for s in game.stones()]
    assert sum(territory) == pytest.approx(18.0**2, rel=1e-12)

    spot = game.nearest_living_move((9.0, 9.0))
    game.try_move(spot)
    assert game.groups() != groups
    game.undo_move()
    assert game.groups() == groups
    assert game.territory() == territory


# --------------------------------------- independent Voronoi cross-check


def clip_half_plane(polygon, site, other):
    """The part of a convex polygon nearer `site` than `other`."""
    mx, my = (site[0] + other[0]) / 2, (site[1] + other[1]) / 2
    nx, ny = other[0] - site[0], other[1] - site[1]

    def side(p):
        return (p[0] - mx) * nx + (p[1] - my) * ny  # <= 0: kept

    out = []
    for i, cur in enumerate(polygon):
        prev = polygon[i - 1]
        sp, sc = side(prev), side(cur)
        if (sp <= 0) != (sc <= 0):
            t = sp / (sp - sc)
            out.append((prev[0] + t * (cur[0] - prev[0]), prev[1] + t * (cur[1] - prev[1])))
        if sc <= 0:
            out.append(cur)
    return out


def voronoi_cells(size, sites):
    cells = []
    for i, site in enumerate(sites):
        cell = [(0.0, 0.0), (size, 0.0), (size, size), (0.0, size)]
        for j, other in enumerate(sites):
            if j != i and cell:
                cell = clip_half_plane(cell, site, other)
        cells.append(cell)
    return cells


def shared_edge_length(cell, site, other):
    """Length of the stretch of `cell`'s boundary on the bisector of site and other."""
    nx, ny = other[0] - site[0], other[1] - site[1]
    norm = math.hypot(nx, ny)
    mx, my = (site[0] + other[0]) / 2, (site[1] + other[1]) / 2
    on_line = [p for p in cell if abs((p[0] - mx) * nx + (p[1] - my) * ny) <= 1e-9 * norm * (1 + abs(mx) + abs(my))]
    if len(on_line) < 2:
        return 0.0
    tx, ty = -ny / norm, nx / norm
    ts = [p[0] * tx + p[1] * ty for p in on_line]
    return max(ts) - min(ts)


@st.composite
def positions(draw):
    size = draw(st.sampled_from([9.0, 13.0, 18.0, 25.5]) | st.floats(6.0, 30.0))
    wanted = draw(st.integers(1, 40))
    mode = draw(st.sampled_from(["alternate", "random"]))
    rng = random.Random(draw(st.integers(0, 2**32 - 1)))
    stones = []
    for _ in range(wanted * 4):
        if len(stones) == wanted:
            break
        x, y = rng.uniform(1.0, size - 1.0), rng.uniform(1.0, size - 1.0)
        if all(math.hypot(x - sx, y - sy) >= 2.0 for _, sx, sy in stones):
            color = (B if len(stones) % 2 == 0 else W) if mode == "alternate" else rng.choice([B, W])
            stones.append((color, x, y))
    return size, stones, rng.random()


@settings(max_examples=300, deadline=None, suppress_health_check=[HealthCheck.too_slow])
@given(positions())
def test_groups_match_an_independent_voronoi_computation(case):
    size, stones, probe_seed = case
    game = board(size, *stones)
    groups = game.groups()
    sites = [(x, y) for _, x, y in stones]
    cells = voronoi_cells(size, sites)
    board_area = size * size

    # Every stone in exactly one group of its own colour, in the order
    # black before white, each colour by lowest id.
    member_of = {}
    for index, g in enumerate(groups):
        check_rings(g, size)
        assert g.stone_ids == sorted(g.stone_ids)
        assert g.color_seed == g.stone_ids[0]
        for s in g.stones:
            assert s == Stone(s.id, stones[s.id][0], (stones[s.id][1], stones[s.id][2]))
            assert s.color == g.color
            assert s.id not in member_of
            member_of[s.id] = index
    assert sorted(member_of) == list(range(len(stones)))
    order = [(g.color != B, g.color_seed) for g in groups]
    assert order == sorted(order)

    # Areas: the group's area is the sum of its members' cells.
    for g in groups:
        expected = sum(shoelace(cells[i]) for i in g.stone_ids)
        assert math.isclose(g.area, expected, rel_tol=1e-9, abs_tol=1e-9 * board_area)
        assert g.area == rings_area(g.rings)
    black, white = game.territory()
    assert math.isclose(black + white, board_area, rel_tol=1e-12)
    assert black == sum((g.area for g in groups if g.color == B), -0.0)
    assert white == sum((g.area for g in groups if g.color == W), -0.0)

    # Grouping: same-coloured stones whose cells share a clear stretch of
    # boundary are in one group; the groups are exactly the chains of such
    # pairs unless some pair shares a stretch too short to judge here.
    ambiguous = False
    links = []
    for i in range(len(stones)):
        for j in range(i + 1, len(stones)):
            if stones[i][0] != stones[j][0]:
                continue
            length = shared_edge_length(cells[i], sites[i], sites[j])
            if length > 1e-6:
                links.append((i, j))
            elif length > 0.0:
                ambiguous = True
    parent = list(range(len(stones)))

    def root(i):
        while parent[i] != i:
            parent[i] = parent[parent[i]]
            i = parent[i]
        return i

    for i, j in links:
        assert member_of[i] == member_of[j]
        parent[root(i)] = root(j)
    if not ambiguous:
        for i in range(len(stones)):
            for j in range(len(stones)):
                assert (member_of[i] == member_of[j]) == (root(i) == root(j))

    # Containment: a point clearly nearest one stone lies in that stone's
    # group's territory and in no other.
    rng = random.Random(probe_seed)
    for _ in range(12):
        p = (rng.uniform(0.0, size), rng.uniform(0.0, size))
        d = sorted((math.hypot(p[0] - sx, p[1] - sy), i) for i, (sx, sy) in enumerate(sites))
        if len(d) > 1 and d[1][0] - d[0][0] < 1e-6:
            continue
        owner = member_of[d[0][1]]
        for index, g in enumerate(groups):
            assert g.contains_point(p) == (index == owner)
