// The 108 notes C0 to B8 in equal temperament with A4 = 440 Hz: their
// frequencies, the names the note list shows, and the decimal formatter that
// writes them. No toolkit: the dialog and the command-line player share it.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t kNoteCount = 108;
constexpr int32_t kNoteA4 = 57;

// 108 doubles, index 12 * octave + step (C, C#, D ... B); null until
// CreateNoteArray, and again after FreeNoteArray.
extern double* g_pNoteFreqs;

// Allocates and fills g_pNoteFreqs from A0 = 27.5 Hz; false when the memory
// cannot be had (the pointer stays null).
bool CreateNoteArray();
void FreeNoteArray();

// Fills octaves * 12 elements, octave by octave, doubling referenceA each time.
void FillNoteOctaves(float referenceA, int32_t octaves, double* notes);
// The twelve notes of one octave from its A; element 9 is a itself.
void FillNoteOctave(double a, double* notes);

// value with |decimals| (at most 11) decimals, rounded half up; "0" for zero.
// Does nothing when out is null. out must hold 32 characters.
void FormatDecimal(char* out, double value, int32_t decimals);

// The note list's name of a note, ending in one blank ("C0: ", "C#6Db6 ");
// null outside [0, kNoteCount).
const char* NoteName(int32_t index);

// The index of a note given as a plain name, letter (any case), optional '#'
// or 'b', octave digit: "A4", "C#6", "Db6", "c0". -1 when it names no note of
// the table ("Cb0", "B#8", "H4", "A9").
int32_t FindNote(const char* name);
