#include "channel_window/log_view.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <climits>
#include <utility>

#include "channel_window/text_store.h"

static_assert(LogView::MaxLineLength == TextStore::MaxLineLength);

namespace {

// New text shows 30 times a second: without a visible delay, and a flood of pieces costs
// one repaint per interval instead of one per piece (every repaint also costs a round
// trip to the display, whatever it draws).
constexpr int FrameMs = 33;
constexpr int ScrollBarsMs = 1000;
constexpr int Margin = 4;

// A line as drawn: TABs out to the next multiple of 8 columns.
QString ShownLine(const QByteArray& bytes)
{
    if (!bytes.contains('\t'))
        return QString::fromLatin1(bytes);
    QString shown;
    shown.reserve(bytes.size() + 8);
    for (const char c : bytes) {
        if (c == '\t')
            shown.append(QString(TextStore::NextColumn(int(shown.size()), c) - shown.size(),
                                 QLatin1Char(' ')));
        else
            shown.append(QLatin1Char(c));
    }
    return shown;
}

// The byte of the line that starts at or after a column on screen.
qsizetype ByteAt(const QByteArray& bytes, int column)
{
    int at = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (at >= column)
            return i;
        at = TextStore::NextColumn(at, bytes[i]);
    }
    return bytes.size();
}

// Handle length and position of a bar span pixels long over total units showing page.
std::pair<qint64, qint64> HandleLook(qint64 span, qint64 page, qint64 total, qint64 at)
{
    if (total <= page || span <= 0)
        return {0, 0};
    const qint64 handle = span * page / total;
    return {handle, (span - handle) * at / (total - page)};
}

} // namespace

// Shows the new text of every view that has some, 30 times a second, and brings their
// scroll bars up to date once a second, each in one pass, so that Qt paints the main
// window once for all of them.
class FrameClock : public QObject
{
public:
    static FrameClock& Instance()
    {
        if (!Existing())
            Existing() = new FrameClock(QCoreApplication::instance());
        return *Existing();
    }
    // Null before the first view has text and after the application has gone.
    static QPointer<FrameClock>& Existing()
    {
        static QPointer<FrameClock> clock;
        return clock;
    }

    void NewText(LogView* view) { queue(m_newText, m_frame, view); }
    void StaleBars(LogView* view) { queue(m_staleBars, m_bars, view); }
    void Forget(LogView* view)
    {
        m_newText.removeAll(view);
        m_staleBars.removeAll(view);
    }

private:
    explicit FrameClock(QObject* parent) : QObject(parent)
    {
        m_frame.setSingleShot(true);
        m_frame.setInterval(FrameMs);
        connect(&m_frame, &QTimer::timeout, this, [this] {
            for (LogView* view : std::exchange(m_newText, {}))
                view->showNewText();
        });
        m_bars.setSingleShot(true);
        m_bars.setInterval(ScrollBarsMs);
        connect(&m_bars, &QTimer::timeout, this, [this] {
            for (LogView* view : std::exchange(m_staleBars, {}))
                view->syncScrollBars(false);
        });
    }

    static void queue(QList<LogView*>& views, QTimer& timer, LogView* view)
    {
        if (!views.contains(view))
            views.append(view);
        if (!timer.isActive())
            timer.start();
    }

    QTimer m_frame;
    QTimer m_bars;
    QList<LogView*> m_newText;
    QList<LogView*> m_staleBars;
};

LogView::LogView(const TextStore& store, QWidget* parent)
    : QAbstractScrollArea(parent), m_store(store)
{
    setObjectName(QStringLiteral("txtBox"));
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(9.75);
    setFont(font);
    const QFontMetrics metrics(font);
    m_lineHeight = std::max(1, metrics.lineSpacing());
    m_charWidth = std::max(1, metrics.horizontalAdvance(QLatin1Char('x')));
    m_ascent = metrics.ascent();

    // The view paints every pixel itself; nothing behind it needs repainting.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setCursor(Qt::IBeamCursor);
    setFocusPolicy(Qt::StrongFocus);
    for (QScrollBar* bar : {verticalScrollBar(), horizontalScrollBar()}) {
        bar->installEventFilter(this);
        // A bar draws its whole groove, so the window frame behind it need not be drawn.
        bar->setAttribute(Qt::WA_OpaquePaintEvent);
    }

    // Only the user moves the bar by itself; the view follows when it is left at the end.
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        if (!m_syncing)
            m_follow = value >= verticalScrollBar()->maximum();
    });
    syncScrollBars();
}

bool LogView::eventFilter(QObject* watched, QEvent* event)
{
    const bool bar = watched == verticalScrollBar() || watched == horizontalScrollBar();
    if (bar && event->type() == QEvent::Enter)
        syncScrollBars();
    return QAbstractScrollArea::eventFilter(watched, event);
}

LogView::~LogView()
{
    if (FrameClock* clock = FrameClock::Existing())
        clock->Forget(this);
}

void LogView::TextAppended()
{
    FrameClock::Instance().NewText(this);
}

void LogView::TextCleared()
{
    if (FrameClock* clock = FrameClock::Existing())
        clock->Forget(this);
    m_shownLines = 1;
    m_top = 0;
    m_anchor = m_cursor = Position();
    m_follow = true;
    syncScrollBars();
    viewport()->update();
}

int LogView::rowsInView() const
{
    return std::max(1, viewport()->height() / m_lineHeight);
}

void LogView::syncScrollBars(bool force)
{
    const QScrollBar* bar = verticalScrollBar();
    const auto [vLength, vAt] = HandleLook(bar->height(), rowsInView(), m_shownLines, m_top);
    const qint64 content = qint64(m_store.LongestLine()) * m_charWidth + 2 * Margin;
    const auto [hLength, hAt] = HandleLook(horizontalScrollBar()->width(), viewport()->width(),
                                           content, horizontalScrollBar()->value());
    const std::array<qint64, 4> look{vLength, vAt, hLength, hAt};
    // The bars of a window hidden under others catch up once the user reaches for them.
    if (!force && (look == m_barLook || visibleRegion().isEmpty()))
        return;
    m_barLook = look;
    m_syncing = true;
    QScrollBar* vertical = verticalScrollBar();
    const int rows = rowsInView();
    vertical->setPageStep(rows);
    vertical->setRange(0, int(std::clamp<qint64>(m_shownLines - rows, 0, INT_MAX)));
    vertical->setValue(int(std::min<qint64>(m_top, INT_MAX)));
    QScrollBar* horizontal = horizontalScrollBar();
    const int x = horizontal->value();
    horizontal->setSingleStep(m_charWidth);
    horizontal->setPageStep(viewport()->width());
    horizontal->setRange(0, int(std::max<qint64>(0, content - viewport()->width())));
    m_syncing = false;
    if (horizontal->value() != x) // the text got narrower: it moved sideways
        viewport()->update();
}

void LogView::scrollTo(qint64 top)
{
    const qint64 delta = m_top - top;
    m_top = top;
    if (delta == 0)
        return;
    // Moving the pixels works only where nothing covers the view; otherwise just the part
    // that can be seen is drawn again, and a covered part is drawn when it comes out.
    const QRegion visible = viewport()->visibleRegion();
    if (std::abs(delta) < rowsInView() && visible == QRegion(viewport()->rect()))
        viewport()->scroll(0, int(delta) * m_lineHeight);
    else
        viewport()->update(visible);
}

void LogView::showNewText()
{
    const qint64 lastShown = m_shownLines - 1; // it may have grown since
    m_shownLines = m_store.LineCount();
    if (m_follow)
        scrollTo(std::max<qint64>(0, m_shownLines - rowsInView()));
    const int y = int(std::clamp<qint64>(lastShown - m_top, 0, rowsInView() + 1)) * m_lineHeight;
    const QRect changed(0, y, viewport()->width(), viewport()->height() - y);
    if (changed.height() > 0)
        viewport()->update(viewport()->visibleRegion() & changed);
    FrameClock::Instance().StaleBars(this);
}

void LogView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    const qint64 bottom = std::max<qint64>(0, m_shownLines - rowsInView());
    m_top = m_follow ? bottom : std::min(m_top, bottom);
    syncScrollBars();
}

void LogView::scrollContentsBy(int dx, int dy)
{
    if (m_syncing)
        return; // the bar caught up with what is drawn already
    // Moves what is already drawn; only the uncovered strip gets painted.
    if (dx != 0)
        viewport()->scroll(dx, 0);
    if (dy != 0)
        scrollTo(verticalScrollBar()->value());
}

void LogView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    const QRect area = event->rect();
    painter.fillRect(area, palette().base());
    const int firstRow = area.top() / m_lineHeight;
    const int lastRow = area.bottom() / m_lineHeight;
    const qint64 first = m_top + firstRow;
    const qint64 count = std::min<qint64>(lastRow - firstRow + 1, m_shownLines - first);
    const QList<QByteArray> lines = m_store.Lines(first, count);
    const int x = Margin - horizontalScrollBar()->value();
    const auto [from, to] = std::minmax(m_anchor, m_cursor);
    painter.setPen(palette().text().color());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const qint64 line = first + i;
        const int y = (firstRow + int(i)) * m_lineHeight;
        const QString shown = ShownLine(lines[i]);
        if (from != to && line >= from.line && line <= to.line) {
            const int begin = line == from.line ? from.column : 0;
            const int end = line == to.line ? to.column : int(shown.size()) + 1;
            painter.fillRect(x + begin * m_charWidth, y, std::max(0, end - begin) * m_charWidth,
                             m_lineHeight, palette().highlight());
        }
        painter.drawText(x, y + m_ascent, shown);
    }
}

LogView::Position LogView::positionAt(const QPoint& point) const
{
    Position position;
    position.line = std::clamp<qint64>(m_top + point.y() / m_lineHeight, 0, m_shownLines - 1);
    const int x = point.x() - Margin + horizontalScrollBar()->value();
    position.column = std::max(0, (x + m_charWidth / 2) / m_charWidth);
    return position;
}

void LogView::wheelEvent(QWheelEvent* event)
{
    syncScrollBars();
    QAbstractScrollArea::wheelEvent(event);
}

void LogView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(event);
    m_anchor = m_cursor = positionAt(event->position().toPoint());
    viewport()->update();
}

void LogView::mouseMoveEvent(QMouseEvent* event)
{
    if (!(event->buttons() & Qt::LeftButton))
        return QAbstractScrollArea::mouseMoveEvent(event);
    m_cursor = positionAt(event->position().toPoint());
    viewport()->update();
}

void LogView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        QGuiApplication::clipboard()->setText(SelectedText());
        return;
    }
    syncScrollBars(); // paging and arrows move over the whole text
    QAbstractScrollArea::keyPressEvent(event);
}

QString LogView::SelectedText() const
{
    const auto [from, to] = std::minmax(m_anchor, m_cursor);
    if (from == to)
        return QString();
    const QList<QByteArray> lines = m_store.Lines(from.line, to.line - from.line + 1);
    QByteArray text;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& line = lines[i];
        const qsizetype begin = i == 0 ? ByteAt(line, from.column) : 0;
        const qsizetype end = i == lines.size() - 1 ? ByteAt(line, to.column) : line.size();
        if (i > 0)
            text += '\n';
        text += line.mid(begin, std::max<qsizetype>(0, end - begin));
    }
    return QString::fromLatin1(text);
}

QString LogView::toPlainText() const
{
    return QString::fromLatin1(m_store.Lines(0, m_store.LineCount()).join('\n'));
}
