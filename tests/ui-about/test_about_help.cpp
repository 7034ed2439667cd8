// The about and help windows.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include <functional>

#include "ui/UnitAbout.h"
#include "ui/UnitHelp.h"
#include "ui/UrlLabel.h"

namespace kestrin::test {
namespace {

// Runs whileOpen once the modal window is up; a window still open after
// five seconds is closed with a failure, so a test never hangs.
void RunModal(QDialog& dialog, const std::function<void()>& open, const std::function<void()>& whileOpen) {
    bool ran = false;
    QTimer::singleShot(0, &dialog, [&] {
        EXPECT_TRUE(dialog.isVisible());
        ran = true;
        whileOpen();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &dialog, [&] {
        ADD_FAILURE() << "window did not close";
        dialog.reject();
    });
    watchdog.start(5000);
    open();
    EXPECT_TRUE(ran);
    EXPECT_FALSE(dialog.isVisible());
}

TEST(AboutWindow, FirmwareText) {
    struct Case {
        uint8_t firmware;
        const char* text;
    };
    const Case cases[] = {
        {0x00, "not available (no connection to Veltro)"},
        {0x10, "1.0"},
        {0xFF, "F.F"},
        {0x05, "0.5"},
        {0x21, "2.1"},
        {0x1A, "1.A"},
        {0xA0, "A.0"},
    };
    for (const Case& c : cases) EXPECT_EQ(FirmwareText(c.firmware), QString(c.text)) << int(c.firmware);
}

TEST(AboutWindow, TextsAndLinks) {
    TFormAbout about;
    EXPECT_EQ(about.windowTitle(), "About this program");
    EXPECT_EQ(about.LabelVersion->text(), "Version 1.4");
    EXPECT_EQ(about.LabelCorvane->text(), "(Corvane Edition)");
    EXPECT_EQ(about.Label1->text(), QString::fromUtf8("µC Programmer over Veltro"));
    EXPECT_FALSE(about.Label2->text().isEmpty());
    EXPECT_EQ(about.Label3->text(), "Veltro Firmware Version:");
    EXPECT_EQ(about.Label6->toolTip(), "contact to author");

    for (TUrlLabel* link : {about.UrlLabel1, about.UrlLabel2, about.UrlLabel3, about.UrlLabel4}) {
        EXPECT_EQ(link->URL(), link->text());  // the caption is the address
        EXPECT_FALSE(link->URL().isEmpty());
        EXPECT_FALSE(link->ShowHint());
    }
    EXPECT_EQ(about.UrlLabel1->URLType(), utCustom);
    EXPECT_EQ(about.UrlLabel2->URLType(), utCustom);
    EXPECT_EQ(about.UrlLabel1->ComposeTarget(), about.UrlLabel1->URL());

    // Contact: subject "Kestrin" and two body lines appended in place, so the
    // hint still shows the target without them.
    const QString contact = "mailto:" + about.UrlLabel3->URL() + "?Subject=Kestrin";
    EXPECT_EQ(about.UrlLabel3->ComposeTarget(), contact + "&Body=Kestrin V1.4 (Corvane)%0D%0A %0D%0A");
    EXPECT_EQ(about.UrlLabel3->toolTip(), contact);

    // Support: the product line as subject and as body, followed by an empty line.
    const QString product = about.UrlLabel4->MailSubject();
    EXPECT_TRUE(product.contains("Veltro") && product.contains("Flash") && product.contains("1.0"));
    EXPECT_EQ(about.UrlLabel4->ComposeTarget(),
              "mailto:" + about.UrlLabel4->URL() + "?Subject=" + product + "&Body=" + product + "%0D%0A%0D%0A");
}

TEST(AboutWindow, EveryOpeningShowsTheCurrentFirmwareAndTheSameLinks) {
    TFormAbout about;
    const QString contact = about.UrlLabel3->ComposeTarget();
    const QString support = about.UrlLabel4->ComposeTarget();
    for (const uint8_t firmware : {0x21, 0x00, 0x1A}) {
        RunModal(about, [&] { about.Execute(firmware); },
                 [&] {
                     EXPECT_EQ(about.LabelFirmware->text(), FirmwareText(firmware));
                     QTest::mouseClick(about.BitBtnClose, Qt::LeftButton);
                 });
        EXPECT_EQ(about.UrlLabel3->ComposeTarget(), contact);
        EXPECT_EQ(about.UrlLabel3->MailBody().size(), 2);
        EXPECT_EQ(about.UrlLabel4->ComposeTarget(), support);
    }
}

TEST(HelpWindow, FixedTextInAMonospacedFont) {
    TFormHelp help;
    EXPECT_EQ(help.windowTitle(), QString::fromUtf8("µC Programmer over Veltro - command line parameters"));
    const QStringList lines = help.Memo1->toPlainText().split('\n');
    ASSERT_EQ(lines.size(), 20);
    EXPECT_EQ(lines[0], "/C=  select COM port. Example: /C=2 (COM2, invalid ports ignored)");
    EXPECT_EQ(lines[4], R"(/F=  file name. Example for a long name: /F="d:\My File.bin")");
    EXPECT_EQ(lines[13], "/H=1 show this help (no more action)");
    EXPECT_TRUE(lines[14].isEmpty());
    EXPECT_EQ(lines[17], "The order of the parameters don't care.");
    EXPECT_EQ(lines[19], "/R=1 write back the backups an interrupted write left (with /T=1)");
    for (int i = 0; i < lines.size(); ++i) EXPECT_EQ(lines[i].isEmpty(), i == 14 || i == 18) << i;
    EXPECT_TRUE(help.Memo1->isReadOnly());
    EXPECT_TRUE(QFontInfo(help.Memo1->font()).fixedPitch());
    EXPECT_EQ(help.Memo1->font().pointSize(), 10);
}

TEST(HelpWindow, NoTitleBarButtonsAndOkCloses) {
    TFormHelp help;
    const Qt::WindowFlags flags = help.windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::CustomizeWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowTitleHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowSystemMenuHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowMinMaxButtonsHint));
    EXPECT_EQ(help.BitBtn1->text(), "OK");
    EXPECT_TRUE(help.BitBtn1->isDefault());

    // Enter closes it, and so does OK; it can be opened again.
    RunModal(help, [&] { help.Execute(); }, [&] { QTest::keyClick(&help, Qt::Key_Return); });
    RunModal(help, [&] { help.Execute(); },
             [&] {
                 // Every line is in view: nothing to scroll either way.
                 EXPECT_EQ(help.Memo1->verticalScrollBar()->maximum(), 0);
                 EXPECT_EQ(help.Memo1->horizontalScrollBar()->maximum(), 0);
                 QTest::mouseClick(help.BitBtn1, Qt::LeftButton);
             });
}

}  // namespace
}  // namespace kestrin::test
