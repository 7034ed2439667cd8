// The link label: composed targets, the hint rules, the hover look and clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>

#include <string>
#include <vector>

#include "ui/UrlLabel.h"

namespace kestrin::test {
namespace {

// Records the targets instead of handing them to the desktop.
class RecordingUrlLabel : public TUrlLabel {
public:
    using TUrlLabel::TUrlLabel;
    std::vector<QString> opened;

protected:
    void OpenTarget(const QString& target) override { opened.push_back(target); }
};

QColor FontColor(const QLabel& label) { return label.palette().color(QPalette::WindowText); }

void Enter(QWidget& w) {
    QEnterEvent e(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(&w, &e);
}

void Leave(QWidget& w) {
    QEvent e(QEvent::Leave);
    QApplication::sendEvent(&w, &e);
}

TEST(UrlLabel, ComposedTargets) {
    struct Case {
        TUrlType type;
        QString custom, url, subject;
        QStringList body;
        QString bcc, cc;
        QString target;
    };
    const std::vector<Case> cases = {
        {utCustom, "", "https://x.org/", "s", {"b"}, "d", "e", "https://x.org/"},  // mail fields only for mail
        {utCustom, "", "", "", {}, "", "", ""},
        {utCustom, "irc://", "libera.chat", "", {}, "", "", "irc://libera.chat"},
        {utFile, "x:", "/tmp/a.txt", "", {}, "", "", "file:///tmp/a.txt"},
        {utFtp, "", "ftp.x.org", "", {}, "", "", "ftp://ftp.x.org"},
        {utGopher, "", "g.x.org", "", {}, "", "", "gopher://g.x.org"},
        {utHttp, "", "x.org", "", {}, "", "", "http://x.org"},
        {utHttps, "", "x.org", "", {}, "", "", "https://x.org"},
        {utNews, "", "comp.arch", "", {}, "", "", "news:comp.arch"},
        {utTelnet, "", "bbs.x.org", "", {}, "", "", "telnet:bbs.x.org"},
        {utWais, "", "w.x.org", "", {}, "", "", "wais:w.x.org"},
        // Mail: fields in the order subject, body, blind copy, copy; "?" then "&".
        {utMail, "", "a", "", {}, "", "", "mailto:a"},
        {utMail, "", "a", "b", {"c", ""}, "", "", "mailto:a?Subject=b&Body=c%0D%0A%0D%0A"},
        {utMail, "", "a", "", {}, "d", "e", "mailto:a?Bcc=d&Cc=e"},
        {utMail, "", "a", "", {"x"}, "", "", "mailto:a?Body=x%0D%0A"},
        {utMail, "", "a", "s", {"x", "y"}, "", "", "mailto:a?Subject=s&Body=x%0D%0Ay%0D%0A"},
        {utMail, "", "a", "", {""}, "", "", "mailto:a?Body=%0D%0A"},  // one empty line is a body
        {utMail, "", "a", "s", {}, "", "e", "mailto:a?Subject=s&Cc=e"},
        {utMail, "", "a", "s b", {"1 & 2"}, "d", "e", "mailto:a?Subject=s b&Body=1 & 2%0D%0A&Bcc=d&Cc=e"},
        {utMail, "", "", "", {}, "", "", "mailto:"},
    };
    for (const Case& c : cases) {
        TUrlLabel label;
        label.SetURLType(c.type);
        label.SetCustomURLType(c.custom);
        label.SetURL(c.url);
        label.SetMailSubject(c.subject);
        label.SetMailBody(c.body);
        label.SetBcc(c.bcc);
        label.SetCc(c.cc);
        EXPECT_EQ(label.ComposeTarget(), c.target) << c.target.toStdString();
        EXPECT_EQ(label.toolTip(), c.target);
    }
}

TEST(UrlLabel, ReplaceAllIgnoresCaseAndDoesNotRescan) {
    struct Case {
        QString search, replacement, text, result;
    };
    const std::vector<Case> cases = {
        {"\r\n", "%0D%0A", "a\r\nb\r\n", "a%0D%0Ab%0D%0A"},
        {"ab", "x", "ABab aB", "xx x"},
        {"aa", "b", "aaa", "ba"},        // occurrences do not overlap
        {"a", "aa", "aa", "aaaa"},       // replaced text is not scanned again
        {"x", "", "xyx", "y"},
        {"q", "z", "abc", "abc"},
        {"", "z", "abc", "abc"},
        {"abc", "z", "", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(ReplaceAll(c.search, c.replacement, c.text), c.result) << c.text.toStdString();
}

TEST(UrlLabel, NewLabelDefaults) {
    TUrlLabel label;
    EXPECT_EQ(label.ActiveColor(), QColor(0, 0, 255));
    EXPECT_EQ(label.InactiveColor(), QColor(0, 0, 128));
    EXPECT_EQ(FontColor(label), QColor(0, 0, 128));
    EXPECT_TRUE(label.DetectMouse());
    EXPECT_TRUE(label.UnderlineOnEnter());
    EXPECT_TRUE(label.ShowUrlHint());
    EXPECT_EQ(label.URLType(), utCustom);
    EXPECT_TRUE(label.URL().isEmpty());
    EXPECT_TRUE(label.MailBody().isEmpty());
    EXPECT_TRUE(label.toolTip().isEmpty());
    EXPECT_FALSE(label.font().underline());
    EXPECT_EQ(label.cursor().shape(), Qt::PointingHandCursor);
    const bool tahoma = QFontDatabase::families().contains("Tahoma");
    EXPECT_EQ(label.font().family(), tahoma ? QString("Tahoma") : QString("Arial"));
}

TEST(UrlLabel, HintFollowsTheTargetOnlyWhenAsked) {
    TUrlLabel label;
    label.SetURLType(utHttp);
    label.SetURL("x.org");
    EXPECT_EQ(label.toolTip(), "http://x.org");

    // Off: a hand-set hint stays, setters leave it alone.
    label.SetShowUrlHint(false);
    EXPECT_TRUE(label.toolTip().isEmpty());
    label.setToolTip("by hand");
    label.SetShowUrlHint(false);
    label.SetURL("y.org");
    EXPECT_EQ(label.toolTip(), "by hand");
    // On replaces it by the target; off again clears it.
    label.SetShowUrlHint(true);
    EXPECT_EQ(label.toolTip(), "http://y.org");
    label.SetShowUrlHint(false);
    EXPECT_TRUE(label.toolTip().isEmpty());

    // Setters that do not refresh the hint.
    TUrlLabel custom;
    custom.SetURL("kestrin.example.org");
    custom.SetCustomURLType("https://");
    custom.SetActiveColor(Qt::red);
    custom.SetInactiveColor(Qt::green);
    custom.SetUnderlineOnEnter(false);
    EXPECT_EQ(custom.toolTip(), "kestrin.example.org");
    custom.SetURLType(utCustom);
    EXPECT_EQ(custom.toolTip(), "https://kestrin.example.org");

    // Mail body: lines changed in place wait for the next refresh, an assigned list refreshes.
    TUrlLabel mail;
    mail.SetURLType(utMail);
    mail.SetURL("a@x.org");
    mail.MailBody().append("hello");
    EXPECT_EQ(mail.toolTip(), "mailto:a@x.org");
    EXPECT_EQ(mail.ComposeTarget(), "mailto:a@x.org?Body=hello%0D%0A");
    mail.SetMailBody({"hi"});
    EXPECT_EQ(mail.toolTip(), "mailto:a@x.org?Body=hi%0D%0A");
    EXPECT_EQ(mail.MailBody(), QStringList{"hi"});
    mail.SetMailSubject("s");
    mail.SetCc("c");
    mail.SetBcc("b");
    EXPECT_EQ(mail.toolTip(), "mailto:a@x.org?Subject=s&Body=hi%0D%0A&Bcc=b&Cc=c");
}

TEST(UrlLabel, HoverLook) {
    struct Case {
        bool detectMouse, underlineOnEnter, bold;
        QColor entered;
        bool underlinedEntered, boldEntered;
        QColor left;
        bool underlinedLeft, boldLeft;
    };
    const QColor active(200, 0, 0), inactive(0, 120, 0), navy(0, 0, 128);
    const std::vector<Case> cases = {
        {true, true, false, active, true, false, inactive, false, false},
        {true, true, true, active, true, false, inactive, false, false},     // underline alone while hovered
        {true, false, false, active, false, false, inactive, false, false},  // colour only
        {true, false, true, active, false, true, inactive, false, false},    // bold goes at the first leave
        {false, true, false, navy, true, false, navy, true, false},          // always underlined, colour kept
        {false, false, true, navy, true, true, navy, true, true},
    };
    for (const Case& c : cases) {
        TUrlLabel label;
        label.SetActiveColor(active);
        label.SetInactiveColor(inactive);
        label.SetUnderlineOnEnter(c.underlineOnEnter);
        QFont f = label.font();
        f.setBold(c.bold);
        label.setFont(f);
        label.SetDetectMouse(c.detectMouse);
        EXPECT_EQ(label.font().underline(), !c.detectMouse);
        std::vector<std::string> seen;
        label.OnMouseEnter = [&](TUrlLabel* sender) {
            EXPECT_EQ(sender, &label);
            EXPECT_EQ(FontColor(label), c.entered);  // called after the change
            seen.push_back("enter");
        };
        label.OnMouseLeave = [&](TUrlLabel* sender) {
            EXPECT_EQ(sender, &label);
            seen.push_back("leave");
        };
        for (int round = 0; round < 2; ++round) {
            Enter(label);
            EXPECT_EQ(FontColor(label), c.entered);
            EXPECT_EQ(label.font().underline(), c.underlinedEntered);
            EXPECT_EQ(label.font().bold(), c.boldEntered && (round == 0 || c.boldLeft));
            Leave(label);
            EXPECT_EQ(FontColor(label), c.left);
            EXPECT_EQ(label.font().underline(), c.underlinedLeft);
            EXPECT_EQ(label.font().bold(), c.boldLeft);
        }
        EXPECT_EQ(seen, (std::vector<std::string>{"enter", "leave", "enter", "leave"}));
    }
    // Switching DetectMouse touches the underline only.
    TUrlLabel label;
    QFont f = label.font();
    f.setItalic(true);
    label.setFont(f);
    label.SetDetectMouse(false);
    EXPECT_TRUE(label.font().underline());
    EXPECT_TRUE(label.font().italic());
    label.SetDetectMouse(true);
    EXPECT_FALSE(label.font().underline());
    EXPECT_TRUE(label.font().italic());
}

TEST(UrlLabel, ClickOpensTheComposedTarget) {
    RecordingUrlLabel label;
    label.setText("mail me");
    label.resize(100, 20);
    label.SetURLType(utMail);
    label.SetURL("a@x.org");
    label.SetMailSubject("hi");
    label.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));

    QTest::mouseClick(&label, Qt::LeftButton, {}, QPoint(10, 10));
    ASSERT_EQ(label.opened.size(), 1u);
    EXPECT_EQ(label.opened[0], "mailto:a@x.org?Subject=hi");

    QTest::mouseClick(&label, Qt::RightButton, {}, QPoint(10, 10));
    QTest::mousePress(&label, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&label, Qt::LeftButton, {}, QPoint(150, 10));  // released outside: no click
    EXPECT_EQ(label.opened.size(), 1u);

    // Empty targets are handed on unchanged as well.
    label.SetURL("");
    label.SetURLType(utCustom);
    label.Click();
    ASSERT_EQ(label.opened.size(), 2u);
    EXPECT_TRUE(label.opened[1].isEmpty());
}

TEST(UrlLabel, HintPopsUpOnlyWhenShown) {
    for (const bool show : {true, false}) {
        TUrlLabel label;
        label.setText("link");
        label.SetURLType(utHttp);
        label.SetURL("x.org");
        label.SetShowHint(show);
        label.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&label));
        QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), label.mapToGlobal(QPoint(2, 2)));
        QApplication::sendEvent(&label, &help);
        EXPECT_EQ(QToolTip::isVisible(), show);
        EXPECT_EQ(label.toolTip(), "http://x.org");
        QToolTip::hideText();
    }
}

}  // namespace
}  // namespace kestrin::test
