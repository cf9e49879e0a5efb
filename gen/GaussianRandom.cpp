#include "gen/GaussianRandom.h"

#include "gen/NoiseShared.h"

#include <cmath>

namespace {

// Not quite 2 pi: the figure the normaliser and every angle are made with, so
// that a value at the largest radius comes out at exactly +-1.
constexpr double kTurn = 6.2831853072;
constexpr double kTwoToMinus32 = 2.3283064365386963e-10;

} // namespace

GaussianRandom::GaussianRandom()
    : dNorm(std::sqrt(-2.0 * std::log(kTwoToMinus32)) * std::cos(kTurn)), x0(0), x1(0), x2(0),
      x3(0), carry(0)
{
}

void GaussianRandom::Seed(uint32_t value)
{
    if (value == 0) value = ClockSeedSeconds();
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

uint32_t GaussianRandom::NextBits()
{
    const uint64_t sum = 2111111111ull * x3 + 1492ull * x2 + 1776ull * x1 + 5115ull * x0 + carry;
    x3 = x2;
    x2 = x1;
    x1 = x0;
    carry = static_cast<uint32_t>(sum >> 32);
    x0 = static_cast<uint32_t>(sum);
    return x0;
}

double GaussianRandom::NextUniform()
{
    return static_cast<double>(NextBits()) * kTwoToMinus32;
}

void GaussianRandom::NextGaussianPair(double& a, double& b)
{
    // ln 0 has no value; the radius needs a uniform above zero.
    double u1 = NextUniform();
    while (u1 == 0.0)
        u1 = NextUniform();
    const double r = std::sqrt(-2.0 * std::log(u1));
    const double theta = kTurn * NextUniform();
    a = r * std::cos(theta) / dNorm;
    b = r * std::sin(theta) / dNorm;
}
