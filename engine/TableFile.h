#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

namespace tessivo {

class CharTables;

// The custom character table file looked for at start-up.
inline constexpr char TableFileName[] = "zif.zfh";

// A table file larger than this is refused whole; real tables are a few hundred bytes.
inline constexpr qint64 MaxTableFileBytes = 4 * 1024 * 1024;

// Rows of a table file's bytes: GBK text, or UTF-8 or UTF-16 (either byte order) when the file
// starts with that encoding's byte-order mark; lines ending at CR or CR LF (a lone LF is an
// ordinary character), lines containing "###" skipped as comments, then one space row.
QStringList ParseTableFile(const QByteArray& bytes);

// The text of a table file's bytes: decoded as its byte-order mark says (the mark dropped), or
// as GBK without one.
QString DecodeTableFileText(const QByteArray& bytes);

enum class TableEncoding {
    Gbk,  // what every version of the program reads
    Utf8, // written with a byte-order mark, which tells the reader the encoding
};

// A table file that the import reads back as rows (and its space row): each comment line
// prefixed with "###", then the rows; every line ends in CR LF.
struct EncodedTable {
    enum class Problem {
        None,
        Empty,       // a row without a character would be a blank line of art
        LineEnd,     // a row holding CR or LF would be split or joined by the import
        CommentMark, // a row holding "###" would be skipped by the import
        NotInGbk,    // GBK has no code for a character of the row
    };
    QByteArray bytes; // empty unless problem is None
    Problem problem = Problem::None;
    QString row; // the first row with a problem
};

// Comment lines lose their line ends; in GBK, characters it has no code for become '?'.
EncodedTable EncodeTableFile(const QStringList& comments, const QStringList& rows,
                             TableEncoding encoding);

struct TableFileResult {
    enum class Status {
        Read,       // rows holds the table, space row included
        CannotOpen, // missing, not a regular file, or not readable
        ReadError,  // opened, but reading stopped with an error
        TooLarge,   // larger than MaxTableFileBytes
    };
    Status status = Status::CannotOpen;
    QStringList rows;
};

TableFileResult ReadTableFile(const QString& path);

// The path of a table file in a folder: a regular, readable file named exactly zif.zfh, or an
// empty string. A file that cannot be opened counts as no file.
QString FindTableFile(const QString& folder);
// The first table file found in folders, looked at in order; empty entries are passed over.
QString FindTableFile(const QStringList& folders);

// What the start-up import did.
enum class ImportOutcome {
    NoFile,   // nothing was asked, nothing changed
    Declined, // the user said no; nothing changed
    Imported, // the loaded table holds the file's rows
    Failed,   // the user agreed but the file could not be read; the loaded table is unchanged
};

// Looks for the table file in folders, in order, asks whether to import the first one found,
// and replaces the loaded table with its rows on agreement. askToImport is only called when a
// file is there.
ImportOutcome LoadCustomTable(CharTables& tables, const QStringList& folders,
                              const std::function<bool()>& askToImport);
// The same with one folder.
ImportOutcome LoadCustomTable(CharTables& tables, const QString& folder,
                              const std::function<bool()>& askToImport);

// What an import that did not succeed means for the user. The status line shows it shortened,
// with this text as its tooltip.
QString TableReadFailureText();
// The status line after a successful import, and what is added to the window title.
QString TableImportedStatusText();
QString TableImportedTitleSuffix();

} // namespace tessivo
