#include "app/Translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace kestrin {

bool TTranslations::Install(const QLocale& locale) {
    if (!ownInstalled_ && own_.load(locale, QStringLiteral("kestrin"), QStringLiteral("_"), QStringLiteral(":/i18n")))
        ownInstalled_ = QCoreApplication::installTranslator(&own_);
    if (!qtInstalled_ && qt_.load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                                  QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        qtInstalled_ = QCoreApplication::installTranslator(&qt_);
    return ownInstalled_;
}

TTranslations::~TTranslations() {
    if (ownInstalled_) QCoreApplication::removeTranslator(&own_);
    if (qtInstalled_) QCoreApplication::removeTranslator(&qt_);
}

}  // namespace kestrin
