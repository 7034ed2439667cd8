// The windows in German as the program shows them: texts the device layer
// hands over (bit meanings, the cut-off question) and ready-made messages are
// looked up when shown; what the German file lacks passes unchanged.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTest>

#include "WindowGallery.h"
#include "app/Translations.h"
#include "config/Prompts.h"
#include "support/ScriptedPrompts.h"
#include "files/FileResult.h"
#include "ui/MessageTexts.h"
#include "ui/QtPrompts.h"
#include "ui/UnitFeatures.h"

namespace kestrin::test {
namespace {

class WindowsInGerman : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(translations_.Install(QLocale(QLocale::German, QLocale::Germany)));
        SetPrompts(&prompts);
    }
    void TearDown() override { SetPrompts(nullptr); }

    TScriptedPrompts prompts;

private:
    TTranslations translations_;
};

TEST_F(WindowsInGerman, TheFuseDialogShowsMeaningsRuleAndQuestionInGerman) {
    TWindowGallery gallery;
    QWidget* window = gallery.Show(QStringLiteral("fuses-avr"));
    ASSERT_NE(window, nullptr);
    const struct {
        const char* label;
        const char* text;
    } shown[] = {
        {"MeaningCKSEL0", "Taktquelle"},
        {"MeaningSPIEN", "serielle Programmierung an"},
        {"MeaningEESAVE", "E²PROM bleibt beim Löschen des Chips erhalten"},
        {"LabelRule", "1 = unprogrammiert, 0 = programmiert."},
        {"LabelStatus", "Bits aus dem Chip gelesen."},
    };
    for (const auto& s : shown) {
        const auto* label = window->findChild<QLabel*>(QString::fromLatin1(s.label));
        ASSERT_NE(label, nullptr) << s.label;
        EXPECT_EQ(label->text(), QString::fromUtf8(s.text)) << s.label;
    }
    // SPIEN left unprogrammed would cut the chip off: the question comes in
    // German, and its safe answer (No) writes nothing.
    QTest::mouseClick(window->findChild<TBitEdit*>(QStringLiteral("SPIEN")), Qt::LeftButton);
    QTest::mouseClick(FormFeatures->BitBtnWrite, Qt::LeftButton);
    ASSERT_EQ(prompts.Messages.size(), 1u);
    const QString question = QString::fromStdString(prompts.Messages[0].Text);
    EXPECT_TRUE(question.startsWith(QStringLiteral("SPIEN unprogrammiert schaltet"))) << question.toStdString();
    EXPECT_TRUE(question.endsWith(QStringLiteral("Trotzdem schreiben?"))) << question.toStdString();
    EXPECT_EQ(FormFeatures->LabelStatus->text(), QStringLiteral("Nichts geschrieben."));
}

TEST_F(WindowsInGerman, ReadyMadeMessagesAreShownInGermanWhenKnownWhole) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"Can't open file!", "Datei kann nicht geöffnet werden!"},
        {"no device", "kein Gerät"},
        {"failed", "fehlgeschlagen"},
        // A composed text is not one the translation knows: it stays as it came.
        {"Verify failed at 0010h: wrote 12, read 34", "Verify failed at 0010h: wrote 12, read 34"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ShownMessage(c.text), QString::fromUtf8(c.shown)) << c.text;
}

// The file dialogs' type lists, as the program hands them to Qt.
TEST_F(WindowsInGerman, FileDialogsNameTheFileTypesInGerman) {
    EXPECT_EQ(QtNameFilters(DataFileFilter),
              (QStringList{QString::fromUtf8("Binärdateien (*.bin)"), QStringLiteral("Intel HEX (*.hex *.obj *.ihx *.eep)"),
                           QString::fromUtf8("jede Binärdatei (*.*)"),
                           QStringLiteral("Motorola S-Record (*.srec *.s19 *.s28 *.s37 *.mot)"),
                           QStringLiteral("ELF (*.elf)")}));
}

}  // namespace
}  // namespace kestrin::test
