// The resource numbers of the dialogs, controls, icon and strings, shared by
// the templates in res/ and the dialog code in app/.
#pragma once

#include <cstdint>

constexpr int32_t IDOK = 1;
constexpr int32_t IDCANCEL = 2;
// Static texts and group boxes that the code never addresses.
constexpr int32_t IDC_STATIC = -1;

constexpr int32_t IDD_ABOUTBOX = 100;
constexpr int32_t IDS_ABOUTBOX = 101;
constexpr int32_t IDD_TONEWRIGHT_DIALOG = 102;
constexpr int32_t IDR_MAINFRAME = 128;

constexpr int32_t IDC_PINK_NOISE = 3;
constexpr int32_t IDC_WHITE_NOISE = 4;
constexpr int32_t IDC_GENERATE_SWEEP = 1001;
constexpr int32_t IDC_GENERATE_SINE = 1002;
constexpr int32_t IDC_SECONDS = 1003;
constexpr int32_t IDC_SWEEP_START = 1004;
constexpr int32_t IDC_SWEEP_END = 1005;
constexpr int32_t IDC_FREQUENCY = 1006;
constexpr int32_t IDC_ATTENUATION = 1007;
constexpr int32_t IDC_NOTE_LIST = 1008;
constexpr int32_t IDC_SAMPLE_RATE = 1009;
constexpr int32_t IDC_DEVICE_OUTPUT = 1011;
constexpr int32_t IDC_ASIO_DEVICE = 1012;

// The About command; the low four bits are free, as for system commands.
constexpr uint32_t IDM_ABOUTBOX = 0x0010;
