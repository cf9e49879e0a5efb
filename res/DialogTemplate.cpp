#include "res/DialogTemplate.h"

#include "res/AppIconData.h"
#include "res/Resource.h"

#include <iterator>

namespace {

constexpr uint32_t kButton = kStyleTabStop;
constexpr uint32_t kEdit = kStyleTabStop | kStyleBorder | kStyleAutoHScroll;

const ControlTemplate kMainControls[] = {
    {IDC_GENERATE_SINE, ControlKind::PushButton, kButton | kStyleDefault, "Generate sine wave", 42,
     149, 74, 14},
    {IDC_PINK_NOISE, ControlKind::PushButton, kButton, "Pink noise", 177, 77, 54, 14},
    {IDC_GENERATE_SWEEP, ControlKind::PushButton, kButton, "Generate sweep wave", 175, 149, 112,
     14},
    {IDCANCEL, ControlKind::PushButton, kButton, "Exit", 348, 149, 74, 14},
    {IDC_SECONDS, ControlKind::Edit, kEdit, "", 169, 48, 24, 12},
    {IDC_STATIC, ControlKind::Static, 0, "Duration: seconds", 168, 23, 30, 20},
    {IDC_SWEEP_START, ControlKind::Edit, kEdit, "", 175, 133, 51, 12},
    {IDC_SWEEP_END, ControlKind::Edit, kEdit, "", 235, 133, 51, 12},
    {IDC_STATIC, ControlKind::Static, kStyleCentre, "Start --     FREQUENCY     -- End", 178, 123,
     106, 9},
    {IDC_STATIC, ControlKind::Static, 0, "Frequency", 61, 123, 42, 9},
    {IDC_FREQUENCY, ControlKind::Edit, kEdit, "", 42, 133, 74, 12},
    {IDC_ATTENUATION, ControlKind::Edit, kEdit, "", 272, 48, 23, 12},
    {IDC_STATIC, ControlKind::Static, 0, "Attenuation        dBs", 262, 23, 38, 20},
    {IDC_NOTE_LIST, ControlKind::ListBox, kStyleTabStop | kStyleBorder | kStyleVScroll, "", 33, 44,
     92, 74},
    {IDC_STATIC, ControlKind::Static, 0, "Select musical note", 48, 31, 66, 9},
    {IDC_SAMPLE_RATE, ControlKind::SimpleCombo, kStyleTabStop, "", 212, 21, 40, 40},
    {IDC_STATIC, ControlKind::GroupBox, kStyleCentre, "Sine wave generator", 12, 11, 138, 157},
    {IDC_STATIC, ControlKind::GroupBox, kStyleCentre, "Sweep generator", 164, 104, 137, 64},
    {IDC_DEVICE_OUTPUT, ControlKind::DropDownCombo, kStyleTabStop | kStyleVScroll, "", 325, 78, 118,
     152},
    {IDC_STATIC, ControlKind::Static, 0, "Select device output", 350, 67, 75, 9},
    {IDC_ASIO_DEVICE, ControlKind::DropDownCombo, kStyleTabStop | kStyleVScroll, "", 325, 21, 118,
     57},
    {IDC_STATIC, ControlKind::GroupBox, kStyleCentre, "Sample rate", 164, 11, 137, 57},
    {IDC_STATIC, ControlKind::GroupBox, kStyleCentre, "Select ASIO device", 315, 11, 138, 157},
    {IDC_WHITE_NOISE, ControlKind::PushButton, kButton, "White noise", 235, 77, 54, 14},
};

const char* const kSampleRateItems[] = {"96000", "48000", "44100"};

const ControlInitData kMainInitData[] = {
    {IDC_SAMPLE_RATE, kSampleRateItems, static_cast<int32_t>(std::size(kSampleRateItems))},
};

const ControlTemplate kAboutControls[] = {
    {IDC_STATIC, ControlKind::Icon, 0, "", 14, 14, 21, 20},
    {IDC_STATIC, ControlKind::Static, 0, "Tonewright, Version 2.31", 42, 14, 140, 8},
    {IDC_STATIC, ControlKind::Static, 0, "Sine tones, sweeps and noise for ASIO sound cards", 42,
     26, 140, 8},
    {IDOK, ControlKind::PushButton, kButton | kStyleDefault, "OK", 132, 41, 50, 14},
};

const DialogTemplate kDialogs[] = {
    {IDD_TONEWRIGHT_DIALOG, "Tonewright", "Arial", "Liberation Sans", 8, 464, 177, true, true,
     kMainControls, static_cast<int32_t>(std::size(kMainControls)), kMainInitData,
     static_cast<int32_t>(std::size(kMainInitData))},
    {IDD_ABOUTBOX, "About Tonewright", "Arial", "Liberation Sans", 8, 196, 62, true, true,
     kAboutControls, static_cast<int32_t>(std::size(kAboutControls)), nullptr, 0},
};

struct StringResource {
    int32_t id;
    const char* text;
};

const StringResource kStrings[] = {
    {IDS_ABOUTBOX, "&About Tonewright..."},
};

} // namespace

const DialogTemplate* FindDialogTemplate(int32_t id)
{
    for (const DialogTemplate& dialog : kDialogs)
        if (dialog.id == id) return &dialog;
    return nullptr;
}

const ControlTemplate* FindControlTemplate(const DialogTemplate& dialog, int32_t id)
{
    for (int32_t i = 0; i < dialog.controlCount; ++i)
        if (dialog.controls[i].id == id) return &dialog.controls[i];
    return nullptr;
}

const char* LoadResourceString(int32_t id)
{
    for (const StringResource& entry : kStrings)
        if (entry.id == id) return entry.text;
    return "";
}

const char* LoadIconResource(int32_t id)
{
    return id == IDR_MAINFRAME ? kAppIconSvg : nullptr;
}
