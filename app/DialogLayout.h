// Builds a dialog's widgets from its template in res/: the template's font
// (or its fallback face), dialog units turned into pixels with that font's
// base units as Windows computes them, the controls in tab order, the
// default button and the initial list items. User-interface thread.
#pragma once

#include "res/DialogTemplate.h"

#include <QFont>
#include <QRect>

#include <cstdint>
#include <vector>

class QDialog;
class QFontMetrics;
class QWidget;

// Pixels per 4 horizontal and per 8 vertical dialog units.
struct DialogBaseUnits {
    int32_t x;
    int32_t y;
};

// The template's face at its point size, the fallback face where that one is missing.
QFont DialogFont(const DialogTemplate& dialog);

// x: the average width of the 52 Latin letters, rounded as Windows rounds it;
// y: the font's height.
DialogBaseUnits BaseUnitsOf(const QFontMetrics& metrics);

// a * b / c rounded to the nearest integer, halves away from zero.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

QRect MapDialogRect(const DialogBaseUnits& units, int32_t x, int32_t y, int32_t w, int32_t h);

struct LaidOutControl {
    const ControlTemplate* control;
    QWidget* widget;
};

struct DialogControls {
    DialogBaseUnits units{};
    std::vector<LaidOutControl> controls; // in template order

    // The first widget with that id (never IDC_STATIC), or null.
    QWidget* ById(int32_t id) const;
};

// Sets the dialog's caption, font, window flags and fixed client size, and
// creates every control of the template as a child of it.
DialogControls BuildDialog(QDialog& dialog, const DialogTemplate& dialogTemplate);
