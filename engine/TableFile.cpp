#include "engine/TableFile.h"

#include "engine/CharTable.h"
#include "engine/Gbk.h"
#include "engine/TextCells.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <optional>

namespace tessivo {

namespace {

std::optional<QStringConverter::Encoding> encodingOfMark(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QStringConverter::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return QStringConverter::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return QStringConverter::Utf16BE;
    return std::nullopt;
}

} // namespace

QString DecodeTableFileText(const QByteArray& bytes)
{
    if (const auto encoding = encodingOfMark(bytes)) {
        // The decoder drops the byte-order mark itself.
        QStringDecoder decoder(*encoding);
        return decoder.decode(bytes);
    }
    return DecodeGbk(bytes);
}

QStringList ParseTableFile(const QByteArray& bytes)
{
    // CR never occurs inside a GBK double-byte character (trail bytes are 0x40..0xFE), and a
    // UTF-16 file is split by characters rather than bytes, so the whole text is decoded first
    // and split afterwards.
    const QString text = DecodeTableFileText(bytes);

    QStringList rows;
    qsizetype from = 0;
    while (from < text.size()) {
        qsizetype end = text.indexOf(QLatin1Char('\r'), from);
        qsizetype next;
        if (end < 0) {
            end = text.size();
            next = end;
        } else {
            next = end + 1;
            if (next < text.size() && text.at(next) == QLatin1Char('\n'))
                ++next;
        }
        const QStringView line = QStringView(text).mid(from, end - from);
        if (!line.contains(QLatin1String("###")))
            rows.append(line.toString());
        from = next;
    }
    rows.append(BlankRowFor(rows));
    return rows;
}

EncodedTable EncodeTableFile(const QStringList& comments, const QStringList& rows,
                             TableEncoding encoding)
{
    EncodedTable result;
    const auto refuse = [&](EncodedTable::Problem problem, const QString& row) {
        result.problem = problem;
        result.row = row;
        return result;
    };
    QString text;
    for (QString comment : comments) {
        comment.replace(QLatin1Char('\r'), QLatin1Char(' '));
        comment.replace(QLatin1Char('\n'), QLatin1Char(' '));
        text += QLatin1String("###") + comment + QLatin1String("\r\n");
    }
    for (const QString& row : rows) {
        if (row.isEmpty())
            return refuse(EncodedTable::Problem::Empty, row);
        if (row.contains(QLatin1Char('\r')) || row.contains(QLatin1Char('\n')))
            return refuse(EncodedTable::Problem::LineEnd, row);
        if (row.contains(QLatin1String("###")))
            return refuse(EncodedTable::Problem::CommentMark, row);
        if (encoding == TableEncoding::Gbk && !GbkHolds(row))
            return refuse(EncodedTable::Problem::NotInGbk, row);
        text += row + QLatin1String("\r\n");
    }
    switch (encoding) {
    case TableEncoding::Gbk: result.bytes = EncodeGbk(text); break;
    case TableEncoding::Utf8: result.bytes = QByteArray("\xEF\xBB\xBF") + text.toUtf8(); break;
    }
    return result;
}

TableFileResult ReadTableFile(const QString& path)
{
    TableFileResult result;
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) {
        result.status = TableFileResult::Status::CannotOpen;
        return result;
    }
    if (file.size() > MaxTableFileBytes) {
        result.status = TableFileResult::Status::TooLarge;
        return result;
    }
    // Read one byte past the limit, so that a file growing after the size check is caught too.
    const QByteArray bytes = file.read(MaxTableFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.status = TableFileResult::Status::ReadError;
        return result;
    }
    if (bytes.size() > MaxTableFileBytes) {
        result.status = TableFileResult::Status::TooLarge;
        return result;
    }
    result.status = TableFileResult::Status::Read;
    result.rows = ParseTableFile(bytes);
    return result;
}

QString FindTableFile(const QString& folder)
{
    const QFileInfo info(QDir(folder), QString::fromLatin1(TableFileName));
    if (info.isFile() && info.isReadable())
        return info.absoluteFilePath();
    return {};
}

QString FindTableFile(const QStringList& folders)
{
    for (const QString& folder : folders) {
        // An empty path would mean the working folder to QDir.
        if (folder.isEmpty())
            continue;
        QString path = FindTableFile(folder);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

ImportOutcome LoadCustomTable(CharTables& tables, const QStringList& folders,
                              const std::function<bool()>& askToImport)
{
    const QString path = FindTableFile(folders);
    if (path.isEmpty())
        return ImportOutcome::NoFile;
    if (!askToImport())
        return ImportOutcome::Declined;
    TableFileResult read = ReadTableFile(path);
    switch (read.status) {
    case TableFileResult::Status::Read: tables.setLoaded(read.rows); return ImportOutcome::Imported;
    case TableFileResult::Status::CannotOpen:
        // Gone or locked between the look and the read: as if there had been no file.
        return ImportOutcome::NoFile;
    case TableFileResult::Status::ReadError:
    case TableFileResult::Status::TooLarge: break;
    }
    return ImportOutcome::Failed;
}

ImportOutcome LoadCustomTable(CharTables& tables, const QString& folder,
                              const std::function<bool()>& askToImport)
{
    return LoadCustomTable(tables, QStringList{folder}, askToImport);
}

QString TableReadFailureText()
{
    return QStringLiteral("外部数据源读取失败，仍使用内置字符表！");
}

QString TableImportedStatusText()
{
    return QStringLiteral("成功获取外部数据源！");
}

QString TableImportedTitleSuffix()
{
    return QStringLiteral("-- 以成功获取外部数据源");
}

} // namespace tessivo
