#pragma once

#include "database.h"
#include "sharecheck.h"

#include <QDialog>
#include <vector>

class QLabel;
class QListWidget;
class QTableView;

namespace zefto::ui {

class RecordTableModel;

// "Check": the new parcels and records among those the records window shows
// whose shares, areas, title deeds or allocations do not add up, one line
// each, and a line per rule. Choosing a line selects its records in the grid.
class CheckView : public QDialog {
    Q_OBJECT

public:
    // Most lines a view lists; the summaries still count every finding.
    static constexpr int maxListed = 5000;

    // Checks what `model` shows (its keys and filter) through `db`.
    CheckView(Database &db, RecordTableModel &model, QTableView &grid, QWidget *parent);
    // A view of its own beside `parent`, deleted when closed.
    static CheckView *openOn(QWidget *parent, Database &db, RecordTableModel &model, QTableView &grid);

    QListWidget *findings;
    QLabel *summary;

    // Selects the records of finding `i` in the grid.
    void choose(int i);

private:
    void check();

    Database &m_db;
    RecordTableModel &m_model;
    QTableView &m_grid;
    std::vector<records::ShareFinding> m_findings;
};

// Selects in `grid` the rows of the records with these keys (ascending) and shows the first.
void selectKeys(QTableView &grid, const RecordTableModel &model, const std::vector<qint64> &keys);

} // namespace zefto::ui
