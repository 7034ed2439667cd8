// The windows' language: Kestrin's own texts and Qt's (standard buttons,
// file dialogs) in the language of a locale, as long as the object lives.
#pragma once

#include <QLocale>
#include <QTranslator>

namespace kestrin {

class TTranslations {
public:
    // Installs the translations of the locale's language that exist; true
    // when Kestrin's own is among them (English, the source, has none).
    bool Install(const QLocale& locale);
    ~TTranslations();

private:
    QTranslator own_;
    QTranslator qt_;
    bool ownInstalled_ = false;
    bool qtInstalled_ = false;
};

}  // namespace kestrin
