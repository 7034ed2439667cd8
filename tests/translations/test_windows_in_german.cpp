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

TEST_F(WindowsInGerman, ReadyMadeAndComposedMessagesAreShownInGerman) {
    const struct {
        const char* text;
        const char* shown;
    } cases[] = {
        {"Can't open file!", "Datei kann nicht geöffnet werden!"},
        {"no device", "kein Gerät"},
        {"failed", "fehlgeschlagen"},
        // Composed texts: the values go over into the German sentence.
        {"Verify failed at 0010h: wrote 12, read 34", "Vergleich fehlgeschlagen bei 0010h: geschrieben 12, gelesen 34"},
        {"data at 1E000h lies beyond the chip's 64 KB Flash",
         "Daten bei 1E000h liegen außerhalb der 64 KB Flash des Chips"},
        {"File size exceeds memory range with given start address! 300 bytes from 1F00h do not fit the AT89S8252's "
         "Flash of 8192 bytes.",
         "Die Datei ist mit dieser Startadresse größer als der Speicherbereich! 300 Bytes ab 1F00h passen nicht in den "
         "Flash des AT89S8252 mit 8192 Bytes."},
        {"the file sets 3 fuse bytes, the ATmega8 has 2", "die Datei setzt 3 Fuse-Bytes, der ATmega8 hat 2"},
        // A message and its question, and a message with what followed from it, part by part.
        {"This file holds an ELF program. Write it as ELF?\n\nno device",
         "Diese Datei enthält ein ELF-Programm. Als ELF schreiben?\n\nkein Gerät"},
        {"no device; the adapter went away during the run", "kein Gerät; der Adapter ist während des Laufs verschwunden"},
        {"failed; the backup of the E²PROM could not be written back",
         "fehlgeschlagen; die Sicherung des E²PROM konnte nicht zurückgeschrieben werden"},
        {"The AT89S8252 has no E²PROM!", "Der AT89S8252 hat keinen E²PROM!"},
        // What the translation does not know stays as it came, values and all.
        {"Verify failed near 0010h", "Verify failed near 0010h"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(ShownMessage(c.text).toStdString(), std::string(c.shown)) << c.text;
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
