#include "checkview.h"
#include "chosen.h"
#include "mahalle.h"
#include "previewdialog.h"
#include "recordsfixture.h"
#include "recordswindow.h"
#include "recordtablemodel.h"
#include "schema.h"
#include "translations.h"
#include "undo.h"

#include <QAbstractButton>
#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QtTest/qtestkeyboard.h>
#include <cstring>

using namespace Qt::StringLiterals;
using zefto::ui::PreviewDialog;
using zefto::ui::RecordsWindow;

namespace {

struct SeenBox {
    QString text;
    QStringList buttons;
    QString defaultButton, escapeButton;
};

QtMessageHandler passedOn = nullptr;

// Qt's model checker reports through warnings of its own category; each is a failure of the test.
void failOnModelComplaints(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (type != QtDebugMsg && context.category && std::strcmp(context.category, "qt.modeltest") == 0)
        ADD_FAILURE() << "QAbstractItemModelTester: " << message.toStdString();
    else if (passedOn)
        passedOn(type, context, message);
}

class RecordsWindowTest : public RecordsFixture {
protected:
    void TearDown() override
    {
        modelTester.reset();
        window.reset();
        qInstallMessageHandler(passedOn);
        RecordsFixture::TearDown();
    }

    // The window, its table's model checked by Qt's model checker after every change the test makes.
    RecordsWindow &open(const QString &name = {})
    {
        window = std::make_unique<RecordsWindow>(name.isEmpty() ? database() : name);
        if (const QtMessageHandler previous = qInstallMessageHandler(failOnModelComplaints);
            previous != failOnModelComplaints)
            passedOn = previous;
        modelTester = std::make_unique<QAbstractItemModelTester>(
            window->model, QAbstractItemModelTester::FailureReportingMode::Warning);
        window->show();
        return *window;
    }

    // True once `shown` holds after the window's own look for another program's commit, which it
    // takes within two seconds; the test has it look at once rather than wait for its turn.
    bool seenUnasked(const std::function<bool()> &shown)
    {
        EXPECT_TRUE(window->watch->isActive());
        EXPECT_LE(window->watch->interval(), 2000);
        window->watch->start(0);
        return QTest::qWaitFor(shown, 10000); // generous for the sanitizer build; done at the look
    }

    // Answers every message box that opens while `action` runs with the button captioned `answer`.
    std::vector<SeenBox> answering(const QString &answer, const std::function<void()> &action)
    {
        std::vector<SeenBox> seen;
        QTimer timer;
        timer.setInterval(5);
        QObject::connect(&timer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            SeenBox s{box->text(), {}, {}, {}};
            QAbstractButton *chosen = nullptr;
            for (QAbstractButton *b : box->buttons()) {
                s.buttons << b->text();
                if (b->text() == answer)
                    chosen = b;
            }
            if (box->defaultButton())
                s.defaultButton = box->defaultButton()->text();
            if (box->escapeButton())
                s.escapeButton = box->escapeButton()->text();
            seen.push_back(s);
            chosen ? chosen->click() : box->reject();
        });
        timer.start();
        action();
        return seen;
    }

    // The owner names in the table's rows, as shown.
    QStringList shownOwners()
    {
        window->model->finishFiltering();
        QStringList out;
        for (int r = 0; r < window->model->rowCount(); ++r)
            out << window->model->index(r, zefto::schema::Adi).data().toString();
        return out;
    }

    std::unique_ptr<RecordsWindow> window;
    std::unique_ptr<QAbstractItemModelTester> modelTester;
};

INSTANTIATE_TEST_SUITE_P(Backends, RecordsWindowTest, ::testing::Values(Backend::File, Backend::Postgres), backendName);

// What only a server address brings to the window.
class RecordsWindowServerTest : public RecordsWindowTest {};
INSTANTIATE_TEST_SUITE_P(OnAServer, RecordsWindowServerTest, ::testing::Values(Backend::Postgres), backendName);

// Every text the window shows: captions, labels, tips, entries and the status line.
QStringList shownTexts(QMainWindow &w)
{
    QStringList out{w.windowTitle(), w.statusBar()->currentMessage()};
    for (QWidget *c : w.findChildren<QWidget *>()) {
        out << c->toolTip() << c->accessibleName() << c->windowTitle();
        if (auto *l = qobject_cast<QLabel *>(c))
            out << l->text();
        if (auto *e = qobject_cast<QLineEdit *>(c))
            out << e->text();
        if (auto *b = qobject_cast<QAbstractButton *>(c))
            out << b->text();
    }
    return out;
}

} // namespace

TEST_P(RecordsWindowTest, TheFilterFoldsTurkishLettersAsTheRecordsToolDoesAndTheStatusCounts)
{
    const QStringList owners{QStringLiteral("Işık"),    QStringLiteral("İsmail"), QStringLiteral("Şükrü"),
                             QStringLiteral("Ağaoğlu"), QStringLiteral("Isil"),   QStringLiteral("Mehmet")};
    storeOwners(owners);
    open();
    EXPECT_EQ(window->count->text(), QStringLiteral("6 records"));

    struct Case {
        QString typed;
        QStringList found;
    };
    for (const Case &c :
         {Case{QStringLiteral("ışık"), {QStringLiteral("Işık")}},
          Case{QStringLiteral("ISIK"), {QStringLiteral("Işık")}},
          Case{QStringLiteral("ismaİL"), {QStringLiteral("İsmail")}},
          Case{QStringLiteral("sukru"), {QStringLiteral("Şükrü")}},
          Case{QStringLiteral("AGAOGLU"), {QStringLiteral("Ağaoğlu")}},
          // ı, I, İ and i are one letter to a search.
          Case{QStringLiteral("ış"), {QStringLiteral("Işık"), QStringLiteral("İsmail"), QStringLiteral("Isil")}},
          Case{QStringLiteral("nobody"), {}}}) {
        window->filter->setText(c.typed);
        EXPECT_EQ(shownOwners(), c.found) << c.typed.toStdString();
        EXPECT_EQ(window->count->text(), QStringLiteral("%1 of 6 shown").arg(c.found.size()));
    }
    window->filter->clear();
    EXPECT_EQ(shownOwners(), owners);
    EXPECT_EQ(window->count->text(), QStringLiteral("6 records"));
}

TEST_P(RecordsWindowTest, NoValueIsShownApartFromTextAndNumbersStandRight)
{
    storeOwners({QStringLiteral("Ali")}); // no surname: NULL
    open();
    EXPECT_EQ(window->count->text(), QStringLiteral("1 record"));
    const QModelIndex surname = window->model->index(0, zefto::schema::Soyadi);
    const QModelIndex owner = window->model->index(0, zefto::schema::Adi);
    const QModelIndex area = window->model->index(0, zefto::schema::Ealan);
    EXPECT_FALSE(surname.data().toString().isEmpty());
    EXPECT_NE(surname.data(Qt::ForegroundRole), owner.data(Qt::ForegroundRole));
    EXPECT_TRUE(surname.data(Qt::FontRole).value<QFont>().italic());
    EXPECT_EQ(area.data().toString(), QStringLiteral("1250.5"));
    EXPECT_TRUE(area.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight);
    EXPECT_TRUE(owner.data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignLeft);
    EXPECT_EQ(window->model->headerData(zefto::schema::Babaadi, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Father's name"));
    EXPECT_EQ(window->model->headerData(0, Qt::Vertical, Qt::DisplayRole).toLongLong(), 1);
}

TEST_P(RecordsWindowTest, EveryControlHasAnAccessibleName)
{
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Zefto Records"));
    EXPECT_EQ(window->table->accessibleName(), QStringLiteral("Records"));
    EXPECT_EQ(window->filter->accessibleName(), QStringLiteral("Filter"));
    EXPECT_EQ(window->conversions->accessibleName(), QStringLiteral("Conversions"));
    for (QPushButton *b : window->findChildren<QPushButton *>())
        EXPECT_EQ(b->accessibleName(), b->text().remove(u'&')) << b->text().toStdString();
}

TEST_P(RecordsWindowTest, UndoAsksWithTheCountAndTheReportThenRemovesExactlyThatConversion)
{
    const zefto::RunOutcome first = convert(report(QStringLiteral("north.txt"), 40, QStringLiteral("KUZEY")));
    const zefto::RunOutcome second = convert(report(QStringLiteral("south.txt"), 30, QStringLiteral("GÜNEY")));
    ASSERT_EQ(stored(), first.recordsStored + second.recordsStored);
    open();
    window->showConversion(first.conversionId);
    EXPECT_EQ(window->model->total(), first.recordsStored);
    ASSERT_TRUE(window->undoButton->isEnabled());

    // Cancel, the default and Escape, keeps everything.
    std::vector<SeenBox> seen = answering(QStringLiteral("Cancel"), [&] { window->undoButton->click(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.contains(QString::number(first.recordsStored))) << seen[0].text.toStdString();
    EXPECT_TRUE(seen[0].text.contains(QStringLiteral("north.txt")));
    EXPECT_EQ(seen[0].defaultButton, QStringLiteral("Cancel"));
    EXPECT_EQ(seen[0].escapeButton, QStringLiteral("Cancel"));
    EXPECT_EQ(stored(), first.recordsStored + second.recordsStored);

    seen = answering(QStringLiteral("Undo conversion"), [&] { window->undoButton->click(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(stored(), second.recordsStored);
    EXPECT_EQ(query(QStringLiteral("SELECT count(*) FROM zefto_conversions WHERE undone_at IS NOT NULL"))[0][0].toInt(),
              1);
    // Every record shown again: the second run's alone, its keys after the gap.
    window->showConversion(std::nullopt);
    EXPECT_EQ(window->model->total(), second.recordsStored);
    EXPECT_EQ(window->model->keyAt(0), second.firstKey);
    EXPECT_EQ(window->count->text(), QStringLiteral("%1 records").arg(second.recordsStored));
    window->showConversion(first.conversionId);
    EXPECT_FALSE(window->undoButton->isEnabled());
    EXPECT_EQ(window->model->rowCount(), 0);
}

TEST_P(RecordsWindowTest, ExportWritesWhatIsShownAllFilteredOrOneConversion)
{
    const zefto::RunOutcome first = convert(report(QStringLiteral("north.txt"), 40, QStringLiteral("KUZEY")));
    const zefto::RunOutcome second = convert(report(QStringLiteral("south.txt"), 30, QStringLiteral("GÜNEY")));
    open();
    QString target;
    window->chooseExportFile = [&](QWidget *, const QString &) { return target; };
    const auto linesOf = [](const QString &file) {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    };

    target = path(QStringLiteral("all.csv"));
    window->exportButton->click();
    EXPECT_EQ(linesOf(target).size(), 1 + first.recordsStored + second.recordsStored);

    window->filter->setText(QStringLiteral("güney no1"));
    window->model->finishFiltering();
    target = path(QStringLiteral("filtered.csv"));
    window->exportButton->click();
    const QStringList filtered = linesOf(target);
    EXPECT_EQ(filtered.size(), 1 + window->model->shown());
    for (const QString &line : filtered.mid(1))
        EXPECT_TRUE(line.contains(QStringLiteral("Güney"))) << line.toStdString();

    window->filter->clear();
    window->showConversion(first.conversionId);
    target = path(QStringLiteral("north.xlsx"));
    window->exportButton->click();
    EXPECT_GT(QFileInfo(target).size(), 0);
    target = path(QStringLiteral("north.csv"));
    window->exportButton->click();
    const QStringList north = linesOf(target);
    EXPECT_EQ(north.size(), 1 + first.recordsStored);
    EXPECT_TRUE(north.value(1).contains(QStringLiteral("Kuzey")));
}

TEST_P(RecordsWindowTest, APreviewStoresNothingThenConvertStoresItWithItsOwnNeighbourhood)
{
    const QString reportPath = report(QStringLiteral("east.txt"), 25, QStringLiteral("DOĞU"));
    open();
    PreviewDialog *preview = window->preview(reportPath);
    ASSERT_TRUE(preview->dryRun());
    const zefto::RunOutcome dry = *preview->dryRun();
    EXPECT_EQ(dry.end, zefto::RunOutcome::End::Converted);
    EXPECT_GT(dry.recordsStored, 0);
    EXPECT_EQ(preview->model->shown(), dry.recordsStored);
    EXPECT_EQ(preview->highlightedLine(), dry.stoppedAtLine);
    EXPECT_GT(dry.stoppedAtLine, 0);
    EXPECT_TRUE(preview->message->text().contains(QStringLiteral("Converted")));
    EXPECT_EQ(preview->neighbourhood->text(), zefto::mahalle::defaultName);
    EXPECT_FALSE(QFileInfo::exists(path(QStringLiteral("ovrek1.mdb"))) && GetParam() == Backend::File);

    preview->neighbourhood->setText(QStringLiteral("Kadıköy"));
    preview->convertButton->click();
    ASSERT_TRUE(preview->converted());
    EXPECT_EQ(preview->converted()->recordsStored, dry.recordsStored);
    EXPECT_EQ(stored(), dry.recordsStored);
    EXPECT_EQ(query(QStringLiteral("SELECT count(*) FROM ovrekson WHERE mahalle = 'Kadıköy'"))[0][0].toLongLong(),
              dry.recordsStored);
    // The window shows the new records and their conversion at once.
    EXPECT_EQ(window->model->total(), dry.recordsStored);
    EXPECT_EQ(window->conversions->count(), 2);
    // Nothing is remembered: the next preview starts from the usual neighbourhood.
    PreviewDialog *next = window->preview(reportPath);
    EXPECT_EQ(next->neighbourhood->text(), zefto::mahalle::defaultName);
}

TEST_P(RecordsWindowTest, ConvertingFromAPreviewAgainMeetsTheGuardWhoseCancelStoresNothing)
{
    const QString reportPath = report(QStringLiteral("west.txt"), 20, QStringLiteral("BATI"));
    const zefto::RunOutcome earlier = convert(reportPath);
    ASSERT_GT(earlier.recordsStored, 0);
    open();
    PreviewDialog *preview = window->preview(reportPath);
    // The preview says it was converted before.
    EXPECT_TRUE(preview->message->text().contains(QString::number(earlier.conversionId)));

    std::vector<SeenBox> seen = answering(QStringLiteral("Cancel"), [&] { preview->convertButton->click(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].buttons, (QStringList{QStringLiteral("Convert again"), QStringLiteral("Cancel")}));
    EXPECT_EQ(seen[0].defaultButton, QStringLiteral("Cancel"));
    EXPECT_EQ(seen[0].escapeButton, QStringLiteral("Cancel"));
    EXPECT_EQ(preview->converted()->end, zefto::RunOutcome::End::Duplicate);
    EXPECT_EQ(preview->message->text(), QStringLiteral("Not converted again; nothing was stored."));
    EXPECT_FALSE(preview->progress->isVisible());
    EXPECT_EQ(stored(), earlier.recordsStored);
    EXPECT_TRUE(preview->convertButton->isEnabled());

    seen = answering(QStringLiteral("Convert again"), [&] { preview->convertButton->click(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(stored(), 2 * earlier.recordsStored);
    EXPECT_FALSE(preview->convertButton->isEnabled());
}

TEST_P(RecordsWindowTest, ExportSelectionWritesTheSelectedBlocksInTheOrderShown)
{
    storeOwners({u"MERT"_s, u"AYSE"_s, u"ZEYNEP"_s, u"BURAK"_s, u"CAN"_s, u"ÖMER"_s});
    open();
    const QString target = path(u"selection.csv"_s);
    window->chooseExportFile = [&](QWidget *, const QString &) { return target; };
    const int owner = zefto::schema::Adi;
    for (const Qt::SortOrder order : {Qt::DescendingOrder, Qt::AscendingOrder}) {
        window->table->sortByColumn(owner, order);
        // Two blocks, the lower one chosen first.
        window->table->clearSelection();
        const auto rows = [&](int top, int bottom) {
            return QItemSelection(window->model->index(top, 0),
                                  window->model->index(bottom, zefto::schema::FieldCount - 1));
        };
        window->table->selectionModel()->select(rows(4, 5), QItemSelectionModel::Select);
        window->table->selectionModel()->select(rows(0, 1), QItemSelectionModel::Select);
        window->table->exportSelectionAction->trigger();
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        QStringList owners;
        for (const QString &line : QString::fromUtf8(f.readAll()).split(u"\r\n"_s, Qt::SkipEmptyParts).mid(1))
            owners << line.split(u',').value(owner);
        QStringList shown;
        for (int r : {0, 1, 4, 5})
            shown << window->model->index(r, owner).data().toString();
        EXPECT_EQ(owners, shown) << (order == Qt::DescendingOrder ? "descending" : "ascending");
    }
}

TEST_P(RecordsWindowTest, AHeadingClickSortsThroughTheStoreBothWaysInTurkishAlphabeticalOrder)
{
    // Each Turkish letter right after its plain one, ı before i, case no matter.
    const QStringList ascending{u"ayşe"_s, u"Can"_s,    u"ÇETİN"_s, u"Gül"_s,   u"ĞÜLAY"_s, u"IŞIK"_s, u"ilker"_s,
                                u"İLKNUR"_s, u"OSMAN"_s, u"ömer"_s,  u"SELİM"_s, u"Şahin"_s, u"uğur"_s, u"ÜMİT"_s,
                                u"zeynep"_s};
    QStringList stored = ascending;
    std::reverse(stored.begin(), stored.end());
    std::rotate(stored.begin(), stored.begin() + 6, stored.end());
    storeOwners(stored);
    open();
    const int owner = zefto::schema::Adi;
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    const auto owners = [&] {
        QStringList out;
        for (int r = 0; r < window->model->rowCount(); ++r)
            out << window->model->index(r, owner).data().toString().trimmed();
        return out;
    };
    const struct {
        Qt::SortOrder order;
        QStringList expected;
    } cases[] = {{Qt::AscendingOrder, ascending}, {Qt::DescendingOrder, descending}};
    for (const auto &c : cases) {
        window->table->sortByColumn(owner, c.order);
        EXPECT_EQ(owners(), c.expected);
        EXPECT_EQ(window->table->horizontalHeader()->sortIndicatorSection(), owner);
    }
    // Under a filter, the matches come in the sorted order too.
    window->filter->setText(u"ş"_s);
    window->model->finishFiltering();
    EXPECT_EQ(owners(), (QStringList{u"Şahin"_s, u"SELİM"_s, u"OSMAN"_s, u"IŞIK"_s, u"ayşe"_s}));
}

TEST_P(RecordsWindowTest, CopyGivesTheSelectedRowsAsTrimmedTabSeparatedTextWithHeadingsOnRequest)
{
    storeOwners({QStringLiteral("MUSTAFA"), QStringLiteral("AYSE")});
    open();
    window->table->selectRow(0);
    window->table->copySelection(false);
    ASSERT_TRUE(QApplication::clipboard()->text().endsWith(u'\n'));
    const QStringList cells = QApplication::clipboard()->text().chopped(1).split(u'\t');
    ASSERT_EQ(cells.size(), zefto::schema::FieldCount);
    EXPECT_EQ(cells[zefto::schema::Adi], QStringLiteral("MUSTAFA"));
    for (const QString &cell : cells)
        EXPECT_EQ(cell.trimmed(), cell);

    window->table->selectAll();
    window->table->copyWithHeadingsAction->trigger();
    const QStringList lines = QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("New block\tNew parcel\t")));
    EXPECT_EQ(lines[2].split(u'\t').value(zefto::schema::Adi), QStringLiteral("AYSE"));
}

TEST_P(RecordsWindowTest, AnotherConversionShowsWithoutAClickKeepingTheSelection)
{
    convert(report(QStringLiteral("a.txt"), 20, QStringLiteral("KUZEY")));
    open();
    window->table->selectRow(3);
    const qint64 before = window->model->total();
    const zefto::RunOutcome other = convert(report(QStringLiteral("b.txt"), 30, QStringLiteral("GÜNEY")));
    ASSERT_GT(other.recordsStored, 0);
    EXPECT_TRUE(seenUnasked([&] { return window->conversions->count() == 3; }));
    EXPECT_EQ(window->model->total(), before + other.recordsStored);
    EXPECT_EQ(window->table->selectionModel()->selectedRows().value(0).row(), 3);
}

TEST_P(RecordsWindowTest, F5AndRefreshReadAnotherConversionAtOnceKeepingSelectionAndScroll)
{
    convert(report(QStringLiteral("a.txt"), 60, QStringLiteral("KUZEY")));
    open();
    window->resize(900, 400);
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const std::function<void()> refreshes[] = {[&] { QTest::keyClick(window->table, Qt::Key_F5); },
                                               [&] { window->refreshButton->click(); }};
    int made = 0;
    for (const auto &refresh : refreshes) {
        ++made;
        window->table->selectRow(7);
        window->table->verticalScrollBar()->setValue(5);
        const qint64 before = window->model->total();
        const int listed = window->conversions->count();
        const zefto::RunOutcome other = convert(report(u"b%1.txt"_s.arg(made), 30, u"GÜNEY%1"_s.arg(made)));
        ASSERT_GT(other.recordsStored, 0);
        refresh(); // at once: the window's own look comes only a second later
        EXPECT_EQ(window->model->total(), before + other.recordsStored);
        EXPECT_EQ(window->conversions->count(), listed + 1);
        EXPECT_EQ(window->table->selectionModel()->selectedRows().value(0).row(), 7);
        EXPECT_EQ(window->table->verticalScrollBar()->value(), 5);
    }
}

TEST_P(RecordsWindowTest, ARefreshOfASortedGridKeepsTheSelectedRecordsSelectedWhereverTheyMoved)
{
    storeOwners({u"MERT"_s, u"ZEYNEP"_s, u"CAN"_s});
    open();
    window->table->sortByColumn(zefto::schema::Adi, Qt::AscendingOrder);
    window->table->selectRow(1); // MERT
    window->table->selectionModel()->select(window->model->index(2, 0),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows); // ZEYNEP
    storeOwners({u"AYSE"_s, u"NURAN"_s}); // one lands before both, one between them
    window->refresh();
    QStringList selected;
    for (const QModelIndex &i : window->table->selectionModel()->selectedRows(zefto::schema::Adi))
        selected << i.data().toString();
    selected.sort();
    EXPECT_EQ(selected, (QStringList{u"MERT"_s, u"ZEYNEP"_s}));
    EXPECT_EQ(window->model->total(), 5);
}

TEST_P(RecordsWindowTest, AFolderWithoutADatabaseOpensEmptyAndSaysSo)
{
    if (GetParam() == Backend::Postgres)
        GTEST_SKIP() << "a server database is there or refused; only a folder can be without one";
    open();
    EXPECT_EQ(window->model->total(), 0);
    EXPECT_EQ(window->statusBar()->currentMessage(),
              QStringLiteral("No conversion has been made in %1 yet.")
                  .arg(QDir::toNativeSeparators(QFileInfo(database()).absolutePath())));
    EXPECT_FALSE(QFileInfo::exists(database()));
    // The first conversion shows by itself.
    convert(report(QStringLiteral("a.txt"), 10));
    EXPECT_TRUE(seenUnasked([&] { return window->model->total() > 0; }));
    EXPECT_EQ(window->conversions->count(), 2);
}

TEST_P(RecordsWindowTest, APreviewOfAReportThatStopsEarlySpeaksInTheConditional)
{
    std::vector<QByteArray> lines;
    for (int i = 0; i < 60; ++i) {
        report::Row r = report::sampleRow(i);
        r.father = QStringLiteral("DOĞAN");
        lines.push_back(report::ownerLine(r));
    }
    auto paged = report::paginate(lines);
    paged[19] = QByteArray(); // a blank line inside the first block
    const QString reportPath = write(QStringLiteral("short.txt"), report::join(paged));
    open();
    PreviewDialog *preview = window->preview(reportPath);
    const QString text = preview->message->text();
    EXPECT_TRUE(
        text.startsWith(QStringLiteral("Converting would store 10 records; the run would stop at line 20 of '%1' "
                                       "because a required column is empty")
                            .arg(reportPath)))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("later data line(s) of the report would not be converted.")));
    EXPECT_FALSE(text.contains(QStringLiteral("were stored")));
    EXPECT_FALSE(preview->converted());
}

namespace {

// The records window as the program opens it in a Turkish session; one backend is enough for the words.
class RecordsWindowTurkishTest : public RecordsWindowTest {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(zefto::ui::installTranslators(QLocale(QLocale::Turkish, QLocale::Turkey)));
        RecordsWindowTest::SetUp();
    }
    void TearDown() override
    {
        RecordsWindowTest::TearDown();
        zefto::ui::removeTranslators();
    }
};

INSTANTIATE_TEST_SUITE_P(Turkish, RecordsWindowTurkishTest, ::testing::Values(Backend::File), backendName);

} // namespace

TEST_P(RecordsWindowTurkishTest, TitleButtonsCountsAndUndoSpeakTurkish)
{
    const zefto::RunOutcome run = convert(report(QStringLiteral("north.txt"), 40));
    ASSERT_EQ(run.recordsStored, 40);
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Zefto Kayıtları"));
    EXPECT_EQ(window->accessibleName(), QStringLiteral("Zefto Kayıtları"));
    EXPECT_EQ(window->previewButton->text(), QStringLiteral("&Raporu önizle…"));
    EXPECT_EQ(window->exportButton->text(), QStringLiteral("Dışa &aktar…"));
    EXPECT_EQ(window->undoButton->text(), QStringLiteral("Dönüştürmeyi &geri al…"));
    EXPECT_EQ(window->closeButton->text(), QStringLiteral("Kapat"));
    for (QPushButton *b : window->findChildren<QPushButton *>())
        EXPECT_EQ(b->accessibleName(), b->text().remove(u'&')) << b->text().toStdString();
    EXPECT_EQ(window->table->accessibleName(), QStringLiteral("Kayıtlar"));
    EXPECT_EQ(window->filter->accessibleName(), QStringLiteral("Filtre"));
    EXPECT_EQ(window->conversions->accessibleName(), QStringLiteral("Dönüştürmeler"));
    EXPECT_EQ(window->model->headerData(zefto::schema::Babaadi, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("Baba adı"));
    // The column's own name stays the database's.
    EXPECT_EQ(window->model->headerData(zefto::schema::Babaadi, Qt::Horizontal, Qt::ToolTipRole).toString(),
              QStringLiteral("babaadi"));
    EXPECT_EQ(window->count->text(), QStringLiteral("40 kayıt"));
    ASSERT_EQ(window->conversions->count(), 2);
    EXPECT_EQ(window->conversions->item(0)->text(), QStringLiteral("Tüm kayıtlar"));
    EXPECT_TRUE(window->conversions->item(1)->text().endsWith(QStringLiteral("\n40 kayıt")))
        << window->conversions->item(1)->text().toStdString();

    window->filter->setText(QStringLiteral("no1"));
    const QStringList shown = shownOwners();
    EXPECT_EQ(shown.size(), 11) << "NO1 and NO10 to NO19";
    EXPECT_EQ(window->count->text(), QStringLiteral("40 kayıttan %1 tanesi gösteriliyor").arg(shown.size()));
    window->filter->clear();

    window->showConversion(run.conversionId);
    const std::vector<SeenBox> seen =
        answering(QStringLiteral("Dönüştürmeyi geri al"), [&] { window->undoButton->click(); });
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(seen[0].text.startsWith(QStringLiteral("%1 numaralı dönüştürmenin 40 kaydı").arg(run.conversionId)))
        << seen[0].text.toStdString();
    EXPECT_TRUE(seen[0].buttons.contains(QStringLiteral("Dönüştürmeyi geri al")));
    EXPECT_EQ(stored(), 0);
    EXPECT_TRUE(window->conversions->item(1)->text().contains(QStringLiteral("tarafından geri alındı")));
}

TEST_P(RecordsWindowTest, WithNoTranslatorTheWindowIsEnglish)
{
    storeOwners({QStringLiteral("Ali")});
    EXPECT_FALSE(zefto::ui::installTranslators(QLocale::c()));
    open();
    EXPECT_EQ(window->windowTitle(), QStringLiteral("Zefto Records"));
    EXPECT_EQ(window->count->text(), QStringLiteral("1 record"));
    EXPECT_EQ(window->undoButton->text(), QStringLiteral("&Undo conversion…"));
    EXPECT_EQ(window->conversions->item(0)->text(), QStringLiteral("All records"));
}

TEST_P(RecordsWindowTest, CheckListsTheBrokenParcelAndChoosingItSelectsItsRecords)
{
    // Ten rows: new parcels 300/1 (row 0), 300/2 (1-2), 300/3 (3-5, its first share off), 300/4 (6-9).
    convert(write(QStringLiteral("broken.txt"), report::join(report::paginate(report::holdingTable(10, {1, 2})))));
    open();
    window->checkButton->click();
    auto *check = window->findChild<zefto::ui::CheckView *>();
    ASSERT_NE(check, nullptr);
    ASSERT_EQ(check->findings->count(), 1);
    EXPECT_TRUE(check->findings->item(0)->text().startsWith(QStringLiteral("Rule 1: 300/3: shares add up to ")));
    EXPECT_TRUE(check->summary->text().contains(QStringLiteral("4 parcels checked, 1 broken, 0 unreadable")));
    check->findings->setCurrentRow(0);
    QList<int> rows;
    for (const QModelIndex &i : window->table->selectionModel()->selectedRows())
        rows << i.row();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (QList<int>{3, 4, 5}));
}

TEST_P(RecordsWindowServerTest, APasswordInTheServerAddressIsNeverShown)
{
    const zefto::RunOutcome first = convert(report(QStringLiteral("north.txt"), 4, QStringLiteral("KUZEY")));
    {
        zefto::Database db;
        db.open(database());
        ASSERT_EQ(zefto::records::undoConversion(db, first.conversionId), first.recordsStored);
    }
    // The local superuser gets in without one, so any password passes; "@" and ":" are typed as they are.
    const QString password = QStringLiteral("S3cret@Pa:rola");
    open(QStringLiteral("postgresql://postgres:%1@/%2?host=%3").arg(password, server->database(), server->socketDir()));
    window->showConversion(first.conversionId);
    EXPECT_TRUE(window->statusBar()->currentMessage().startsWith(
        QStringLiteral("Conversion %1 of '%2' was undone on ").arg(first.conversionId).arg(server->uri())))
        << window->statusBar()->currentMessage().toStdString();
    for (const QString &text : shownTexts(*window))
        for (const QString &piece : {QStringLiteral("S3cret"), QStringLiteral("rola")})
            EXPECT_FALSE(text.contains(piece)) << text.toStdString();
}
