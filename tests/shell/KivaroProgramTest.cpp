// Kivaro started in-process in a scratch folder holding a copy of the toy box and the
// assets, driven through its windows as a user drives them: one run in English, then,
// after closing, one in Japanese that must find the settings the first run stored.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QWheelEvent>

#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>

#include "common/ApplicationConfigIni.h"
#include "framework/DeviceObjectData.h"
#include "physics/FieldItemWorld.h"
#include "shell/CConstPage.h"
#include "shell/CDisplayPage.h"
#include "shell/CFieldInfoDialog.h"
#include "shell/CItemPage.h"
#include "shell/CMainFrame.h"
#include "shell/CMirelApp.h"
#include "shell/CMirelView.h"
#include "shell/CToolboxSheet.h"
#include "shell/CVersionDialog.h"
#include "shell/support/ShellTestSupport.h"
#include "support/ScopedEnvironment.h"
#include "support/TestSupport.h"
#include "tester/MirelApplication.h"
#include "tester/MirelConfig.h"

namespace {

namespace fs = std::filesystem;

// waits for conditions that the application thread brings about; generous, as the
// machine may be slow, and left as soon as the condition holds
constexpr int kWaitMs = 20000;

/// Receives the pages the program asks the desktop to open.
class PageOpener : public QObject {
    Q_OBJECT
public slots:
    void Open(const QUrl& url) { opened.append(url); }

public:
    QList<QUrl> opened;
};

class KivaroProgramTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        previous_ = fs::current_path();
        folder_ = std::make_unique<TemporaryDirectory>();
        const fs::path root(folder_->Path());
        fs::copy(fs::path(KIVARO_SOURCE_DIR) / "items", root / "items", fs::copy_options::recursive);
        fs::create_directory_symlink(fs::path(KIVARO_SOURCE_DIR) / "data", root / "data");
        std::ofstream(root / "README.md") << "# Kivaro\n";
        fs::current_path(root);
        environment_ = std::make_unique<ScopedEnvironment>();
        environment_->Language("C");
        Start();
    }

    static void TearDownTestSuite() {
        program_.reset();
        environment_.reset();
        fs::current_path(previous_);
        folder_.reset();
    }

    /// Starts Kivaro with the field files of its command line and waits until its windows are up.
    static void Start(const QStringList& fieldFiles = {}) {
        program_ = std::make_unique<CMirelApp>();
        ASSERT_TRUE(program_->InitInstance(fieldFiles));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(Frame()));
    }

    /// Closes the main window as the user does and ends the program.
    static void Close() {
        Frame()->close();
        program_.reset();
    }

    static CMainFrame* Frame() { return program_->MainFrame(); }
    static MirelApplication& Application() { return *Frame()->Application(); }
    static CToolboxSheet* Toolbox() { return Frame()->Toolbox(); }
    static CItemPage* ItemPage() { return Toolbox()->ItemPage(); }
    static CDisplayPage* DisplayPage() { return Toolbox()->DisplayPage(); }
    static CConstPage* ConstPage() { return Toolbox()->ConstPage(); }
    /// A control of a page: identifiers are unique within a page only, as in a dialog.
    template <typename Control> static Control* Find(int controlId, QWidget* page = nullptr) {
        return FindControl<Control>(page != nullptr ? page : ItemPage(), controlId);
    }
    static void Click(int controlId, QWidget* page = nullptr) {
        QPushButton* button = Find<QPushButton>(controlId, page);
        ASSERT_NE(button, nullptr) << controlId;
        button->click();
    }

    /// The height of the first user item whose name begins with prefix; NaN when there is none.
    static float HeightOf(const std::wstring& prefix) {
        std::lock_guard lock(Application().Lock());
        for (const auto& [name, item] : Application().World()->Members()) {
            if (name.rfind(prefix, 0) == 0) {
                return item->Transform()._42;
            }
        }
        return std::numeric_limits<float>::quiet_NaN();
    }

    /// How many field definition files are under items/: every list offers each of them.
    static int FieldFileCount() {
        int count = 0;
        for (const auto& entry : fs::recursive_directory_iterator("items")) {
            count += entry.path().extension() == ".wtf" ? 1 : 0;
        }
        return count;
    }

    /// The lines of the log file (UTF-16LE).
    static QStringList LogRecords() {
        std::ifstream file("Kivaro.log", std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.data()),
                                                static_cast<qsizetype>(bytes.size() / 2));
        // a record may hold line breaks of its own: each begins with its time stamp
        return text.split(QRegularExpression("\r\n(?=\\d{14}\\[)"), Qt::SkipEmptyParts);
    }

    /// Lets the application thread run a few ticks of its own.
    static void LetTicksPass() { QTest::qWait(300); }

    static inline fs::path previous_;
    static inline std::unique_ptr<TemporaryDirectory> folder_;
    static inline std::unique_ptr<ScopedEnvironment> environment_;
    static inline std::unique_ptr<CMirelApp> program_;
};

TEST_F(KivaroProgramTest, StartsWithTheConfiguredWindowAndAFilledToolbox) {
    CMainFrame* frame = Frame();
    EXPECT_EQ(frame->windowTitle(), "Kivaro");
    EXPECT_FALSE(frame->windowIcon().isNull());
    EXPECT_EQ(frame->findChild<QMenuBar*>(), nullptr);
    EXPECT_EQ(frame->ViewContainer()->size(), QSize(640, 480));
    EXPECT_EQ(frame->size(), QSize(640, 480));
    EXPECT_EQ(frame->minimumSize(), frame->maximumSize()) << "the user cannot resize the window";
    EXPECT_EQ(frame->pos(), QPoint(70, 40));

    CToolboxSheet* toolbox = Toolbox();
    ASSERT_TRUE(toolbox->isVisible());
    EXPECT_EQ(toolbox->windowTitle(), "Toolbox");
    EXPECT_TRUE(toolbox->windowFlags() & Qt::Tool);
    EXPECT_EQ(toolbox->parentWidget(), frame);
    EXPECT_EQ(toolbox->pos(), QPoint(720, 50));
    const QStringList titles{"Main", "View", "Constant", "How to Use"};
    ASSERT_EQ(toolbox->Tabs()->count(), 4);
    for (int tab = 0; tab < 4; ++tab) {
        EXPECT_EQ(toolbox->Tabs()->tabText(tab), titles[tab]);
    }

    // every list offers every toy; each row shows its default slot's toy
    const MirelConfig defaults;
    for (int row = 0; row < CItemPage::kRowCount; ++row) {
        QComboBox* list = Find<QComboBox>(CItemPage::kListIds[row]);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->count(), FieldFileCount());
        EXPECT_EQ(ItemPage()->SelectedPath(row), defaults.itemFiles[row]) << row;
        EXPECT_EQ(Find<QPushButton>(CItemPage::kAddIds[row])->text(), "Add");
        EXPECT_EQ(Find<QPushButton>(CItemPage::kInformationIds[row])->text(), "About");
    }
    EXPECT_EQ(Find<QComboBox>(CItemPage::kListIds[0])->currentText(), "Ball");

    // the other controls with their texts
    const std::vector<std::pair<int, QString>> buttons{{1014, "Delete All"}, {1015, "Update"},
                                                       {1019, "Version"},    {1016, "&Pause"},
                                                       {1017, "&Step"},      {1018, "&Go"}};
    for (const auto& [id, text] : buttons) {
        ASSERT_NE(Find<QPushButton>(id), nullptr) << id;
        EXPECT_EQ(Find<QPushButton>(id)->text(), text);
    }
    EXPECT_EQ(Find<QPushButton>(1016)->accessibleName(), "Pause");
    EXPECT_EQ(Find<QPushButton>(CDisplayPage::kIsometricId, DisplayPage())->text(), "Isometric(&1)");
    EXPECT_EQ(Find<QPushButton>(CDisplayPage::kTopId, DisplayPage())->text(), "Top(&2)");
    EXPECT_EQ(Find<QCheckBox>(CDisplayPage::kStereogramId, DisplayPage())->text(), "Stereogram");
    EXPECT_EQ(Find<QLabel>(CDisplayPage::kScreenSizeLabelId, DisplayPage())->text(), "640x480");
    EXPECT_EQ(Find<QLabel>(CDisplayPage::kZoomLabelId, DisplayPage())->text(), "100%");
    EXPECT_EQ(Find<QSlider>(CConstPage::kConstants[0].sliderId, ConstPage())->accessibleName(),
              "Gravity (G)");
    EXPECT_EQ(Find<QPushButton>(CConstPage::kDefaultId, ConstPage())->text(), "Default");
    // every control has an accessible name and an identifier unique within its page
    const std::vector<std::pair<QWidget*, int>> pages{
        {ItemPage(), 39}, {DisplayPage(), 11}, {ConstPage(), 11}};
    for (const auto& [page, count] : pages) {
        const QList<QWidget*> controls = page->findChildren<QWidget*>(QRegularExpression("^\\d+$"));
        EXPECT_EQ(controls.size(), count);
        QSet<QString> identifiers;
        for (QWidget* control : controls) {
            EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
            identifiers.insert(control->objectName());
        }
        EXPECT_EQ(identifiers.size(), count);
    }
    // the constants as the configuration starts them; 0.6 sits at step 60, not 59
    EXPECT_EQ(Find<QLineEdit>(1015, ConstPage())->text(), "1");
    EXPECT_EQ(Find<QLineEdit>(1017, ConstPage())->text(), "0.0015");
    EXPECT_EQ(Find<QSlider>(1020, ConstPage())->value(), 60);
    for (int tab = 0; tab < 4; ++tab) {
        toolbox->Tabs()->setCurrentIndex(tab);
        QTest::qWait(50);
        SaveScreenshot(QString("english-page%1").arg(tab));
    }
    toolbox->Tabs()->setCurrentIndex(0);
}

TEST_F(KivaroProgramTest, AddDropsABallThatPauseStepAndGoHoldAndRelease) {
    Click(CItemPage::kPauseId);
    // the land straight ahead, where the ball will hang; the frame rate's corner stays out
    const QRect ahead(290, 220, 60, 60);
    const QImage empty = GrabOnScreen(Frame()->ViewContainer(), ahead);
    {
        // the viewer raised by a metre when the ball is added
        std::lock_guard lock(Application().Lock());
        float& viewerHeight = Application().World()->Find(L"localplayer")->Transform()._42;
        const float startHeight = viewerHeight;
        viewerHeight += 1.0f;
        Click(CItemPage::kAddIds[0]);
        viewerHeight = startHeight;
    }
    ASSERT_TRUE(QTest::qWaitFor([] { return !std::isnan(HeightOf(L"ball")); }, kWaitMs));
    // lowered by the player's start height of 0.5 m, wherever the viewer is: 0.4 m above the
    // land (r 0.1 + drop 0.3)
    const float added = HeightOf(L"ball");
    EXPECT_NEAR(added, 0.4f, 1e-4f);
    LetTicksPass();
    EXPECT_EQ(HeightOf(L"ball"), added) << "paused";
    // the ball hangs in the view where there was only land
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return GrabOnScreen(Frame()->ViewContainer(), ahead) != empty; }, kWaitMs));
    SaveScreenshot("english-ball");

    Click(CItemPage::kStepId);
    ASSERT_TRUE(QTest::qWaitFor([] { return !Application().singleStep; }, kWaitMs));
    const float stepped = HeightOf(L"ball");
    EXPECT_LT(stepped, added);
    EXPECT_TRUE(Application().paused);
    LetTicksPass();
    EXPECT_EQ(HeightOf(L"ball"), stepped) << "one tick, then paused again";

    Click(CItemPage::kGoId);
    EXPECT_FALSE(Application().paused);
    EXPECT_TRUE(QTest::qWaitFor([&] { return HeightOf(L"ball") < stepped - 0.1f; }, kWaitMs));

    Click(CItemPage::kDeleteAllId);
    EXPECT_TRUE(QTest::qWaitFor([] { return std::isnan(HeightOf(L"ball")); }, kWaitMs));
}

TEST_F(KivaroProgramTest, ConstantSlidersSetTheConfigurationWithinTheirRanges) {
    MirelConfig& config = MirelConfig::Instance();
    QSlider* gravity = Find<QSlider>(1018, ConstPage());
    QSlider* friction = Find<QSlider>(1022, ConstPage());
    QSlider* timeStep = Find<QSlider>(1019, ConstPage());
    QLineEdit* gravityEdit = Find<QLineEdit>(1015, ConstPage());
    QLineEdit* timeStepEdit = Find<QLineEdit>(1017, ConstPage());

    gravity->setValue(50);
    EXPECT_DOUBLE_EQ(config.gravity, 2.0);
    EXPECT_EQ(gravityEdit->text(), "2");
    // the slider never makes the time step 0
    timeStep->setValue(0);
    EXPECT_DOUBLE_EQ(config.timeStep, 0.0001);
    EXPECT_EQ(timeStep->value(), 1);

    // typed values take effect with the next slider move; a typed time step of 0 is the smallest step
    timeStepEdit->setText("0");
    Find<QLineEdit>(1025, ConstPage())->setText("12");
    friction->setValue(50);
    EXPECT_DOUBLE_EQ(config.friction, 0.5);
    EXPECT_DOUBLE_EQ(config.timeStep, 0.0001);
    EXPECT_DOUBLE_EQ(config.mouseForce, 12.0);
    EXPECT_EQ(Find<QSlider>(1024, ConstPage())->value(), 40);

    // a value out of range is refused with the range message, and nothing changes
    gravityEdit->setText("5");
    QString message;
    EXPECT_TRUE(WithModal([&] { friction->setValue(70); },
                          [&](QWidget* box) { message = static_cast<QMessageBox*>(box)->text(); }));
    EXPECT_EQ(message, "Enter a number between 0 and 4.");
    EXPECT_DOUBLE_EQ(config.gravity, 2.0);
    EXPECT_DOUBLE_EQ(config.friction, 0.5);
    EXPECT_EQ(friction->value(), 50);
    gravityEdit->setText("one");
    EXPECT_TRUE(WithModal([&] { friction->setValue(70); },
                          [&](QWidget* box) { message = static_cast<QMessageBox*>(box)->text(); }));
    EXPECT_EQ(message, "Enter a number.");

    Click(CConstPage::kDefaultId, ConstPage());
    EXPECT_DOUBLE_EQ(config.gravity, 1.0);
    EXPECT_DOUBLE_EQ(config.friction, 0.4);
    EXPECT_DOUBLE_EQ(config.timeStep, 0.0015);
    EXPECT_DOUBLE_EQ(config.mouseForce, 10.0);
    EXPECT_DOUBLE_EQ(config.restitution, 0.6);
    EXPECT_EQ(gravityEdit->text(), "1");
    EXPECT_EQ(gravity->value(), 25);
}

TEST_F(KivaroProgramTest, KeysMouseAndViewButtonsMoveTheView) {
    MirelConfig& config = MirelConfig::Instance();
    Frame()->FocusView();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    // the view below the frame rate's corner: sky and land seen at a slant
    const QRect below(0, 60, 640, 420);
    const QImage isometric = GrabOnScreen(Frame()->ViewContainer(), below);
    // the keys as the X server reports them: the scan code in the native key code
    auto press = [](int key, std::uint32_t scanCode) {
        for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier, scanCode + 8, 0, 0);
            QCoreApplication::sendEvent(Frame()->View(), &event);
        }
    };
    // the simulation thread sets the mode under the application's lock
    auto viewMode = [&config] {
        std::lock_guard lock(Application().Lock());
        return config.viewMode;
    };
    press(Qt::Key_2, DIK_2);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewMode() == 1; }, kWaitMs));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return GrabOnScreen(Frame()->ViewContainer(), below) != isometric; }, kWaitMs));
    press(Qt::Key_1, DIK_1);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewMode() == 0; }, kWaitMs));

    // dragging the land with the right button turns the viewer about the vertical
    auto viewerTurn = [] {
        std::lock_guard lock(Application().Lock());
        return Application().World()->Find(L"localplayer")->Orientation().y;
    };
    const float turn = viewerTurn();
    QWindow* view = Frame()->View();
    auto mouse = [view](QEvent::Type type, QPointF position, Qt::MouseButtons buttons) {
        QMouseEvent event(type, position, view->mapToGlobal(position), Qt::RightButton, buttons,
                          Qt::NoModifier);
        QCoreApplication::sendEvent(view, &event);
    };
    mouse(QEvent::MouseButtonPress, {320, 420}, Qt::RightButton);
    mouse(QEvent::MouseMove, {360, 420}, Qt::RightButton);
    mouse(QEvent::MouseButtonRelease, {400, 420}, Qt::NoButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return viewerTurn() != turn; }, kWaitMs));

    Click(CDisplayPage::kTopId, DisplayPage());
    EXPECT_EQ(config.viewMode, 1);
    Click(CDisplayPage::kIsometricId, DisplayPage());
    EXPECT_EQ(config.viewMode, 0);
    Find<QCheckBox>(CDisplayPage::kStereogramId, DisplayPage())->click();
    EXPECT_TRUE(config.stereogram);
    Find<QCheckBox>(CDisplayPage::kStereogramId, DisplayPage())->click();
    EXPECT_FALSE(config.stereogram);
}

TEST_F(KivaroProgramTest, ViewSlidersResizeTheWindowAndFollowTheWheel) {
    MirelConfig& config = MirelConfig::Instance();
    QSlider* size = Find<QSlider>(CDisplayPage::kScreenSizeSliderId, DisplayPage());
    QSlider* zoom = Find<QSlider>(CDisplayPage::kZoomSliderId, DisplayPage());
    QLabel* zoomLabel = Find<QLabel>(CDisplayPage::kZoomLabelId, DisplayPage());

    size->setValue(1);
    EXPECT_EQ(Find<QLabel>(CDisplayPage::kScreenSizeLabelId, DisplayPage())->text(), "800x600");
    EXPECT_TRUE(QTest::qWaitFor([] { return Frame()->ViewContainer()->size() == QSize(800, 600); }, kWaitMs));
    size->setValue(0);
    EXPECT_TRUE(QTest::qWaitFor([] { return Frame()->ViewContainer()->size() == QSize(640, 480); }, kWaitMs));
    EXPECT_EQ(config.screenSize, 0);

    // zoom 0 does not exist: the slider stops at 10 %
    zoom->setValue(0);
    EXPECT_EQ(zoom->value(), 1);
    EXPECT_EQ(config.zoom, 1);
    EXPECT_EQ(zoomLabel->text(), "10%");
    zoom->setValue(15);
    EXPECT_EQ(zoomLabel->text(), "350%");
    zoom->setValue(10);

    // one notch of the wheel in the view zooms in, and the page follows
    Frame()->FocusView();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Frame()));
    const QPointF centre(320, 240);
    QWheelEvent wheel(centre, Frame()->View()->mapToGlobal(centre), QPoint(), QPoint(0, kWheelNotch),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(Frame()->View(), &wheel);
    EXPECT_TRUE(QTest::qWaitFor([&] { return zoomLabel->text() == "150%"; }, kWaitMs));
    EXPECT_EQ(zoom->value(), 11);
    zoom->setValue(10);
}

TEST_F(KivaroProgramTest, InformationAndVersionDialogsShowTheirTexts) {
    std::map<int, QString> fields;
    QString title;
    EXPECT_TRUE(WithModal([] { Click(CItemPage::kInformationIds[0]); },
                          [&](QWidget* dialog) {
                              title = dialog->windowTitle();
                              for (int id : {1100, 1098, 1097, 1099}) {
                                  fields[id] = FindControl<QLineEdit>(dialog, id)->text();
                              }
                              fields[1022] = FindControl<QPlainTextEdit>(dialog, 1022)->toPlainText();
                              SaveScreenshot("english-information");
                          }));
    EXPECT_EQ(title, "Information");
    EXPECT_EQ(fields[CFieldInfoDialog::kFileNameId], "items\\ball\\ball.wtf");
    EXPECT_EQ(fields[CFieldInfoDialog::kNameId], "Ball");
    EXPECT_EQ(fields[CFieldInfoDialog::kAuthorId], "Kivaro");
    EXPECT_EQ(fields[CFieldInfoDialog::kDateId], "2026-12-07");
    EXPECT_TRUE(fields[CFieldInfoDialog::kCommentId].startsWith("A beach ball, 20 cm across."));

    // the maker's label opens the project's page
    PageOpener opener;
    QDesktopServices::setUrlHandler("file", &opener, "Open");
    QStringList texts;
    EXPECT_TRUE(WithModal([] { Click(CItemPage::kVersionId); },
                          [&](QWidget* dialog) {
                              for (QLabel* label : dialog->findChildren<QLabel*>()) {
                                  texts << label->text();
                              }
                              QLabel* maker = FindControl<QLabel>(dialog, CVersionDialog::kMakerLabelId);
                              ASSERT_NE(maker, nullptr);
                              EXPECT_TRUE(maker->font().underline());
                              EXPECT_EQ(maker->palette().color(QPalette::WindowText), QColor(0, 0, 255));
                              EXPECT_EQ(maker->cursor().shape(), Qt::PointingHandCursor);
                              SaveScreenshot("english-version");
                              QTest::mouseClick(maker, Qt::LeftButton);
                          }));
    QDesktopServices::unsetUrlHandler("file");
    EXPECT_TRUE(texts.contains("Kivaro Version 1.3"));
    EXPECT_TRUE(texts.contains("The Kivaro Project"));
    ASSERT_EQ(opener.opened.size(), 1);
    EXPECT_EQ(opener.opened[0], QUrl::fromLocalFile(QDir::current().absoluteFilePath("README.md")));
}

TEST_F(KivaroProgramTest, AFaultyDefinitionFileIsReportedAndTheOthersStayListed) {
    fs::create_directories("items/broken");
    std::ofstream("items/broken/broken.wtf") << R"(<Field format="110"><Item name="x" type="none"/></Field>)";
    std::ofstream("items/broken/cut.wtf") << R"(<Field format="110"><Information)";
    QString message;
    EXPECT_TRUE(WithModal([] { Click(CItemPage::kUpdateId); },
                          [&](QWidget* box) { message = static_cast<QMessageBox*>(box)->text(); }));
    EXPECT_TRUE(message.contains("items\\broken\\broken.wtf")) << message.toStdString();
    EXPECT_TRUE(message.contains("items\\broken\\cut.wtf")) << message.toStdString();
    QComboBox* list = Find<QComboBox>(CItemPage::kListIds[9]);
    EXPECT_EQ(list->count(), FieldFileCount() - 2);
    EXPECT_EQ(ItemPage()->SelectedPath(9), L"items\\car\\car.wtf");

    fs::remove_all("items/broken");
    EXPECT_FALSE(WithModal([] { Click(CItemPage::kUpdateId); }, [](QWidget*) {}));
    EXPECT_EQ(list->count(), FieldFileCount());
}

TEST_F(KivaroProgramTest, SaveKeepsTheSceneThatUpdateListsAndBackStepsThroughItsHistory) {
    QComboBox* list = Find<QComboBox>(CItemPage::kListIds[0]);
    list->setCurrentIndex(list->findText("Ball"));
    Click(CItemPage::kGoId);
    Click(CItemPage::kAddIds[0]);
    ASSERT_TRUE(QTest::qWaitFor([] { return !std::isnan(HeightOf(L"ball")); }, kWaitMs));
    const float added = HeightOf(L"ball");
    // paused while it falls: a tick back it was higher, a tick forward it is where it stopped
    ASSERT_TRUE(QTest::qWaitFor([&] { return HeightOf(L"ball") < added - 0.02f; }, kWaitMs));
    Click(CItemPage::kPauseId);
    LetTicksPass();
    const float paused = HeightOf(L"ball");
    Click(CItemPage::kBackId);
    EXPECT_GT(HeightOf(L"ball"), paused);
    Click(CItemPage::kForwardId);
    EXPECT_EQ(HeightOf(L"ball"), paused);
    SaveScreenshot("english-save");

    // saved under a name of the user's, told where; saved again only when the user agrees
    QString message;
    EXPECT_TRUE(WithModal([] { ItemPage()->SaveScene("Falling ball"); },
                          [&](QWidget* box) { message = static_cast<QMessageBox*>(box)->text(); }));
    EXPECT_TRUE(message.contains("items\\scenes\\Falling ball.wtf")) << message.toStdString();
    EXPECT_TRUE(fs::exists("items/scenes/Falling ball.wtf"));
    bool saved = true;
    EXPECT_TRUE(WithModal([&] { saved = ItemPage()->SaveScene("Falling ball"); },
                          [&](QWidget* box) { message = static_cast<QMessageBox*>(box)->text(); }));
    EXPECT_FALSE(saved) << "replaced without the user's yes";
    EXPECT_TRUE(message.endsWith("already exists. Replace it?")) << message.toStdString();
    // the button and Ctrl+S in the view ask for the name
    EXPECT_TRUE(
        WithModal([] { Click(CItemPage::kSaveId); },
                  [&](QWidget* dialog) { message = static_cast<QInputDialog*>(dialog)->labelText(); }));
    EXPECT_EQ(message, "Name of the scene:");
    message.clear();
    EXPECT_TRUE(WithModal([] { QTest::keyClick(Frame()->View(), Qt::Key_S, Qt::ControlModifier); },
                          [&](QWidget* dialog) { message = dialog->windowTitle(); }));
    EXPECT_EQ(message, "Save Scene");
    EXPECT_TRUE(Application().paused) << "Ctrl+S stepped the world";

    // after an update the scene is listed, and adding it puts the ball back where it was
    Click(CItemPage::kUpdateId);
    ASSERT_TRUE(QTest::qWaitFor([] { return std::isnan(HeightOf(L"ball")); }, kWaitMs));
    const int entry = list->findText("Falling ball");
    ASSERT_GE(entry, 0);
    list->setCurrentIndex(entry);
    Click(CItemPage::kAddIds[0]);
    ASSERT_TRUE(QTest::qWaitFor([] { return !std::isnan(HeightOf(L"ball")); }, kWaitMs));
    EXPECT_NEAR(HeightOf(L"ball"), paused, 2e-6f);
    Click(CItemPage::kGoId);
    Click(CItemPage::kDeleteAllId);
    EXPECT_TRUE(QTest::qWaitFor([] { return std::isnan(HeightOf(L"ball")); }, kWaitMs));
}

TEST_F(KivaroProgramTest, DroppedFieldFilesAreAddedAsAddAddsThemAndAFaultyOneIsReported) {
    // from outside the item folder: the item definitions are those the update loaded
    fs::create_directories("dropped");
    fs::copy_file("items/ball/ball.wtf", "dropped/ball.wtf");
    std::ofstream("dropped/cut.wtf") << R"(<Field format="110"><Information)";
    auto drop = [](const QString& file) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath())});
        const QPoint at(100, 100);
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Frame(), &enter);
        if (!enter.isAccepted()) {
            return false;
        }
        QDropEvent dropped(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(Frame(), &dropped);
        return dropped.isAccepted();
    };
    EXPECT_FALSE(drop(QStringLiteral("README.md")));
    EXPECT_TRUE(drop(QStringLiteral("dropped/ball.wtf")));
    EXPECT_TRUE(QTest::qWaitFor([] { return !std::isnan(HeightOf(L"ball")); }, kWaitMs));

    QString message;
    EXPECT_TRUE(WithModal([&] { drop(QStringLiteral("dropped/cut.wtf")); },
                          [&](QWidget* box) { message = static_cast<QMessageBox*>(box)->text(); }));
    EXPECT_TRUE(message.contains(QStringLiteral("cut.wtf"))) << message.toStdString();

    Click(CItemPage::kDeleteAllId);
    EXPECT_TRUE(QTest::qWaitFor([] { return std::isnan(HeightOf(L"ball")); }, kWaitMs));
    fs::remove_all("dropped");
}

TEST_F(KivaroProgramTest, ClosingStoresTheSettingsThatTheNextStartInJapaneseUses) {
    // rows 0-2 chosen anew, row 3 emptied: only slots 0-2 are stored
    auto choose = [](int row, const QString& name) {
        QComboBox* list = Find<QComboBox>(CItemPage::kListIds[row]);
        list->setCurrentIndex(list->findText(name));
    };
    choose(0, "Dice");
    choose(1, "Ball");
    choose(2, "Swing");
    Find<QComboBox>(CItemPage::kListIds[3])->setCurrentIndex(-1);
    choose(4, "Coin");
    Frame()->move(100, 60);
    Toolbox()->move(780, 70);
    QTest::qWait(50);
    Close();

    {
        ApplicationConfigIni settings(L"Kivaro_u", false);
        settings.SetSection(L"Settings");
        EXPECT_EQ(settings.GetInt(L"WindowX", -1), 100);
        EXPECT_EQ(settings.GetInt(L"WindowY", -1), 60);
        EXPECT_EQ(settings.GetInt(L"ToolboxSheetX", -1), 780);
        EXPECT_EQ(settings.GetInt(L"ToolboxSheetY", -1), 70);
        EXPECT_EQ(settings.GetString(L"Item0", L""), L"items\\dice\\dice.wtf");
        EXPECT_EQ(settings.GetString(L"Item2", L""), L"items\\swing\\swing.wtf");
        EXPECT_EQ(settings.GetString(L"Item4", L""), L"items\\rolypoly\\rolypoly.wtf");
    }
    // the log holds failures only: those of reading the faulty files (the dropped one among them)
    const QStringList records = LogRecords();
    for (const QString& record : records) {
        EXPECT_TRUE(record.contains("items\\broken\\") || record.contains("dropped/cut.wtf") ||
                    record.contains("Type[none]") || record.contains("<Field format=\"110\"><Information"))
            << record.toStdString();
    }
    EXPECT_GE(records.filter("items\\broken\\").size(), 2);

    ScopedEnvironment japanese;
    japanese.Language("ja_JP.UTF-8");
    // a field file on the command line is added as the main page adds it
    Start({"items\\coin\\coin.wtf"});
    EXPECT_TRUE(QTest::qWaitFor([] { return !std::isnan(HeightOf(L"spinning")); }, kWaitMs));
    EXPECT_EQ(Frame()->pos(), QPoint(100, 60));
    EXPECT_EQ(Toolbox()->pos(), QPoint(780, 70));
    const std::vector<std::wstring> storedSlots{L"items\\dice\\dice.wtf", L"items\\ball\\ball.wtf",
                                                L"items\\swing\\swing.wtf", L"items\\ring\\ring.wtf",
                                                L"items\\rolypoly\\rolypoly.wtf"};
    for (int row = 0; row < 5; ++row) {
        EXPECT_EQ(ItemPage()->SelectedPath(row), storedSlots[row]) << row;
    }
    const QStringList titles{"メイン", "表示", "定数", "使い方"};
    for (int tab = 0; tab < 4; ++tab) {
        EXPECT_EQ(Toolbox()->Tabs()->tabText(tab), titles[tab]);
    }
    EXPECT_EQ(Find<QPushButton>(CItemPage::kAddIds[0])->text(), "追加");
    EXPECT_EQ(Find<QPushButton>(CItemPage::kSaveId)->text(), "保存…");
    EXPECT_EQ(Find<QPushButton>(CItemPage::kBackId)->text(), "◀ 戻る");
    EXPECT_EQ(Find<QComboBox>(CItemPage::kListIds[1])->currentText(), "ボール");
    QString message;
    Find<QLineEdit>(1025, ConstPage())->setText("31");
    EXPECT_TRUE(WithModal([] { Find<QSlider>(1018, ConstPage())->setValue(30); },
                          [&](QWidget* box) { message = static_cast<QMessageBox*>(box)->text(); }));
    EXPECT_EQ(message, "0 から 30 までの数値を入力してください。");
    for (int tab : {1, 2, 3, 0}) {
        Toolbox()->Tabs()->setCurrentIndex(tab);
        QTest::qWait(50);
        SaveScreenshot(QString("japanese-page%1").arg(tab));
    }
    Close();
    EXPECT_EQ(LogRecords(), QStringList()) << "a fresh log at every start, with no failure in this run";
}

} // namespace

#include "KivaroProgramTest.moc"
