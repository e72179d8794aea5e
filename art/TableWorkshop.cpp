#include "art/TableWorkshop.h"

#include "engine/CharTable.h"
#include "engine/GenerationSettings.h"
#include "engine/TextCells.h"

#include <QElapsedTimer>

#include <algorithm>

namespace tessivo {

TableWorkshop::TableWorkshop()
{
    measure();
}

TableWorkshop::~TableWorkshop() = default;

void TableWorkshop::setText(QStringView text)
{
    QString normal = text.toString();
    normal.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normal.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    // A paragraph or line separator, as pasted from some editors, ends a line too.
    normal.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    normal.replace(QChar::LineSeparator, QLatin1Char('\n'));

    m_rows.clear();
    m_rowsCut = false;
    for (const QString& line : normal.split(QLatin1Char('\n'))) {
        if (line.isEmpty() || IsBlankRow(line) || line.contains(QLatin1String("###")))
            continue;
        if (m_rows.size() == MaxRows) {
            m_rowsCut = true;
            break;
        }
        m_rows.append(line);
    }
    measure();
}

void TableWorkshop::setFont(const QString& family, double pointSize)
{
    if (family == m_meter.family() && pointSize == m_meter.pointSize())
        return;
    m_meter = TableMeter(family, pointSize);
    measure();
}

void TableWorkshop::measure()
{
    QList<RowTone> measured = m_meter.measure(m_rows);
    // The import appends the blank row; it is the lightest row of every table.
    const QString blank = BlankRowFor(m_rows);
    measured.append(RowTone{blank, m_meter.measure(blank), CellsOf(blank)});
    m_sorted = SortDarkestFirst(std::move(measured));
}

QList<ToneStep> TableWorkshop::closeTones() const
{
    return CloseTones(m_sorted, m_closeThreshold);
}

QStringList TableWorkshop::table() const
{
    QStringList rows;
    for (const RowTone& row : m_sorted)
        rows.append(row.row);
    // Sorting is stable and the space row came last, so it stays after any row as light.
    rows.removeLast();
    return rows;
}

QStringList TableWorkshop::loadedTable() const
{
    return table() << BlankRowFor(m_rows);
}

TableWorkshop::PreviewStart TableWorkshop::startPreview(const PixelSource& canvas,
                                                        const GenerationSettings& settings,
                                                        int contrast, int bandCount)
{
    stopPreview();
    m_previewText.clear();
    if (m_rows.isEmpty())
        return PreviewStart::NoRows;
    auto previewSettings = std::make_unique<FixedGenerationSettings>(
        settings, RebuildActiveTable(loadedTable(), contrast));
    auto run = std::make_unique<GenerationRun>();
    run->setBandCount(bandCount);
    switch (run->start(canvas, *previewSettings)) {
    case GenerationRun::StartResult::Started: break;
    case GenerationRun::StartResult::PositionsTooLarge: return PreviewStart::PositionsTooLarge;
    case GenerationRun::StartResult::TextTooLong: return PreviewStart::TextTooLong;
    }
    m_previewSettings = std::move(previewSettings);
    m_preview = std::move(run);
    m_previewCells = 0;
    return PreviewStart::Started;
}

TableWorkshop::PreviewStep TableWorkshop::tickPreview(const PixelSource& canvas,
                                                      qint64 sliceNanoseconds)
{
    if (!m_preview)
        return PreviewStep::Finished;
    QElapsedTimer slice;
    slice.start();
    do {
        if (m_preview->tick(canvas, *m_previewSettings) == GenerationRun::TickOutcome::Finished) {
            m_previewText = m_preview->resultText();
            stopPreview();
            return PreviewStep::Finished;
        }
        m_previewCells += m_preview->bandCount();
        if (m_previewCells > MaxPreviewCells) {
            stopPreview();
            return PreviewStep::TooLarge;
        }
    } while (slice.nsecsElapsed() < sliceNanoseconds);
    return PreviewStep::Running;
}

void TableWorkshop::stopPreview()
{
    m_preview.reset();
    m_previewSettings.reset();
}

double TableWorkshop::previewProgress() const
{
    return m_preview ? std::clamp(m_preview->progress(), 0.0, 1.0) : 0.0;
}

} // namespace tessivo
