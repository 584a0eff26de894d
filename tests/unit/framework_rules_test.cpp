// Integer text rule of the data exchange, and the dialog-initialisation data reader.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "framework/dialog_init_data.h"
#include "framework/integer_text.h"

namespace {

using fw::ParseIntegerText;

TEST(IntegerText, AcceptsBlanksSignAndDigits) {
    EXPECT_EQ(ParseIntegerText(L"0"), 0);
    EXPECT_EQ(ParseIntegerText(L"00"), 0);
    EXPECT_EQ(ParseIntegerText(L" \t0 "), 0);
    EXPECT_EQ(ParseIntegerText(L"  7  "), 7);
    EXPECT_EQ(ParseIntegerText(L"\t-12\t"), -12);
    EXPECT_EQ(ParseIntegerText(L"+5"), 5);
    EXPECT_EQ(ParseIntegerText(L"0080"), 80);
}

TEST(IntegerText, ZeroOnlyFromALeadingZeroDigit) {
    EXPECT_EQ(ParseIntegerText(L"-0"), std::nullopt);
    EXPECT_EQ(ParseIntegerText(L"+0"), std::nullopt);
    EXPECT_EQ(ParseIntegerText(L"  -000"), std::nullopt);
    EXPECT_EQ(ParseIntegerText(L"-01"), -1);  // non-zero values may carry a sign
}

TEST(IntegerText, RefusesAnythingElse) {
    for (const wchar_t* text : {L"", L"   ", L"-", L"+", L"abc", L"12abc", L"1 2", L"- 3", L"1.5", L"0x10", L"1e3",
                                L"\n5", L"5\r", L"--5", L"\xFF11"})
        EXPECT_EQ(ParseIntegerText(text), std::nullopt) << std::wstring(text).size();
}

TEST(IntegerText, ClampsBeyondThe32BitRange) {
    EXPECT_EQ(ParseIntegerText(L"2147483647"), INT_MAX);
    EXPECT_EQ(ParseIntegerText(L"2147483648"), INT_MAX);
    EXPECT_EQ(ParseIntegerText(L"-2147483648"), INT_MIN);
    EXPECT_EQ(ParseIntegerText(L"-2147483649"), INT_MIN);
    EXPECT_EQ(ParseIntegerText(std::wstring(31, L'9')), INT_MAX);
    EXPECT_EQ(ParseIntegerText(L"-" + std::wstring(30, L'9')), INT_MIN);
}

TEST(IntegerText, ReadsOnlyThe31FirstCharacters) {
    EXPECT_EQ(ParseIntegerText(L"1" + std::wstring(30, L' ') + L"x"), 1);
    EXPECT_EQ(ParseIntegerText(L"1" + std::wstring(29, L' ') + L"x"), std::nullopt);
    // 32 digits: the last is cut off before the value is formed (and clamped).
    EXPECT_EQ(ParseIntegerText(std::wstring(31, L'0') + L"5"), 0);
}

std::string Record(uint16_t id, uint16_t message, const std::string& text, uint32_t length) {
    std::string r;
    r += static_cast<char>(id & 0xFF);
    r += static_cast<char>(id >> 8);
    r += static_cast<char>(message & 0xFF);
    r += static_cast<char>(message >> 8);
    for (int i = 0; i < 4; ++i) r += static_cast<char>(length >> (8 * i) & 0xFF);
    return r + text;
}

TEST(DialogInitData, ReadsComboAndListStringsUpToTheZeroWord) {
    std::string data = Record(1012, 0x0403, std::string("sqcif\0", 6), 6) +
                       Record(1011, 0x0403, std::string("H.264/AVC\0", 10), 10) +
                       Record(300, 0x0401, std::string("x\0", 2), 2) + std::string("\0\0", 2) +
                       Record(1, 0x0403, std::string("after\0", 6), 6);
    auto records = fw::ParseDialogInitData(data.data(), data.size());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].controlId, 1012);
    EXPECT_EQ(records[0].kind, fw::DialogInitRecord::Kind::ComboString);
    EXPECT_EQ(records[0].text, "sqcif");
    EXPECT_EQ(records[1].text, "H.264/AVC");  // odd lengths: records are not aligned
    EXPECT_EQ(records[2].kind, fw::DialogInitRecord::Kind::ListString);
}

TEST(DialogInitData, DamagedDataStopsWithoutReadingPastTheEnd) {
    std::string good = Record(7, 0x0403, std::string("ab\0", 3), 3);
    std::string overlong = good + Record(8, 0x0403, "cd", 1000);
    EXPECT_EQ(fw::ParseDialogInitData(overlong.data(), overlong.size()).size(), 1u);
    std::string cutHeader = good + std::string("\x08\x00\x03\x04\x05", 5);
    EXPECT_EQ(fw::ParseDialogInitData(cutHeader.data(), cutHeader.size()).size(), 1u);
    std::string noTerminator = Record(9, 0x0403, "xyz", 3);  // no zero inside the length
    auto records = fw::ParseDialogInitData(noTerminator.data(), noTerminator.size());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].text, "xyz");
    EXPECT_TRUE(fw::ParseDialogInitData(nullptr, 0).empty());
}

}  // namespace
