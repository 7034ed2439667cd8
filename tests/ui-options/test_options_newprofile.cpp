#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "OptionsTestSupport.h"
#include "ui/UnitNewProfile.h"

namespace kestrin::test {
namespace {

using NewProfileTest = DialogTest;

enum class TLeave { OkButton, EnterKey, CancelButton, EscapeKey, TitleBar };

struct TNewProfileCase {
    const char* Label;
    const char* TypedName;  // nullptr: leave the box as shown
    const char* TypedInfo;  // nullptr: leave the box as shown
    TLeave Leave;
    bool Result;
    const char* Name;
    const char* Info;
};

TEST_F(NewProfileTest, ReturnsTheTextsOnlyOnOk) {
    const TNewProfileCase cases[] = {
        {"typed both, OK", "Board A", "my board", TLeave::OkButton, true, "Board A", "my board"},
        {"unchanged description, Enter", "B", nullptr, TLeave::EnterKey, true, "B", "passed in"},
        {"empty name, OK", nullptr, nullptr, TLeave::OkButton, true, "", "passed in"},
        {"empty description, OK", "C", "", TLeave::OkButton, true, "C", ""},
        {"typed, Cancel", "D", "other", TLeave::CancelButton, false, "before", "passed in"},
        {"typed, Esc", "E", "other", TLeave::EscapeKey, false, "before", "passed in"},
        {"typed, title bar", "F", "other", TLeave::TitleBar, false, "before", "passed in"},
    };
    TFormNewProfile form;
    for (const TNewProfileCase& c : cases) {
        SCOPED_TRACE(c.Label);
        std::string name = "before";
        std::string info = "passed in";
        WhenShown(form, [&] {
            if (c.TypedName != nullptr) QTest::keyClicks(form.EditName, QString::fromUtf8(c.TypedName));
            if (c.TypedInfo != nullptr) {
                form.EditInfo->clear();
                QTest::keyClicks(form.EditInfo, QString::fromUtf8(c.TypedInfo));
            }
            switch (c.Leave) {
                case TLeave::OkButton: QTest::mouseClick(form.BitBtnOk, Qt::LeftButton); break;
                case TLeave::EnterKey: QTest::keyClick(form.EditName, Qt::Key_Return); break;
                case TLeave::CancelButton: QTest::mouseClick(form.BitBtnCancel, Qt::LeftButton); break;
                case TLeave::EscapeKey: QTest::keyClick(&form, Qt::Key_Escape); break;
                case TLeave::TitleBar: form.close(); break;
            }
        });
        EXPECT_EQ(form.Execute(name, info), c.Result);
        EXPECT_EQ(name, c.Name);
        EXPECT_EQ(info, c.Info);
    }
}

TEST_F(NewProfileTest, NameBoxIsEmptyAtEveryOpening) {
    TFormNewProfile form;
    std::vector<QString> shownNames;
    std::vector<QString> shownInfos;
    for (const char* typed : {"first", "second"}) {
        std::string name = "not shown";
        std::string info = std::string("info of ") + typed;
        WhenShown(form, [&] {
            shownNames.push_back(form.EditName->text());
            shownInfos.push_back(form.EditInfo->text());
            QTest::keyClicks(form.EditName, typed);
            QTest::mouseClick(form.BitBtnOk, Qt::LeftButton);
        });
        ASSERT_TRUE(form.Execute(name, info));
        EXPECT_EQ(name, typed);
    }
    EXPECT_EQ(shownNames, (std::vector<QString>{"", ""}));
    EXPECT_EQ(shownInfos, (std::vector<QString>{"info of first", "info of second"}));
}

}  // namespace
}  // namespace kestrin::test
