#pragma once

#include <QString>
#include <QStringList>
#include <QTranslator>

// The interface language: "ja" or "en". The texts in the code are the Japanese originals;
// English comes from the translation built from app/translations/orrisk_en.ts.

// The languages the program speaks: "ja" and "en".
bool IsKnownLanguage(const QString& language);

// The language to use: the command line's choice (--lang), else the one saved in the
// settings, else the system's: Japanese when the user's first interface language is
// Japanese, English otherwise. Empty or unknown choices count as not made.
QString ChooseLanguage(const QString& commandLine, const QString& saved, const QStringList& systemLanguages);

// Installs the program's translation and Qt's own for a language into the running
// application, and removes them again when it goes.
class AppTranslations {
public:
    explicit AppTranslations(const QString& language);
    ~AppTranslations();
    AppTranslations(const AppTranslations&) = delete;
    AppTranslations& operator=(const AppTranslations&) = delete;

    // Whether the program's own texts are translated (false for Japanese, the originals).
    bool ProgramTranslated() const { return m_programInstalled; }

private:
    QTranslator m_program;
    QTranslator m_qt;
    bool m_programInstalled = false;
    bool m_qtInstalled = false;
};
