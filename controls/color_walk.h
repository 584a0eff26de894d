// The banner's wandering colour: a head colour that walks by a per-component step,
// bouncing back near the ends of the colour range, and a history of the colours the
// head had, from which the title's letters take their colours.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace controls {

struct ColorTriple {
    int32_t red;
    int32_t green;
    int32_t blue;
};

// The run-time library's generator (values 0..32767, restarted by a seed) and the
// two clocks the walk reseeds it from. Injected so that tests can script them.
class RandomSource {
public:
    virtual ~RandomSource() = default;
    virtual void Seed(unsigned seed) = 0;
    virtual int Next() = 0;
    virtual unsigned ElapsedMilliseconds() = 0;  // since the process started
    virtual unsigned CalendarSeconds() = 0;
};

// rand, srand, clock and time of the C run-time.
RandomSource& CrtRandom();

// The colour as 0x00BBGGRR, each component contributing its low 8 bits
// (so -2, -1, 256, 257 show as 254, 255, 0, 1).
uint32_t ColorRefOf(const ColorTriple& c);

class ColorWalk {
public:
    static constexpr int kHistorySize = 100;
    static constexpr int kPreRollSteps = 90;

    // Random head (the generator is not seeded first), then kPreRollSteps steps over
    // kPreRollSteps entries, so the trail is graded from the start.
    explicit ColorWalk(RandomSource& random);

    // One step over entries 0..count: shift the history by one, reseed from the
    // elapsed milliseconds, move the head (see the .cpp for the bounce rules).
    // count is kept within 0..kHistorySize-1.
    void StepColors(int count);
    // A fresh random head, seeded from the calendar seconds; nothing else changes.
    void NewHead();

    const ColorTriple& Entry(int i) const { return m_colorHistory.at(static_cast<std::size_t>(i)); }
    ColorTriple& Entry(int i) { return m_colorHistory.at(static_cast<std::size_t>(i)); }

    // The step per component (red, green, blue), shared by every walk in the process
    // and never reset: a second banner goes on from where the first left it.
    static std::array<int32_t, 3>& ColorStep() { return s_colorStep; }

private:
    RandomSource& m_random;
    std::array<ColorTriple, kHistorySize> m_colorHistory{};
    static std::array<int32_t, 3> s_colorStep;
};

}  // namespace controls
