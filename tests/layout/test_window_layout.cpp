// Every window as the program builds it, at the scale of QT_SCALE_FACTOR and
// in the language of LANG (ctest runs this for 1 and 2, English and German):
// each label's, button's and check box's text fits its widget by the font
// metrics, and no two texts lie over one another.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLocale>
#include <QWidget>

#include "LayoutCheck.h"
#include "WindowGallery.h"
#include "app/Translations.h"

namespace kestrin {
namespace {

bool GermanWanted() { return QLocale().language() == QLocale::German; }

void ExpectEveryTextFits() {
    TTranslations translations;
    EXPECT_EQ(translations.Install(QLocale()), GermanWanted());
    TWindowGallery gallery;
    for (const QString& name : TWindowGallery::Names()) {
        SCOPED_TRACE(name.toStdString());
        QWidget* window = gallery.Show(name);
        ASSERT_NE(window, nullptr);
        EXPECT_TRUE(window->isVisible());
        const QStringList faults = TextLayoutFaults(*window);
        EXPECT_TRUE(faults.isEmpty()) << faults.join(QLatin1Char('\n')).toStdString();
    }
}

TEST(WindowLayout, EveryTextFitsItsWidget) { ExpectEveryTextFits(); }

// The desktop's font set twice as large, the scale unchanged: sizes given
// in pixels must grow with the font metrics.
TEST(WindowLayout, EveryTextFitsItsWidgetWithALargeFont) {
    const QFont standard = QApplication::font();
    QFont large = standard;
    large.setPointSizeF(standard.pointSizeF() * 2);
    QApplication::setFont(large);
    ExpectEveryTextFits();
    QApplication::setFont(standard);
}

// The same windows without a translation and with the system language's:
// in German no window keeps its English title.
TEST(WindowLayout, EveryWindowFollowsTheSystemLanguage) {
    if (!GermanWanted()) GTEST_SKIP() << "English is the source language";
    QStringList english;
    {
        TWindowGallery gallery;
        for (const QString& name : TWindowGallery::Names()) english << gallery.Show(name)->windowTitle();
    }
    TTranslations translations;
    ASSERT_TRUE(translations.Install(QLocale()));
    TWindowGallery gallery;
    const QStringList names = TWindowGallery::Names();
    for (qsizetype i = 0; i < names.size(); ++i) {
        SCOPED_TRACE(names[i].toStdString());
        EXPECT_NE(gallery.Show(names[i])->windowTitle(), english[i]);
    }
}

// The check itself: a label squeezed below its text's width is caught, and
// so are two labels placed on one another.
TEST(WindowLayout, TheCheckCatchesClippedAndOverlappingText) {
    QWidget window;
    window.resize(400, 200);
    auto* narrow = new QLabel(QStringLiteral("A text much wider than its label"), &window);
    narrow->setGeometry(10, 10, 60, 30);
    auto* under = new QLabel(QStringLiteral("under"), &window);
    under->setGeometry(10, 100, 120, 30);
    auto* over = new QLabel(QStringLiteral("over"), &window);
    over->setGeometry(20, 105, 120, 30);
    window.show();
    QApplication::processEvents();
    const QString faults = TextLayoutFaults(window).join(QLatin1Char('\n'));
    EXPECT_TRUE(faults.contains(QStringLiteral("wider than its label\": text"))) << faults.toStdString();
    EXPECT_TRUE(faults.contains(QStringLiteral("\"under\" overlaps"))) << faults.toStdString();
    narrow->resize(narrow->sizeHint());
    over->move(20, 150);
    EXPECT_TRUE(TextLayoutFaults(window).isEmpty()) << TextLayoutFaults(window).join(QLatin1Char('\n')).toStdString();
}

}  // namespace
}  // namespace kestrin
