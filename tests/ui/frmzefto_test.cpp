#include "dbtestutil.h"
#include "dirlistbox.h"
#include "drivelistbox.h"
#include "filelistbox.h"
#include "frmzefto.h"
#include "pgserver.h"
#include "processes.h"
#include "recordswindow.h"
#include "recordtablemodel.h"
#include "reportbuilder.h"
#include "tempdir.h"
#include "translations.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest/qtestkeyboard.h>
#include <QtTest/qtestmouse.h>
#include <gtest/gtest.h>

using zefto::ui::frmZefto;

namespace {

struct SeenBox {
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool okEnabled = false, cancelEnabled = false, progressVisible = false;
    int progressValue = -1, progressMaximum = -1;
    QStringList buttons{}; // their texts, in order
    QString defaultButton{}, escapeButton{};
};

} // namespace

class FrmZeftoTest : public TempDirTest {
protected:
    void SetUp() override
    {
        TempDirTest::SetUp();
        QDir().mkdir(path(QStringLiteral("reports")));
        window = std::make_unique<frmZefto>();
        window->show();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }
    void TearDown() override
    {
        window.reset();
        TempDirTest::TearDown();
    }

    // Answers every message box that opens while `action` runs, recording it.
    std::vector<SeenBox> answeringBoxes(const std::function<void()> &action)
    {
        std::vector<SeenBox> seen;
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                seen.push_back({box->windowTitle(), box->text(), box->icon(), window->Command1->isEnabled(),
                                window->Command3->isEnabled(), window->ProgressBar1->isVisible(),
                                window->ProgressBar1->value(), window->ProgressBar1->maximum()});
                for (QAbstractButton *b : box->buttons())
                    seen.back().buttons << b->text();
                if (box->defaultButton())
                    seen.back().defaultButton = box->defaultButton()->text();
                if (box->escapeButton())
                    seen.back().escapeButton = box->escapeButton()->text();
                // The question about a report converted before gets the answer the test chose.
                QAbstractButton *answer = nullptr;
                for (QAbstractButton *b : box->buttons())
                    if (b->text() == (convertAgain ? QStringLiteral("Convert again") : QStringLiteral("Cancel")))
                        answer = b;
                for (QAbstractButton *b : box->buttons())
                    if (!endAnswer.isEmpty() && b->text() == endAnswer)
                        answer = b;
                if (answer && (seen.back().buttons.contains(QStringLiteral("Convert again")) || !endAnswer.isEmpty()))
                    answer->click();
                else
                    box->accept();
            }
        });
        timer.start();
        action();
        QTest::qWait(20);
        return seen;
    }

    // A two-page report in reports/ whose 60 rows make 24 new parcels that add up, with or
    // without a Ğ in the fathers' names.
    QString writeReport(const QString &name, bool withG = true)
    {
        std::vector<QByteArray> table;
        for (report::TableRow t : report::holdingRows(60)) {
            if (!withG)
                t.row.father = QStringLiteral("AHMET");
            table.push_back(t.continuation ? report::continuationLine(t.row) : report::ownerLine(t.row));
        }
        return write(QStringLiteral("reports/") + name, report::join(report::paginate(table)));
    }

    int storedRecords()
    {
        return rawRows(path(QStringLiteral("ovrek1.mdb")), QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0]
            .toInt();
    }

    std::unique_ptr<frmZefto> window;
    bool convertAgain = true; // the answer to "Convert it again?"
    QString endAnswer;        // a button to press on the end box instead of OK
};

TEST_F(FrmZeftoTest, OpensInItsDesignedStateAndCreatesTheDatabase)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Converter"));
    EXPECT_EQ(window->size(), QSize(407, 164));
    EXPECT_EQ(window->Command1->geometry(), QRect(320, 8, 81, 25));
    EXPECT_EQ(window->Text1->geometry(), QRect(8, 8, 145, 19));
    EXPECT_EQ(window->Dir1->geometry(), QRect(160, 8, 153, 92));
    EXPECT_EQ(window->File1->geometry(), QRect(8, 32, 145, 84));
    EXPECT_EQ(window->Command3->geometry(), QRect(320, 40, 81, 25));
    EXPECT_EQ(window->Drive1->geometry(), QRect(160, 104, 153, 21));
    EXPECT_EQ(window->ProgressBar1->geometry(), QRect(48, 136, 305, 17));
    EXPECT_EQ(window->Label1->text(), QStringLiteral("% 0"));
    EXPECT_EQ(window->Label2->text(), QStringLiteral("% 100"));
    for (QLabel *label : {window->Label1, window->Label2})
        EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width()) << "clipped";
    EXPECT_EQ(window->Command1->text(), QStringLiteral("Ok"));
    EXPECT_EQ(window->Command3->text(), QStringLiteral("Cancel"));
    EXPECT_TRUE(window->Text1->text().isEmpty());
    EXPECT_EQ(window->ProgressBar1->minimum(), 0);
    EXPECT_EQ(window->ProgressBar1->maximum(), 100);
    EXPECT_EQ(window->ProgressBar1->value(), 0);
    EXPECT_FALSE(window->Command1->isDefault());
    EXPECT_FALSE(window->Command3->isDefault());
    EXPECT_EQ(window->Dir1->path(), QDir::currentPath());
    EXPECT_EQ(window->File1->path(), QDir::currentPath());
    EXPECT_TRUE(window->engine().db.isOpen());
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("ovrek1.mdb"))));
    EXPECT_TRUE(window->loadProblem().isEmpty());
}

TEST_F(FrmZeftoTest, TabVisitsTheControlsInTheirOrderFromOk)
{
    EXPECT_EQ(QApplication::focusWidget(), window->Command1);
    const QList<QWidget *> order = {window->Text1,    window->Dir1,   window->File1,
                                    window->Command3, window->Drive1, window->Command1};
    for (QWidget *expected : order) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), expected) << expected->metaObject()->className();
    }
}

TEST_F(FrmZeftoTest, TheListsMoveTheCurrentDirectoryAndAClickGivesTheBareName)
{
    writeReport(QStringLiteral("a.txt"));
    const QString reports = path(QStringLiteral("reports"));
    ASSERT_TRUE(window->Dir1->setPath(reports));
    EXPECT_EQ(window->File1->path(), reports);
    EXPECT_EQ(QDir::currentPath(), reports);
    ASSERT_EQ(window->File1->listCount(), 1);

    const QRect item = window->File1->visualItemRect(window->File1->item(0));
    QTest::mouseClick(window->File1->viewport(), Qt::LeftButton, {}, item.center());
    EXPECT_EQ(window->Text1->text(), QStringLiteral("a.txt"));
}

TEST_F(FrmZeftoTest, AReportCopiedIntoTheFolderShowsInTheFileListWithinTwoSeconds)
{
    writeReport(QStringLiteral("a.txt"));
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    ASSERT_EQ(window->File1->listCount(), 1);
    writeReport(QStringLiteral("b.txt"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->File1->listCount() == 2; }, 2000));
    QFile::remove(path(QStringLiteral("reports/a.txt")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return window->File1->listCount() == 1; }, 2000));
}

TEST_F(FrmZeftoTest, ChoosingAnotherDriveMovesBothListsAndTheCurrentDirectoryThere)
{
    // Two drives: the system root and a second one made of a folder of ours.
    const QString second = path(QStringLiteral("drive-b"));
    QDir().mkpath(second + QStringLiteral("/work"));
    write(QStringLiteral("drive-b/work/r.txt"), "r");
    using Volume = zefto::ui::DriveListBox::Volume;
    auto volumes = [second] {
        return QList<Volume>{{QStringLiteral("/"), QStringLiteral("ext4"), QString(), true},
                             {second, QStringLiteral("vfat"), QStringLiteral("B"), true}};
    };
    window = std::make_unique<frmZefto>(volumes, nullptr);
    window->show();
    const QString start = QDir::currentPath();
    window->Text1->setText(QStringLiteral("kept.txt"));

    ASSERT_TRUE(window->Drive1->setDrive(second));
    EXPECT_EQ(window->Dir1->path(), second); // a drive never used before opens at its root
    EXPECT_EQ(window->File1->path(), second);
    EXPECT_EQ(QDir::currentPath(), second);
    ASSERT_TRUE(window->Dir1->setPath(second + QStringLiteral("/work")));
    EXPECT_EQ(window->File1->list(0), QStringLiteral("r.txt"));

    // Back and forth: each drive opens at the directory last used on it.
    ASSERT_TRUE(window->Drive1->setDrive(QStringLiteral("/")));
    EXPECT_EQ(window->Dir1->path(), start);
    EXPECT_EQ(QDir::currentPath(), start);
    ASSERT_TRUE(window->Drive1->setDrive(second));
    EXPECT_EQ(window->Dir1->path(), second + QStringLiteral("/work"));
    EXPECT_EQ(QDir::currentPath(), second + QStringLiteral("/work"));
    EXPECT_EQ(window->Text1->text(), QStringLiteral("kept.txt"));
}

TEST_F(FrmZeftoTest, ADriveThatVanishedIsReportedAndEverythingStaysPut)
{
    const QString second = path(QStringLiteral("drive-c"));
    QDir().mkpath(second);
    using Volume = zefto::ui::DriveListBox::Volume;
    auto volumes = [second] {
        QList<Volume> v{{QStringLiteral("/"), QStringLiteral("ext4"), QString(), true}};
        if (QFileInfo::exists(second))
            v.append({second, QStringLiteral("vfat"), QString(), true});
        return v;
    };
    window = std::make_unique<frmZefto>(volumes, nullptr);
    window->show();
    const QString start = QDir::currentPath();
    QDir(second).removeRecursively(); // unplugged after the list was filled
    const auto boxes = answeringBoxes([&] { window->Drive1->setCurrentIndex(1); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(QDir::toNativeSeparators(second)) || boxes[0].text.contains(second));
    EXPECT_EQ(window->Drive1->drive(), QStringLiteral("/"));
    EXPECT_EQ(window->Dir1->path(), start);
    EXPECT_EQ(QDir::currentPath(), start);
}

TEST_F(FrmZeftoTest, EnterAppliesATypedPathToEveryListAndStartsNoRun)
{
    writeReport(QStringLiteral("a.txt"));
    const QString drive = window->Drive1->drive();
    window->Text1->setFocus();
    QTest::keyClicks(window->Text1, path(QStringLiteral("reports/a.txt")));
    const auto boxes = answeringBoxes([&] {
        QTest::keyClick(window->Text1, Qt::Key_Return);
        QTest::keyClick(window->Text1, Qt::Key_Escape);
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(window->isVisible()); // Escape is not Cancel
    EXPECT_EQ(window->File1->path(), path(QStringLiteral("reports")));
    EXPECT_EQ(window->File1->list(window->File1->listIndex()), QStringLiteral("a.txt"));
    EXPECT_EQ(window->Dir1->path(), path(QStringLiteral("reports")));
    EXPECT_EQ(window->Drive1->drive(), drive);
    EXPECT_EQ(QDir::currentPath(), path(QStringLiteral("reports")));
    EXPECT_EQ(window->Text1->text(), path(QStringLiteral("reports/a.txt")));
    EXPECT_EQ(storedRecords(), 0);
}

TEST_F(FrmZeftoTest, AfterATypedFolderTheListsAgreeAndAFileShownIsTheFileOkConverts)
{
    writeReport(QStringLiteral("a.txt"));
    QDir().mkdir(path(QStringLiteral("reports/old")));
    writeReport(QStringLiteral("old/b.txt"));

    // A relative path: the lists move, and the text box keeps naming the same file.
    window->Text1->setFocus();
    QTest::keyClicks(window->Text1, QStringLiteral("reports/old/b.txt"));
    QTest::keyClick(window->Text1, Qt::Key_Return);
    EXPECT_EQ(window->Dir1->path(), path(QStringLiteral("reports/old")));
    EXPECT_EQ(window->File1->path(), path(QStringLiteral("reports/old")));
    EXPECT_EQ(QDir::currentPath(), path(QStringLiteral("reports/old")));
    EXPECT_EQ(window->Text1->text(), path(QStringLiteral("reports/old/b.txt")));

    // A folder typed, then Ok: the folder list follows, and a file picked there is found.
    window->Text1->setFocus();
    window->Text1->setText(path(QStringLiteral("reports")));
    auto boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u); // a folder is not a report
    EXPECT_EQ(window->Dir1->path(), path(QStringLiteral("reports")));
    EXPECT_EQ(window->File1->path(), path(QStringLiteral("reports")));
    ASSERT_GE(window->File1->listCount(), 1);
    EXPECT_EQ(window->File1->list(0), QStringLiteral("a.txt"));
    window->File1->setFocus();
    QTest::mouseClick(window->File1->viewport(), Qt::LeftButton, {},
                      window->File1->visualItemRect(window->File1->item(0)).center());
    EXPECT_EQ(window->Text1->text(), QStringLiteral("a.txt"));
    boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Converted\n"))) << boxes[0].text.toStdString();
    EXPECT_EQ(storedRecords(), 60);

    // A folder that is not there moves nothing.
    window->Text1->setFocus();
    window->Text1->setText(path(QStringLiteral("gone/x.txt")));
    boxes = answeringBoxes([&] { QTest::keyClick(window->Text1, Qt::Key_Return); });
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(window->Dir1->path(), path(QStringLiteral("reports")));
    EXPECT_EQ(window->File1->path(), path(QStringLiteral("reports")));
    EXPECT_EQ(QDir::currentPath(), path(QStringLiteral("reports")));
}

TEST_F(FrmZeftoTest, DoubleClickOrEnterOnAFilePicksItAndConvertsIt)
{
    writeReport(QStringLiteral("a.txt"));
    writeReport(QStringLiteral("b.txt"), false);
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    ASSERT_EQ(window->File1->listCount(), 2);

    const QPoint a = window->File1->visualItemRect(window->File1->item(0)).center();
    auto boxes = answeringBoxes([&] {
        QTest::mouseClick(window->File1->viewport(), Qt::LeftButton, {}, a);
        QTest::mouseDClick(window->File1->viewport(), Qt::LeftButton, {}, a);
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Converted\n")));
    EXPECT_EQ(window->Text1->text(), QStringLiteral("a.txt"));
    EXPECT_EQ(storedRecords(), 60);

    window->File1->setFocus();
    window->File1->setListIndex(1);
    boxes = answeringBoxes([&] { QTest::keyClick(window->File1, Qt::Key_Return); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral(" Invalid file \n")));
    EXPECT_EQ(window->Text1->text(), QStringLiteral("b.txt"));
    EXPECT_EQ(storedRecords(), 120);

    // A double-click on no file starts nothing.
    boxes = answeringBoxes([&] {
        QTest::mouseDClick(window->File1->viewport(), Qt::LeftButton, {}, QPoint(5, window->File1->height() - 5));
    });
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(storedRecords(), 120);
}

TEST_F(FrmZeftoTest, EveryControlHasTheNameAScreenReaderReads)
{
    EXPECT_EQ(window->Command1->accessibleName(), QStringLiteral("Ok"));
    EXPECT_EQ(window->Command3->accessibleName(), QStringLiteral("Cancel"));
    EXPECT_EQ(window->Text1->accessibleName(), QStringLiteral("Report file"));
    EXPECT_EQ(window->Drive1->accessibleName(), QStringLiteral("Drives"));
    EXPECT_EQ(window->Dir1->accessibleName(), QStringLiteral("Folders"));
    EXPECT_EQ(window->File1->accessibleName(), QStringLiteral("Files"));
    EXPECT_EQ(window->ProgressBar1->accessibleName(), QStringLiteral("Progress"));
}

TEST_F(FrmZeftoTest, LeavingTheTextBoxAppliesAWildcardOrReportsAMissingDirectory)
{
    write(QStringLiteral("x.txt"), "x");
    write(QStringLiteral("y.rpt"), "y");
    window->Text1->setFocus();
    QTest::keyClicks(window->Text1, QStringLiteral("*.rpt"));
    window->File1->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(window->File1->pattern(), QStringLiteral("*.rpt"));
    EXPECT_EQ(window->File1->listCount(), 1);

    window->Text1->setFocus();
    window->Text1->setText(path(QStringLiteral("nowhere/r.txt")));
    const QString before = window->File1->path();
    const auto boxes = answeringBoxes([&] { window->Command3->setFocus(Qt::TabFocusReason); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(path(QStringLiteral("nowhere"))));
    EXPECT_EQ(boxes[0].title, QStringLiteral("Zefto"));
    EXPECT_EQ(window->File1->path(), before);
    EXPECT_TRUE(window->isVisible());
}

TEST_F(FrmZeftoTest, OkConvertsThePickedReportAndLeavesTheWindowUsable)
{
    writeReport(QStringLiteral("a.txt"));
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    window->Text1->setText(QStringLiteral("a.txt"));
    auto boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    const QString facts =
        QStringLiteral("\n\nReport: %1\nRecords stored: 60\nDatabase: %2\nShares: 24 new parcels, all add up")
            .arg(path(QStringLiteral("reports/a.txt")), path(QStringLiteral("ovrek1.mdb")));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Converted") + facts);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Information);
    EXPECT_EQ(boxes[0].title, QStringLiteral("Zefto"));
    EXPECT_FALSE(boxes[0].cancelEnabled); // the box is shown while the run still owns the window
    EXPECT_EQ(storedRecords(), 60);
    EXPECT_TRUE(window->Command1->isEnabled());
    EXPECT_TRUE(window->Command3->isEnabled());
    EXPECT_FALSE(window->ProgressBar1->isVisible());
    EXPECT_EQ(window->Label1->text(), QStringLiteral("% 0"));
    EXPECT_EQ(window->Label2->text(), QStringLiteral("% 100"));
    // The database stays the one opened at load although the current directory moved.
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("reports/ovrek1.mdb"))));

    // Again, answering "Convert again", and then a report without a Ğ.
    boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("This report was already converted on ")));
    EXPECT_EQ(boxes[1].text, QStringLiteral("Converted") + facts);
    writeReport(QStringLiteral("b.txt"), false);
    window->Text1->setText(QStringLiteral("b.txt"));
    boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              QStringLiteral(" Invalid file \n\nReport: %1\nRecords stored: 60\nDatabase: %2\n"
                             "Shares: 24 new parcels, all add up\n\n"
                             "No father's name in this report needed the Ğ repair, so it may not come from the "
                             "expected printer. Check the records, and undo the conversion if they are wrong.")
                  .arg(path(QStringLiteral("reports/b.txt")), path(QStringLiteral("ovrek1.mdb"))));
    EXPECT_EQ(boxes[0].icon, QMessageBox::NoIcon);
    EXPECT_EQ(storedRecords(), 180);
    EXPECT_TRUE(window->Command1->isEnabled());
    EXPECT_TRUE(window->Command3->isEnabled());
    EXPECT_FALSE(window->ProgressBar1->isVisible());
}

TEST_F(FrmZeftoTest, OkWithAnEmptyTextBoxSaysSoAndWritesNothing)
{
    const auto boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(boxes[0].text.contains(QStringLiteral("No report file was named")));
    EXPECT_TRUE(window->Command1->isEnabled());
    EXPECT_TRUE(window->Command3->isEnabled());
    EXPECT_EQ(storedRecords(), 0);
}

TEST_F(FrmZeftoTest, CancelClosesTheWindow)
{
    QTest::mouseClick(window->Command3, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
}

TEST_F(FrmZeftoTest, ADatabaseThatCannotBeOpenedIsReportedAndOkRepeatsIt)
{
    window.reset();
    QFile::remove(path(QStringLiteral("ovrek1.mdb")));
    write(QStringLiteral("ovrek1.mdb"), QByteArray(8192, 'z'));
    std::vector<SeenBox> boxes = answeringBoxes([&] {
        window = std::make_unique<frmZefto>();
        window->show();
        QTest::qWait(50);
    });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(path(QStringLiteral("ovrek1.mdb"))));
    EXPECT_TRUE(window->isVisible());
    boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.contains(path(QStringLiteral("ovrek1.mdb"))));
    EXPECT_TRUE(window->Command1->isEnabled());
}

TEST_F(FrmZeftoTest, TheProgressBarReachesItsEndOnTheLastLineOfALongReport)
{
    // 3,000 lines on a 305-pixel bar: it moves every 9 lines, and the last move
    // before the end is at line 2,997; only the rule for the end takes it to 3,000.
    ASSERT_EQ(window->ProgressBar1->width(), 305);
    const int lines = 3000;
    std::vector<QByteArray> text(lines);
    for (int n = 1; n <= lines; ++n) {
        const bool data = n >= 10 && (n - 10) % 63 < 50;
        if (data) {
            report::Row r = report::sampleRow(n);
            r.father = QStringLiteral("DOĞAN");
            text[n - 1] = report::ownerLine(r);
        } else {
            text[n - 1] = report::headerLine(n);
        }
    }
    text[lines - 1] = QByteArray(); // line 3,000 lies in a data block: the table ends on the last line
    write(QStringLiteral("reports/long.txt"), report::join(text));
    window->Text1->setText(path(QStringLiteral("reports/long.txt")));

    const auto boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Converted\n\n"))) << boxes[0].text.toStdString();
    EXPECT_EQ(boxes[0].progressMaximum, 3000);
    EXPECT_EQ(boxes[0].progressValue, 3000);
    // 47 full blocks, then lines 2,971 to 2,999 of the 48th.
    EXPECT_EQ(storedRecords(), 47 * 50 + 29);
}

TEST_F(FrmZeftoTest, OnAServerTheWindowSaysWhereTheRecordsGoAndKeepsItsCaption)
{
    // Given with a password ("@" and ":" typed as they are; the local superuser needs none), the window names
    // the server without it.
    for (const QString &password : {QString(), QStringLiteral(":S3cret@Pa:rola")}) {
        PgDatabase server;
        ASSERT_TRUE(server.isRunning());
        const QString given =
            QStringLiteral("postgresql://postgres%1@/%2?host=%3").arg(password, server.database(), server.socketDir());
        qputenv("ZEFTO_DATABASE", given.toUtf8());
        window = std::make_unique<frmZefto>();
        qunsetenv("ZEFTO_DATABASE");
        window->show();
        EXPECT_EQ(window->windowTitle(), QStringLiteral("Converter"));
        EXPECT_TRUE(window->loadProblem().isEmpty()) << window->loadProblem().toStdString();
        const QString note = QStringLiteral("Database: %1").arg(server.uri());
        EXPECT_EQ(window->ProgressBar1->toolTip(), note);

        writeReport(QStringLiteral("server.txt"));
        window->Text1->setText(path(QStringLiteral("reports/server.txt")));
        const auto seen = answeringBoxes([&] { window->Command1->click(); });
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].text, QStringLiteral("Converted\n\nReport: %1\nRecords stored: 60\n%2\n"
                                               "Shares: 24 new parcels, all add up")
                                    .arg(path(QStringLiteral("reports/server.txt")), note));
        EXPECT_EQ(server.query(QStringLiteral("SELECT count(*) FROM ovrekson"))[0][0].toInt(), 60);
        EXPECT_EQ(storedRecords(), 0); // the file the window first opened got none
        window.reset();                // its connection goes before the server
    }
}

TEST_F(FrmZeftoTest, AReportConvertedBeforeIsAskedAboutAndCancelStoresNothing)
{
    writeReport(QStringLiteral("a.txt"));
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    window->Text1->setText(QStringLiteral("a.txt"));
    auto boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    const QList<QVariantList> logged = rawRows(path(QStringLiteral("ovrek1.mdb")),
                                               QStringLiteral("SELECT started_at, user_name FROM zefto_conversions"));
    ASSERT_EQ(logged.size(), 1);

    convertAgain = false;
    boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text,
              QStringLiteral("This report was already converted on %1 by %2: 60 records (Converted). "
                             "Convert it again?")
                  .arg(zefto::conversionlog::shownTime(logged[0][0].toString()), logged[0][1].toString()));
    EXPECT_EQ(boxes[0].icon, QMessageBox::Question);
    EXPECT_EQ(boxes[0].buttons, QStringList({QStringLiteral("Convert again"), QStringLiteral("Cancel")}));
    EXPECT_EQ(boxes[0].defaultButton, QStringLiteral("Cancel"));
    EXPECT_EQ(boxes[0].escapeButton, QStringLiteral("Cancel"));
    EXPECT_EQ(storedRecords(), 60);
    EXPECT_TRUE(window->Command1->isEnabled());
    EXPECT_TRUE(window->Command3->isEnabled());
    EXPECT_FALSE(window->ProgressBar1->isVisible());
    ASSERT_TRUE(window->lastOutcome().has_value());
    EXPECT_EQ(window->lastOutcome()->end, zefto::RunOutcome::End::Duplicate);
}

TEST_F(FrmZeftoTest, EveryEndBoxKeepsItsFirstLineAndTellsTheFacts)
{
    const QString database = QStringLiteral("Database: %1").arg(path(QStringLiteral("ovrek1.mdb")));
    const auto convert = [&](const QString &report) {
        window->Text1->setText(report);
        auto boxes = answeringBoxes([&] { window->Command1->click(); });
        EXPECT_EQ(boxes.size(), 1u) << report.toStdString();
        return boxes.empty() ? SeenBox() : boxes[0];
    };
    const auto firstLine = [&] { return window->lastOutcome()->message.section(u'\n', 0, 0); };

    // Stopped by a blank line with data after it: the warning names the report itself. Its
    // first ten rows make four whole new parcels.
    const std::vector<report::TableRow> rows = report::holdingRows(30);
    std::vector<QByteArray> table = report::holdingTable(30);
    table[10] = QByteArray();
    const QString gap = write(QStringLiteral("reports/gap.txt"), report::join(report::paginate(table)));
    SeenBox box = convert(gap);
    EXPECT_TRUE(firstLine().startsWith(QStringLiteral("The conversion stopped at line 20 of '%1'").arg(gap)));
    EXPECT_TRUE(box.text.startsWith(firstLine() + u'\n'));
    EXPECT_FALSE(box.text.contains(QStringLiteral("Report: ")));
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("\n\nRecords stored: 10\n") + database
                                  + QStringLiteral("\nShares: 4 new parcels, all add up")))
        << box.text.toStdString();
    EXPECT_EQ(box.icon, QMessageBox::Warning);

    // A failure part-way: its error number first, the records it kept below.
    // Five records, the third parcel cut after two of its three owners: it does not add up.
    table[10] = report::ownerLine(rows[10].row);
    report::Row mismatch = rows[5].row;
    mismatch.newShare = QStringLiteral("1,5/2");
    table[5] = report::ownerLine(mismatch);
    box = convert(write(QStringLiteral("reports/bad.txt"), report::join(report::paginate(table))));
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("Error 13: "))) << box.text.toStdString();
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("\n\nRecords stored: 5\n") + database
                                  + QStringLiteral("\nShares: 1 of 3 new parcels does not add up (Show records, then "
                                                   "Check; or zefto-records check --conversion 2)")))
        << box.text.toStdString();
    EXPECT_FALSE(box.text.contains(QStringLiteral("does not look like")));

    // A letter: the error stays first, and the box says what the file is not.
    const QString letter = write(QStringLiteral("reports/letter.txt"),
                                 "Dear Sir,\r\nThe parcels of block 101 are listed below.\r\nRegards\r\n");
    box = convert(letter);
    EXPECT_TRUE(firstLine().startsWith(QStringLiteral("Error 62: ")));
    EXPECT_TRUE(box.text.startsWith(firstLine()
                                    + QStringLiteral("\n'%1' does not look like a share table report.\n").arg(letter)))
        << box.text.toStdString();
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("\n\nRecords stored: 0\n") + database));

    // A report that cannot be opened: nothing was converted, and where nothing went is still said.
    box = convert(path(QStringLiteral("reports/missing.txt")));
    EXPECT_TRUE(box.text.startsWith(QStringLiteral("Nothing was converted.\n\n")));
    EXPECT_TRUE(box.text.endsWith(QStringLiteral("\n\nRecords stored: 0\n") + database)) << box.text.toStdString();
    EXPECT_EQ(box.icon, QMessageBox::Critical);
    EXPECT_EQ(storedRecords(), 15);
}

TEST_F(FrmZeftoTest, TheDatabaseChosenAsAReportIsRefusedBeforeItIsRead)
{
    writeReport(QStringLiteral("a.txt"));
    window->Text1->setText(path(QStringLiteral("reports/a.txt")));
    answeringBoxes([&] { window->Command1->click(); });
    ASSERT_EQ(storedRecords(), 60);
    const QString db = path(QStringLiteral("ovrek1.mdb"));
    // By its name, and by another name for the same file.
    ASSERT_TRUE(QFile::link(db, path(QStringLiteral("reports/link.txt"))));
    for (const QString &name : {db, path(QStringLiteral("reports/link.txt"))}) {
        window->Text1->setText(name);
        const auto boxes = answeringBoxes([&] { window->Command1->click(); });
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_TRUE(boxes[0].text.startsWith(
            QStringLiteral("Nothing was converted.\n\n'%1' is the database the records are stored in, not a report.")
                .arg(name)))
            << boxes[0].text.toStdString();
        EXPECT_EQ(window->lastOutcome()->end, zefto::RunOutcome::End::NotStarted);
        EXPECT_EQ(window->lastOutcome()->errorNumber, 75);
    }
    EXPECT_EQ(storedRecords(), 60);
    EXPECT_EQ(rawRows(db, QStringLiteral("PRAGMA integrity_check"))[0][0].toString(), QStringLiteral("ok"));
    EXPECT_TRUE(window->Command1->isEnabled());
}

TEST_F(FrmZeftoTest, ShowRecordsOnTheEndBoxOpensTheRecordsOfThatConversionInTheMainWindowsDatabase)
{
    writeReport(QStringLiteral("a.txt"));
    writeReport(QStringLiteral("b.txt"), false);
    // The lists move the current directory: the records must still come from the database opened at load.
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    window->Text1->setText(QStringLiteral("a.txt"));
    auto boxes = answeringBoxes([&] { window->Command1->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].buttons.size(), 2);
    EXPECT_TRUE(boxes[0].buttons.contains(QStringLiteral("Show records")));
    EXPECT_EQ(boxes[0].defaultButton, QStringLiteral("OK"));
    EXPECT_TRUE(window->findChildren<zefto::ui::RecordsWindow *>().isEmpty()) << "OK opens nothing";

    endAnswer = QStringLiteral("Show records");
    window->Text1->setText(QStringLiteral("b.txt"));
    boxes = answeringBoxes([&] { window->Command1->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral(" Invalid file \n")));
    // It ended as OK does: the run's end state, then the window.
    EXPECT_TRUE(window->Command1->isEnabled());
    EXPECT_FALSE(window->ProgressBar1->isVisible());
    const auto opened = window->findChildren<zefto::ui::RecordsWindow *>();
    ASSERT_EQ(opened.size(), 1);
    ASSERT_TRUE(window->lastOutcome().has_value());
    EXPECT_EQ(opened[0]->shownConversion(), window->lastOutcome()->conversionId);
    EXPECT_EQ(opened[0]->windowTitle(), QStringLiteral("Zefto Records"));
    EXPECT_TRUE(opened[0]->isWindow());
    EXPECT_EQ(opened[0]->model->rowCount(), 60) << "the second conversion's records only";
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("reports/ovrek1.mdb"))));
    delete opened[0];
}

// The window built as the program builds it for a Turkish session: translators first.
class FrmZeftoTurkishTest : public FrmZeftoTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(zefto::ui::installTranslators(QLocale(QLocale::Turkish, QLocale::Turkey)));
        FrmZeftoTest::SetUp();
    }
    void TearDown() override
    {
        FrmZeftoTest::TearDown();
        zefto::ui::removeTranslators();
    }
};

TEST_F(FrmZeftoTurkishTest, TheControlsAreNamedInTurkishWhileTheCaptionsStayAsTheyAre)
{
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Converter"));
    EXPECT_EQ(window->Command1->text(), QStringLiteral("Ok"));
    EXPECT_EQ(window->Command3->text(), QStringLiteral("Cancel"));
    EXPECT_EQ(window->Command1->accessibleName(), QStringLiteral("Ok"));
    EXPECT_EQ(window->Command3->accessibleName(), QStringLiteral("Cancel"));
    EXPECT_EQ(window->Label1->text(), QStringLiteral("% 0"));
    EXPECT_EQ(window->Label2->text(), QStringLiteral("% 100"));
    EXPECT_EQ(window->Text1->accessibleName(), QStringLiteral("Rapor dosyası"));
    EXPECT_EQ(window->Dir1->accessibleName(), QStringLiteral("Klasörler"));
    EXPECT_EQ(window->File1->accessibleName(), QStringLiteral("Dosyalar"));
    EXPECT_EQ(window->Drive1->accessibleName(), QStringLiteral("Sürücüler"));
    EXPECT_EQ(window->ProgressBar1->accessibleName(), QStringLiteral("İlerleme"));
    // The label a screen reader names the drive list after says the same.
    QStringList buddies;
    for (QLabel *label : window->findChildren<QLabel *>())
        if (label->buddy() == window->Drive1)
            buddies << label->text();
    EXPECT_EQ(buddies, QStringList(QStringLiteral("Sürücüler")));
}

TEST_F(FrmZeftoTurkishTest, EndBoxesKeepTheRunsFirstLineAndTellTheFactsInTurkish)
{
    const QString database = path(QStringLiteral("ovrek1.mdb"));
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    writeReport(QStringLiteral("a.txt"));
    window->Text1->setText(QStringLiteral("a.txt"));
    auto boxes = answeringBoxes([&] { window->Command1->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(window->lastOutcome()->message, QStringLiteral("Converted"));
    EXPECT_EQ(boxes[0].text, QStringLiteral("Converted\n\nRapor: %1\nSaklanan kayıt: 60\nVeritabanı: %2\n"
                                            "Hisseler: 24 yeni parselin hepsi tutuyor")
                                 .arg(path(QStringLiteral("reports/a.txt")), database));
    EXPECT_TRUE(boxes[0].buttons.contains(QStringLiteral("Kayıtları göster")))
        << boxes[0].buttons.join(u',').toStdString();
    EXPECT_FALSE(boxes[0].buttons.contains(QStringLiteral("Show records")));
    // Qt's own OK button, from Qt's Turkish that the program installs beside its own.
    EXPECT_EQ(boxes[0].defaultButton, QStringLiteral("Tamam"));

    writeReport(QStringLiteral("b.txt"), false);
    window->Text1->setText(QStringLiteral("b.txt"));
    boxes = answeringBoxes([&] { window->Command1->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral(" Invalid file \n\nRapor: "))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.contains(
        QStringLiteral("\nSaklanan kayıt: 60\nVeritabanı: %1\nHisseler: 24 yeni parselin hepsi tutuyor\n\n")
            .arg(database)));
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral("yanlışlarsa dönüştürmeyi geri alın.")))
        << boxes[0].text.toStdString();
    EXPECT_FALSE(boxes[0].text.contains(QStringLiteral("Records stored")));
}

TEST_F(FrmZeftoTurkishTest, TheGuardAsksInTurkishAndItsCancelStoresNothing)
{
    writeReport(QStringLiteral("a.txt"));
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    window->Text1->setText(QStringLiteral("a.txt"));
    answeringBoxes([&] { window->Command1->click(); });
    ASSERT_EQ(storedRecords(), 60);

    endAnswer = QStringLiteral("Vazgeç");
    const auto boxes = answeringBoxes([&] { window->Command1->click(); });
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Bu rapor "))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral(": 60 kayıt (Converted). Yeniden dönüştürülsün mü?")))
        << boxes[0].text.toStdString();
    EXPECT_EQ(boxes[0].buttons, QStringList({QStringLiteral("Yeniden dönüştür"), QStringLiteral("Vazgeç")}));
    EXPECT_EQ(boxes[0].defaultButton, QStringLiteral("Vazgeç"));
    EXPECT_EQ(storedRecords(), 60);
    EXPECT_EQ(window->lastOutcome()->end, zefto::RunOutcome::End::Duplicate);
}

TEST_F(FrmZeftoTurkishTest, ADatabaseElsewhereIsNotedAndOneThatCannotBeOpenedIsToldInTurkish)
{
    window.reset();
    write(QStringLiteral("broken.mdb"), QByteArray(8192, 'z'));
    qputenv("ZEFTO_DATABASE", path(QStringLiteral("broken.mdb")).toUtf8());
    std::vector<SeenBox> boxes = answeringBoxes([&] {
        window = std::make_unique<frmZefto>();
        window->show();
        QTest::qWait(50);
    });
    qunsetenv("ZEFTO_DATABASE");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].text.startsWith(QStringLiteral("Veritabanı açılamıyor.\n\n"))) << boxes[0].text.toStdString();
    EXPECT_TRUE(boxes[0].text.endsWith(QStringLiteral("\n\nVeritabanı: %1").arg(path(QStringLiteral("broken.mdb")))))
        << boxes[0].text.toStdString();
    EXPECT_EQ(window->ProgressBar1->toolTip(),
              QStringLiteral("Veritabanı: %1").arg(path(QStringLiteral("broken.mdb"))));
}

TEST_F(FrmZeftoTest, WithoutATurkishLocaleNoTranslatorIsInstalledAndTheWindowStaysEnglish)
{
    window.reset();
    EXPECT_FALSE(zefto::ui::installTranslators(QLocale::c()));
    EXPECT_FALSE(zefto::ui::installTranslators(QLocale(QLocale::English, QLocale::UnitedStates)));
    frmZefto english;
    EXPECT_EQ(english.Text1->accessibleName(), QStringLiteral("Report file"));
    // Taken out again, Turkish leaves nothing behind for the next window.
    ASSERT_TRUE(zefto::ui::installTranslators(QLocale(QLocale::Turkish, QLocale::Turkey)));
    zefto::ui::removeTranslators();
    frmZefto after;
    EXPECT_EQ(after.Text1->accessibleName(), QStringLiteral("Report file"));
    EXPECT_EQ(after.ProgressBar1->accessibleName(), QStringLiteral("Progress"));
}

TEST_F(FrmZeftoTest, ALargerWindowGivesTheListsTheRoomAndKeepsButtonsAndBarInPlace)
{
    const auto geometries = [&] {
        return std::vector<QRect>{
            window->Command1->geometry(), window->Text1->geometry(),    window->Dir1->geometry(),
            window->File1->geometry(),    window->Command3->geometry(), window->Drive1->geometry(),
            window->Label1->geometry(),   window->Label2->geometry(),   window->ProgressBar1->geometry()};
    };
    const std::vector<QRect> designed = geometries();
    EXPECT_EQ(window->size(), QSize(407, 164));
    EXPECT_EQ(designed[0], QRect(320, 8, 81, 25));
    window->resize(807, 464);
    QApplication::processEvents();
    const std::vector<QRect> larger = geometries();
    // Ok, Cancel and "% 100" keep their size at the right edge; the bottom row keeps to the bottom.
    for (int i : {0, 4})
        EXPECT_EQ(larger[i], designed[i].translated(400, 0)) << i;
    EXPECT_EQ(larger[7], designed[7].translated(400, 300));
    EXPECT_EQ(larger[6], designed[6].translated(0, 300));
    EXPECT_EQ(larger[8].height(), designed[8].height());
    // The lists share the new room.
    EXPECT_EQ(larger[3].size(), designed[3].size() + QSize(200, 300));
    EXPECT_EQ(larger[2].size(), designed[2].size() + QSize(200, 300));
    window->resize(100, 50); // never below the designed size
    QApplication::processEvents();
    EXPECT_EQ(window->size(), QSize(407, 164));
    EXPECT_EQ(geometries(), designed);
}

TEST_F(FrmZeftoTest, CancelDuringAWaitForAnotherProgramsLockGivesTheRunUpAtOnce)
{
    writeReport(QStringLiteral("a.txt"));
    ASSERT_TRUE(window->Dir1->setPath(path(QStringLiteral("reports"))));
    window->Text1->setText(QStringLiteral("a.txt"));
    OtherConnection other(path(QStringLiteral("ovrek1.mdb")), 100);
    ASSERT_TRUE(other.exec(QStringLiteral("BEGIN IMMEDIATE")));
    QString shown, whole;
    bool cancelEnabled = false;
    QElapsedTimer clock;
    // Cancel is clicked as soon as the window says it waits (or, that never coming, after 3 s).
    QTimer look;
    look.setInterval(10);
    QObject::connect(&look, &QTimer::timeout, [&] {
        for (QLabel *label : window->findChildren<QLabel *>())
            if (label->isVisible() && label->toolTip().startsWith(QStringLiteral("waiting for"))) {
                shown = label->text();
                whole = label->toolTip();
            }
        if (whole.isEmpty() && clock.elapsed() < 3000)
            return;
        look.stop();
        cancelEnabled = window->Command3->isEnabled();
        QTest::mouseClick(window->Command3, Qt::LeftButton);
    });
    look.start();
    clock.start();
    const auto boxes = answeringBoxes([&] { QTest::mouseClick(window->Command1, Qt::LeftButton); });
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(cancelEnabled);
    EXPECT_EQ(
        whole,
        QStringLiteral("waiting for another program to finish writing %1…").arg(path(QStringLiteral("ovrek1.mdb"))));
    // The whole path does not fit the bottom row: its middle gives way.
    EXPECT_TRUE(shown.contains(QStringLiteral("…"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("ovrek1.mdb…")));
    ASSERT_TRUE(window->lastOutcome());
    EXPECT_EQ(window->lastOutcome()->end, zefto::RunOutcome::End::Interrupted);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(window->Command1->isEnabled());
    EXPECT_TRUE(window->Command3->isEnabled());
    other.exec(QStringLiteral("ROLLBACK"));
    EXPECT_EQ(storedRecords(), 0);
}
