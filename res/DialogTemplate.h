// The dialog templates, the string table and the icon as data: ids, kinds,
// texts, positions and sizes in dialog units, tab order (the order of the
// controls), the default button and the initial items of list controls.
// app/DialogLayout builds the widgets from them.
#pragma once

#include <cstdint>

enum class ControlKind {
    PushButton,
    Edit,
    Static,
    GroupBox,
    ListBox,
    SimpleCombo,   // the list always shown below an edit field
    DropDownCombo, // an edit field with a list that drops down; h includes the list
    Icon,          // the application icon
};

// Style bits that the layout honours.
enum : uint32_t {
    kStyleDefault = 1u << 0,    // the default push button, pressed by Enter
    kStyleCentre = 1u << 1,     // centred text (statics) or caption (group boxes)
    kStyleTabStop = 1u << 2,    // reached with Tab
    kStyleBorder = 1u << 3,     // a bordered edit or list
    kStyleVScroll = 1u << 4,    // vertical scroll bar where the list needs one
    kStyleAutoHScroll = 1u << 5 // the edit scrolls as text is typed
};

struct ControlTemplate {
    int32_t id; // IDC_STATIC for controls the code never addresses
    ControlKind kind;
    uint32_t style;
    const char* text;
    int16_t x, y, w, h; // dialog units
};

// Items a list control holds as soon as the window exists.
struct ControlInitData {
    int32_t id;
    const char* const* items;
    int32_t itemCount;
};

struct DialogTemplate {
    int32_t id;
    const char* caption;
    const char* fontFace;
    const char* fallbackFontFace; // a face with the same metrics where fontFace is missing
    int32_t fontPointSize;
    int16_t w, h; // dialog units
    bool hasSystemMenu;
    bool centred;
    const ControlTemplate* controls; // in tab order
    int32_t controlCount;
    const ControlInitData* initData;
    int32_t initDataCount;
};

// The template with that id, or null.
const DialogTemplate* FindDialogTemplate(int32_t id);

// The control with that id in a template, or null.
const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int32_t id);

// A string of the string table; empty for an id it does not hold.
const char* LoadResourceString(int32_t id);

// The SVG text of an icon resource, or null.
const char* LoadIconResource(int32_t id);
