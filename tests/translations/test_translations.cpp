// The German translation: every text the windows pass through tr() has a
// German one that keeps its placeholders and its one mnemonic, the sources
// hold no text that the .ts file lacks, and the program's built-in .qm gives
// the German texts for the system language.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>

#include <vector>

namespace {

struct TMessage {
    QString context;
    QString source;
    QString translation;
    bool unfinished = false;
};

std::vector<TMessage> ReadTs(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
    std::vector<TMessage> messages;
    QXmlStreamReader xml(&file);
    QString context;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) continue;
        if (xml.name() == u"name") {
            context = xml.readElementText();
        } else if (xml.name() == u"message") {
            TMessage m;
            m.context = context;
            messages.push_back(m);
        } else if (xml.name() == u"source" && !messages.empty()) {
            messages.back().source = xml.readElementText();
        } else if (xml.name() == u"translation" && !messages.empty()) {
            const QString type = xml.attributes().value(QStringLiteral("type")).toString();
            messages.back().unfinished = type == u"unfinished" || type == u"vanished" || type == u"obsolete";
            messages.back().translation = xml.readElementText();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    return messages;
}

// "&&" and "& " are literal ampersands; "&" before a letter marks the mnemonic.
int Mnemonics(QString text) {
    text.remove(QStringLiteral("&&"));
    return static_cast<int>(text.count(QRegularExpression(QStringLiteral("&[^\\s&]"))));
}

QStringList Placeholders(const QString& text) {
    QStringList found;
    for (const auto& m : QRegularExpression(QStringLiteral("%\\d")).globalMatch(text)) found << m.captured();
    found.sort();
    return found;
}

const QString kTsFile = QStringLiteral(KESTRIN_SOURCE_DIR "/translations/kestrin_de.ts");

TEST(GermanTranslation, EveryTextIsTranslatedWithItsPlaceholdersAndMnemonic) {
    const std::vector<TMessage> messages = ReadTs(kTsFile);
    ASSERT_GT(messages.size(), 40u);
    for (const TMessage& m : messages) {
        SCOPED_TRACE(m.context.toStdString() + ": " + m.source.toStdString());
        EXPECT_FALSE(m.unfinished);
        EXPECT_FALSE(m.translation.isEmpty());
        EXPECT_EQ(Mnemonics(m.translation), Mnemonics(m.source));
        EXPECT_EQ(Placeholders(m.translation), Placeholders(m.source));
        EXPECT_EQ(m.translation.count(QStringLiteral("&&")), m.source.count(QStringLiteral("&&")));
    }
}

// A text added to the windows without its German one shows up as unfinished
// when the sources are scanned again, the way scripts/update-translations.sh does.
TEST(GermanTranslation, SourcesHoldNoTextTheTranslationLacks) {
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    const QString copy = tmp.filePath(QStringLiteral("kestrin_de.ts"));
    {
        // lupdate names the main window's context without its namespace; the
        // file holds it with, as tr() looks it up (see scripts/update-translations.sh).
        QFile in(kTsFile);
        ASSERT_TRUE(in.open(QIODevice::ReadOnly));
        QFile out(copy);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(QString::fromUtf8(in.readAll())
                      .replace(QStringLiteral("<name>kestrin::TFormMain</name>"), QStringLiteral("<name>TFormMain</name>"))
                      .toUtf8());
    }
    QDir src(QStringLiteral(KESTRIN_SOURCE_DIR "/src"));
    QStringList arguments = {QStringLiteral("-I"), src.path(), QStringLiteral("-no-obsolete"), QStringLiteral("-locations"),
                             QStringLiteral("none")};
    for (const char* folder : {"ui", "app"}) {
        for (const QString& name : QDir(src.filePath(QString::fromUtf8(folder))).entryList({"*.cpp", "*.h"}, QDir::Files))
            arguments << src.filePath(QString::fromUtf8(folder) + QLatin1Char('/') + name);
    }
    // The device layer's texts that the fuse and lock bits dialog shows.
    arguments << src.filePath(QStringLiteral("devices/AvrFuses.cpp")) << src.filePath(QStringLiteral("devices/FuseBits.cpp"));
    arguments << QStringLiteral("-ts") << copy;
    QProcess lupdate;
    lupdate.start(QStringLiteral(KESTRIN_LUPDATE), arguments);
    ASSERT_TRUE(lupdate.waitForFinished(120000));
    ASSERT_EQ(lupdate.exitCode(), 0) << lupdate.readAllStandardError().toStdString();
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    QString text = QString::fromUtf8(file.readAll());
    text.replace(QStringLiteral("<name>TFormMain</name>"), QStringLiteral("<name>kestrin::TFormMain</name>"));
    file.resize(0);
    file.write(text.toUtf8());
    file.close();
    for (const TMessage& m : ReadTs(copy)) {
        EXPECT_FALSE(m.unfinished) << "no German text for " << m.context.toStdString() << ": " << m.source.toStdString();
    }
}

TEST(GermanTranslation, BuiltInTranslationFollowsTheSystemLanguage) {
    QTranslator german;
    ASSERT_TRUE(german.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("kestrin"), QStringLiteral("_"),
                            QStringLiteral(":/i18n")));
    QCoreApplication::installTranslator(&german);
    EXPECT_EQ(QCoreApplication::translate("kestrin::TFormMain", "&File..."), QStringLiteral("&Datei..."));
    EXPECT_EQ(QCoreApplication::translate("kestrin::TFormRead", "&Read µC"), QString::fromUtf8("µC l&esen"));
    QCoreApplication::removeTranslator(&german);
    QTranslator english;
    EXPECT_FALSE(english.load(QLocale(QLocale::English, QLocale::UnitedStates), QStringLiteral("kestrin"),
                              QStringLiteral("_"), QStringLiteral(":/i18n")));
}

}  // namespace
