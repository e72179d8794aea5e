#include "cli/TableTool.h"

#include "art/TableMeter.h"
#include "cli/ConvertOptions.h"
#include "cli/FileArguments.h"
#include "cli/TableOptions.h"
#include "engine/OutputFile.h"
#include "engine/TableFile.h"
#include "engine/TextCells.h"
#include "engine/Version.h"

#include <QFile>
#include <QFontInfo>
#include <QStringDecoder>

#include <algorithm>

namespace tessivo {

namespace {

TableToolOutput failure(const QString& message)
{
    TableToolOutput output;
    output.exitCode = 1;
    output.err = (QStringLiteral("tessivo-table: ") + message + QLatin1Char('\n')).toUtf8();
    return output;
}

QString percent(double tone)
{
    return QString::number(tone * 100, 'f', 2);
}

QString fontDescription(const TableMeter& meter)
{
    const QString asked = meter.family();
    const QString drawn = QFontInfo(meter.font()).family();
    QString text = asked;
    if (drawn != asked)
        text += QStringLiteral(" (drawn in %1)").arg(drawn);
    return text + QStringLiteral(" %1 pt").arg(meter.pointSize());
}

QString problemText(const EncodedTable& table)
{
    const QString row = QuotedForMessage(table.row);
    switch (table.problem) {
    case EncodedTable::Problem::None: break;
    case EncodedTable::Problem::Empty: return QStringLiteral("a row is empty");
    case EncodedTable::Problem::LineEnd:
        return QStringLiteral("the row \"%1\" holds a line end").arg(row);
    case EncodedTable::Problem::CommentMark:
        return QStringLiteral("the row \"%1\" holds ###, which marks a comment").arg(row);
    case EncodedTable::Problem::NotInGbk:
        return QStringLiteral("GBK cannot hold the row \"%1\" (--encoding utf-8 can)").arg(row);
    }
    return {};
}

} // namespace

QStringList ReadRowList(const QByteArray& bytes)
{
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF") || bytes.startsWith("\xFF\xFE") ||
        bytes.startsWith("\xFE\xFF")) {
        text = DecodeTableFileText(bytes);
    } else {
        QStringDecoder utf8(QStringConverter::Utf8);
        text = utf8.decode(bytes);
        if (utf8.hasError())
            text = DecodeTableFileText(bytes);
    }
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QStringList rows;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        if (!line.isEmpty() && !line.contains(QLatin1String("###")))
            rows.append(line);
    }
    return rows;
}

TableToolOutput RunTableTool(const TableOptions& options, const QDateTime& made)
{
    QStringList given = options.rows;
    if (!options.inputFile.isEmpty()) {
        const QString name = QuotedForMessage(options.inputFile);
        const ReachableFile reachable(options.inputFile);
        QFile file(reachable.path());
        if (!file.open(QIODevice::ReadOnly)) {
            const QString why = WhyUnopenable(options.inputFile);
            return failure(QStringLiteral("cannot open %1: %2")
                               .arg(name, why.isEmpty() ? file.errorString() : why));
        }
        const QByteArray bytes = file.read(MaxTableFileBytes + 1);
        if (file.error() != QFileDevice::NoError)
            return failure(QStringLiteral("error while reading %1").arg(name));
        if (bytes.size() > MaxTableFileBytes)
            return failure(
                QStringLiteral("%1 is larger than %2 bytes").arg(name).arg(MaxTableFileBytes));
        given += ReadRowList(bytes);
    }
    QStringList rows;
    for (const QString& row : given) {
        // Rows of spaces alone: the import appends the blank row, which stands for them.
        if (!IsBlankRow(row))
            rows.append(row);
    }
    // Refused rows are named before anything is measured.
    const EncodedTable check = EncodeTableFile({}, rows, options.encoding);
    if (check.problem != EncodedTable::Problem::None)
        return failure(problemText(check));

    const TableMeter meter(options.family, options.pointSize);
    TableToolOutput output;
    if (const QString& drawn = meter.artFont().fallbackFamily(); !drawn.isEmpty())
        output.err += QStringLiteral("tessivo-table: no font %1 is installed; measured in %2\n")
                          .arg(options.family, drawn)
                          .toUtf8();

    if (const qsizetype other = FirstRowOfOtherWidth(rows); other >= 0)
        output.err += QStringLiteral("tessivo-table: warning: the rows are not all %1 cells wide "
                                     "(\"%2\" takes %3), so the art's lines will not be either\n")
                          .arg(CommonRowCells(rows))
                          .arg(QuotedForMessage(rows[other]))
                          .arg(CellsOf(rows[other]))
                          .toUtf8();
    // The blank row the import appends is the lightest row of every table.
    QList<RowTone> measured = meter.measure(rows);
    const QString blank = BlankRowFor(rows);
    measured.append(RowTone{blank, meter.measure(blank), CellsOf(blank)});
    QList<RowTone> sorted = SortDarkestFirst(measured);
    const int written = int(sorted.size()) - 1;
    if (options.rowCount > 0 && options.rowCount < written) {
        // The kept rows copied once: removing the drops one by one moved the rest each time.
        const QList<int> drops = SuggestDrops(sorted, options.rowCount + 1);
        QList<RowTone> kept;
        kept.reserve(sorted.size() - drops.size());
        for (qsizetype i = 0, next = 0; i < sorted.size(); ++i) {
            if (next < drops.size() && drops[next] == i)
                ++next;
            else
                kept.append(sorted[i]);
        }
        sorted = std::move(kept);
    }

    // A list of many rows can have thousands of close pairs (rows of the same glyphs in other
    // cells have the same ink); the first are named and the rest counted.
    constexpr qsizetype MostPairsNamed = 20;
    const QList<ToneStep> close = CloseTones(sorted, options.minStep / 100);
    for (const ToneStep& step : close.first(std::min(close.size(), MostPairsNamed))) {
        output.err += QStringLiteral("tessivo-table: \"%1\" and \"%2\" differ by %3%\n")
                          .arg(QuotedForMessage(sorted[step.first].row),
                               QuotedForMessage(sorted[step.second].row), percent(step.difference))
                          .toUtf8();
    }
    if (const qsizetype more = close.size() - MostPairsNamed; more > 0)
        output.err += QStringLiteral("tessivo-table: and %1 more %2 closer than %3%\n")
                          .arg(more)
                          .arg(more == 1 ? QStringLiteral("pair") : QStringLiteral("pairs"))
                          .arg(options.minStep)
                          .toUtf8();
    const QList<ToneStep> gaps = LargestGaps(sorted, 1);
    if (!gaps.isEmpty() && sorted.size() > 2) {
        const ToneStep& gap = gaps.first();
        output.err += QStringLiteral("tessivo-table: the largest gap is %1% between \"%2\" and "
                                     "\"%3\"\n")
                          .arg(percent(gap.difference), QuotedForMessage(sorted[gap.first].row),
                               QuotedForMessage(sorted[gap.second].row))
                          .toUtf8();
    }
    sorted.removeLast();

    QStringList table;
    for (const RowTone& row : sorted)
        table.append(row.row);
    if (options.tones) {
        QString text;
        for (const RowTone& row : sorted)
            text += percent(row.tone).rightJustified(6) + QLatin1Char('\t') + row.row +
                    QLatin1Char('\n');
        output.out = text.toUtf8();
        return output;
    }

    const QStringList comments = {
        QStringLiteral("Tessivo character table, darkest row first"),
        QStringLiteral("font: %1").arg(fontDescription(meter)),
        QStringLiteral("made %1 by tessivo-table " TESSIVO_VERSION
                       " from the ink of each row, %2 of %3 rows kept")
            .arg(made.toString(Qt::ISODate))
            .arg(table.size())
            .arg(rows.size()),
    };
    const EncodedTable encoded = EncodeTableFile(comments, table, options.encoding);
    if (options.outputFile.isEmpty()) {
        output.out = encoded.bytes;
        return output;
    }
    OutputFile file(EncodeFileName(options.outputFile));
    if (!file.open({false, OutputFile::Sync::WhenReplacing}) || !file.write(encoded.bytes) ||
        !file.commit())
        return failure(QStringLiteral("cannot write %1: %2")
                           .arg(QuotedForMessage(options.outputFile), file.errorString()));
    return output;
}

} // namespace tessivo
