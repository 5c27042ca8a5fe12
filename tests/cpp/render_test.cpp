// The SVG dump: the whole document of an empty board, the group, stone and
// label elements, group numbering and labels, and the alive-zone path.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <string>
#include <variant>

#include "analysis/analysis.hpp"
#include "engine/engine.hpp"
#include "zone/clip_graph.hpp"
#include "zone/geometry.hpp"
#include "zone/zone.hpp"
#include "render/labels.hpp"
#include "render/render.hpp"
#include "test_access.hpp"

namespace cellvane {
namespace {

using render_detail::group_label;

void play(Board& b, Point p) {
    auto r = b.try_move(p);
    ASSERT_TRUE(std::holds_alternative<GameDelta>(r)) << std::get<MoveError>(r).message();
}

std::size_t count_of(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

// The line of the document that contains `what`, without its newline.
std::string line_with(const std::string& text, const std::string& what) {
    const std::size_t at = text.find(what);
    if (at == std::string::npos) return "<none>";
    const std::size_t begin = text.rfind('\n', at) + 1;  // npos + 1 == 0
    return text.substr(begin, text.find('\n', at) - begin);
}

// The label element of a stone at (x, y) as written, in colour `fill`.
std::string label_element(const std::string& x, const std::string& y, const std::string& fill,
                          const std::string& text) {
    return "<text x=\"" + x + "\" y=\"" + y + "\" dy=\"0.33em\" text-anchor=\"middle\" font-size=\"0.9\" " +
           "font-weight=\"700\" fill=\"" + fill + "\">" + text + "</text>";
}

TEST(Render, EmptyBoardDocument) {
    const std::string expected =
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"19\" height=\"19\" viewBox=\"0 0 19 19\">\n"
        "<defs>\n"
        "<g id=\"alive-zone-geometry\" stroke-width=\"inherit\" stroke-linecap=\"round\" "
        "stroke-linejoin=\"round\" fill=\"inherit\" stroke=\"inherit\">\n"
        "<path d=\"M 1.00000000,1.00000000 L 1.00000000,18.00000000 "
        "M 1.00000000,18.00000000 L 18.00000000,18.00000000 "
        "M 18.00000000,18.00000000 L 18.00000000,1.00000000 "
        "M 18.00000000,1.00000000 L 1.00000000,1.00000000\" />\n"
        "</g>\n"
        "<pattern id=\"deadzone-hatch\" patternUnits=\"userSpaceOnUse\" width=\"0.4\" height=\"0.4\" "
        "patternTransform=\"rotate(-45)\">\n"
        "<rect width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.75\"/>\n"
        "<rect x=\"0.2\" width=\"0.2\" height=\"0.4\" fill=\"#808080\" fill-opacity=\"0.5\"/>\n"
        "</pattern>\n"
        "<mask id=\"deadzone-mask\">\n"
        "<rect width=\"19\" height=\"19\" fill=\"white\"/>\n"
        "<use href=\"#alive-zone-geometry\" fill=\"black\" stroke=\"black\" stroke-width=\"2\"/>\n"
        "</mask>\n"
        "</defs>\n"
        "<rect width=\"19\" height=\"19\" fill=\"url(#deadzone-hatch)\" mask=\"url(#deadzone-mask)\"/>\n"
        "</svg>\n";
    Board b(19.0);
    EXPECT_EQ(dump_svg(b), expected);
}

TEST(Render, BoardSizeInPlainForm) {
    Board b(18.5);
    const std::string svg = dump_svg(b);
    EXPECT_EQ(line_with(svg, "<svg "),
              "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"18.5\" height=\"18.5\" viewBox=\"0 0 18.5 18.5\">");
    EXPECT_EQ(count_of(svg, "<rect width=\"18.5\" height=\"18.5\" "), 2u);
    EXPECT_NE(svg.find("L 17.50000000,17.50000000"), std::string::npos);
}

TEST(Render, OneBlackStone) {
    Board b(19.0);
    play(b, {9.5, 9.0});
    const std::string svg = dump_svg(b);

    const std::string group = line_with(svg, "fill-rule=\"evenodd\"");
    EXPECT_EQ(group.rfind("<path d=\"M ", 0), 0u) << group;
    EXPECT_NE(group.find(" Z\" fill=\"#003257\" fill-rule=\"evenodd\"/>"), std::string::npos) << group;
    // The lone stone's territory is the board square: four corners and the
    // closing point, so four line commands.
    EXPECT_EQ(count_of(group, " L "), 4u) << group;
    EXPECT_NE(group.find("19.00000000 19.00000000"), std::string::npos) << group;

    const std::string stone =
        "<circle cx=\"9.5\" cy=\"9\" r=\"0.95\" fill=\"#2e2e35\" stroke=\"#868688\" stroke-width=\"0.1\"/>";
    const std::string label = label_element("9.5", "9", "#868688", "1");
    EXPECT_EQ(line_with(svg, "<circle cx=\"9.5\""), stone);
    EXPECT_EQ(line_with(svg, "<text "), label);

    // Order: defs, group fill, hatch, stones, labels, end.
    const std::size_t defs = svg.find("</defs>\n");
    const std::size_t fill = svg.find(group);
    const std::size_t hatch = svg.find("fill=\"url(#deadzone-hatch)\"");
    const std::size_t circle = svg.find(stone);
    const std::size_t text = svg.find(label);
    EXPECT_LT(defs, fill);
    EXPECT_LT(fill, hatch);
    EXPECT_LT(hatch, circle);
    EXPECT_LT(circle, text);
    EXPECT_EQ(svg.substr(text + label.size()), "\n</svg>\n");
}

TEST(Render, BlackAndWhiteGroups) {
    // Black on the left, white on the right, one more black far right: the
    // black stones' cells are split by white's, so black has two groups.
    Board b(19.0);
    play(b, {3.0, 9.5});   // B 0
    play(b, {9.5, 9.5});   // W 1
    play(b, {16.0, 9.5});  // B 2
    const std::string svg = dump_svg(b);
    const PositionAnalysis& a = b.analysis();
    ASSERT_EQ(a.black.size(), 2u);
    ASSERT_EQ(a.white.size(), 1u);

    // Group fills in order: black 0, black 1, then white 0.
    const std::size_t b0 = svg.find("fill=\"#003257\" fill-rule");
    const std::size_t b1 = svg.find("fill=\"#22136a\" fill-rule");
    const std::size_t w0 = svg.find("fill=\"#ffdb00\" fill-rule");
    ASSERT_NE(b0, std::string::npos);
    ASSERT_NE(b1, std::string::npos);
    ASSERT_NE(w0, std::string::npos);
    EXPECT_LT(b0, b1);
    EXPECT_LT(b1, w0);

    // Stones black first, then white; white stones and labels in their colours.
    const std::size_t s0 = svg.find("<circle cx=\"3\" cy=\"9.5\" r=\"0.95\" fill=\"#2e2e35\" stroke=\"#868688\"");
    const std::size_t s2 = svg.find("<circle cx=\"16\" cy=\"9.5\" r=\"0.95\" fill=\"#2e2e35\" stroke=\"#868688\"");
    const std::size_t s1 = svg.find("<circle cx=\"9.5\" cy=\"9.5\" r=\"0.95\" fill=\"#ddddd5\" stroke=\"#696966\"");
    ASSERT_NE(s0, std::string::npos);
    ASSERT_NE(s1, std::string::npos);
    ASSERT_NE(s2, std::string::npos);
    EXPECT_LT(s0, s2);
    EXPECT_LT(s2, s1);
    EXPECT_NE(svg.find(label_element("3", "9.5", "#868688", "1")), std::string::npos);
    EXPECT_NE(svg.find("font-weight=\"700\" fill=\"#868688\">2</text>"), std::string::npos);
    EXPECT_NE(svg.find(label_element("9.5", "9.5", "#696966", "A")), std::string::npos);
    EXPECT_EQ(count_of(svg, "<text "), 3u);
}

TEST(Render, PalettesWrapAndLabelsCount) {
    // A row of 49 stones, alternating colours: every stone is a group of its
    // own, 25 black and 24 white.
    Board b(200.0);
    for (int k = 0; k < 49; ++k) play(b, {2.0 + 4.0 * k, 100.0});
    ASSERT_EQ(b.analysis().black.size(), 25u);
    ASSERT_EQ(b.analysis().white.size(), 24u);
    const std::string svg = dump_svg(b);
    // Black group 24 reuses the first dark entry and is labelled "25"; white
    // group 23 takes the last light entry and is labelled "X".
    EXPECT_EQ(count_of(svg, "fill=\"#003257\" fill-rule"), 2u);
    EXPECT_EQ(count_of(svg, "fill=\"#0a0067\" fill-rule"), 1u);
    EXPECT_EQ(count_of(svg, "fill=\"#bd785d\" fill-rule"), 1u);
    EXPECT_NE(svg.find(label_element("194", "100", "#868688", "25")), std::string::npos);
    EXPECT_NE(svg.find(label_element("190", "100", "#696966", "X")), std::string::npos);
    EXPECT_EQ(count_of(svg, "<text "), 49u);
}

TEST(Render, EveryStoneOfAGroupShowsItsLabel) {
    Board b(19.0);
    play(b, {3.0, 3.0});   // B 0
    play(b, {16.0, 16.0}); // W 1
    play(b, {3.0, 16.0});  // B 2, same group as 0 (cells share the bisector)
    ASSERT_EQ(b.analysis().black.size(), 1u);
    const std::string svg = dump_svg(b);
    EXPECT_EQ(count_of(svg, "fill=\"#868688\">1</text>"), 2u);
    EXPECT_EQ(count_of(svg, "fill=\"#696966\">A</text>"), 1u);
    EXPECT_EQ(count_of(svg, "fill-rule=\"evenodd\""), 2u);
}

TEST(Render, Labels) {
    EXPECT_EQ(group_label(Color::White, 0), "A");
    EXPECT_EQ(group_label(Color::White, 1), "B");
    EXPECT_EQ(group_label(Color::White, 25), "Z");
    EXPECT_EQ(group_label(Color::White, 26), "AA");
    EXPECT_EQ(group_label(Color::White, 27), "BA");
    EXPECT_EQ(group_label(Color::White, 51), "ZA");
    EXPECT_EQ(group_label(Color::White, 52), "AB");
    EXPECT_EQ(group_label(Color::White, 26 * 27 - 1), "ZZ");
    EXPECT_EQ(group_label(Color::White, 26 * 27), "AA");  // the second letter wraps
    EXPECT_EQ(group_label(Color::Black, 0), "1");
    EXPECT_EQ(group_label(Color::Black, 24), "25");
    EXPECT_EQ(group_label(Color::Black, 999), "1000");
}

TEST(Render, GroupsWithoutTerritoryAreNotDrawn) {
    // A board too large for the partition: every stone is a group of its own
    // with no rings, so nothing of the groups is drawn.
    Board b(1e300);
    ASSERT_EQ(b.commit(GameDelta{Stone{{5e299, 5e299}, 0, Color::Black}, {}}, false), std::nullopt);
    ASSERT_EQ(b.analysis().black.size(), 1u);
    ASSERT_TRUE(b.analysis().black[0].rings.empty());
    const std::string svg = dump_svg(b);
    EXPECT_EQ(svg.find("fill-rule"), std::string::npos);
    EXPECT_EQ(svg.find("r=\"0.95\""), std::string::npos);
    EXPECT_EQ(svg.find("<text "), std::string::npos);
    EXPECT_NE(svg.find("width=\"1"), std::string::npos);
}

TEST(Render, ForcedEyesAndArcs) {
    Board b(19.0);
    play(b, {2.0, 2.0});
    TestAccess::zone(b).add_forced_eye({12.0, 4.5});
    TestAccess::zone(b).add_forced_eye({6.25, 14.0});
    const std::string svg = dump_svg(b);

    // Forced eyes follow the path inside the geometry group, in key order
    // (x bits first: 6.25 before 12).
    const std::size_t path = svg.find("<path d=\"M ");
    const std::size_t eye1 = svg.find("<circle cx=\"6.25\" cy=\"14\" r=\"1\" stroke=\"none\"/>\n");
    const std::size_t eye2 = svg.find("<circle cx=\"12\" cy=\"4.5\" r=\"1\" stroke=\"none\"/>\n");
    const std::size_t end = svg.find("</g>\n");
    ASSERT_NE(eye1, std::string::npos);
    ASSERT_NE(eye2, std::string::npos);
    EXPECT_LT(path, eye1);
    EXPECT_LT(eye1, eye2);
    EXPECT_LT(eye2, end);

    // The stone at (2, 2) cuts the corner: its exposed arc runs from where it
    // leaves the top line (330 degrees) to where it meets the left line (120
    // degrees), a sweep of 150 degrees, so a small arc.
    const std::string zone = line_with(svg, "<path d=\"M ");
    EXPECT_EQ(count_of(zone, " A "), 1u) << zone;
    EXPECT_NE(zone.find("M 3.73205081,1.00000000 A 2.00000000,2.00000000 0 0 1 1.00000000,3.73205081"),
              std::string::npos)
        << zone;
    EXPECT_NE(zone.find("M 1.00000000,3.73205081 L 1.00000000,18.00000000"), std::string::npos) << zone;
    EXPECT_NE(zone.find("M 18.00000000,1.00000000 L 3.73205081,1.00000000"), std::string::npos) << zone;
}

TEST(Render, LargeArcFlag) {
    // A stone half a unit from the left line: the exposed part of its circle
    // is most of it, so the arc is the large one.
    Board b(19.0);
    play(b, {1.5, 9.5});
    const std::string zone = line_with(dump_svg(b), "<path d=\"M ");
    EXPECT_EQ(count_of(zone, " A "), 1u) << zone;
    EXPECT_NE(zone.find(" A 2.00000000,2.00000000 0 1 1 "), std::string::npos) << zone;
}

TEST(Render, NoExposedSegmentLeavesThePathOut) {
    Board b(19.0);
    auto g = TestAccess::internals(TestAccess::graph(TestAccess::zone(b)));
    for (auto& slot : g.arena) {
        if (slot) slot->off_board = true;
    }
    const std::string svg = dump_svg(b);
    EXPECT_EQ(svg.find("<path"), std::string::npos);
    EXPECT_NE(svg.find("stroke=\"inherit\">\n</g>\n"), std::string::npos);
}

TEST(Render, NegativeZeroIsWrittenAsZero) {
    // A piece of the left line starting at y = -0.0: its start is written as
    // zero, not as "-0.00000000".
    Board b(19.0);
    ClipGraph& graph = TestAccess::graph(TestAccess::zone(b));
    const auto id = graph.add_point(0, Point{1.0, -0.0});
    ASSERT_TRUE(id.has_value());
    ASSERT_TRUE(std::signbit(graph.slot(*id)->offset));
    TestAccess::internals(graph).arena.at(*id)->off_board = false;
    const std::string zone = line_with(dump_svg(b), "<path d=\"M ");
    EXPECT_EQ(zone.rfind("<path d=\"M 1.00000000,0.00000000 L 1.00000000,1.00000000 ", 0), 0u) << zone;
    EXPECT_EQ(zone.find("-0.0"), std::string::npos) << zone;
}

}  // namespace
}  // namespace cellvane
