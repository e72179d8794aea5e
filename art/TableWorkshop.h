#pragma once

#include "art/TableMeter.h"
#include "engine/GenerationRun.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace tessivo {

class FixedGenerationSettings;
class GenerationSettings;
class PixelSource;

// The character-table workshop without its window: rows typed one a line are measured in a font,
// sorted darkest first, their near-equal neighbours found, and the Canvas converted with the
// table they make, in a run of its own that changes neither the Canvas nor the window's tables.
class TableWorkshop {
public:
    // More rows than any useful table; typing past this keeps only the first ones.
    static constexpr qsizetype MaxRows = 4096;
    // Neighbours closer in ink than this (a fraction, 0.25 %) are marked, as tessivo-table names
    // them.
    static constexpr double DefaultCloseThreshold = 0.0025;
    // A preview stops once it has sampled this many cells: the finest run of the largest Canvas
    // has several million, which a preview box shows too slowly to be worth it.
    static constexpr qint64 MaxPreviewCells = 1'000'000;

    TableWorkshop();
    ~TableWorkshop();
    TableWorkshop(const TableWorkshop&) = delete;
    TableWorkshop& operator=(const TableWorkshop&) = delete;

    // The rows, one a line (LF, CR or CR LF). Lines of nothing but spaces are dropped (the space
    // row stands for them) and so are lines holding "###", which a table file skips as comments.
    void setText(QStringView text);
    void setFont(const QString& family, double pointSize);
    void setCloseThreshold(double threshold) { m_closeThreshold = threshold; }
    double closeThreshold() const { return m_closeThreshold; }

    const TableMeter& meter() const { return m_meter; }
    // The rows taken from the text, in the order typed.
    const QStringList& rows() const { return m_rows; }
    // Whether the text held more than MaxRows rows.
    bool rowsCut() const { return m_rowsCut; }
    // The rows and the space row, measured, darkest first; the space row is the last.
    const QList<RowTone>& sorted() const { return m_sorted; }
    // Neighbours of sorted() closer than the threshold.
    QList<ToneStep> closeTones() const;

    // The rows darkest first, as a table file holds them (no space row).
    QStringList table() const;
    // The loaded table a table file of table() gives on import: its rows and the space row.
    QStringList loadedTable() const;

    enum class PreviewStart {
        Started,
        NoRows,
        PositionsTooLarge, // as GenerationRun refuses
        TextTooLong,
    };
    enum class PreviewStep {
        Running,  // call again
        Finished, // previewText() holds the result
        TooLarge, // stopped after MaxPreviewCells cells
    };

    // Starts a run over the Canvas with settings as they are now, except that the active table
    // is the one loadedTable() gives at contrast. The settings are copied: a run reads them live,
    // and the preview should show what a run started now would give.
    PreviewStart startPreview(const PixelSource& canvas, const GenerationSettings& settings,
                              int contrast, int bandCount);
    // Runs ticks for about sliceNanoseconds (at least one).
    PreviewStep tickPreview(const PixelSource& canvas, qint64 sliceNanoseconds);
    bool previewRunning() const { return m_preview != nullptr; }
    void stopPreview();
    // The last finished preview's whole text (art and footer); empty before one finishes.
    const QString& previewText() const { return m_previewText; }
    double previewProgress() const;

private:
    void measure();

    TableMeter m_meter;
    QString m_text;
    QStringList m_rows;
    bool m_rowsCut = false;
    QList<RowTone> m_sorted;
    double m_closeThreshold = DefaultCloseThreshold;

    std::unique_ptr<FixedGenerationSettings> m_previewSettings;
    std::unique_ptr<GenerationRun> m_preview;
    qint64 m_previewCells = 0;
    QString m_previewText;
};

} // namespace tessivo
