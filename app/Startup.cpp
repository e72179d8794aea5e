#include "app/Startup.h"

#include "canvas/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QPointer>
#include <QStandardPaths>
#include <QTranslator>

#include <memory>

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

void SetUpApplication()
{
    RegisterFontSubstitutes();
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

} // namespace tessivo
