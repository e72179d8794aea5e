#pragma once

#include <QString>

#include <array>

class QLabel;

namespace tessivo {

// What the status line (Label1) shows: a text short enough for the line, and, where that text
// leaves something out, the whole explanation as the line's tooltip.
struct StatusText {
    QString text;
    QString toolTip; // empty: no tooltip
};

// Everything the program reports in the status line.
enum class Status {
    TableImported,     // the start-up import read the table file
    TableReadFailed,   // the user agreed to the import, but the file could not be read
    RunStarted,        // "生成" started a run
    RunDone,           // the run finished
    PositionsTooLarge, // "生成" refused: a sampling position would not fit
    TextTooLong,       // "生成" refused: the text could grow too long for the table's rows
    WorkshopTableUsed, // "立即使用" in the table workshop loaded its table
    InkRunDone,        // "生成" finished in the ink mode
    ShapeRunDone,      // "生成" finished in the shape mode
    PictureIncomplete, // a picture opened was refused, read only in part
};

inline constexpr std::array AllStatuses = {Status::TableImported,     Status::TableReadFailed,
                                           Status::RunStarted,        Status::RunDone,
                                           Status::PositionsTooLarge, Status::TextTooLong,
                                           Status::WorkshopTableUsed, Status::InkRunDone,
                                           Status::ShapeRunDone,      Status::PictureIncomplete};

// The status line's text for status. bands is the run's band count, which only RunStarted shows;
// picture the file name of the picture that PictureIncomplete names.
StatusText StatusTextFor(Status status, int bands = 0, const QString& picture = {});

// The texts the program has always shown word for word. They stay so even where the status line
// is too narrow for them.
bool KeepsItsWording(Status status);

// Puts status in the status line: its text, and its tooltip, or none, replacing the last one.
void ShowStatus(QLabel& label, const StatusText& status);

} // namespace tessivo
