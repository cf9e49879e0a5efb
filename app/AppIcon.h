// The application icon from its SVG resource, drawn by a small renderer for
// the few SVG elements our icon uses (rect with rx, polyline, circle; fill,
// stroke, stroke-width, round caps and joins), so that no SVG module of Qt
// is needed. User-interface thread.
#pragma once

#include <QIcon>
#include <QPixmap>

#include <cstdint>

// The icon resource as a QIcon at the usual sizes; a null icon when the
// resource is missing.
QIcon LoadIcon(int32_t resourceId);

// The SVG drawn into a size x size pixmap with a transparent background.
// Elements and attributes it does not know are skipped.
QPixmap RenderSvgIcon(const char* svg, int size);
