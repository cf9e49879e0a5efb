// A PNG of a measured curve against frequency: the spectrum of a captured
// tone or noise, or a sweep's response, with the limits of its checks drawn
// as lines. Drawn by Qt into an image, offscreen: no display is needed.
#pragma once

#include <string>
#include <vector>

struct PlotLine {
    double y;          // dB
    std::string label; // shown at its right end
};

struct Plot {
    std::string title;
    std::string yLabel;
    std::vector<double> hertz; // ascending, above 0
    std::vector<double> db;
    std::vector<PlotLine> limits;
};

// False, with the reason in error, when the file cannot be written.
bool WritePlot(const std::string& path, const Plot& plot, std::string& error);
