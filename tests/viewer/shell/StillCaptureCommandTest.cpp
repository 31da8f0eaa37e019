// "Still Capture" (40009) in the window, with the simulated camera: the save
// dialog, the picture saved from the next frame, and what the operator is told.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>

#include <tiffio.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "BmpReader.h"
#include "QDX_SIM.h"
#include "core/commands/Commands.h"
#include "viewer/GuiFixture.h"

namespace qdx::viewer::test {
namespace {

using std::chrono::milliseconds;

class StillCaptureCommandTest : public ViewerWindowTest {
protected:
    QString stillPath(const QString& name) const { return dir.filePath(name); }
    bool exists(const QString& name) const { return QFile::exists(stillPath(name)); }
};

// Guards the camera check: without a camera the warning comes and no dialog opens.
TEST_F(StillCaptureCommandTest, WithoutACameraWarnsAndOpensNoDialog)
{
    QDXSim_SetPlugged(0, 0);
    open();
    window->action(kCmdStillCapture)->trigger();
    ASSERT_EQ(interaction.messages.size(), 1u);
    EXPECT_EQ(interaction.messages[0].text, QStringLiteral("No Connected Camera!"));
    EXPECT_EQ(interaction.messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(interaction.dialogs.empty());
}

struct PageCase {
    int page;
    bool boundary;
    int side;
    bool grey;
};

void PrintTo(const PageCase& c, std::ostream* os)
{
    *os << "page " << c.page << (c.boundary ? ", boundary shown" : "");
}

class StillCapturePageTest : public StillCaptureCommandTest, public testing::WithParamInterface<PageCase> {};

// Guards the picture following the page shown at the moment of saving (colour
// on the Picture page, grey on the Calibration page) and the boundary option,
// the page button forwarding to the command, the dialog's texts and owner, and
// the notice with the path once the file is there.
TEST_P(StillCapturePageTest, PageButtonSavesThePictureAsThePageShowsIt)
{
    const PageCase c = GetParam();
    open({}, true);
    if (c.boundary)
        window->action(kCmdBoundaryPixels)->trigger();
    window->tabs()->setCurrentIndex(c.page);
    interaction.files.push_back(stillPath(QStringLiteral("still.bmp")));
    control<QPushButton>(c.page, 3005)->click();

    ASSERT_EQ(interaction.dialogs.size(), 1u);
    const FileDialogRequest& d = interaction.dialogs[0];
    expectFileDialog(d, true, "Save File", "BMP File (*.bmp);;16-bit PNG (*.png);;16-bit TIFF (*.tif *.tiff)", "",
                     "bmp");
    static const QRegularExpression name(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d_\\d\\d-\\d\\d-\\d\\d_\\d{3}\\.bmp$"));
    EXPECT_TRUE(name.match(d.proposedName).hasMatch()) << d.proposedName.toStdString();
    EXPECT_EQ(interaction.dialogOwners[0], page(c.page));

    ASSERT_TRUE(processUntil([&] { return window->statusBar()->currentMessage().contains(QStringLiteral("still.bmp")); }));
    const auto bmp = qdx::test::readBmp(stillPath(QStringLiteral("still.bmp")).toStdString());
    ASSERT_TRUE(bmp.has_value());
    EXPECT_EQ(bmp->width, c.side);
    EXPECT_EQ(bmp->height, c.side);
    EXPECT_EQ(bmp->grey(), c.grey);
    EXPECT_TRUE(interaction.messages.empty());
}

INSTANTIATE_TEST_SUITE_P(Pages, StillCapturePageTest,
                         testing::Values(PageCase{kPicturePage, true, 404, false},
                                         PageCase{kCalibrationPage, false, 400, true}),
                         [](const auto& test) { return test.param.page == kPicturePage ? "Picture" : "Calibration"; });

// Guards the 16-bit choices reaching the writer: a .png name saves the
// Picture page's colour as a 48-bit PNG, a .tif name the Calibration page's
// grey as a 16-bit TIFF naming the frame the display thread showed (the
// library's index, never 0) and the camera's settings.
TEST_F(StillCaptureCommandTest, SixteenBitChoicesSaveTheTwelveBitPictureWithItsFrame)
{
    open({}, true);
    interaction.files = {stillPath(QStringLiteral("still.png")), stillPath(QStringLiteral("still.tif"))};
    window->action(kCmdStillCapture)->trigger();
    const auto saved = [&](const char* name) {
        return processUntil([&] { return window->statusBar()->currentMessage().contains(QString::fromUtf8(name)); });
    };
    ASSERT_TRUE(saved("still.png"));
    window->tabs()->setCurrentIndex(kCalibrationPage);
    window->action(kCmdStillCapture)->trigger();
    ASSERT_TRUE(saved("still.tif"));
    EXPECT_TRUE(interaction.messages.empty());

    std::ifstream png(stillPath(QStringLiteral("still.png")).toStdString(), std::ios::binary);
    std::string header(26, '\0');
    png.read(header.data(), 26);
    EXPECT_EQ(header.substr(1, 3) + header.substr(12, 4) + header.substr(24), std::string("PNGIHDR\x10\x02", 9))
        << "a 16-bit RGB PNG";

    TIFF* tiff = TIFFOpen(stillPath(QStringLiteral("still.tif")).toStdString().c_str(), "r");
    ASSERT_NE(tiff, nullptr);
    uint16_t bits = 0, channels = 0;
    uint32_t width = 0;
    const char* description = nullptr;
    EXPECT_TRUE(TIFFGetField(tiff, TIFFTAG_BITSPERSAMPLE, &bits) &&
                TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &channels) && TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) &&
                TIFFGetField(tiff, TIFFTAG_IMAGEDESCRIPTION, &description));
    const nlohmann::json facts = nlohmann::json::parse(description ? description : "", nullptr, false);
    TIFFClose(tiff);
    EXPECT_EQ(bits, 16);
    EXPECT_EQ(channels, 1) << "the Calibration page's grey";
    EXPECT_EQ(width, 400u);
    ASSERT_TRUE(facts.is_object());
    EXPECT_GT(facts.value("frame index", 0ull), 0u);
    EXPECT_TRUE(facts["settings"].contains("exposure"));
}

// Guards against the dialog's suffix staying the bitmap's when "16-bit TIFF"
// is chosen: a name typed without one must become a TIFF, not a BMP.
TEST(StillCaptureDialogTest, NameWithoutSuffixTakesTheChosenFilters)
{
    QTemporaryDir dir;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        poll.stop();
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        types->setCurrentIndex(2);
        emit types->textActivated(types->currentText());  // as the operator's choice does
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(QStringLiteral("shot"));
        QMetaObject::invokeMethod(dialog, "accept");
    });
    poll.start(50);
    QTimer::singleShot(10000, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    FileDialogRequest request;
    request.save = true;
    request.filterText = QStringLiteral("BMP File (*.bmp);;16-bit PNG (*.png);;16-bit TIFF (*.tif *.tiff)");
    request.defaultSuffix = QStringLiteral("bmp");
    request.folder = dir.path();
    EXPECT_EQ(WidgetInteraction().fileName(nullptr, request).toStdString(),
              dir.filePath(QStringLiteral("shot.tif")).toStdString());
}

// Guards the request and its path travelling together: two choices before a
// frame arrives give one file, at the second path, and a cancelled dialog
// in between changes nothing.
TEST_F(StillCaptureCommandTest, NewestChoiceBeforeAFrameWinsAndCancelChangesNothing)
{
    open({}, true);
    QDXSim_SetStalled(1);
    processFor(milliseconds(200));  // a frame already on its way is shown before the requests
    interaction.files = {stillPath(QStringLiteral("first.bmp")), stillPath(QStringLiteral("second.bmp")),
                               QString()};
    for (int i = 0; i < 3; ++i)
        window->action(kCmdStillCapture)->trigger();
    EXPECT_EQ(interaction.dialogs.size(), 3u);
    processFor(milliseconds(200));
    EXPECT_FALSE(exists(QStringLiteral("second.bmp"))) << "saved without a frame";
    QDXSim_SetStalled(0);
    ASSERT_TRUE(processUntil([&] { return exists(QStringLiteral("second.bmp")); }));
    processFor(milliseconds(300));  // more frames: still one picture
    EXPECT_FALSE(exists(QStringLiteral("first.bmp")));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral("*.bmp")}, QDir::Files | QDir::Hidden).size(), 1);
}

// Guards a failed save: the operator is told with "Still Capture : Error!"
// once (posted; the display thread goes on and the request is used up, not
// retried with every frame) and nothing is left under the name.
TEST_F(StillCaptureCommandTest, FailedSaveShowsTheErrorAndLeavesNoFile)
{
    open({}, true);
    interaction.files.push_back(stillPath(QStringLiteral("missing/still.bmp")));
    window->action(kCmdStillCapture)->trigger();
    ASSERT_TRUE(processUntil([&] { return !interaction.messages.empty(); }));
    const ShownMessage& m = interaction.messages[0];
    EXPECT_EQ(m.title, QStringLiteral("Message"));
    EXPECT_EQ(m.text, QStringLiteral("Still Capture : Error!"));
    EXPECT_EQ(m.icon, MessageIcon::Warning);
    EXPECT_EQ(m.buttons, MessageButtons::Ok);
    EXPECT_FALSE(QDir(stillPath(QStringLiteral("missing"))).exists());
    processFor(milliseconds(300));
    EXPECT_EQ(interaction.messages.size(), 1u);
    EXPECT_EQ(program.displayState(), Worker::Running);
}

}  // namespace
}  // namespace qdx::viewer::test
