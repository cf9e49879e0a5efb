#include "gen/GaussianRandom.h"

#include "gen/NoiseShared.h"

#include <cmath>

namespace {

// Not quite 2 pi: the figure the normaliser and every angle are made with, so
// that a value at the largest radius comes out at exactly +-1.
constexpr double kTurn = 6.2831853072;

} // namespace

GaussianRandom::GaussianRandom()
    : dNorm(std::sqrt(-2.0 * std::log(kTwoToMinus32)) * std::cos(kTurn)), x0(0), x1(0), x2(0),
      x3(0), carry(0)
{
}

void GaussianRandom::Seed(uint32_t value)
{
    if (value == 0) value = NoiseSeed();
    uint32_t s = value;
    uint32_t* const words[5] = {&x0, &x1, &x2, &x3, &carry};
    for (uint32_t* word : words) {
        s = s * 29943829u - 1u;
        *word = s;
    }
    // The first outputs after seeding still show the seed's structure.
    for (int i = 0; i < 19; ++i)
        NextBits();
}

namespace {

inline void GaussianPair(GaussianRandom& source, double norm, double& a, double& b)
{
    // ln 0 has no value; the radius needs a uniform above zero.
    double u1 = source.NextUniform();
    while (u1 == 0.0)
        u1 = source.NextUniform();
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double theta = kTurn * source.NextUniform();
    // One call for both: glibc's sincos gives the bits its sin and cos give.
    double sine;
    double cosine;
    sincos(theta, &sine, &cosine);
    a = r * cosine / norm;
    b = r * sine / norm;
}

} // namespace

void GaussianRandom::NextGaussianPair(double& a, double& b)
{
    GaussianPair(*this, dNorm, a, b);
}

// The same draws and arithmetic as NextGaussianPair, in three passes over the
// block: with no chain from one pair to the next inside the logarithm and
// sine passes, the processor overlaps neighbouring pairs.
void GaussianRandom::NextGaussianPairs(double* values, uint32_t count)
{
    for (uint32_t i = 0; i < count; ++i) {
        double u1 = NextUniform();
        while (u1 == 0.0)
            u1 = NextUniform();
        values[2 * i] = u1;
        values[2 * i + 1] = kTurn * NextUniform();
    }
    for (uint32_t i = 0; i < count; ++i)
        values[2 * i] = std::sqrt(-2.0 * std::log(values[2 * i]));
    const double norm = dNorm;
    for (uint32_t i = 0; i < count; ++i) {
        const double r = values[2 * i];
        double sine;
        double cosine;
        sincos(values[2 * i + 1], &sine, &cosine);
        values[2 * i] = r * cosine / norm;
        values[2 * i + 1] = r * sine / norm;
    }
}
