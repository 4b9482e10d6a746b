#include "widgets/transcriptiongrid.h"

#include "audio/filebytes.h"

#include <QColor>
#include <QFile>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QSaveFile>
#include <QScopedValueRollback>
#include <QSignalBlocker>

#include <algorithm>

#include <cerrno>

#include "widgets/timetext.h"
#include "widgets/transcriptcsv.h"

namespace {

enum Column { StartColumn, EndColumn, LabelColumn, NoteColumn, ChannelColumn, ColumnCount };

QTableWidgetItem *timeItem(qlonglong ms)
{
    auto *item = new QTableWidgetItem(formatTime(ms));
    item->setData(Qt::UserRole, QVariant::fromValue(ms));
    return item;
}

bool isTimeColumn(int column)
{
    return column == StartColumn || column == EndColumn;
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
    connect(this, &QTableWidget::itemChanged, this, &TranscriptionGrid::onTimeEdited);
}

void TranscriptionGrid::addMarker(qlonglong start, qlonglong end, const QString &label,
                                  const QString &note, int channel)
{
    insertMarker(rowCount(), {start, end, label, note, channel});
}

void TranscriptionGrid::insertMarker(int row, const Marker &marker)
{
    const QSignalBlocker quiet(this); // filling cells is no typing
    insertRow(row);
    setItem(row, StartColumn, timeItem(marker.start));
    setItem(row, EndColumn, timeItem(marker.end));
    setItem(row, LabelColumn, new QTableWidgetItem(marker.label));
    setItem(row, NoteColumn, new QTableWidgetItem(marker.note));
    setItem(row, ChannelColumn, new QTableWidgetItem(channelText(marker.channel)));

    // The help text is for a fresh window only; once work has begun it stays away.
    m_overlayText.clear();
    viewport()->update();
}

void TranscriptionGrid::onTimeEdited(QTableWidgetItem *cell)
{
    if (m_settingTime || !cell || !isTimeColumn(cell->column()))
        return;
    // Only typing changes the text away from the time the cell holds; other
    // changes (a role set by the window) leave the row where it is.
    if (cell->text() == formatTime(cell->data(Qt::UserRole).toLongLong()))
        return;
    const QScopedValueRollback<bool> busy(m_settingTime, true);
    const std::optional<qlonglong> typed = parseTimeText(cell->text());
    if (!typed) {
        cell->setText(formatTime(cell->data(Qt::UserRole).toLongLong()));
        return;
    }
    cell->setData(Qt::UserRole, QVariant::fromValue(*typed));
    cell->setText(formatTime(*typed));

    // The row moves to its place among the others by start time.
    const int from = cell->row();
    const QList<Marker> rows = getMarkers();
    const Marker &moved = rows.at(from);
    int to = 0;
    for (int row = 0; row < rows.size(); ++row) {
        if (row != from && rows.at(row).start <= moved.start)
            to = row < from ? row + 1 : row;
    }
    if (to == from)
        return;
    // The cells themselves move, with whatever the window keeps on them.
    const int column = cell->column();
    const QSignalBlocker quiet(this);
    QList<QTableWidgetItem *> cells;
    for (int c = 0; c < ColumnCount; ++c)
        cells << takeItem(from, c);
    removeRow(from);
    insertRow(to);
    for (int c = 0; c < ColumnCount; ++c)
        setItem(to, c, cells.at(c));
    setCurrentCell(to, column);
}

void TranscriptionGrid::deleteSelectedRows()
{
    QList<int> chosen;
    for (const QModelIndex &index : selectionModel()->selectedRows())
        chosen << index.row();
    if (chosen.isEmpty())
        return;
    std::sort(chosen.begin(), chosen.end());
    const QList<Marker> rows = getMarkers();
    QList<std::pair<int, Marker>> taken;
    QList<Marker> removed;
    for (const int row : std::as_const(chosen)) {
        taken.append({row, rows.at(row)});
        removed << rows.at(row);
    }
    for (auto it = chosen.crbegin(); it != chosen.crend(); ++it)
        removeRow(*it);
    m_deleted.append(taken);
    emit rowsDeleted(removed);
}

bool TranscriptionGrid::undoDelete()
{
    if (m_deleted.isEmpty())
        return false;
    const QList<std::pair<int, Marker>> taken = m_deleted.takeLast();
    QList<Marker> restored;
    // In ascending order each row goes back where it stood.
    for (const auto &[row, marker] : taken) {
        insertMarker(qMin(row, rowCount()), marker);
        restored << marker;
    }
    clearSelection();
    for (const auto &[row, marker] : taken)
        selectRow(qMin(row, rowCount() - 1));
    emit rowsRestored(restored);
    return true;
}

bool TranscriptionGrid::event(QEvent *event)
{
    // Ctrl+Z here undoes a row deletion, not the window's audio edit.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->matches(QKeySequence::Undo) || key->key() == Qt::Key_Delete) {
            event->accept();
            return true;
        }
    }
    return QTableWidget::event(event);
}

void TranscriptionGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Undo)) {
        undoDelete();
        return;
    }
    if (event->key() == Qt::Key_Delete && state() != EditingState) {
        deleteSelectedRows();
        return;
    }
    QTableWidget::keyPressEvent(event);
}

QModelIndex TranscriptionGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // Tab from the last cell of a row leaves the grid instead of wrapping
    // round to the next row: the transcriber moves on to the next control.
    if (action == MoveNext && currentIndex().column() == ColumnCount - 1)
        return QModelIndex();
    return QTableWidget::moveCursor(action, modifiers);
}

void TranscriptionGrid::clearMarkers()
{
    m_deleted.clear();
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
