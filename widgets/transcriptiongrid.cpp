#include "widgets/transcriptiongrid.h"

#include "audio/filebytes.h"

#include <QColor>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QPainter>
#include <QSaveFile>

#include <cerrno>

#include "widgets/timetext.h"
#include "widgets/transcriptcsv.h"

namespace {

enum Column { StartColumn, EndColumn, LabelColumn, NoteColumn, ChannelColumn, ColumnCount };

QTableWidgetItem *timeItem(qlonglong ms)
{
    auto *item = new QTableWidgetItem(formatTime(ms));
    item->setData(Qt::UserRole, QVariant::fromValue(ms));
    item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

} // namespace

TranscriptionGrid::TranscriptionGrid(QWidget *parent)
    : QTableWidget(0, ColumnCount, parent)
{
    registerMarkerMetaTypes();

    setHorizontalHeaderLabels({QStringLiteral("Start"), QStringLiteral("End"),
                               QStringLiteral("Label"), QStringLiteral("Note"),
                               QStringLiteral("Ch")});
    // "Label" and "Note" share whatever the time and channel columns leave.
    QHeaderView *header = horizontalHeader();
    header->setSectionResizeMode(QHeaderView::Stretch);
    header->setSectionResizeMode(StartColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(EndColumn, QHeaderView::ResizeToContents);
    header->setSectionResizeMode(ChannelColumn, QHeaderView::ResizeToContents);

    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::DoubleClicked);

    connect(this, &QTableWidget::cellDoubleClicked, this, &TranscriptionGrid::onCellDoubleClicked);
}

void TranscriptionGrid::addMarker(qlonglong start, qlonglong end, const QString &label,
                                  const QString &note, int channel)
{
    const int row = rowCount();
    insertRow(row);
    setItem(row, StartColumn, timeItem(start));
    setItem(row, EndColumn, timeItem(end));
    setItem(row, LabelColumn, new QTableWidgetItem(label));
    setItem(row, NoteColumn, new QTableWidgetItem(note));
    setItem(row, ChannelColumn, new QTableWidgetItem(channelText(channel)));

    // The help text is for a fresh window only; once work has begun it stays away.
    m_overlayText.clear();
    viewport()->update();
}

void TranscriptionGrid::clearMarkers()
{
    setRowCount(0);
    m_overlayText.clear();
    viewport()->update();
}

void TranscriptionGrid::setMarkers(const QList<Marker> &markers)
{
    clearMarkers();
    for (const Marker &m : markers)
        addMarker(m.start, m.end, m.label, m.note, m.channel);
}

QList<Marker> TranscriptionGrid::getMarkers() const
{
    QList<Marker> markers;
    markers.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row) {
        Marker m;
        m.start = timeAt(row, StartColumn);
        m.end = timeAt(row, EndColumn);
        m.label = textAt(row, LabelColumn);
        m.note = textAt(row, NoteColumn);
        m.channel = channelFromText(textAt(row, ChannelColumn));
        markers.append(m);
    }
    return markers;
}

void TranscriptionGrid::setOverlayText(const QString &text)
{
    m_overlayText = text;
    viewport()->update();
}

QString TranscriptionGrid::overlayText() const
{
    return m_overlayText;
}

QString TranscriptionGrid::formatTime(qlonglong ms) const
{
    return ::formatTime(ms);
}

bool TranscriptionGrid::exportCsv(const QString &path, QString *error)
{
    const QByteArray bytes = encodeTranscriptCsv(getMarkers());
    QSaveFile file(path);
    const auto fail = [&file, error]() {
        if (error)
            *error = writeFailureReason(file, errno);
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail();
    // QSaveFile::commit() does not notice a failed flush of its buffer (it
    // would rename a cut-short file into place), hence the explicit flush.
    if (file.write(bytes) != bytes.size() || !file.flush() || !file.commit())
        return fail();
    return true;
}

CsvImport TranscriptionGrid::importCsv(const QString &path)
{
    CsvImport result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    result.readable = true;
    result.read = decodeTranscriptCsv(bytes);
    if (!result.read.markers.isEmpty())
        setMarkers(result.read.markers);
    return result;
}

void TranscriptionGrid::paintEvent(QPaintEvent *event)
{
    QTableWidget::paintEvent(event);
    if (rowCount() > 0 || m_overlayText.isEmpty())
        return;

    QPainter painter(viewport());
    painter.setPen(QColor(100, 100, 100, 255));
    painter.setFont(QFont(QStringLiteral("Segoe UI"), 12));
    painter.drawText(viewport()->rect(), Qt::AlignCenter, m_overlayText);
}

void TranscriptionGrid::onCellDoubleClicked(int row, int col)
{
    Q_UNUSED(col)
    if (row < 0 || row >= rowCount())
        return;
    // A row put in through the plain QTableWidget API may lack its time cells;
    // there is nothing sensible to jump to then.
    if (!item(row, StartColumn) || !item(row, EndColumn))
        return;

    const qlonglong start = timeAt(row, StartColumn);
    const qlonglong end = timeAt(row, EndColumn);
    emit jumpToTime(start);
    emit playRegionRequested(start, end);
}

// Missing cells (rows inserted through the plain QTableWidget API) read as
// the Marker defaults instead of dereferencing null.
qlonglong TranscriptionGrid::timeAt(int row, int column) const
{
    const QTableWidgetItem *cell = item(row, column);
    return cell ? cell->data(Qt::UserRole).toLongLong() : 0;
}

QString TranscriptionGrid::textAt(int row, int column) const
{
    const QTableWidgetItem *cell = item(row, column);
    return cell ? cell->text() : QString();
}
