// The unattended run inside the program's real event loop, with the real
// message boxes: a box shown while the main window is still hidden must not
// end the program when it closes.
#include <QMessageBox>
#include <QSignalSpy>
#include <QTimer>

#include "app/AppFixture.h"
#include "ui/QtPrompts.h"

namespace kestrin::test {
namespace {

TEST_F(AppTest, MessageBoxOfHiddenRunLeavesProgramOpen) {
    RecordingDriver& rec = Recorder();
    const std::string file = MakeFile("image.bin", 16);
    Config.LastFile = file;
    Config.Autoconnect = true;
    Config.ExecMode = 0;  // window hidden; shown again when the write fails
    TFormMain& f = Form();
    ASSERT_TRUE(Connected);
    std::remove(file.c_str());  // the write will say "File is empty!"
    rec.ClearLog();

    QtPrompts real;
    SetPrompts(&real);
    QSignalSpy closed(&f, &TFormMain::Closed);
    QObject::connect(&f, &TFormMain::Closed, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    QString boxText;
    QTimer closer;
    closer.setInterval(10);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->close();  // as by the title bar
        }
    });
    closer.start();
    QTimer::singleShot(0, &f, [&] { f.TimerExecTimer(); });
    QTimer::singleShot(500, qApp, [] { QCoreApplication::exit(0); });
    QApplication::exec();
    SetPrompts(&prompts_);

    EXPECT_EQ(boxText, "File is empty!");
    EXPECT_FALSE(f.LastWriteOk);
    EXPECT_EQ(closed.count(), 0);
    EXPECT_TRUE(f.isVisible());
}

}  // namespace
}  // namespace kestrin::test
