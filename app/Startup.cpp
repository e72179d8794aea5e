#include "app/Startup.h"

#include "engine/OutputFile.h"
#include "engine/Version.h"

#include "canvas/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QIconEngine>
#include <QImageReader>
#include <QLibraryInfo>
#include <QPainter>
#include <QPointer>
#include <QStandardPaths>
#include <QTranslator>

#include <algorithm>
#include <array>
#include <memory>

// Q_INIT_RESOURCE must be used outside any namespace; the icons are in a static library, whose
// resource initialiser the linker would otherwise leave out.
static void InitIconResource()
{
    Q_INIT_RESOURCE(icons);
}

namespace tessivo {

QFont WindowFont()
{
    return QFont(QStringLiteral("宋体"), 9);
}

bool InstallQtTranslation(const QString& folder)
{
    static QPointer<QTranslator> installed;
    auto translator = std::make_unique<QTranslator>(QCoreApplication::instance());
    if (!translator->load(QStringLiteral("qtbase_zh_CN"), folder))
        return false;
    delete installed;
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
    return true;
}

bool InstallQtTranslation()
{
    return InstallQtTranslation(QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

namespace {

// The program's icon, read from its pictures only when a size of it is asked for: the desktop
// asks once the window is shown, an off-screen window never. Building it from the pictures at
// once read them all, and telling their format loaded every image plugin Qt has.
class ProgramIconEngine : public QIconEngine {
public:
    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, pixmap(rect.size(), mode, state));
    }

    // The same picture in every mode and state: the icon only stands for the program's windows.
    QPixmap pixmap(const QSize& asked, QIcon::Mode mode, QIcon::State state) override
    {
        const QSize size = actualSize(asked, mode, state);
        const auto fits = std::find_if(Sides.begin(), Sides.end(), [&](int side) {
            return side >= size.width() && side >= size.height();
        });
        const int side = fits == Sides.end() ? Sides.back() : *fits;
        QImageReader reader(QStringLiteral(":/icons/tessivo-%1.png").arg(side), "png");
        reader.setAutoDetectImageFormat(false);
        QImage image = reader.read();
        if (image.size() != size && !size.isEmpty())
            image = image.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        return QPixmap::fromImage(image);
    }

    QSize actualSize(const QSize& size, QIcon::Mode, QIcon::State) override
    {
        return size.boundedTo(QSize(Sides.back(), Sides.back()));
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const int side : Sides)
            sizes.append(QSize(side, side));
        return sizes;
    }

    QString key() const override { return QStringLiteral("tessivo"); }
    QIconEngine* clone() const override { return new ProgramIconEngine; }

private:
    static constexpr std::array Sides = {16, 32, 48, 64, 128, 256};
};

} // namespace

QIcon ProgramIcon()
{
    InitIconResource();
    return QIcon(new ProgramIconEngine);
}

void SetUpApplication()
{
    RegisterFontSubstitutes();
    // The icon of every window, as the desktop's menu shows it.
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setFont(WindowFont());
    // Without the translation Qt's texts stay in English; the program works the same.
    InstallQtTranslation();
    // SIGTERM, or Ctrl+C in the terminal the window was started from, while a save is written:
    // its unfinished file is removed, as the command-line tools remove theirs.
    RemoveOutputsOnInterrupt();
}

QStringList TableFileFolders()
{
    QStringList folders = {QDir::currentPath(), QCoreApplication::applicationDirPath()};
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (!config.isEmpty())
        folders.append(config + QStringLiteral("/tessivo"));
    folders.removeAll(QString());
    folders.removeDuplicates();
    return folders;
}

WindowCommandLine ParseWindowCommandLine(const QStringList& arguments)
{
    using Action = WindowCommandLine::Action;
    WindowCommandLine result;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded &&
                   (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
            return {Action::PrintAndExit,
                    {},
                    QStringLiteral("Usage: tessivo [PICTURE]\n"
                                   "\n"
                                   "Turns pictures into character art, in a window. PICTURE, when\n"
                                   "given, is put on the Canvas once the window has started.\n"
                                   "tessivo-convert does the same without a window.\n"
                                   "\n"
                                   "  --help     show this text\n"
                                   "  --version  show the version\n")};
        } else if (!optionsEnded && argument == QLatin1String("--version")) {
            return {Action::PrintAndExit, {}, QStringLiteral("tessivo " TESSIVO_VERSION "\n")};
        } else if (!optionsEnded && argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
            return {Action::Fail,
                    {},
                    QStringLiteral("tessivo: unknown option %1 (see --help)\n").arg(argument)};
        } else if (result.picture.isEmpty()) {
            // The desktop's "open with" passes one file; any further ones are left alone.
            result.picture = argument;
        }
    }
    return result;
}

} // namespace tessivo
