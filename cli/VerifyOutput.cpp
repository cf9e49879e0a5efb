#include "cli/VerifyOutput.h"

#include <cmath>

namespace {

// A JSON string: quotes, backslashes and control characters escaped.
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// JSON has no infinities or NaN: such a value is null.
std::string Number(double value)
{
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.10g", value);
    return text;
}

// A value as precise as its unit makes sense: levels to a hundredth of a
// dB, frequencies to a thousandth of a hertz, counts whole.
std::string ValueText(const Check& check)
{
    const std::string& unit = check.unit;
    const char* format = "%.4g";
    if (unit.rfind("dB", 0) == 0)
        format = "%.2f";
    else if (unit == "Hz" || unit == "ms")
        format = "%.3f";
    else if (unit == "FS")
        format = "%.1e";
    else if (check.value == std::floor(check.value))
        format = "%.0f";
    char text[32];
    std::snprintf(text, sizeof text, format, check.value);
    return text;
}

} // namespace

void PrintVerifyTable(std::FILE* out, const VerifyHeading& heading, const VerifyReport& report)
{
    std::fprintf(out, "Verified %s on %s (%s, %.0f Hz), input pair %d, seed %u\n",
                 heading.signal.c_str(), heading.driver.c_str(), heading.sampleType.c_str(),
                 heading.rate, heading.inputPair, heading.seed);
    std::fprintf(out, "  %-26s %14s  %-10s %-20s %s\n", "check", "value", "unit", "limit", "");
    for (const Check& check : report.checks)
        std::fprintf(out, "  %-26s %14s  %-10s %-20s %s\n", check.name.c_str(),
                     ValueText(check).c_str(), check.unit.c_str(), check.limit.c_str(),
                     check.limit.empty() ? ""
                     : check.pass        ? "pass"
                                         : "FAIL");
    if (!report.tone.harmonicsDb.empty()) {
        std::fprintf(out, "  harmonics (dB against the fundamental):");
        for (size_t h = 0; h < report.tone.harmonicsDb.size(); ++h)
            std::fprintf(out, " %zu: %.1f", h + 2, report.tone.harmonicsDb[h]);
        std::fprintf(out, "\n");
    }
    std::fprintf(out, "%s\n", report.passed ? "PASS" : "FAIL");
}

void PrintVerifyJson(std::FILE* out, const VerifyHeading& heading, const VerifyReport& report)
{
    std::string json =
        "{\"signal\": " + Quoted(heading.signal) + ", \"driver\": " + Quoted(heading.driver) +
        ", \"sampleType\": " + Quoted(heading.sampleType) + ", \"rate\": " + Number(heading.rate) +
        ", \"inputPair\": " + std::to_string(heading.inputPair) +
        ", \"seed\": " + std::to_string(heading.seed) +
        ", \"passed\": " + (report.passed ? "true" : "false") +
        ", \"latencyFrames\": " + std::to_string(report.latencyFrames) +
        ", \"latencyMs\": " + Number(report.latencyMs) +
        ", \"bitExact\": " + (report.bitExact ? "true" : "false") + ", \"checks\": [";
    for (size_t i = 0; i < report.checks.size(); ++i) {
        const Check& check = report.checks[i];
        json += (i ? ", " : "") + std::string("{\"name\": ") + Quoted(check.name) +
                ", \"value\": " + Number(check.value) + ", \"unit\": " + Quoted(check.unit) +
                ", \"limit\": " + (check.limit.empty() ? "null" : Quoted(check.limit)) +
                ", \"pass\": " + (check.pass ? "true" : "false") + "}";
    }
    json += "], \"harmonicsDb\": [";
    for (size_t h = 0; h < report.tone.harmonicsDb.size(); ++h)
        json += (h ? ", " : "") + Number(report.tone.harmonicsDb[h]);
    json += "], \"response\": [";
    for (size_t i = 0; i < report.sweep.response.size(); ++i)
        json += (i ? ", " : "") + std::string("{\"hz\": ") +
                Number(report.sweep.response[i].frequency) +
                ", \"db\": " + Number(report.sweep.response[i].gainDb) + "}";
    std::fprintf(out, "%s]}\n", json.c_str());
}
