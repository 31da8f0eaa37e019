// The Debug dialog on the simulated camera: one dialog however often it is
// asked for, its fields as they open, each button's result word for word
// after the fields were read back, the log, and the slave address kept.
#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QPushButton>

#include "viewer/GuiFixture.h"

#include "core/commands/Commands.h"
#include "debug/DebugDialog.h"

namespace qdx::viewer::test {
namespace {

class DebugDialogTest : public ViewerWindowTest {
protected:
    void SetUp() override
    {
        ViewerWindowTest::SetUp();
        QDXSim_SetEepromWriteTime(0);
        ASSERT_NO_FATAL_FAILURE(open("[QDX_Viewer]\nExpertMode=1\n", true));
    }

    DebugDialog* openDialog()
    {
        window->action(kCmdDebug)->trigger();
        const auto dialogs = window->findChildren<DebugDialog*>();
        return dialogs.size() == 1 ? dialogs[0] : nullptr;
    }
    QLineEdit* box(int id) const { return test::control<QLineEdit>(dialog, id); }
    QString text(int id) const { return box(id)->text(); }
    void set(int id, const char* value) { box(id)->setText(QString::fromUtf8(value)); }
    // Presses a button and waits for its answer.
    void press(int id)
    {
        ASSERT_TRUE(test::control<QPushButton>(dialog, id)->isEnabled()) << id;
        test::control<QPushButton>(dialog, id)->click();
        ASSERT_TRUE(processUntil([&] { return !dialog->busy(); })) << id;
    }

    DebugDialog* dialog = nullptr;
};

// Guards the dialog's life: a single modeless instance however often "Debug"
// is chosen, the default texts at every opening, and only the slave address
// kept between openings.
TEST_F(DebugDialogTest, OneDialogWithDefaultsKeepingTheSlaveAddress)
{
    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(openDialog(), dialog);
    EXPECT_FALSE(dialog->isModal());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Debug"));
    EXPECT_EQ(dialog->focusWidget(), test::control(dialog, 3001));
    const std::vector<std::pair<int, QString>> defaults = {
        {2001, "58"}, {2002, ""}, {2003, "2"}, {2004, ""}, {2005, "0"}, {2006, ""}, {2007, ""},
        {2008, ""}, {2009, "0"}, {2010, "4000"}, {2011, ""}, {2012, "1"}, {2013, ""}};
    for (const auto& [id, value] : defaults)
        EXPECT_EQ(text(id), value) << id;

    set(2001, "1D0");
    set(2003, "300");
    set(2005, "12");
    press(3002);
    EXPECT_EQ(text(2001), QStringLiteral("50"));
    EXPECT_EQ(text(2003), QStringLiteral("44"));
    EXPECT_EQ(text(2004), QStringLiteral("failed.")) << "nothing answers at 50";
    dialog->close();
    ASSERT_TRUE(processUntil([&] { return window->findChildren<DebugDialog*>().isEmpty(); }));

    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(text(2001), QStringLiteral("50"));
    EXPECT_EQ(text(2003), QStringLiteral("2"));
    EXPECT_EQ(text(2005), QStringLiteral("0"));
}

// Guards each button's result field, word for word, with the fields read
// back as they were understood, and the log naming each request.
TEST_F(DebugDialogTest, ButtonsShowTheirResultsAndLogTheRequests)
{
    dialog = openDialog();
    ASSERT_NE(dialog, nullptr);
    set(2002, "0 11,22");
    press(3001);
    EXPECT_EQ(text(2002), QStringLiteral("00 11 22 "));
    EXPECT_EQ(text(2004), QStringLiteral("success."));
    set(2002, "0");
    press(3003);
    EXPECT_EQ(text(2004), QStringLiteral("11 22 "));

    set(2005, "5");
    set(2006, "1A2B");
    press(3004);
    EXPECT_EQ(text(2007), QStringLiteral("success."));
    set(2006, "");
    press(3005);
    EXPECT_EQ(text(2007), QStringLiteral("1A2B"));

    set(2011, "1 2 ff,100");
    press(3008);
    EXPECT_EQ(text(2011), QStringLiteral("01 02 FF 00 "));
    EXPECT_EQ(text(2013), QStringLiteral("success."));
    set(2012, "4");
    press(3009);
    EXPECT_EQ(text(2013), QStringLiteral("01 02 FF 00 "));
    set(2010, "104000");
    press(3009);
    EXPECT_EQ(text(2013), QStringLiteral("read failed.")) << "beyond 20 bits: refused";

    set(2008, "QDX-7");
    press(3006);
    EXPECT_EQ(text(2014), QStringLiteral("success."));
    set(2008, "");
    press(3007);
    EXPECT_EQ(text(2008), QStringLiteral("QDX-7"));

    QDXSim_SetCisPresent(0);
    set(2009, "7");
    set(2010, "0");
    press(3008);
    EXPECT_EQ(text(2013), QStringLiteral("failed.(none)"));

    const QString log = dialog->logText();
    for (const char* line : {"I2C write  setup 40 15 0000 0058 0003  sent 00 11 22  result 0",
                             "register read  setup C0 18 0000 0005 0002  result 0  received 1A 2B",
                             "memory write  setup 40 17 0000 4000 0004  sent 01 02 FF 00  result 0",
                             "memory read  not sent", "QDX_Save_CIS_SerialNo  result 0"})
        EXPECT_TRUE(log.contains(QString::fromUtf8(line))) << line << "\n" << log.toStdString();
}

}  // namespace
}  // namespace qdx::viewer::test
