#include "controls/color_walk.h"

#include <algorithm>
#include <cstdlib>
#include <ctime>

namespace controls {

std::array<int32_t, 3> ColorWalk::s_colorStep = {1, 2, 3};

namespace {

class CrtRandomSource : public RandomSource {
public:
    void Seed(unsigned seed) override { std::srand(seed); }
    int Next() override { return std::rand(); }
    unsigned ElapsedMilliseconds() override {
        return static_cast<unsigned>(static_cast<long long>(std::clock()) * 1000 / CLOCKS_PER_SEC);
    }
    unsigned CalendarSeconds() override { return static_cast<unsigned>(std::time(nullptr)); }
};

int32_t& Component(ColorTriple& c, int i) { return i == 0 ? c.red : i == 1 ? c.green : c.blue; }

}  // namespace

RandomSource& CrtRandom() {
    static CrtRandomSource source;
    return source;
}

uint32_t ColorRefOf(const ColorTriple& c) {
    return (static_cast<uint32_t>(c.red) & 0xFF) | (static_cast<uint32_t>(c.green) & 0xFF) << 8 |
           (static_cast<uint32_t>(c.blue) & 0xFF) << 16;
}

ColorWalk::ColorWalk(RandomSource& random) : m_random(random) {
    ColorTriple& head = m_colorHistory[0];
    head.red = m_random.Next() % 256;
    head.green = m_random.Next() % 256;
    head.blue = m_random.Next() % 256;
    for (int i = 0; i < kPreRollSteps; ++i) StepColors(kPreRollSteps);
}

void ColorWalk::StepColors(int count) {
    count = std::clamp(count, 0, kHistorySize - 1);
    for (int k = count; k >= 1; --k) m_colorHistory[k] = m_colorHistory[k - 1];
    m_random.Seed(m_random.ElapsedMilliseconds());
    for (int c = 0; c < 3; ++c) {
        int32_t& v = Component(m_colorHistory[0], c);
        int32_t& d = s_colorStep[c];
        // The bounce applies in the same step, so a component stays within -2..257.
        // A zero step counts as going down.
        if (d > 0 && v + d > 257) d = m_random.Next() % 3 - 6;       // -6..-4
        else if (d <= 0 && v + d < -2) d = m_random.Next() % 3 + 4;  // 4..6
        v += d;
    }
}

void ColorWalk::NewHead() {
    m_random.Seed(m_random.CalendarSeconds());
    ColorTriple& head = m_colorHistory[0];
    head.red = m_random.Next() % 256;
    head.green = m_random.Next() % 256;
    head.blue = m_random.Next() % 256;
}

}  // namespace controls
