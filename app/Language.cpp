#include "app/Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>

bool IsKnownLanguage(const QString& language)
{
    return language == QLatin1String("ja") || language == QLatin1String("en");
}

QString ChooseLanguage(const QString& commandLine, const QString& saved, const QStringList& systemLanguages)
{
    if (IsKnownLanguage(commandLine))
        return commandLine;
    if (IsKnownLanguage(saved))
        return saved;
    const bool japanese = !systemLanguages.isEmpty() && (systemLanguages.constFirst() == QLatin1String("ja") ||
                                                         systemLanguages.constFirst().startsWith(QLatin1String("ja-")) ||
                                                         systemLanguages.constFirst().startsWith(QLatin1String("ja_")));
    return japanese ? QStringLiteral("ja") : QStringLiteral("en");
}

AppTranslations::AppTranslations(const QString& language)
{
    if (language == QLatin1String("en")) {
        m_programInstalled =
            m_program.load(QStringLiteral(":/i18n/orrisk_en.qm")) && QCoreApplication::installTranslator(&m_program);
        return;
    }
    // Qt's own dialogs speak Japanese too, where Qt's translations are installed.
    m_qtInstalled = m_qt.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
                              QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                    QCoreApplication::installTranslator(&m_qt);
}

AppTranslations::~AppTranslations()
{
    if (m_programInstalled)
        QCoreApplication::removeTranslator(&m_program);
    if (m_qtInstalled)
        QCoreApplication::removeTranslator(&m_qt);
}
