// SPDX-License-Identifier: MIT
// The application: settings location, language, the main window's runs, help.
#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <string>

class QTranslator;
class QWidget;

namespace kvara {

class CKvara_ProgrammerApp : public QObject {
    Q_OBJECT

public:
    CKvara_ProgrammerApp();
    ~CKvara_ProgrammerApp() override;

    // The start-up loop: language, main window, again after a language switch. Returns the
    // process exit code.
    int Run();

    // Loads or drops the English catalogue as "Settings"/"Sprache" says. A missing catalogue
    // leaves the German texts. Qt's own texts (the buttons of message boxes) follow the
    // texts in use.
    void ChooseLanguage();
    bool EnglishLoaded() const { return m_english != nullptr; }

    // Opens the manual in the language in use with the desktop's PDF viewer. Without a viewer,
    // or without a manual, a message says where the manual is (or where it was looked for).
    static void OpenHelp(QWidget* owner, bool english);
    // The manual for the language: its own file beside the program, then in the installed
    // documentation folder; failing both, the first PDF found in those two places.
    static QString FindHelpDocument(bool english);
    // Where the help document and the catalogue are looked for.
    static QStringList HelpFolders();
    static QString FindCatalogue();
    // For --version, without an application object: the program's version, and the English
    // catalogue it would load (empty when none is found).
    static std::string VersionText();
    static std::string CatalogueText();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void ChooseQtTexts();

    std::unique_ptr<QTranslator> m_english;
    std::unique_ptr<QTranslator> m_qtGerman;
};

// File names of the manual, German and English.
constexpr const char* kManualGerman = "Kvara_Programmer_Handbuch.pdf";
constexpr const char* kManualEnglish = "Kvara_Programmer_Manual.pdf";

}  // namespace kvara
