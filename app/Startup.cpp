#include "app/Startup.h"

#include "engine/Version.h"

#include "canvas/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QIcon>
#include <QLibraryInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTranslator>

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

QIcon ProgramIcon()
{
    InitIconResource();
    QIcon icon(QStringLiteral(":/icons/tessivo.svg"));
    for (const int size : {16, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/tessivo-%1.png").arg(size), QSize(size, size));
    return icon;
}

void SetUpApplication()
{
    RegisterFontSubstitutes();
    // The icon of every window, as the desktop's menu shows it.
    QApplication::setWindowIcon(ProgramIcon());
    QApplication::setFont(WindowFont());
    // Without the translation Qt's texts stay in English; the program works the same.
    InstallQtTranslation();
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
