// Shows each page of the main window and saves a picture of it into the folder given:
// tessivo-screenshots FOLDER PICTURE
#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "app/ResultSaver.h"
#include "app/ResultWindow.h"
#include "app/TableWorkshopDialog.h"
#include "canvas/Fonts.h"
#include "canvas/ui/ToolColumn.h"
#include "loading/PictureLoader.h"
#include "loading/ui/PictureChooser.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/ScrollBar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <cmath>

using namespace tessivo;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool save(QWidget* widget, const QString& path)
{
    settle();
    const bool ok = widget->grab().save(path);
    qInfo("%s %s", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

// Moves a scroll bar's thumb as a drag would: a drag event, then the settle at its end.
void dragTo(QScrollBar* bar, int position)
{
    bar->setSliderDown(true);
    bar->setSliderPosition(position);
    bar->setSliderDown(false);
}

// Drags with the left button on the Canvas through the points given, in pixels.
void drawWith(MainWindow& window, Tool tool, const QList<QPoint>& path)
{
    window.toolColumn()->selectTool(tool);
    auto* canvas = window.findChild<QWidget*>(QStringLiteral("Picture1"));
    const auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        QMouseEvent event(type, at, canvas->mapToGlobal(at), Qt::LeftButton, buttons, {});
        QApplication::sendEvent(canvas, &event);
    };
    send(QEvent::MouseButtonPress, path.first(), Qt::LeftButton);
    for (const QPoint& p : path.mid(1))
        send(QEvent::MouseMove, p, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, path.last(), Qt::NoButton);
}

// Chooses a colour in the colour group: its target button, then a drag of each slider.
void pickColour(MainWindow& window, const char* target, int red, int green, int blue)
{
    window.findChild<QAbstractButton*>(QLatin1String(target))->click();
    dragTo(window.findChild<QScrollBar*>(QStringLiteral("RH")), red);
    dragTo(window.findChild<QScrollBar*>(QStringLiteral("GH")), green);
    dragTo(window.findChild<QScrollBar*>(QStringLiteral("BH")), blue);
}

// Shapes drawn with the tools on a fresh Canvas, then what "生成" makes of them.
bool drawAndConvert(const QDir& folder)
{
    MainWindow window(QDir::currentPath());
    window.show();
    const auto click = [&](const char* name) {
        window.findChild<QAbstractButton*>(QLatin1String(name))->click();
    };
    click("Command10");
    dragTo(window.findChild<QScrollBar*>(QStringLiteral("HScroll14")), 3);
    pickColour(window, "Option8", 40, 40, 90);
    pickColour(window, "Option9", 120, 160, 230);
    click("Command5");
    drawWith(window, Tool::Rectangle, {{30, 30}, {120, 90}, {200, 150}});
    click("Command10");
    pickColour(window, "Option9", 250, 200, 60);
    click("Command5");
    drawWith(window, Tool::Ellipse, {{240, 40}, {330, 120}, {400, 200}});
    click("Command10");
    pickColour(window, "Option9", 200, 90, 90);
    click("Command5");
    drawWith(window, Tool::RoundedRectangle, {{80, 190}, {200, 260}, {300, 330}});
    drawWith(window, Tool::Line, {{330, 240}, {500, 300}, {510, 350}});
    QList<QPoint> wave;
    for (int x = 420; x <= 510; x += 6)
        wave.append(QPoint(x, 60 + int(25 * std::sin((x - 420) / 15.0))));
    drawWith(window, Tool::Pen, wave);
    window.findChild<QPlainTextEdit*>(QStringLiteral("Text2"))
        ->setPlainText(QStringLiteral("Tessivo"));
    drawWith(window, Tool::TextPosition, {{330, 215}});
    click("Command2");
    window.toolColumn()->selectTool(Tool::Mouse);
    bool ok = save(&window, folder.filePath(QStringLiteral("drawing.png")));

    click("Command4");
    click("Command1");
    while (window.isRunning())
        QApplication::processEvents();
    // The result saved in each type of the save dialog, as docs/exports.md shows it.
    using Type = ResultSaver::SaveType;
    const std::pair<Type, const char*> exports[] = {
        {Type::TextUtf8, "drawing.txt"}, {Type::TextGbk, "drawing-gbk.txt"},
        {Type::Page, "drawing.html"},    {Type::ColourPage, "drawing-colour.html"},
        {Type::Svg, "drawing.svg"},      {Type::Png, "drawing.png"}};
    folder.mkpath(QStringLiteral("exports"));
    for (const auto& [type, name] : exports) {
        ok &= window.resultSaver()->save(window.resultBox(),
                                         folder.filePath(QStringLiteral("exports/") + name), type);
    }
    // Zoomed out with "缩放浏览" and shown in the result window, large enough for all of it.
    dragTo(window.findChild<QScrollBar*>(QStringLiteral("HScroll7")), 2);
    click("Command9");
    window.resultWindow()->resize(1000, 900);
    ok &= save(window.resultWindow(), folder.filePath(QStringLiteral("drawing-converted.png")));
    window.close();
    return ok;
}

// The table workshop with the 41 CJK rows of docs/tables.md, previewing the sample picture at the
// sampling steps that page converts it with.
bool showWorkshop(MainWindow& window, const QString& path)
{
    window.settingsPage()->bar(Setting::SampleX)->setValue(200);
    window.settingsPage()->bar(Setting::SampleY)->setValue(190);
    window.settingsPage()->bar(Setting::Contrast)->setValue(100);
    window.openWorkshop();
    TableWorkshopDialog* workshop = window.workshop();
    workshop->resize(1100, 620);
    // "缩放浏览" has shrunk the result box's font; the rows are measured at the result's size.
    workshop->findChild<QDoubleSpinBox*>(QStringLiteral("sizeBox"))->setValue(9);
    workshop->findChild<QPlainTextEdit*>(QStringLiteral("rowsBox"))
        ->setPlainText(QStringLiteral(
            "鬱\n龘\n躔\n麤\n羅\n圖\n國\n書\n齊\n黑\n馬\n雨\n田\n目\n日\n中\n王\n木\n山\n十\n工\n土"
            "\n二\n大\n人\n入\n八\n卜\n一\n丶\n、\n。\n丿\n乙\n口\n川\n小\n心\n水\n火\n米"));
    auto* note = workshop->findChild<QLabel*>(QStringLiteral("previewNote"));
    QElapsedTimer waited;
    waited.start();
    while (!note->text().startsWith(QStringLiteral("预览完成")) && waited.elapsed() < 30000)
        QApplication::processEvents();
    const bool ok = save(workshop, path);
    workshop->reject();
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        qWarning("usage: tessivo-screenshots FOLDER PICTURE");
        return 2;
    }
    RegisterFontSubstitutes();
    QApplication::setFont(QFont(QStringLiteral("宋体"), 9));
    const QDir folder(QString::fromLocal8Bit(argv[1]));

    MainWindow window(QDir::currentPath());
    window.show();
    bool ok = save(&window, folder.filePath(QStringLiteral("page-generation-help.png")));

    const auto click = [&](const char* name) {
        window.findChild<QAbstractButton*>(QLatin1String(name))->click();
    };
    click("Command5");
    ok &= LoadPictureOntoCanvas(QString::fromLocal8Bit(argv[2]), window.canvas(), window.holder());
    ok &= save(&window, folder.filePath(QStringLiteral("page-canvas.png")));
    click("Command10");
    ok &= save(&window, folder.filePath(QStringLiteral("page-drawing-tools.png")));
    click("Command6");
    ok &= save(&window, folder.filePath(QStringLiteral("page-settings.png")));
    click("Command7");
    ok &= save(&window, folder.filePath(QStringLiteral("page-about.png")));

    // The picture chooser, with the sample picture previewed.
    {
        PictureChooser chooser(window.canvas(), window.holder(), window.history(), &window);
        const QFileInfo picture(QString::fromLocal8Bit(argv[2]));
        chooser.setFolder(picture.absolutePath());
        const auto found = chooser.fileList()->findItems(picture.fileName(), Qt::MatchExactly);
        if (!found.isEmpty())
            chooser.fileList()->setCurrentItem(found.first());
        chooser.show();
        ok &= save(&chooser, folder.filePath(QStringLiteral("chooser.png")));
        chooser.hide();
    }

    click("Command4");
    click("Command1");
    while (window.isRunning())
        QApplication::processEvents();
    // Zoomed out with "缩放浏览", so that the whole picture shows.
    auto* zoom = window.findChild<QScrollBar*>(QStringLiteral("HScroll7"));
    zoom->setSliderDown(true);
    zoom->setSliderPosition(2);
    zoom->setSliderDown(false);
    ok &= save(&window, folder.filePath(QStringLiteral("page-generation-result.png")));

    click("Command9");
    window.resultWindow()->resize(900, 600);
    ok &= save(window.resultWindow(), folder.filePath(QStringLiteral("result-window.png")));
    ok &= showWorkshop(window, folder.filePath(QStringLiteral("workshop.png")));
    window.close();

    ok &= drawAndConvert(folder);
    return ok ? 0 : 1;
}
