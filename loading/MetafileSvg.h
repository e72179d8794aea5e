#pragma once

// The drawing both metafile decoders share. Their libraries turn a metafile into SVG, and
// QSvgRenderer draws that, so both kinds are drawn by one renderer with antialiasing and
// transparency, and their text with the fonts Qt finds.

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QSize>

#include <optional>

namespace tessivo {

// A metafile's natural size is reckoned at this resolution.
constexpr double MetafilePixelsPerInch = 96.0;

// Qt has fonts only in a GUI application; in a program without one, text is left out.
bool MetafileFontsAvailable();

// Draws an SVG document at size pixels: the whole document, or only its viewBox part (in the
// document's units). Transparent where the document draws nothing; null when it is unreadable.
QImage RenderMetafileSvg(const QByteArray& svg, QSize size, std::optional<QRectF> viewBox = {});

} // namespace tessivo
