#include "channel_window/log_view.h"

#include <QFont>
#include <QScrollBar>
#include <QTextCursor>
#include <QTimer>

LogView::LogView(QWidget* parent) : QPlainTextEdit(parent)
{
    setObjectName(QStringLiteral("txtBox"));
    setReadOnly(true);
    setUndoRedoEnabled(false);
    // Balance lines are short; no wrapping keeps the layout of each line cheap.
    setLineWrapMode(QPlainTextEdit::NoWrap);
    QFont font(QStringLiteral("Courier"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setPointSizeF(9.75);
    setFont(font);

    // Scrolling moves the painted view; once per pass of the event loop is enough.
    m_followTimer = new QTimer(this);
    m_followTimer->setSingleShot(true);
    m_followTimer->setInterval(0);
    connect(m_followTimer, &QTimer::timeout, this,
            [this] { verticalScrollBar()->setValue(verticalScrollBar()->maximum()); });
    // A user who scrolls away meanwhile wins.
    connect(verticalScrollBar(), &QScrollBar::actionTriggered, m_followTimer, &QTimer::stop);
}

bool LogView::IsAtBottom() const
{
    const QScrollBar* bar = verticalScrollBar();
    return m_followTimer->isActive() || bar->value() >= bar->maximum();
}

void LogView::AppendPiece(const QString& piece)
{
    if (piece.isEmpty())
        return;
    const bool follow = IsAtBottom();
    const QString text = viewText(piece);
    if (!text.isEmpty()) {
        // Inside an edit block the cursor does not lay out the last line to find its x.
        QTextCursor end(document());
        end.beginEditBlock();
        end.movePosition(QTextCursor::End);
        end.insertText(text);
        end.endEditBlock();
    }
    if (follow)
        m_followTimer->start();
}

void LogView::ClearLog()
{
    clear();
    m_followTimer->stop();
    m_endsInCR = false;
    m_lineLength = 0;
}

// The piece with every line end as "\n" and a forced break after MaxLineLength characters
// without one.
QString LogView::viewText(const QString& piece)
{
    const qsizetype n = piece.size();
    QString out;
    out.reserve(n + n / MaxLineLength + 1);
    qsizetype i = 0;
    // The CR that ended the previous piece has already made the break for this LF.
    if (m_endsInCR && piece.at(0) == QLatin1Char('\n'))
        i = 1;
    for (; i < n; ++i) {
        const QChar ch = piece.at(i);
        if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            out += QLatin1Char('\n');
            m_lineLength = 0;
            if (ch == QLatin1Char('\r') && i + 1 < n && piece.at(i + 1) == QLatin1Char('\n'))
                ++i;
            continue;
        }
        if (m_lineLength == MaxLineLength) {
            out += QLatin1Char('\n');
            m_lineLength = 0;
        }
        out += ch;
        ++m_lineLength;
    }
    m_endsInCR = piece.back() == QLatin1Char('\r');
    return out;
}
