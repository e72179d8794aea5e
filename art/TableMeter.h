#pragma once

#include "art/ArtFont.h"
#include "engine/TextCells.h"

#include <QFont>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace tessivo {

// A table row with the ink it puts on the result.
struct RowTone {
    QString row;
    double tone = 0; // mean darkness over the row's cells: 0 white paper, 1 solid black
    int cells = 0;
};

// Measures rows of a character table as the art draws them (ArtFont): each character from its
// cell's left edge, in the font at the size, on the font's grid. Fonts need a QGuiApplication;
// RegisterFontSubstitutes() makes the program's Song-style families available.
class TableMeter {
public:
    explicit TableMeter(const QString& family = QStringLiteral("新宋体"), double pointSize = 9);

    // The family asked for and the size, as a table file's comment names them.
    const QString& family() const { return m_family; }
    double pointSize() const { return m_art.pointSize(); }
    // The font for showing the rows in a window: the families the art is drawn in, at the size.
    const QFont& font() const { return m_font; }
    const ArtFont& artFont() const { return m_art; }

    // Black on white, the row's cells as the art draws them.
    QImage render(QStringView row) const;
    // 0 for a row without characters.
    double measure(QStringView row) const;
    QList<RowTone> measure(const QStringList& rows) const;

private:
    QString m_family;
    ArtFont m_art;
    QFont m_font;
};

// Darkest first; rows of equal tone keep their order.
QList<RowTone> SortDarkestFirst(QList<RowTone> rows);

// Two neighbours of a sorted table, by their positions in it (second == first + 1).
struct ToneStep {
    int first = 0;
    int second = 0;
    double difference = 0;
    friend bool operator==(const ToneStep&, const ToneStep&) = default;
};

// Neighbours whose tones differ by less than threshold: they would shade neighbouring tones of
// a picture alike and give flat areas. In table order.
QList<ToneStep> CloseTones(const QList<RowTone>& sorted, double threshold);
// The count largest steps between neighbours, largest first (the earlier one on a tie).
QList<ToneStep> LargestGaps(const QList<RowTone>& sorted, int count);
// Positions in sorted of the rows to drop so that keep rows remain whose tones lie as evenly as
// possible between the darkest and the lightest row, which both stay: the sum of the squared
// steps between kept neighbours is least (but for rounding). Of rows of equal tone the earlier
// stay. Ascending; empty when keep is not smaller than the table; keep 1 keeps the darkest row
// alone. Takes about n log n steps for each of at most a hundred rounds and memory in
// proportion to n, the table's size.
QList<int> SuggestDrops(const QList<RowTone>& sorted, int keep);

} // namespace tessivo
