#pragma once

#include "engine/TextCells.h"
#include "export/ArtExport.h"

#include <QList>
#include <QRgb>
#include <QString>
#include <QStringList>

namespace tessivo {

// The result text cut at its line ends, for the writers. A text ending in CR LF has no empty
// last line.
struct ArtLine {
    qsizetype from = 0; // where the line starts in the text
    qsizetype length = 0;
};
QList<ArtLine> LinesOf(const QString& text);

// The colour a cell is drawn in: the recorded colour in plain RGB.
QRgb RgbOf(ColorValue colour);

// How a cell of a colour is drawn in a colour mode: its character's ink and, when filled, its
// background. plainInk is the ink of a character without colour (black on paper).
struct CellPaint {
    QRgb ink = 0;
    bool filled = false;
    QRgb back = 0;
};
CellPaint PaintOf(QRgb colour, ColourMode mode, QRgb plainInk);
// How character i of the art is painted: in its own two colours where the art has them (its row
// and colours chosen together), else as PaintOf says for its colour. i must have a colour.
CellPaint PaintAt(const ArtDocument& art, qsizetype i, ColourMode mode, QRgb plainInk);
// The colour the cell of character i is filled with in a mode that fills cells.
ColorValue FillAt(const ArtDocument& art, qsizetype i);

// The character at index (a whole surrogate pair) and the number of QChars it takes.
char32_t CodePointAt(const QString& text, qsizetype index, int* units);

// The writers, one per format (ExportArt picks one).
ExportResult WriteTxt(const ArtDocument& art, TextEncoding encoding);
ExportResult WriteHtml(const ArtDocument& art, const ExportOptions& options);
ExportResult WriteAnsi(const ArtDocument& art, const ExportOptions& options);
ExportResult WriteSvg(const ArtDocument& art, const ExportOptions& options);
ExportResult WritePng(const ArtDocument& art, const ExportOptions& options);

// Families as a CSS or SVG font-family value, each name in quotes but the generic family.
QString FontFamilyList(const QStringList& families, QChar quote);

} // namespace tessivo
