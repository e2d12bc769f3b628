// The application: settings location, language, the main window's runs, help.
#pragma once

#include <QObject>
#include <QString>
#include <memory>

class QTranslator;

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
    // leaves the German texts.
    void ChooseLanguage();
    bool EnglishLoaded() const { return m_english != nullptr; }

    // Opens the first PDF beside the program (then in the installed documentation folder).
    static void OpenHelp(QWidget* owner);
    // Where the help document and the catalogue are looked for.
    static QString FindHelpDocument();
    static QString FindCatalogue();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    std::unique_ptr<QTranslator> m_english;
};

}  // namespace kvara
