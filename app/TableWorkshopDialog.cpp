#include "app/TableWorkshopDialog.h"

#include "app/InkRun.h"
#include "app/ResultSaver.h"
#include "canvas/CanvasModel.h"
#include "engine/Version.h"
#include "settings/SettingsSource.h"
#include "widgets/UserSettings.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace tessivo {

namespace {

// How long typing may pause before the rows are measured again and the preview restarts.
constexpr int DebounceMilliseconds = 300;
// How long one timer event may run the preview's ticks, as for a run of the window.
constexpr qint64 PreviewSliceNanoseconds = 4'000'000;

const QString NoRowsText = QStringLiteral("还没有字符表的行");

const QColor CloseColour(0xF4, 0xC7, 0xC3);
const QString CloseMark = QStringLiteral("≈");

// The folder the last table was saved in, kept with the chooser's folders.
const QString LastSavedKey = QStringLiteral("workshop/lastSavedFolder");

QString percent(double tone)
{
    return QString::number(tone * 100, 'f', 2);
}

// Positions in the sorted table of rows that have a near-equal neighbour.
QList<bool> closeRows(qsizetype count, const QList<ToneStep>& steps)
{
    QList<bool> close(count, false);
    for (const ToneStep& step : steps) {
        close[step.first] = true;
        close[step.second] = true;
    }
    return close;
}

// The ink of the sorted rows, darkest on the left, as a curve; near-equal rows are red dots.
class ToneCurve : public QWidget {
public:
    using QWidget::QWidget;

    void setTones(const QList<RowTone>& sorted, const QList<ToneStep>& close)
    {
        m_tones.clear();
        for (const RowTone& row : sorted)
            m_tones.append(row.tone);
        m_close = closeRows(sorted.size(), close);
        update();
    }

    QSize sizeHint() const override { return {260, 120}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::white);
        painter.setPen(Qt::lightGray);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
        if (m_tones.isEmpty())
            return;
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(8, 8, -8, -8);
        const double top = std::max(*std::max_element(m_tones.cbegin(), m_tones.cend()), 0.01);
        const auto at = [&](qsizetype i) {
            const double x = m_tones.size() > 1 ? area.left() + area.width() * double(i) /
                                                                    double(m_tones.size() - 1)
                                                : area.center().x();
            return QPointF(x, area.bottom() - area.height() * m_tones[i] / top);
        };
        QPainterPath path(at(0));
        for (qsizetype i = 1; i < m_tones.size(); ++i)
            path.lineTo(at(i));
        painter.setPen(QPen(QColor(0x30, 0x60, 0xB0), 1.5));
        painter.drawPath(path);
        for (qsizetype i = 0; i < m_tones.size(); ++i) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(m_close[i] ? QColor(Qt::red) : QColor(0x30, 0x60, 0xB0));
            painter.drawEllipse(at(i), m_close[i] ? 3.0 : 2.0, m_close[i] ? 3.0 : 2.0);
        }
    }

private:
    QList<double> m_tones;
    QList<bool> m_close;
};

QString problemText(const EncodedTable& table)
{
    switch (table.problem) {
    case EncodedTable::Problem::None: break;
    case EncodedTable::Problem::Empty: return QStringLiteral("字符表中没有字符，未保存。");
    case EncodedTable::Problem::LineEnd:
        return QStringLiteral("行“%1”含有换行，未保存。").arg(table.row);
    case EncodedTable::Problem::CommentMark:
        return QStringLiteral("行“%1”含有 ###，读入时会被当作注释，未保存。").arg(table.row);
    case EncodedTable::Problem::NotInGbk:
        return QStringLiteral("GBK 无法表示行“%1”，未保存。请改存为 UTF-8 字符表。").arg(table.row);
    }
    return {};
}

} // namespace

TableWorkshopDialog::TableWorkshopDialog(const CanvasModel& canvas, const SettingsSource& settings,
                                         std::function<int()> bandCount, QWidget* parent)
    : QDialog(parent)
    , m_canvas(canvas)
    , m_settings(settings)
    , m_bandCount(std::move(bandCount))
{
    setObjectName(QStringLiteral("tableWorkshop"));
    setWindowTitle(QStringLiteral("字符表工坊"));

    m_rowsBox = new QPlainTextEdit(this);
    m_rowsBox->setObjectName(QStringLiteral("rowsBox"));
    m_rowsBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_rowsBox->setPlaceholderText(
        QStringLiteral("每行一行字符表，可含多个字符；空格行自动加在最后"));

    m_fontBox = new QComboBox(this);
    m_fontBox->setObjectName(QStringLiteral("fontBox"));
    m_fontBox->setEditable(true);
    m_fontBox->addItems(QFontDatabase::families());
    m_sizeBox = new QDoubleSpinBox(this);
    m_sizeBox->setObjectName(QStringLiteral("sizeBox"));
    m_sizeBox->setRange(1, 72);
    m_sizeBox->setSingleStep(0.25);
    m_sizeBox->setValue(9);
    m_sizeBox->setSuffix(QStringLiteral(" 磅"));
    m_thresholdBox = new QDoubleSpinBox(this);
    m_thresholdBox->setObjectName(QStringLiteral("thresholdBox"));
    m_thresholdBox->setRange(0, 10);
    m_thresholdBox->setSingleStep(0.05);
    m_thresholdBox->setValue(TableWorkshop::DefaultCloseThreshold * 100);
    m_thresholdBox->setSuffix(QStringLiteral(" %"));

    m_toneList = new QTableWidget(0, 3, this);
    m_toneList->setObjectName(QStringLiteral("toneList"));
    m_toneList->setHorizontalHeaderLabels(
        {QStringLiteral("行"), QStringLiteral("墨色 %"), QStringLiteral("相近")});
    m_toneList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_toneList->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_toneList->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_toneList->horizontalHeader()->setStretchLastSection(true);
    m_curve = new ToneCurve(this);
    m_curve->setObjectName(QStringLiteral("toneCurve"));
    m_closeNote = new QLabel(this);
    m_closeNote->setObjectName(QStringLiteral("closeNote"));
    m_closeNote->setWordWrap(true);

    m_previewBox = new QPlainTextEdit(this);
    m_previewBox->setObjectName(QStringLiteral("previewBox"));
    m_previewBox->setReadOnly(true);
    m_previewBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_previewNote = new QLabel(this);
    m_previewNote->setObjectName(QStringLiteral("previewNote"));
    m_previewNote->setWordWrap(true);

    m_saveButton = new QPushButton(QStringLiteral("另存为字符表…"), this);
    m_saveButton->setObjectName(QStringLiteral("saveTableButton"));
    m_useButton = new QPushButton(QStringLiteral("立即使用"), this);
    m_useButton->setObjectName(QStringLiteral("useTableButton"));
    m_useButton->setToolTip(QStringLiteral("把这个字符表作为载入的字符表，按当前对比度使用"));
    auto* closeButton = new QPushButton(QStringLiteral("关闭"), this);
    m_note = new QLabel(this);
    m_note->setObjectName(QStringLiteral("workshopNote"));

    auto* fontRow = new QHBoxLayout;
    fontRow->addWidget(new QLabel(QStringLiteral("字体"), this));
    fontRow->addWidget(m_fontBox, 1);
    fontRow->addWidget(m_sizeBox);
    auto* thresholdRow = new QHBoxLayout;
    thresholdRow->addWidget(new QLabel(QStringLiteral("相近：墨色差小于"), this));
    thresholdRow->addWidget(m_thresholdBox);
    thresholdRow->addStretch();

    auto* rowsColumn = new QVBoxLayout;
    rowsColumn->addWidget(new QLabel(QStringLiteral("字符表的行（每行一行）"), this));
    rowsColumn->addWidget(m_rowsBox, 1);
    rowsColumn->addLayout(fontRow);
    rowsColumn->addLayout(thresholdRow);
    auto* tonesColumn = new QVBoxLayout;
    tonesColumn->addWidget(new QLabel(QStringLiteral("由深到浅"), this));
    tonesColumn->addWidget(m_toneList, 1);
    tonesColumn->addWidget(m_curve);
    tonesColumn->addWidget(m_closeNote);
    auto* previewColumn = new QVBoxLayout;
    previewColumn->addWidget(new QLabel(QStringLiteral("预览：当前画布，当前设置"), this));
    previewColumn->addWidget(m_previewBox, 1);
    previewColumn->addWidget(m_previewNote);

    auto* columns = new QHBoxLayout;
    columns->addLayout(rowsColumn, 2);
    columns->addLayout(tonesColumn, 2);
    columns->addLayout(previewColumn, 4);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_note, 1);
    buttons->addWidget(m_saveButton);
    buttons->addWidget(m_useButton);
    buttons->addWidget(closeButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(columns, 1);
    layout->addLayout(buttons);
    resize(960, 560);

    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(DebounceMilliseconds);
    connect(m_debounce, &QTimer::timeout, this, &TableWorkshopDialog::refresh);
    m_previewTimer = new QTimer(this);
    m_previewTimer->setInterval(0);
    connect(m_previewTimer, &QTimer::timeout, this, &TableWorkshopDialog::tickPreview);

    const auto later = [this] { m_debounce->start(); };
    connect(m_rowsBox, &QPlainTextEdit::textChanged, this, later);
    connect(m_fontBox, &QComboBox::currentTextChanged, this, later);
    connect(m_sizeBox, &QDoubleSpinBox::valueChanged, this, later);
    connect(m_thresholdBox, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        m_workshop.setCloseThreshold(value / 100);
        showTones();
    });
    connect(m_saveButton, &QPushButton::clicked, this, &TableWorkshopDialog::chooseFileAndSave);
    connect(m_useButton, &QPushButton::clicked, this, [this] {
        // What was typed counts even if the pause after typing has not passed yet.
        if (m_debounce->isActive())
            refresh();
        if (m_workshop.rows().isEmpty())
            setNote(NoRowsText);
        else
            emit useRequested(m_workshop.loadedTable());
    });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::reject);
    // A wheel turned over a box in passing changes nothing: the boxes take the wheel only while
    // they have the keyboard focus, and the wheel gives them none, as in the main window.
    for (QWidget* box : std::initializer_list<QWidget*>{m_fontBox, m_sizeBox, m_thresholdBox}) {
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
    }
    refresh();
}

bool TableWorkshopDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Wheel && watched->isWidgetType() &&
        !static_cast<QWidget*>(watched)->hasFocus()) {
        event->ignore();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TableWorkshopDialog::setResultFont(const QString& family, double pointSize)
{
    m_fontBox->setCurrentText(family);
    m_sizeBox->setValue(pointSize);
    refresh();
}

void TableWorkshopDialog::setNote(const QString& text)
{
    m_note->setText(text);
}

void TableWorkshopDialog::fitScreen()
{
    const QScreen* shown = screen();
    if (!shown)
        return;
    const QRect available = shown->availableGeometry();
    // A window manager adds its frame and title bar once the window is mapped, after it is
    // shown: until then room is kept for a title bar of twice the font's height, and the fit is
    // made again when the frame is known. (At twice the scale, a dialog that filled the screen
    // lost its bottom row of buttons under the title bar.)
    QMargins frame(geometry().left() - frameGeometry().left(),
                   geometry().top() - frameGeometry().top(),
                   frameGeometry().right() - geometry().right(),
                   frameGeometry().bottom() - geometry().bottom());
    m_frameKnown = !frame.isNull();
    if (!m_frameKnown) {
        const int border = fontMetrics().height() / 4;
        frame = QMargins(border, 2 * fontMetrics().height(), border, border);
    }
    const QSize fits =
        available.size() - QSize(frame.left() + frame.right(), frame.top() + frame.bottom());
    if (width() > fits.width() || height() > fits.height())
        resize(size().boundedTo(fits).expandedTo(minimumSizeHint()));
    QRect placed = geometry().marginsAdded(frame);
    placed.moveRight(std::min(placed.right(), available.right()));
    placed.moveBottom(std::min(placed.bottom(), available.bottom()));
    placed.moveLeft(std::max(placed.left(), available.left()));
    placed.moveTop(std::max(placed.top(), available.top()));
    // move() places the frame's corner where the window system knows the frame, else the
    // client area's.
    move(m_frameKnown ? placed.topLeft() : placed.marginsRemoved(frame).topLeft());
}

void TableWorkshopDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    fitScreen();
    // The Canvas or the settings may have changed while the dialog was away.
    startPreview();
}

void TableWorkshopDialog::moveEvent(QMoveEvent* event)
{
    QDialog::moveEvent(event);
    // The window manager's frame came after the window was shown.
    if (isVisible() && !m_frameKnown && frameGeometry() != geometry())
        fitScreen();
}

void TableWorkshopDialog::hideEvent(QHideEvent* event)
{
    m_previewTimer->stop();
    m_workshop.stopPreview();
    QDialog::hideEvent(event);
}

void TableWorkshopDialog::refresh()
{
    m_debounce->stop();
    m_workshop.setFont(m_fontBox->currentText(), m_sizeBox->value());
    m_workshop.setText(m_rowsBox->toPlainText());
    QFont previewFont = m_workshop.meter().font();
    previewFont.setStyleStrategy(QFont::PreferNoShaping);
    m_previewBox->setFont(previewFont);
    m_note->clear();
    showTones();
    if (isVisible())
        startPreview();
}

void TableWorkshopDialog::showTones()
{
    const QList<RowTone>& sorted = m_workshop.sorted();
    const QList<ToneStep> close = m_workshop.closeTones();
    const QList<bool> marked = closeRows(sorted.size(), close);
    m_toneList->setRowCount(int(sorted.size()));
    for (int i = 0; i < int(sorted.size()); ++i) {
        const bool isSpace = i == int(sorted.size()) - 1;
        auto* row = new QTableWidgetItem(isSpace ? QStringLiteral("（空格）") : sorted[i].row);
        row->setFont(m_workshop.meter().font());
        auto* ink = new QTableWidgetItem(percent(sorted[i].tone));
        ink->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto* mark = new QTableWidgetItem(marked[i] ? CloseMark : QString());
        mark->setTextAlignment(Qt::AlignCenter);
        for (QTableWidgetItem* item : {row, ink, mark}) {
            if (marked[i])
                item->setBackground(CloseColour);
        }
        m_toneList->setItem(i, 0, row);
        m_toneList->setItem(i, 1, ink);
        m_toneList->setItem(i, 2, mark);
    }
    static_cast<ToneCurve*>(m_curve)->setTones(sorted, close);
    // "≈：N 对" stays on one line: joiners and a no-break space where a line could break.
    QString note = QStringLiteral("墨色差小于%1%的相邻行标为 %2\u2060：\u2060%3\u00A0对")
                       .arg(QString::number(m_workshop.closeThreshold() * 100, 'g', 4), CloseMark)
                       .arg(close.size());
    if (m_workshop.rowsCut())
        note += QStringLiteral("；只取前 %1 行").arg(TableWorkshop::MaxRows);
    m_closeNote->setText(note);
}

void TableWorkshopDialog::setCharacterChoice(CharacterChoice choice)
{
    if (choice == m_choice)
        return;
    m_choice = choice;
    if (isVisible())
        startPreview();
}

void TableWorkshopDialog::startPreview()
{
    m_previewTimer->stop();
    if (m_choice != CharacterChoice::Tone) {
        if (m_workshop.rows().isEmpty()) {
            m_previewBox->clear();
            m_previewNote->setText(QStringLiteral("输入字符表的行后显示预览"));
            return;
        }
        const bool shape = m_choice == CharacterChoice::Shape;
        m_previewBox->setPlainText(InkResultText(m_canvas, m_workshop.loadedTable(), m_settings,
                                                 m_workshop.meter().family(),
                                                 m_workshop.meter().pointSize(), shape));
        m_previewNote->setText(
            QStringLiteral("预览完成（%1）：与“生成”所得相同，画布和正在使用的字符表未改变")
                .arg(shape ? QStringLiteral("按字形选字") : QStringLiteral("按墨量选字")));
        return;
    }
    switch (m_workshop.startPreview(m_canvas, m_settings, m_settings.value(Setting::Contrast),
                                    m_bandCount())) {
    case TableWorkshop::PreviewStart::Started:
        m_previewNote->setText(QStringLiteral("正在预览…"));
        m_previewTimer->start();
        return;
    case TableWorkshop::PreviewStart::NoRows:
        m_previewBox->clear();
        m_previewNote->setText(QStringLiteral("输入字符表的行后显示预览"));
        return;
    case TableWorkshop::PreviewStart::PositionsTooLarge:
        m_previewBox->clear();
        m_previewNote->setText(QStringLiteral("画布过大，未能预览"));
        return;
    case TableWorkshop::PreviewStart::TextTooLong:
        m_previewBox->clear();
        m_previewNote->setText(QStringLiteral("字符表的行过长，未能预览"));
        return;
    }
}

void TableWorkshopDialog::tickPreview()
{
    switch (m_workshop.tickPreview(m_canvas, PreviewSliceNanoseconds)) {
    case TableWorkshop::PreviewStep::Running:
        m_previewNote->setText(
            QStringLiteral("正在预览… %1%").arg(int(m_workshop.previewProgress() * 100)));
        return;
    case TableWorkshop::PreviewStep::Finished:
        m_previewTimer->stop();
        m_previewBox->setPlainText(m_workshop.previewText());
        m_previewNote->setText(
            QStringLiteral("预览完成：与“生成”所得相同，画布和正在使用的字符表未改变"));
        return;
    case TableWorkshop::PreviewStep::TooLarge:
        m_previewTimer->stop();
        m_previewBox->clear();
        m_previewNote->setText(QStringLiteral("按当前设置，结果超过 %1 个字符，未预览")
                                   .arg(TableWorkshop::MaxPreviewCells));
        return;
    }
}

QString TableWorkshopDialog::saveTable(const QString& path, TableEncoding encoding) const
{
    const QString family = m_workshop.meter().family();
    const QStringList comments = {
        QStringLiteral("Tessivo character table, darkest row first"),
        QStringLiteral("font: %1 %2 pt").arg(family).arg(m_workshop.meter().pointSize()),
        QStringLiteral("made in the character-table workshop of Tessivo " TESSIVO_VERSION),
    };
    if (m_workshop.table().isEmpty())
        return problemText(EncodedTable{{}, EncodedTable::Problem::Empty, {}});
    const EncodedTable encoded = EncodeTableFile(comments, m_workshop.table(), encoding);
    if (encoded.problem != EncodedTable::Problem::None)
        return problemText(encoded);
    if (const QString error = WriteWholeFile(path, encoded.bytes); !error.isEmpty())
        return QStringLiteral("无法写入 %1：%2").arg(QDir::toNativeSeparators(path), error);
    return {};
}

void TableWorkshopDialog::chooseFileAndSave()
{
    if (m_debounce->isActive())
        refresh();
    if (m_workshop.rows().isEmpty()) {
        setNote(NoRowsText);
        return;
    }
    const QString gbk = QStringLiteral("GBK 字符表 (*.zfh *.txt)");
    const QString utf8 = QStringLiteral("UTF-8 字符表，带字节顺序标记 (*.zfh *.txt)");
    QString folder = UserSettings().value(LastSavedKey).toString();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QDir::currentPath();

    QFileDialog dialog(this, QStringLiteral("另存为字符表"), folder);
    dialog.setObjectName(QStringLiteral("saveTableDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({gbk, utf8});
    dialog.setDefaultSuffix(QStringLiteral("zfh"));
    dialog.selectFile(QString::fromLatin1(TableFileName));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    const QString path = dialog.selectedFiles().constFirst();
    const TableEncoding encoding =
        dialog.selectedNameFilter() == utf8 ? TableEncoding::Utf8 : TableEncoding::Gbk;
    const QString problem = saveTable(path, encoding);
    if (!problem.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("另存为字符表"), problem);
        return;
    }
    KeepUserSetting(LastSavedKey, QFileInfo(path).absolutePath());
    setNote(QStringLiteral("已保存 %1").arg(QFileInfo(path).fileName()));
}

} // namespace tessivo
