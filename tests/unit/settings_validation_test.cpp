#include "ui/settings_validation.h"

#include <gtest/gtest.h>

#include <climits>

#include "ui/size_presets.h"

namespace {

StreamSettings Valid() {
    StreamSettings s;
    s.width = 320;
    s.height = 240;
    return s;
}

const wchar_t* Check(void (*change)(StreamSettings&)) {
    StreamSettings s = Valid();
    change(s);
    return ValidateSettings(s);
}

}  // namespace

TEST(SettingsValidation, PortIsATcpPort) {
    EXPECT_EQ(Check([](StreamSettings& s) { s.port = 1; }), nullptr);
    EXPECT_EQ(Check([](StreamSettings& s) { s.port = 65535; }), nullptr);
    // No program can listen there: refused before anything starts.
    EXPECT_EQ(Check([](StreamSettings& s) { s.port = 70000; }), kInvalidPortText);
    EXPECT_EQ(Check([](StreamSettings& s) { s.port = 0; }), kInvalidPortText);
    EXPECT_EQ(Check([](StreamSettings& s) { s.port = INT_MIN; }), kInvalidPortText);
}

TEST(SettingsValidation, SizeIsZeroOrEvenFromEightToTheEncodersLargest) {
    for (int32_t v : {0, 8, 10, 4096}) {
        StreamSettings s = Valid();
        s.width = v;
        EXPECT_EQ(ValidateSettings(s), nullptr) << "width " << v;
        s = Valid();
        s.height = v;
        EXPECT_EQ(ValidateSettings(s), nullptr) << "height " << v;
    }
    for (int32_t v : {7, 9, -2, 6, 1, -1, 641, 4098, INT_MAX - 1, INT_MIN, INT_MAX}) {
        StreamSettings s = Valid();
        s.width = v;
        EXPECT_EQ(ValidateSettings(s), kInvalidFrameSizeText) << "width " << v;
        s = Valid();
        s.height = v;
        EXPECT_EQ(ValidateSettings(s), kInvalidFrameSizeText) << "height " << v;
    }
    // Each dimension on its own: 0 x 240 is accepted although no resize follows.
    EXPECT_EQ(Check([](StreamSettings& s) { s.width = 0; }), nullptr);
}

TEST(SettingsValidation, FrameRateFromOneToSixty) {
    EXPECT_EQ(Check([](StreamSettings& s) { s.frameRate = 1; }), nullptr);
    EXPECT_EQ(Check([](StreamSettings& s) { s.frameRate = 60; }), nullptr);
    EXPECT_EQ(Check([](StreamSettings& s) { s.frameRate = 0; }), kInvalidFrameRateText);
    EXPECT_EQ(Check([](StreamSettings& s) { s.frameRate = 61; }), kInvalidFrameRateText);
    EXPECT_EQ(Check([](StreamSettings& s) { s.frameRate = -15; }), kInvalidFrameRateText);
}

TEST(SettingsValidation, BitRateZeroNegativeOrFromSixtyFour) {
    for (int32_t v : {0, 64, -5, 100000, INT_MIN}) {
        StreamSettings s = Valid();
        s.bitRate = v;
        EXPECT_EQ(ValidateSettings(s), nullptr) << v;
    }
    for (int32_t v : {1, 63, 32, 100001, INT_MAX}) {
        StreamSettings s = Valid();
        s.bitRate = v;
        EXPECT_EQ(ValidateSettings(s), kInvalidBitRateText) << v;
    }
}

TEST(SettingsValidation, FirstFailingCheckWins) {
    StreamSettings s;
    s.port = 0;
    s.width = 7;
    s.frameRate = 0;
    s.bitRate = 1;
    EXPECT_EQ(ValidateSettings(s), kInvalidPortText);
    s.port = 80;
    EXPECT_EQ(ValidateSettings(s), kInvalidFrameSizeText);
    s.width = 0;
    s.height = 9;
    EXPECT_EQ(ValidateSettings(s), kInvalidFrameSizeText);
    s.height = 0;
    EXPECT_EQ(ValidateSettings(s), kInvalidFrameRateText);
    s.frameRate = 61;
    EXPECT_EQ(ValidateSettings(s), kInvalidFrameRateText);
    s.frameRate = 15;
    EXPECT_EQ(ValidateSettings(s), kInvalidBitRateText);
    s.bitRate = 0;
    EXPECT_EQ(ValidateSettings(s), nullptr);
}

TEST(SizePresets, TheListsRowsAndFindingThem) {
    // The combo box's rows, with their sizes as the list is specified; 7 is "Custom".
    const struct {
        const char* name;
        int width, height;
    } rows[] = {{"sqcif", 128, 96},  {"qcif", 176, 144}, {"cif", 352, 288}, {"4cif", 704, 576},
                {"qqvga", 160, 120}, {"qvga", 320, 240}, {"vga", 640, 480}};
    ASSERT_EQ(kSizePresetCount, 7);
    EXPECT_EQ(kCustomSizePreset, 7);
    EXPECT_EQ(kQvgaSizePreset, 5);
    for (int i = 0; i < 7; ++i) {
        EXPECT_STREQ(SizePreset(i).name, rows[i].name) << i;
        EXPECT_EQ(SizePreset(i).width, rows[i].width) << rows[i].name;
        EXPECT_EQ(SizePreset(i).height, rows[i].height) << rows[i].name;
        EXPECT_EQ(FindSizePreset(rows[i].width, rows[i].height), i) << rows[i].name;
    }
    EXPECT_EQ(FindSizePreset(0, 0), 7);
    EXPECT_EQ(FindSizePreset(320, 0), 7);
    EXPECT_EQ(FindSizePreset(240, 320), 7);  // both must match, in order
    EXPECT_EQ(FindSizePreset(300, 200), 7);
    EXPECT_EQ(FindSizePreset(800, 600), 7);  // a named size, but not in the list
}
