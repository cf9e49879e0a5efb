#include "gen/NoteTable.h"

#include <cmath>
#include <cstdio>
#include <new>

double* g_pNoteFreqs = nullptr;

namespace {

constexpr int32_t kStepsPerOctave = 12;
constexpr int32_t kOctaves = 9;
constexpr int32_t kStepA = 9;
constexpr float kReferenceA0 = 27.5f;
constexpr int32_t kMaxDecimals = 11;
// Whole parts at or beyond this no longer fit the 32-character buffer with
// 11 decimals, so they are written as "?".
constexpr double kLargestWhole = 1e15;

// The names as the note list shows them, irregularities included: they are
// data, not derived from the index.
// clang-format off
constexpr const char* kNoteNames[] = {
    "C0: ", "C#0/Db0 ", "D0 ", "D#0/Eb0 ", "E0 ", "F0 ", "F#0/Gb0 ", "G0 ", "G#0/Ab0 ", "A0 ", "A#0/Bb0 ", "B0 ",
    "C1 ", "C#1 ", "D1 ", "D#1/Eb1 ", "E1 ", "F1 ", "F#1/Gb1 ", "G1 ", "G#1/Ab1 ", "A1 ", "A#1/Bb1 ", "B1 ",
    "C2 ", "C#2 ", "D2 ", "D#2/Eb2 ", "E2 ", "F2 ", "F#2/Gb2 ", "G2 ", "G#2/Ab2 ", "A2 ", "A#2/Bb2 ", "B2 ",
    "C3 ", "C#3/Db3 ", "D3 ", "D#3/Eb3 ", "E3 ", "F3 ", "F#3/Gb3 ", "G3 ", "G#3/Ab3 ", "A3 ", "A#3/Bb3 ", "B3 ",
    "C4 ", "C#4/Db4 ", "D4 ", "D#4/Eb4 ", "E4 ", "F4 ", "F#4/Gb4 ", "G4 ", "G#4/Ab4 ", "A4 ", "A#4/Bb4 ", "B4 ",
    "C5 ", "C#5/Db5 ", "D5 ", "D#5/Eb5 ", "E5 ", "F5 ", "F#5/Gb5 ", "G5 ", "G#5/Ab5 ", "A5 ", "A#5/Bb5 ", "B5 ",
    "C6 ", "C#6Db6 ", "D6 ", "D#6Eb6 ", "E6 ", "F6 ", "F#6Gb6 ", "G6 ", "G#6Ab6 ", "A6 ", "A#6Bb6 ", "B6 ",
    "C7 ", "C#7Db7 ", "D7 ", "D#7Eb7 ", "E7 ", "F7 ", "F#7Gb7 ", "G7 ", "G#7Ab7 ", "A7 ", "A#7Bb7 ", "B7 ",
    "C8 ", "C#8Db8 ", "D8 ", "D#8Eb8 ", "E8 ", "F8 ", "F#8Gb8 ", "G8 ", "G#8Ab8 ", "A8 ", "A#8Bb8 ", "B8 ",
};
// clang-format on
static_assert(sizeof(kNoteNames) / sizeof(kNoteNames[0]) == kNoteCount);
static_assert(kOctaves * kStepsPerOctave == kNoteCount);

// Step of each white key letter A..G within the octave that starts at C.
constexpr int32_t kLetterSteps[] = {9, 11, 0, 2, 4, 5, 7};

int32_t LetterStep(char letter)
{
    if (letter >= 'a' && letter <= 'g') return kLetterSteps[letter - 'a'];
    if (letter >= 'A' && letter <= 'G') return kLetterSteps[letter - 'A'];
    return -1;
}

// The table only spells the five black keys, as a sharp of the key below or
// a flat of the key above; E#, Fb, B# and Cb are not among its names.
bool IsBlackKey(int32_t step)
{
    return step == 1 || step == 3 || step == 6 || step == 8 || step == 10;
}

} // namespace

bool CreateNoteArray()
{
    g_pNoteFreqs = new (std::nothrow) double[kNoteCount];
    if (g_pNoteFreqs == nullptr) return false;
    FillNoteOctaves(kReferenceA0, kOctaves, g_pNoteFreqs);
    return true;
}

void FreeNoteArray()
{
    delete[] g_pNoteFreqs;
    g_pNoteFreqs = nullptr;
}

void FillNoteOctaves(float referenceA, int32_t octaves, double* notes)
{
    for (int32_t octave = 0; octave < octaves; ++octave) {
        FillNoteOctave(referenceA, notes);
        referenceA *= 2.0f;
        notes += kStepsPerOctave;
    }
}

void FillNoteOctave(double a, double* notes)
{
    for (int32_t k = 0; k < kStepsPerOctave; ++k) {
        notes[k] = k == kStepA ? a : std::pow(2.0, (k - kStepA) / 12.0) * a;
    }
}

void FormatDecimal(char* out, double value, int32_t decimals)
{
    if (out == nullptr) return;
    out[0] = '\0';
    if (value == 0.0) {
        std::snprintf(out, 32, "0");
        return;
    }
    const char* sign = value < 0.0 ? "-" : "";
    const double m = std::fabs(value);
    if (!(m < kLargestWhole)) {
        std::snprintf(out, 32, "%s?", sign);
        return;
    }
    int32_t d = decimals < 0 ? -decimals : decimals;
    if (d > kMaxDecimals) d = kMaxDecimals;
    const double scale = std::pow(10.0, d);
    const double f = std::fmod(m, 1.0);
    double r = std::floor(f * scale + 0.5);
    double whole = std::floor(m);
    if (d == 0) {
        std::snprintf(out, 32, "%s%lld.?", sign, static_cast<long long>(whole));
        return;
    }
    if (r == scale) {
        whole += 1.0;
        r = 0.0;
    }
    std::snprintf(out, 32, "%s%lld.%0*lld", sign, static_cast<long long>(whole),
                  static_cast<int>(d), static_cast<long long>(r));
}

const char* NoteName(int32_t index)
{
    if (index < 0 || index >= kNoteCount) return nullptr;
    return kNoteNames[index];
}

int32_t FindNote(const char* name)
{
    if (name == nullptr) return -1;
    int32_t step = LetterStep(name[0]);
    if (step < 0) return -1;
    const char* rest = name + 1;
    if (*rest == '#' || *rest == 'b') {
        step += *rest == '#' ? 1 : -1;
        if (!IsBlackKey((step + kStepsPerOctave) % kStepsPerOctave)) return -1;
        ++rest;
    }
    if (rest[0] < '0' || rest[0] > '8' || rest[1] != '\0') return -1;
    const int32_t index = (rest[0] - '0') * kStepsPerOctave + step;
    if (index < 0 || index >= kNoteCount) return -1;
    return index;
}
