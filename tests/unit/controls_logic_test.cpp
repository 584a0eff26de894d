// The banner's colour walk and the icon button's layout.
#include <gtest/gtest.h>

#include <deque>
#include <vector>

#include "controls/color_walk.h"
#include "controls/dpi_scale.h"
#include "controls/icon_button_layout.h"

namespace {

using controls::ColorTriple;
using controls::ColorWalk;

// A scripted generator: hands out the queued values (then 0) and records the seeds.
class ScriptedRandom : public controls::RandomSource {
public:
    std::deque<int> values;
    std::vector<unsigned> seeds;
    unsigned elapsedMs = 1234;
    unsigned seconds = 1700000000;

    void Seed(unsigned seed) override { seeds.push_back(seed); }
    int Next() override {
        if (values.empty()) return 0;
        int v = values.front();
        values.pop_front();
        return v;
    }
    unsigned ElapsedMilliseconds() override { return elapsedMs; }
    unsigned CalendarSeconds() override { return seconds; }
};

// Each test sets the shared step table it starts from, and puts the initial one back.
class ColorWalkTest : public ::testing::Test {
protected:
    void SetUp() override { ColorWalk::ColorStep() = {1, 2, 3}; }
    void TearDown() override { ColorWalk::ColorStep() = {1, 2, 3}; }
    ScriptedRandom random;
};

bool Same(const ColorTriple& a, const ColorTriple& b) {
    return a.red == b.red && a.green == b.green && a.blue == b.blue;
}

TEST_F(ColorWalkTest, ConstructionDrawsTheHeadUnseededThenPreRolls) {
    random.values = {300, 77, 511};  // taken modulo 256
    ColorWalk walk(random);
    // Three draws happened before the first seed; then one seed per pre-roll step.
    EXPECT_EQ(random.seeds.size(), 90u);
    // Entry 90 is the head as drawn: the pre-roll shifted it there, step by step.
    EXPECT_EQ(walk.Entry(90).red, 300 % 256);
    EXPECT_EQ(walk.Entry(90).green, 77);
    EXPECT_EQ(walk.Entry(90).blue, 511 % 256);
    // A graded trail: neighbouring letters differ from the start.
    EXPECT_FALSE(Same(walk.Entry(0), walk.Entry(1)));
    EXPECT_FALSE(Same(walk.Entry(1), walk.Entry(2)));
}

TEST_F(ColorWalkTest, BouncesInTheSameStepAndStaysWithinRange) {
    ColorWalk walk(random);
    walk.Entry(0) = {257, -1, 100};
    ColorWalk::ColorStep() = {3, -2, 6};
    random.values = {0, 2};  // red's new step: 0 % 3 - 6 = -6; green's: 2 % 3 + 4 = 6
    walk.StepColors(0);
    EXPECT_EQ(ColorWalk::ColorStep()[0], -6);
    EXPECT_EQ(walk.Entry(0).red, 251);  // never 260
    EXPECT_EQ(ColorWalk::ColorStep()[1], 6);
    EXPECT_EQ(walk.Entry(0).green, 5);  // never -3
    EXPECT_EQ(walk.Entry(0).blue, 106);
}

TEST_F(ColorWalkTest, ExactLandingsOnTheEndsDoNotBounce) {
    ColorWalk walk(random);
    walk.Entry(0) = {255, 0, 254};
    ColorWalk::ColorStep() = {2, -2, 3};
    walk.StepColors(0);
    EXPECT_EQ(walk.Entry(0).red, 257);
    EXPECT_EQ(walk.Entry(0).green, -2);
    EXPECT_EQ(walk.Entry(0).blue, 257);
    EXPECT_EQ(ColorWalk::ColorStep()[0], 2);
    EXPECT_EQ(ColorWalk::ColorStep()[1], -2);
    EXPECT_EQ(ColorWalk::ColorStep()[2], 3);
    // One step further, each of them bounces.
    random.values = {1, 1, 1};
    walk.StepColors(0);
    EXPECT_EQ(ColorWalk::ColorStep()[0], -5);
    EXPECT_EQ(ColorWalk::ColorStep()[1], 5);
    EXPECT_EQ(ColorWalk::ColorStep()[2], -5);
    EXPECT_EQ(walk.Entry(0).red, 252);
    EXPECT_EQ(walk.Entry(0).green, 3);
}

TEST_F(ColorWalkTest, AZeroStepCountsAsDownward) {
    ColorWalk walk(random);
    walk.Entry(0) = {-3, 300, 50};  // out of range only because the test put them there
    ColorWalk::ColorStep() = {0, 0, 0};
    random.values = {2};
    walk.StepColors(0);
    EXPECT_EQ(ColorWalk::ColorStep()[0], 6);  // the downward bounce
    EXPECT_EQ(walk.Entry(0).red, 3);
    EXPECT_EQ(ColorWalk::ColorStep()[1], 0);  // no upward bounce for a zero step
    EXPECT_EQ(walk.Entry(0).green, 300);
    EXPECT_EQ(walk.Entry(0).blue, 50);
}

TEST_F(ColorWalkTest, ShiftMakesEachLetterShowItsPredecessorsLastColour) {
    ColorWalk walk(random);
    std::vector<ColorTriple> before;
    for (int i = 0; i < ColorWalk::kHistorySize; ++i) before.push_back(walk.Entry(i));
    random.seeds.clear();
    random.elapsedMs = 98765;
    walk.StepColors(6);
    for (int i = 0; i < 6; ++i) EXPECT_TRUE(Same(walk.Entry(i + 1), before[i])) << i;
    for (int i = 7; i < ColorWalk::kHistorySize; ++i) EXPECT_TRUE(Same(walk.Entry(i), before[i])) << i;
    EXPECT_EQ(random.seeds, std::vector<unsigned>{98765});  // reseeded on every step
}

TEST_F(ColorWalkTest, NewHeadChangesOnlyTheHead) {
    ColorWalk walk(random);
    std::vector<ColorTriple> before;
    for (int i = 0; i < ColorWalk::kHistorySize; ++i) before.push_back(walk.Entry(i));
    ColorWalk::ColorStep() = {-4, 5, 1};
    random.seeds.clear();
    random.values = {1000, 256 + 7, 255};
    walk.NewHead();
    EXPECT_EQ(random.seeds, std::vector<unsigned>{1700000000});
    EXPECT_EQ(walk.Entry(0).red, 1000 % 256);
    EXPECT_EQ(walk.Entry(0).green, 7);
    EXPECT_EQ(walk.Entry(0).blue, 255);
    for (int i = 1; i < ColorWalk::kHistorySize; ++i) EXPECT_TRUE(Same(walk.Entry(i), before[i])) << i;
    EXPECT_EQ(ColorWalk::ColorStep(), (std::array<int32_t, 3>{-4, 5, 1}));
    // At the next step the second letter shows the new head itself.
    ColorTriple head = walk.Entry(0);
    walk.StepColors(6);
    EXPECT_TRUE(Same(walk.Entry(1), head));
    EXPECT_EQ(walk.Entry(0).red, head.red - 4);
}

TEST_F(ColorWalkTest, TheStepTableCarriesOverToASecondWalk) {
    {
        ColorWalk first(random);
        first.Entry(0).red = 256;
        ColorWalk::ColorStep()[0] = 3;
        random.values = {1};
        first.StepColors(6);
        EXPECT_EQ(ColorWalk::ColorStep()[0], -5);
    }
    random.values = {10, 20, 30};
    const std::array<int32_t, 3> left = ColorWalk::ColorStep();
    ColorWalk second(random);
    // The second walk's pre-roll starts from the steps the first one left; with a
    // head at 10 and -5 per step the red trail goes down from the start.
    EXPECT_EQ(second.Entry(90).red, 10);
    EXPECT_EQ(second.Entry(89).red, 10 + left[0]);
}

TEST_F(ColorWalkTest, StepCountIsKeptInsideTheHistory) {
    ColorWalk walk(random);
    const ColorTriple before98 = walk.Entry(98), before1 = walk.Entry(1);
    walk.StepColors(1000);  // shifts the whole history, and no further
    EXPECT_TRUE(Same(walk.Entry(99), before98));
    const ColorTriple after1 = walk.Entry(1);
    walk.StepColors(-3);  // shifts nothing
    EXPECT_TRUE(Same(walk.Entry(1), after1));
    EXPECT_FALSE(Same(after1, before1));
}

TEST(ColorRef, TakesTheLowByteOfEachComponent) {
    EXPECT_EQ(controls::ColorRefOf({-2, 257, 256}), 0x000001FEu);
    EXPECT_EQ(controls::ColorRefOf({-1, 0, 255}), 0x00FF00FFu);
    EXPECT_EQ(controls::ColorRefOf({128, 192, 224}), 0x00E0C080u);
}

using controls::LayoutIconButton;

TEST(IconButtonLayout, CentresIconAndCaptionAsAPair) {
    // Caption 60 x 13 measured at (0, 0); button 90 wide: 10 pixels to spare.
    auto l = LayoutIconButton({0, 0, 90, 40}, {0, 0, 60, 13}, true);
    EXPECT_EQ(l.iconX, 0);
    EXPECT_EQ(l.iconY, 10);
    EXPECT_EQ(l.textX, 25);  // 5 pixels right of the icon
    EXPECT_EQ(l.textY, 13);
    EXPECT_EQ(l.textWidth, 80);
    EXPECT_EQ(l.textHeight, 13);
}

TEST(IconButtonLayout, HalvesOddDifferencesTowardZero) {
    auto wider = LayoutIconButton({0, 0, 87, 21}, {0, 0, 60, 13}, true);  // 87 - 80 = 7
    EXPECT_EQ(wider.textX, 3 + 20);
    EXPECT_EQ(wider.iconX, 3 - 5);
    EXPECT_EQ(wider.iconY, 0);                                              // (21 - 20) / 2
    EXPECT_EQ(wider.textY, 4);                                              // (21 - 13) / 2
    auto narrower = LayoutIconButton({0, 0, 73, 9}, {0, 0, 60, 13}, true);  // 73 - 80 = -7
    EXPECT_EQ(narrower.textX, -3 + 20);
    EXPECT_EQ(narrower.iconX, -3 - 5);
    EXPECT_EQ(narrower.iconY, -5);  // (9 - 20) / 2 = -5.5 toward zero
    EXPECT_EQ(narrower.textY, -2);  // (9 - 13) / 2
}

TEST(IconButtonLayout, WithoutIconTheCaptionUsesTheWholeWidth) {
    auto l = LayoutIconButton({0, 0, 90, 40}, {0, 0, 60, 13}, false);
    EXPECT_EQ(l.textX, 15);
    EXPECT_EQ(l.textWidth, 60);
    auto odd = LayoutIconButton({0, 0, 53, 40}, {0, 0, 60, 13}, false);  // -7
    EXPECT_EQ(odd.textX, -3);
}

TEST(DpiScale, KeepsEverySizeAt96AndRoundsElsewhere) {
    struct Case {
        int pixels, dpi, scaled;
    };
    const Case cases[] = {
        {20, 96, 20},  {5, 96, 5},      {-24, 96, -24}, {20, 120, 25},   {5, 120, 6},  // 6.25
        {20, 144, 30}, {5, 144, 8},     {7, 144, 11},   {-24, 144, -36},               // 7.5 and 10.5 round up
        {20, 192, 40}, {-24, 192, -48}, {0, 192, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(controls::ScaleToDpi(c.pixels, c.dpi), c.scaled) << c.pixels << " at " << c.dpi;
}

TEST(IconButtonLayout, AScaledIconKeepsItsScaledGapAndThePairCentred) {
    // 200%: a 40-pixel icon 10 pixels left of a 120 x 26 caption, in a 180 x 52 button.
    auto l = LayoutIconButton({0, 0, 180, 52}, {0, 0, 120, 26}, true, 40, 10);
    EXPECT_EQ(l.iconX, 0);
    EXPECT_EQ(l.iconY, 6);
    EXPECT_EQ(l.textX, 50);
    EXPECT_EQ(l.textX - (l.iconX + 40), 10);
    EXPECT_EQ(l.textWidth, 160);
}

}  // namespace
