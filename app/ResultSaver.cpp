#include "app/ResultSaver.h"

#include "app/ResultBox.h"
#include "art/ArtFont.h"
#include "engine/OutputFile.h"
#include "widgets/UserSettings.h"

#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

#include <cerrno>
#include <optional>

namespace tessivo {

namespace {

const QString FolderKey = QStringLiteral("export/lastFolder");
const QString TypeKey = QStringLiteral("export/lastType");

struct TypeRow {
    ResultSaver::SaveType type;
    const char* filter;
    ExportFormat format;
    TextEncoding encoding;
    bool colour;
    bool fromBox; // what the box shows; else the last run's result
};

const TypeRow Types[] = {
    {ResultSaver::SaveType::TextUtf8, "文本 UTF-8 (*.txt)", ExportFormat::Txt, TextEncoding::Utf8,
     false, true},
    {ResultSaver::SaveType::TextGbk, "文本 GBK (*.txt)", ExportFormat::Txt, TextEncoding::Gbk,
     false, true},
    {ResultSaver::SaveType::Page, "网页 (*.html)", ExportFormat::Html, TextEncoding::Utf8, false,
     true},
    {ResultSaver::SaveType::ColourPage, "彩色网页 (*.html)", ExportFormat::Html, TextEncoding::Utf8,
     true, false},
    {ResultSaver::SaveType::Svg, "SVG 图像 (*.svg)", ExportFormat::Svg, TextEncoding::Utf8, false,
     false},
    {ResultSaver::SaveType::Png, "PNG 图像 (*.png)", ExportFormat::Png, TextEncoding::Utf8, false,
     false},
};

const TypeRow& rowOf(ResultSaver::SaveType type)
{
    return Types[int(type)];
}

QString tooLargeText(QSize size)
{
    return QStringLiteral("结果画成图片将有 %1 × %2 像素，超出了图片能有的大小。")
        .arg(size.width())
        .arg(size.height());
}

// The type a file name's extension stands for, where it is one of the types' extensions: the
// chosen type where that has the extension too (both texts, both pages), else the first with it.
std::optional<ResultSaver::SaveType> typeOfName(const QString& path, ResultSaver::SaveType chosen)
{
    QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("htm"))
        suffix = QStringLiteral("html");
    if (FormatExtension(rowOf(chosen).format) == suffix)
        return chosen;
    for (const TypeRow& row : Types) {
        if (FormatExtension(row.format) == suffix)
            return row.type;
    }
    return std::nullopt;
}

// A type's name as its filter shows it, without the pattern: "PNG 图像".
QString typeName(ResultSaver::SaveType type)
{
    const QString filter = QString::fromUtf8(rowOf(type).filter);
    return filter.left(filter.lastIndexOf(QLatin1String(" (")));
}

const QString NoMemoryText = QStringLiteral("内存不足，画不出结果。");

// The system's reasons a save meets, in the window's language whatever the system's.
QString reasonFor(const OutputFile& file)
{
    switch (file.problem()) {
    case OutputFile::Problem::None: break;
    case OutputFile::Problem::Exists: return QStringLiteral("文件已存在");
    case OutputFile::Problem::ReadOnly: return QStringLiteral("文件是只读的");
    case OutputFile::Problem::NoReader: return QStringLiteral("没有程序在读取这个管道");
    case OutputFile::Problem::Stalled:
        return QStringLiteral("对方%1秒没有接收数据").arg(OutputFile::StalledMilliseconds / 1000);
    case OutputFile::Problem::System: break;
    }
    switch (file.systemError()) {
    case ENOSPC: return QStringLiteral("磁盘空间不足");
    case EDQUOT: return QStringLiteral("超出了磁盘配额");
    case EFBIG: return QStringLiteral("文件超出了允许的大小");
    case EACCES:
    case EPERM: return QStringLiteral("没有写入这个文件夹的权限");
    case EROFS: return QStringLiteral("文件系统是只读的");
    case ENOENT: return QStringLiteral("文件夹不存在");
    case ENOTDIR: return QStringLiteral("路径中有一项不是文件夹");
    case EISDIR: return QStringLiteral("这是一个文件夹");
    case ENAMETOOLONG: return QStringLiteral("文件名太长");
    case ELOOP: return QStringLiteral("符号链接层数过多");
    case EIO: return QStringLiteral("读写设备出错");
    default: break;
    }
    return QStringLiteral("系统错误 %1（%2）").arg(file.systemError()).arg(file.errorString());
}

} // namespace

QString WriteWholeFile(const QString& path, const QByteArray& bytes)
{
    OutputFile file(QFile::encodeName(path));
    OutputFile::Options options;
    options.neverWait = true;
    if (file.open(options) && file.write(bytes) && file.commit())
        return {};
    return reasonFor(file);
}

ResultSaver::ResultSaver(RunRecord& record, QObject* parent)
    : QObject(parent)
    , m_record(record)
{
}

QStringList ResultSaver::NameFilters()
{
    QStringList filters;
    for (const TypeRow& row : Types)
        filters << QString::fromUtf8(row.filter);
    return filters;
}

void ResultSaver::attach(ResultBox* box, QWidget* window)
{
    auto* save = new QAction(QStringLiteral("另存为…"), box);
    save->setObjectName(QStringLiteral("saveAction"));
    save->setShortcut(QKeySequence::Save);
    save->setShortcutContext(Qt::WindowShortcut);
    connect(save, &QAction::triggered, this, [this, box] { openSaveDialog(box); });
    window->addAction(save);

    auto* copy = new QAction(QStringLiteral("复制为图片"), box);
    copy->setObjectName(QStringLiteral("copyPictureAction"));
    connect(copy, &QAction::triggered, this, [this, box] { copyPicture(box); });

    for (QAction* action : {save, copy}) {
        action->setEnabled(m_enabled);
        box->addContextAction(action);
        m_actions.append(action);
    }
}

void ResultSaver::setEnabled(bool enabled)
{
    m_enabled = enabled;
    for (QAction* action : m_actions)
        action->setEnabled(enabled);
}

bool ResultSaver::openSaveDialog(ResultBox* box)
{
    // Modal, as the program's other choosers are.
    QFileDialog dialog(box->window(), QStringLiteral("另存为"));
    dialog.setObjectName(QStringLiteral("SaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = NameFilters();
    dialog.setNameFilters(filters);

    QSettings settings = UserSettings();
    const int type = std::clamp(settings.value(TypeKey, 0).toInt(), 0, int(filters.size()) - 1);
    const QString folder = settings.value(FolderKey, QDir::homePath()).toString();
    dialog.setDirectory(folder);
    dialog.selectNameFilter(filters[type]);
    const auto suffixFor = [](const QString& filter) {
        return FormatExtension(Types[NameFilters().indexOf(filter)].format);
    };
    dialog.setDefaultSuffix(suffixFor(filters[type]));
    dialog.selectFile(QStringLiteral("tessivo.") + suffixFor(filters[type]));
    connect(&dialog, &QFileDialog::filterSelected, &dialog,
            [&dialog, suffixFor](const QString& f) { dialog.setDefaultSuffix(suffixFor(f)); });

    // An edited box: the text types take the edits, the others the run's own result.
    if (m_record.hasResult() && box->text() != m_record.art(false).text) {
        auto* note =
            new QLabel(QStringLiteral("文本框中的文字已被修改：文本和网页保存修改后的文字，"
                                      "彩色网页、SVG 图像和 PNG 图像保存上次生成的结果。"),
                       &dialog);
        note->setObjectName(QStringLiteral("editedNote"));
        note->setWordWrap(true);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout()))
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
    }

    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return false;
        const QString path = dialog.selectedFiles().constFirst();
        SaveType chosen = SaveType(std::max(0, int(filters.indexOf(dialog.selectedNameFilter()))));
        // A name typed with another type's extension is saved as that type, on the user's word:
        // never text in a file named .png.
        if (const std::optional<SaveType> named = typeOfName(path, chosen);
            named && *named != chosen) {
            QMessageBox question(
                QMessageBox::Question, QStringLiteral("Tessivo"),
                QStringLiteral("文件名“%1”是%2的扩展名，选择的类型却是%3。")
                    .arg(QFileInfo(path).fileName(), typeName(*named), typeName(chosen)),
                QMessageBox::NoButton, box->window());
            question.setObjectName(QStringLiteral("typeQuestion"));
            QPushButton* asNamed = question.addButton(
                QStringLiteral("保存为%1").arg(typeName(*named)), QMessageBox::AcceptRole);
            question.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
            question.setDefaultButton(asNamed);
            question.exec();
            if (question.clickedButton() != asNamed) {
                // 取消 takes back the name, not the save: the dialog again, in the same folder
                // with the same name, to change the one or the type.
                dialog.setDirectory(QFileInfo(path).absolutePath());
                dialog.selectFile(QFileInfo(path).fileName());
                continue;
            }
            chosen = *named;
        }
        KeepUserSetting(FolderKey, QFileInfo(path).absolutePath());
        KeepUserSetting(TypeKey, int(chosen));
        return save(box, path, chosen);
    }
}

ArtDocument ResultSaver::artFor(ResultBox* box, SaveType type)
{
    const TypeRow& row = rowOf(type);
    if (row.fromBox || !m_record.hasResult())
        return ArtDocument{box->text(), {}, {}};
    return m_record.art(row.colour);
}

bool ResultSaver::save(ResultBox* box, const QString& path, SaveType type)
{
    const TypeRow& row = rowOf(type);
    const ArtDocument art = artFor(box, type);
    if (row.format == ExportFormat::Txt && row.encoding == TextEncoding::Gbk) {
        if (const std::optional<GbkMiss> miss = FirstOutsideGbk(art.text)) {
            const char32_t c = miss->character;
            warn(box,
                 QStringLiteral("GBK 编码存不下第 %1 行第 %2 列的字符“%3”（U+%4），文件没有保存。")
                     .arg(miss->line)
                     .arg(miss->column)
                     .arg(QString::fromUcs4(&c, 1))
                     .arg(QString::number(uint(c), 16)
                              .toUpper()
                              .rightJustified(4, QLatin1Char('0'))));
            return false;
        }
    }
    ExportResult result;
    if (row.format == ExportFormat::Png) {
        // Drawn here rather than by the writer, to name a picture too large in the window's words.
        const ArtPicture picture =
            RenderArt(art, false, ArtFont(box->fontFamily(), box->fontSize()));
        if (picture.image.isNull()) {
            warn(box, (picture.tooLarge ? tooLargeText(picture.size) : NoMemoryText) +
                          QStringLiteral("文件没有保存。"));
            return false;
        }
        result.bytes = EncodePng(picture.image);
        if (result.bytes.isEmpty())
            result.error = QStringLiteral("PNG 编码失败");
    } else {
        ExportOptions options;
        options.format = row.format;
        options.encoding = row.encoding;
        options.colour = row.colour;
        options.fontSize = box->fontSize();
        options.fontFamily = box->fontFamily();
        // A page is named as its file is.
        options.title = QFileInfo(path).completeBaseName();
        result = ExportArt(art, options);
    }
    const QString error =
        result.error.isEmpty() ? WriteWholeFile(path, result.bytes) : result.error;
    if (!error.isEmpty()) {
        warn(box,
             QStringLiteral("文件“%1”没有保存：%2").arg(QDir::toNativeSeparators(path), error));
        return false;
    }
    return true;
}

bool ResultSaver::copyPicture(ResultBox* box)
{
    const ArtPicture picture =
        RenderArt(artFor(box, SaveType::Png), false, ArtFont(box->fontFamily(), box->fontSize()));
    if (picture.image.isNull()) {
        warn(box, picture.tooLarge ? tooLargeText(picture.size) : NoMemoryText);
        return false;
    }
    QGuiApplication::clipboard()->setImage(picture.image);
    return true;
}

void ResultSaver::warn(ResultBox* box, const QString& text)
{
    QMessageBox::warning(box->window(), QStringLiteral("Tessivo"), text);
}

} // namespace tessivo
