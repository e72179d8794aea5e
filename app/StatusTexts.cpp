#include "app/StatusTexts.h"

#include "engine/GenerationRun.h"
#include "engine/TableFile.h"

#include <QLabel>

namespace tessivo {

// The status line is 1935 twips wide, 129 pixels: ten characters of the window's 9-point Song
// font. A text longer than that is shortened here and explained in full in the tooltip.
StatusText StatusTextFor(Status status, int bands, const QString& picture)
{
    switch (status) {
    case Status::TableImported: return {TableImportedStatusText(), {}};
    case Status::TableReadFailed:
        return {QStringLiteral("外部数据源读取失败！"), TableReadFailureText()};
    case Status::RunStarted: return {QStringLiteral("正在处理%1X 处理速度...").arg(bands), {}};
    case Status::RunDone: return {QStringLiteral("完成 OK!"), {}};
    case Status::PositionsTooLarge:
        return {QStringLiteral("画布过大，未能生成"),
                QStringLiteral("画布过大，取样位置将超出%1缇，未能生成")
                    .arg(GenerationRun::MaxPosition)};
    case Status::TextTooLong:
        return {QStringLiteral("字符表行过长，未生成"),
                QStringLiteral("字符表的行过长，生成的文字将超过%1个字符，未能生成")
                    .arg(GenerationRun::MaxTextLength)};
    case Status::WorkshopTableUsed:
        return {QStringLiteral("已使用工坊字符表"), QStringLiteral("已使用字符表工坊的字符表")};
    case Status::InkRunDone:
        return {QStringLiteral("完成 OK!（墨量）"),
                QStringLiteral("完成：按墨量选字（生成框右键菜单可改回按色调）")};
    case Status::ShapeRunDone:
        return {QStringLiteral("完成 OK!（字形）"),
                QStringLiteral("完成：按字形选字（生成框右键菜单可改回按色调）")};
    case Status::PictureIncomplete:
        return {
            QStringLiteral("图片不完整，未载入"),
            (picture.isEmpty() ? QStringLiteral("图片") : QStringLiteral("图片“%1”").arg(picture)) +
                QStringLiteral("不完整：文件在图片结束之前就结束了，或中途已损坏，未能载入")};
    }
    return {};
}

bool KeepsItsWording(Status status)
{
    switch (status) {
    case Status::TableImported:
    case Status::RunStarted:
    case Status::RunDone: return true;
    case Status::TableReadFailed:
    case Status::PositionsTooLarge:
    case Status::TextTooLong:
    case Status::WorkshopTableUsed:
    case Status::InkRunDone:
    case Status::ShapeRunDone:
    case Status::PictureIncomplete: return false;
    }
    return false;
}

void ShowStatus(QLabel& label, const StatusText& status)
{
    label.setText(status.text);
    label.setToolTip(status.toolTip);
}

} // namespace tessivo
