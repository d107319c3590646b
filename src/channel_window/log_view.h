#pragma once
// The read-only text view of a channel window. It draws only the lines in view, read
// from the window's TextStore, so its cost does not depend on how much text the window
// holds. CR LF, CR and LF all show as one line break, and a run of characters without a
// line end is broken every MaxLineLength characters (in the view only; the text itself
// keeps every byte).
//
// New text is shown at most once per screen frame, however many pieces arrive, and all
// views share one frame clock, so that text arriving in fifty windows costs one repaint
// of the main window per frame. The view then scrolls along only while it was at the
// bottom, so a user who scrolled up to read older lines keeps them in place. The scroll
// bars catch up about once a second, as redrawing them (and the frame behind them)
// costs more than the new lines themselves.
// Lines can be selected with the mouse and copied.

#include <QAbstractScrollArea>
#include <QString>
#include <array>

class TextStore;

class LogView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    static constexpr int MaxLineLength = 4096;

    LogView(const TextStore& store, QWidget* parent = nullptr);
    ~LogView() override;

    // The store got more text, or lost all of it.
    void TextAppended();
    void TextCleared();

    // True while the view follows new text: at the bottom, or about to scroll there.
    bool IsAtBottom() const { return m_follow; }
    // The text as shown, lines joined by "\n".
    QString toPlainText() const;
    QString SelectedText() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    friend class FrameClock;

    struct Position
    {
        qint64 line = 0;
        int column = 0; // on screen, TABs expanded
        auto operator<=>(const Position&) const = default;
    };

    void showNewText();
    // Brings the scroll bars up to date; unless forced, only when that changes how they
    // look, as the user sees them and so drags them with a fresh range anyway (the view
    // forces it first whenever the user reaches for them).
    void syncScrollBars(bool force = true);
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Draws from line top on, moving what is already drawn where it can.
    void scrollTo(qint64 top);
    Position positionAt(const QPoint& point) const;
    int rowsInView() const;

    const TextStore& m_store;
    bool m_follow = true;
    bool m_syncing = false;
    // How the scroll bars looked at their last update: handle sizes and positions.
    std::array<qint64, 4> m_barLook{};
    // The first line drawn; the scroll bar shows it once it has caught up.
    qint64 m_top = 0;
    // The line count already shown, to repaint only what changed.
    qint64 m_shownLines = 1;
    int m_lineHeight = 1;
    int m_charWidth = 1;
    int m_ascent = 0;
    Position m_anchor;
    Position m_cursor;
};
