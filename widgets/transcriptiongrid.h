#pragma once

#include <QList>
#include <QString>
#include <QTableWidget>

#include "widgets/marker.h"
#include "widgets/transcriptcsv.h"

class QPaintEvent;

// What importing a CSV file did: whether the file could be read (and the
// system's reason when not) and what was read from it.
struct CsvImport
{
    bool readable = false;
    QString error;
    TranscriptCsv read;
};

// The transcript: one row per Marker, in the order added. Columns "Start" and
// "End" show the times as text but keep the true values under Qt::UserRole;
// every cell is edited in place ("Label", "Note" and "Ch" are read back from
// their text, a typed time must read as one).
// While the grid is empty it can show a help text over the viewport.
class TranscriptionGrid : public QTableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString overlayText READ overlayText WRITE setOverlayText)

public:
    explicit TranscriptionGrid(QWidget *parent = nullptr);

    void addMarker(qlonglong start, qlonglong end, const QString &label, const QString &note,
                   int channel);
    // The row goes in at `row` (0..rowCount()), the rows from there move down.
    void insertMarker(int row, const Marker &marker);
    void clearMarkers();
    void setMarkers(const QList<Marker> &markers);
    QList<Marker> getMarkers() const;

    void setOverlayText(const QString &text);
    QString overlayText() const;

    QString formatTime(qlonglong ms) const;

    // Writes the rows as CSV, replacing the file only once everything is
    // written: on any failure an existing file stays as it was, and `error`,
    // when given, says why.
    bool exportCsv(const QString &path, QString *error = nullptr);
    // Replaces the rows by those of a CSV file. A file that cannot be read,
    // or that holds no row, leaves the rows untouched.
    CsvImport importCsv(const QString &path);

    // Removes the selected rows; undoDelete() puts the last rows removed back
    // where they were. Ctrl+Z while the grid has the focus does the same.
    void deleteSelectedRows();
    bool undoDelete();

signals:
    void rowsDeleted(QList<Marker> rows);
    void rowsRestored(QList<Marker> rows);
    void jumpToTime(qlonglong ms);
    void playRegionRequested(qlonglong start, qlonglong end);

protected:
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;

private slots:
    void onCellDoubleClicked(int row, int col);

private:
    // A typed start or end time: taken when it is a time, the row moved to
    // its place in time order; refused otherwise, the cell as it was.
    void onTimeEdited(QTableWidgetItem *cell);
    qlonglong timeAt(int row, int column) const;
    QString textAt(int row, int column) const;

    QString m_overlayText;
    // Rows deleted, each deletion as (row index, marker) pairs, newest last.
    QList<QList<std::pair<int, Marker>>> m_deleted;
    bool m_settingTime = false;
};
