#include "tools/response/curve_argument.h"

#include <gtest/gtest.h>

#include "tools/response/curve_style.h"

namespace {

using response::CorrectorKind;
using response::CurveSettings;

TEST(CurveArgument, ReadsNamesAndSettings) {
    CurveSettings c;
    ASSERT_EQ(0, response::parseCurveArgument("iir", 48000, &c));
    EXPECT_EQ(CorrectorKind::Iir, c.kind);
    EXPECT_EQ(48000u, c.sampleRate);
    EXPECT_EQ(100.0, c.effect);
    EXPECT_EQ(100.0, c.gain);

    ASSERT_EQ(0, response::parseCurveArgument("FIR:q=300,E=-12.5,g=1e2", 44100, &c));
    EXPECT_EQ(CorrectorKind::Fir, c.kind);
    EXPECT_EQ(300, c.quality);
    EXPECT_EQ(-12.5, c.effect);
    EXPECT_EQ(100.0, c.gain);

    ASSERT_EQ(0, response::parseCurveArgument("iir:g=80", 44100, &c));
    EXPECT_EQ(100.0, c.effect);  // earlier values do not leak into the next curve
    EXPECT_EQ(80.0, c.gain);
}

TEST(CurveArgument, RefusesMalformedText) {
    const char* bad[] = {"",          "iirx",        "iir:",         "iir:e",     "iir:e=",      "iir:e=5x",
                         "iir:q=100", "fir:q=1.5",   "fir:e=1,e=2",  "fir:x=1",   "fir:e=1,",    "fir:e=nan",
                         "fir:e=inf", "fir:q=99999999999", "fir;e=1", "fir:e=1:g=2", "fir:ee=1"};
    for (const char* text : bad) {
        CurveSettings c;
        c.effect = 42.0;
        std::string problem;
        EXPECT_EQ(-1, response::parseCurveArgument(text, 44100, &c, &problem)) << text;
        EXPECT_EQ(42.0, c.effect) << text;
        EXPECT_FALSE(problem.empty()) << text;
    }
    CurveSettings c;
    std::string problem;
    response::parseCurveArgument("iir:q=100", 44100, &c, &problem);
    EXPECT_EQ("gives 'q', which only fir takes", problem);
    response::parseCurveArgument("fir:E=1,e=2", 44100, &c, &problem);
    EXPECT_EQ("gives 'e' twice", problem);
    response::parseCurveArgument("fir:g=1,e=5x", 44100, &c, &problem);
    EXPECT_EQ("has 'e=5x', which is not a finite number", problem);
}

TEST(CurveArgument, Labels) {
    CurveSettings c;
    c.effect = 50;
    EXPECT_EQ("IIR effect 50", response::curveLabel(c));
    c.kind = CorrectorKind::Fir;
    c.quality = 300;
    c.effect = 12.5;
    c.gain = 80;
    EXPECT_EQ("FIR q300 effect 12.5, gain 80", response::curveLabel(c));
}

TEST(CurveStyle, ColourFollowsEffectAndDashFollowsCorrector) {
    std::vector<CurveSettings> curves;
    for (const char* text : {"iir:e=50", "iir:e=100", "fir:e=50,q=100", "fir:e=100,q=300", "fir:e=100", "iir:e=200"}) {
        CurveSettings c;
        ASSERT_EQ(0, response::parseCurveArgument(text, 44100, &c));
        curves.push_back(c);
    }
    std::vector<response::CurveStyle> s = response::assignStyles(curves);
    ASSERT_EQ(curves.size(), s.size());
    EXPECT_EQ(s[0].colour, s[2].colour);  // effect 50
    EXPECT_EQ(s[1].colour, s[3].colour);  // effect 100
    EXPECT_EQ(s[1].colour, s[4].colour);
    EXPECT_NE(s[0].colour, s[1].colour);
    EXPECT_NE(s[5].colour, s[0].colour);
    EXPECT_NE(s[5].colour, s[1].colour);
    EXPECT_EQ("", s[0].dashes);  // IIR solid
    EXPECT_EQ("", s[5].dashes);
    EXPECT_EQ(s[2].dashes, s[4].dashes);  // FIR quality 100
    EXPECT_NE("", s[2].dashes);
    EXPECT_NE(s[2].dashes, s[3].dashes);  // FIR quality 300
    EXPECT_NE("", s[3].dashes);
}

}  // namespace
