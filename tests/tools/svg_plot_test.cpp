#include "tools/response/svg_plot.h"

#include <cmath>
#include <cstdlib>
#include <limits>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/tools/xml_tree.h"
#include "tools/response/response_table.h"

namespace {

plot::Frame frame() {
    plot::Frame f;
    f.xLow = 10;
    f.xHigh = 20000;
    f.yLow = -5;
    f.yHigh = 40;
    f.yStep = 5;
    f.title = "Response";
    f.xTitle = "Frequency (Hz)";
    f.yTitle = "Level (dB)";
    return f;
}

plot::Curve curve(const std::string& label, const std::string& colour, const std::string& dashes) {
    plot::Curve c{label, colour, dashes, {10, 100, 1000, 20000}, {30, 10, 0, -1}};
    return c;
}

std::unique_ptr<xmltest::Element> render(const plot::Frame& f, const std::vector<plot::Curve>& curves) {
    std::string svg, error;
    EXPECT_EQ(0, plot::renderSvg(f, curves, &svg));
    auto root = xmltest::parse(svg, &error);
    EXPECT_NE(nullptr, root) << error << "\n" << svg;
    return root;
}

std::vector<std::pair<double, double>> points(const xmltest::Element& polyline) {
    std::vector<std::pair<double, double>> out;
    std::istringstream in(polyline.attr("points"));
    std::string pair;
    while (in >> pair) {
        std::size_t comma = pair.find(',');
        out.emplace_back(std::atof(pair.substr(0, comma).c_str()), std::atof(pair.substr(comma + 1).c_str()));
    }
    return out;
}

std::vector<std::string> texts(const std::vector<const xmltest::Element*>& elements) {
    std::vector<std::string> out;
    for (const xmltest::Element* e : elements) out.push_back(e->text);
    return out;
}

TEST(XmlTree, RejectsDocumentsThatAreNotWellFormed) {
    std::string error;
    EXPECT_NE(nullptr, xmltest::parse("<?xml version=\"1.0\"?>\n<a x=\"1\"><b/>t &amp; u</a>\n", &error)) << error;
    const char* bad[] = {"<a><b></a></b>", "<a x=1/>",  "<a>x < y</a>", "<a>&nbsp;</a>", "<a x=\"1\" x=\"2\"/>",
                         "<a/><b/>",       "<a>",       "text<a/>",     "<a x=\"<\"/>",  "<a y=\"1\"z=\"2\"/>"};
    for (const char* text : bad) EXPECT_EQ(nullptr, xmltest::parse(text, &error)) << text;
}

TEST(SvgPlot, WellFormedWithOneLineAndOneLegendEntryPerCurve) {
    std::vector<plot::Curve> curves = {curve("IIR effect 50", "#0072B2", ""),
                                       curve("FIR q100 effect 50", "#0072B2", "9 5"),
                                       curve("FIR q300 effect 200", "#D55E00", "2 4")};
    auto root = render(frame(), curves);
    ASSERT_NE(nullptr, root);
    EXPECT_EQ("svg", root->name);
    EXPECT_EQ("http://www.w3.org/2000/svg", root->attr("xmlns"));
    EXPECT_EQ("0 0 900 540", root->attr("viewBox"));

    auto lines = root->findAll("polyline", "class", "curve");
    ASSERT_EQ(3u, lines.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_EQ(curves[i].colour, lines[i]->attr("stroke"));
        EXPECT_EQ(curves[i].dashes, lines[i]->attr("stroke-dasharray"));
        ASSERT_EQ(1u, lines[i]->children.size());
        EXPECT_EQ(curves[i].label, lines[i]->children[0]->text);
        EXPECT_EQ(4u, points(*lines[i]).size());
    }
    EXPECT_EQ((std::vector<std::string>{"IIR effect 50", "FIR q100 effect 50", "FIR q300 effect 200"}),
              texts(root->findAll("text", "class", "legend-label")));
    auto keys = root->findAll("line", "class", "legend-key");
    ASSERT_EQ(3u, keys.size());
    EXPECT_EQ("2 4", keys[2]->attr("stroke-dasharray"));
    EXPECT_EQ((std::vector<std::string>{"Response"}), texts(root->findAll("text", "class", "title")));
    // The curves are clipped to the plot area.
    auto groups = root->findAll("g", "class", "curves");
    ASSERT_EQ(1u, groups.size());
    EXPECT_EQ("url(#plot-area)", groups[0]->attr("clip-path"));
    EXPECT_EQ(1u, root->findAll("clipPath", "id", "plot-area").size());
}

TEST(SvgPlot, AxesMapLogFrequencyAndLinearLevel) {
    auto root = render(frame(), {curve("c", "#000000", "")});
    ASSERT_NE(nullptr, root);
    auto p = points(*root->findAll("polyline", "class", "curve")[0]);
    // Area from x 64 to 876 and y 44 to 484; 10 Hz at the left edge, 20 kHz at the right.
    EXPECT_NEAR(64.0, p[0].first, 0.01);
    EXPECT_NEAR(876.0, p[3].first, 0.01);
    EXPECT_NEAR(64.0 + 812.0 * 2.0 / std::log10(2000.0), p[2].first, 0.01);  // 1 kHz, two decades in
    EXPECT_NEAR(484.0 - 440.0 * 35.0 / 45.0, p[0].second, 0.01);          // +30 dB
    EXPECT_NEAR(484.0 - 440.0 * 5.0 / 45.0, p[2].second, 0.01);           // 0 dB
    // Frequency labels at 1, 2 and 5 of every decade; level labels every step.
    EXPECT_EQ((std::vector<std::string>{"10", "20", "50", "100", "200", "500", "1k", "2k", "5k", "10k", "20k"}),
              texts(root->findAll("g", "class", "x-labels")[0]->findAll("text")));
    EXPECT_EQ((std::vector<std::string>{"-5", "0", "+5", "+10", "+15", "+20", "+25", "+30", "+35", "+40"}),
              texts(root->findAll("g", "class", "y-labels")[0]->findAll("text")));
    EXPECT_EQ(4u, root->findAll("g", "class", "grid-major")[0]->findAll("line").size());  // 10, 100, 1k, 10k
    EXPECT_EQ(1u, root->findAll("g", "class", "grid-zero")[0]->findAll("line").size());
}

TEST(SvgPlot, OutOfRangeAndMissingValues) {
    plot::Curve c = curve("c", "#000000", "");
    c.y = {std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity(), 1000.0, 0.0};
    c.x[3] = 0.0;  // not on a log axis
    auto root = render(frame(), {c});
    ASSERT_NE(nullptr, root);
    auto p = points(*root->findAll("polyline", "class", "curve")[0]);
    ASSERT_EQ(2u, p.size());
    EXPECT_NEAR(484.0 + 440.0, p[0].second, 0.01);  // -infinity: one range below the bottom
    EXPECT_NEAR(44.0 - 440.0, p[1].second, 0.01);   // far above: one range above the top
}

TEST(SvgPlot, EscapesTextAndRefusesBadFrames) {
    plot::Frame f = frame();
    f.title = "a < b & \"c\" 'd'";
    auto root = render(f, {curve("x<y&z", "#000000", "")});
    ASSERT_NE(nullptr, root);
    EXPECT_EQ(f.title, root->findAll("text", "class", "title")[0]->text);
    EXPECT_EQ("x<y&z", root->findAll("text", "class", "legend-label")[0]->text);

    std::string svg = "untouched";
    plot::Frame bad = frame();
    bad.xLow = 0;
    EXPECT_EQ(-1, plot::renderSvg(bad, {}, &svg));
    bad = frame();
    bad.yHigh = bad.yLow;
    EXPECT_EQ(-1, plot::renderSvg(bad, {}, &svg));
    bad = frame();
    bad.yStep = 0.1;  // 450 grid lines
    EXPECT_EQ(-1, plot::renderSvg(bad, {}, &svg));
    bad = frame();
    bad.width = 200;
    EXPECT_EQ(-1, plot::renderSvg(bad, {}, &svg));
    plot::Curve uneven = curve("c", "#000000", "");
    uneven.y.pop_back();
    EXPECT_EQ(-1, plot::renderSvg(frame(), {uneven}, &svg));
    EXPECT_EQ("untouched", svg);
}

TEST(ResponseTable, OneRowPerFrequencyOneColumnPerCurve) {
    std::string csv;
    ASSERT_EQ(0, response::renderCsv({10, 100}, {"IIR effect 50", "say \"hi\""},
                                     {{1.5, -std::numeric_limits<double>::infinity()}, {0.1234567890123, 2}}, &csv));
    EXPECT_EQ("frequency_hz,\"IIR effect 50 dB\",\"say \"\"hi\"\" dB\"\n"
              "10,1.5,0.123456789\n"
              "100,,2\n",
              csv);
    EXPECT_EQ(-1, response::renderCsv({10, 100}, {"a"}, {{1, 2}, {3, 4}}, &csv));
    EXPECT_EQ(-1, response::renderCsv({10, 100}, {"a"}, {{1}}, &csv));
}

}  // namespace
