// The serial-number settings of a profile in the options dialog: shown,
// typed, refused when they make no number, cleared, and kept in the settings
// file only for a profile that uses them.
#include <QLineEdit>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "OptionsTestSupport.h"
#include "production/SerialNumber.h"
#include "ui/UnitOptions.h"

namespace kestrin::test {
namespace {

class OptionsSerialTest : public DialogTest {};

void Type(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

TEST_F(OptionsSerialTest, TypedSerialNumbersReachTheProfileAndTheSettingsFile) {
    const int plain = AddUser(User("plain", ctATmega, 9000, 9000, 10000));
    const int serial = AddUser(User("line", ctATmega, 9000, 9000, 10000));
    Config.ProfileIndex = serial;
    TFormOptions form;
    form.Open();
    EXPECT_EQ(form.EditSerial->text(), "");

    // Text that makes no number is shown in red and leaves the profile as it was.
    struct Case {
        const char* typed;
        bool red;
        const char* format;  // the profile's afterwards
    };
    const Case cases[] = {
        {"0x7FFC:4:le:1000", false, "le"},  {"0:9:le:1", true, ""},  // no 9-byte numbers
        {"0x100:3:bcd:42:2", false, "bcd"}, {"0x100:2:dec:100", true, "dec"},  // 100 needs three digits: 10 stays
        {"", false, ""},                    {"0x1FF0:6:hex:0xABC", false, "hex"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        const std::string before = ProfileTable[static_cast<size_t>(serial)].SerialFormat;
        Type(form.EditSerial, QString::fromLatin1(c.typed));
        EXPECT_EQ(form.EditSerial->styleSheet().contains("red"), c.red);
        EXPECT_EQ(ProfileTable[static_cast<size_t>(serial)].SerialFormat, before) << "committed only on OK";
        form.Commit();
        EXPECT_EQ(ProfileTable[static_cast<size_t>(serial)].SerialFormat, c.format);
        form.Open();
    }
    form.Commit();
    const TProfile& stored = ProfileTable[static_cast<size_t>(serial)];
    EXPECT_EQ(stored.SerialFormat, "hex");
    EXPECT_EQ(stored.SerialAddress, 0x1FF0);
    EXPECT_EQ(stored.SerialLength, 6);
    EXPECT_EQ(stored.SerialFirst, "2748");
    EXPECT_EQ(stored.SerialStep, "1");

    // Only the profile with serial numbers has the keys in its section; they come back on loading.
    ASSERT_TRUE(SaveSettings());
    std::ifstream in(SettingsFileName());
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find("SerialFormat"), text.str().rfind("SerialFormat")) << text.str();
    EXPECT_NE(text.str().find("SerialFormat=hex"), std::string::npos) << text.str();
    ResetSettings();
    LoadSettings();
    std::string error;
    EXPECT_EQ(ProfileSerial(ProfileTable[static_cast<size_t>(serial)], error),
              (TSerialSeries{0x1FF0, 6, TSerialFormat::Hex, 0xABC, 1}));
    EXPECT_FALSE(ProfileSerial(ProfileTable[static_cast<size_t>(plain)], error));

    // The dialog shows the stored numbers; clearing them leaves none behind.
    form.Open();
    EXPECT_EQ(form.EditSerial->text(), "0x1FF0:6:hex:2748:1");
    Type(form.EditSerial, "");
    form.Commit();
    ASSERT_TRUE(SaveSettings());
    ResetSettings();
    LoadSettings();
    EXPECT_FALSE(ProfileSerial(ProfileTable[static_cast<size_t>(serial)], error));
    EXPECT_EQ(error, "");
}

}  // namespace
}  // namespace kestrin::test
