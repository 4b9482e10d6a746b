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
// "Label", "Note" and "Ch" are edited in place and read back from their text.
// While the grid is empty it can show a help text over the viewport.
class TranscriptionGrid : public QTableWidget
{
    Q_OBJECT
    Q_PROPERTY(QString overlayText READ overlayText WRITE setOverlayText)

public:
    explicit TranscriptionGrid(QWidget *parent = nullptr);

    void addMarker(qlonglong start, qlonglong end, const QString &label, const QString &note,
                   int channel);
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

signals:
    void jumpToTime(qlonglong ms);
    void playRegionRequested(qlonglong start, qlonglong end);

protected:
    void paintEvent(QPaintEvent *event) override;

private slots:
    void onCellDoubleClicked(int row, int col);

private:
    qlonglong timeAt(int row, int column) const;
    QString textAt(int row, int column) const;

    QString m_overlayText;
};
